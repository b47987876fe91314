// Loopback servers and helpers for the relaywick tests. Everything binds to 127.0.0.1.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

namespace rwtest {

// A fresh folder under TMPDIR, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& content);

// Sets (or with nullopt unsets) an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// A cpp-httplib server (plain or TLS) running on its own thread.
class HttpServer {
public:
    // Plain HTTP.
    HttpServer();
    // HTTPS with a freshly made self-signed certificate for 127.0.0.1.
    static std::unique_ptr<HttpServer> Tls();
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    httplib::Server& server() { return *server_; }
    // Binds and starts serving; the routes must be set before.
    void Start();
    int port() const { return port_; }
    std::string Url(const std::string& path) const;

private:
    struct Identity;
    explicit HttpServer(std::unique_ptr<Identity> identity);
    std::unique_ptr<Identity> identity_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
};

struct CapturedRequest {
    std::string requestLine;
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
    std::string header(const std::string& name) const;
};

// A bare HTTP/1.1 server that keeps every request byte for byte. One request per
// connection; the responder gives the whole answer (status line, headers, body) for the
// n-th request (from 0).
class CaptureServer {
public:
    using Responder = std::function<std::string(const CapturedRequest&, int index)>;
    explicit CaptureServer(Responder responder = {});
    ~CaptureServer();
    CaptureServer(const CaptureServer&) = delete;
    CaptureServer& operator=(const CaptureServer&) = delete;

    int port() const { return port_; }
    std::string Url(const std::string& path) const;
    std::vector<CapturedRequest> requests() const;

    static std::string Answer(int status, const std::string& body);

private:
    void Run();
    bool Serve(int fd);

    Responder responder_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<CapturedRequest> requests_;
    std::thread thread_;
};

// A TCP port on 127.0.0.1 where nothing listens.
int UnusedPort();

std::string Base64(const std::string& text);

// Calls SendHttpRequest with a result buffer filled with `fill` bytes; returns the result
// and the raw 256-byte buffer.
struct SendResult {
    unsigned char ok = 0;
    std::string buffer; // all 256 bytes
    std::string text() const { return std::string(buffer.c_str()); }
};
SendResult Send(const std::string& localFile, const std::string& url, bool upload,
                const char* proxyUser = nullptr, const char* proxyPassword = nullptr,
                bool secure = false, char fill = '\0');

} // namespace rwtest
