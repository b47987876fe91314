#include "loopback.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "relaywick.h"

namespace rwtest {

namespace {

// A proxy from the environment of the machine running the tests would take the loopback
// requests elsewhere.
struct ClearProxyEnvironment {
    ClearProxyEnvironment() {
        for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "HTTPS_PROXY",
                                 "ALL_PROXY", "no_proxy", "NO_PROXY", "RELAYWICK_INSECURE_TLS"})
            unsetenv(name);
    }
} g_clearProxyEnvironment;

sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

int BoundPort(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::random_device rd;
    for (;;) {
        path_ = std::filesystem::path(base && *base ? base : "/tmp") /
                ("relaywick-" + std::to_string(rd()));
        if (std::filesystem::create_directory(path_))
            break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name))
        old_ = old;
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (old_)
        setenv(name_.c_str(), old_->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

struct HttpServer::Identity {
    X509* cert = nullptr;
    EVP_PKEY* key = nullptr;
    ~Identity() {
        X509_free(cert);
        EVP_PKEY_free(key);
    }
};

HttpServer::HttpServer() : server_(std::make_unique<httplib::Server>()) {}

HttpServer::HttpServer(std::unique_ptr<Identity> identity)
    : identity_(std::move(identity)),
      server_(std::make_unique<httplib::SSLServer>(identity_->cert, identity_->key)) {}

std::unique_ptr<HttpServer> HttpServer::Tls() {
    auto id = std::make_unique<Identity>();
    id->key = EVP_EC_gen("P-256");
    id->cert = X509_new();
    if (!id->key || !id->cert)
        throw std::runtime_error("cannot make a key");
    X509_set_version(id->cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(id->cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(id->cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(id->cert), 24 * 3600);
    X509_set_pubkey(id->cert, id->key);
    X509_NAME* name = X509_get_subject_name(id->cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(id->cert, name);
    if (!X509_sign(id->cert, id->key, EVP_sha256()))
        throw std::runtime_error("cannot sign");
    return std::unique_ptr<HttpServer>(new HttpServer(std::move(id)));
}

HttpServer::~HttpServer() {
    server_->stop();
    if (thread_.joinable())
        thread_.join();
}

void HttpServer::Start() {
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0)
        throw std::runtime_error("cannot bind");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

std::string HttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string CapturedRequest::header(const std::string& name) const {
    auto it = headers.find(Lower(name));
    return it == headers.end() ? std::string() : it->second;
}

CaptureServer::CaptureServer(Responder responder) : responder_(std::move(responder)) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listener_, 8) != 0)
        throw std::runtime_error("cannot listen");
    port_ = BoundPort(listener_);
    thread_ = std::thread([this] { Run(); });
}

CaptureServer::~CaptureServer() {
    stop_ = true;
    thread_.join();
    close(listener_);
}

std::string CaptureServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<CapturedRequest> CaptureServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::string CaptureServer::Answer(int status, const std::string& body) {
    return "HTTP/1.1 " + std::to_string(status) +
           " X\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

void CaptureServer::Run() {
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        Serve(fd);
        close(fd);
    }
}

bool CaptureServer::Serve(int fd) {
    std::string data;
    auto readMore = [&]() {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0)
            return false;
        char buf[65536];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            return false;
        data.append(buf, static_cast<size_t>(n));
        return true;
    };
    std::size_t end;
    while ((end = data.find("\r\n\r\n")) == std::string::npos)
        if (!readMore())
            return false;
    CapturedRequest r;
    std::istringstream head(data.substr(0, end));
    std::getline(head, r.requestLine);
    if (!r.requestLine.empty() && r.requestLine.back() == '\r')
        r.requestLine.pop_back();
    for (std::string line; std::getline(head, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        r.headers[Lower(line.substr(0, colon))] = value;
    }
    const std::size_t length = std::strtoull(r.header("Content-Length").c_str(), nullptr, 10);
    data.erase(0, end + 4);
    while (data.size() < length)
        if (!readMore())
            return false;
    r.body = data.substr(0, length);
    int index;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(r);
        index = static_cast<int>(requests_.size()) - 1;
    }
    const std::string answer = responder_ ? responder_(r, index) : Answer(200, "");
    for (std::size_t sent = 0; sent < answer.size();) {
        const ssize_t n = write(fd, answer.data() + sent, answer.size() - sent);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

int UnusedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    const int port = BoundPort(fd);
    close(fd); // bound but never listening, then closed: connecting is refused
    return port;
}

std::string Base64(const std::string& text) {
    std::string out(4 * ((text.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

SendResult Send(const std::string& localFile, const std::string& url, bool upload,
                const char* proxyUser, const char* proxyPassword, bool secure, char fill) {
    SendResult r;
    r.buffer.assign(RELAYWICK_RESULT_SIZE, fill);
    r.ok = SendHttpRequest(localFile.c_str(), url.c_str(), upload ? 1 : 0, proxyUser, proxyPassword,
                           secure ? 1 : 0, r.buffer.data());
    return r;
}

} // namespace rwtest
