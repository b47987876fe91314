// Relaywick's download on arbitrary server answers: the input is what the server sends
// (status line, headers, a body with or without a length, chunked or not), handed to curl
// over a Unix socket instead of the network. Whatever the answer, the download ends, the
// destination holds its old content or the whole new body and nothing is left beside it,
// and success needs a 200 with a whole body. For answers simple enough to judge here
// (one status line of 200, plain headers, one Content-Length, no coding) the outcome
// itself is checked: the body when it all came, a failure when it was cut short.
#include "fuzz_support.h"
#include "http.h"
#include "send_request.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace velloran;
namespace fs = std::filesystem;

namespace {

constexpr char kOldContent[] = "old content";
constexpr std::size_t kPiece = 1024;        // the transfer buffer's size
constexpr std::size_t kMaxLengthDigits = 9; // far beyond any input
constexpr long kReceivePiece = 4096;        // what curl hands over at most at a time

// A server on a Unix socket in the scratch folder, which curl is told to use for every
// connection, whatever the host: the first connection of a transfer gets the input and its
// end, later ones (a redirect, a new connection) their end at once. It never blocks on a
// send.
class FakeServer {
public:
    FakeServer() {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path_ = fuzz::scratchFolder() + "/server";
        if (path_.size() >= sizeof address.sun_path)
            fuzz::fail("scratch folder path too long for a socket");
        std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listener_ < 0 ||
            ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 16) != 0)
            fuzz::fail("cannot listen on the fake server's socket");
        std::thread([this] { Run(); }).detach();
    }

    const std::string& path() const { return path_; }

    // The next connection gets `answer`, which must stay valid until Finish.
    void Begin(std::string_view answer) {
        std::lock_guard<std::mutex> lock(mutex_);
        answer_ = answer;
        first_ = true;
        sentWhole_ = false;
    }
    // Ends the transfer's connections (curl has closed its ends by now); false when the
    // answer did not go out whole.
    bool Finish() {
        std::unique_lock<std::mutex> lock(mutex_);
        first_ = false;
        idle_.wait(lock, [this] { return !sending_; });
        for (int fd : open_)
            ::close(fd);
        open_.clear();
        return sentWhole_;
    }

private:
    void Run() {
        for (;;) {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            std::string_view answer;
            bool first = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (first_)
                    answer = answer_;
                first = first_;
                first_ = false;
                sending_ = true;
            }
            // Room for the largest input, so that the send never waits for curl.
            const int room = 4 * 65536;
            ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
            std::size_t sent = 0;
            while (sent < answer.size()) {
                const ssize_t n = ::send(fd, answer.data() + sent, answer.size() - sent,
                                         MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n <= 0)
                    break;
                sent += static_cast<std::size_t>(n);
            }
            // Only the sending side ends: a connection closed at once would look refused
            // to curl, or break its request.
            ::shutdown(fd, SHUT_WR);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                open_.push_back(fd);
                sentWhole_ = sentWhole_ || (first && sent == answer.size());
                sending_ = false;
            }
            idle_.notify_all();
        }
    }

    std::string path_;
    int listener_ = -1;
    std::mutex mutex_;
    std::condition_variable idle_;
    std::string_view answer_;
    bool first_ = false;
    bool sending_ = false;
    bool sentWhole_ = false;
    std::vector<int> open_;
};

bool Plain(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return c >= 0x20 && c < 0x7f; });
}

// The body that a simple answer announces and the bytes that follow its headers.
struct SimpleAnswer {
    std::size_t length = 0;
    std::string_view rest;
};

std::optional<SimpleAnswer> ParseSimple(std::string_view in) {
    auto nextLine = [&in](std::string_view& line) {
        const auto end = in.find("\r\n");
        if (end == std::string_view::npos)
            return false;
        line = in.substr(0, end);
        in.remove_prefix(end + 2);
        return true;
    };
    std::string_view line;
    if (!nextLine(line) || line.substr(0, 13) != "HTTP/1.1 200 " || !Plain(line))
        return std::nullopt;
    std::optional<std::size_t> length;
    for (;;) {
        if (!nextLine(line))
            return std::nullopt;
        if (line.empty())
            break;
        const auto colon = line.find(": ");
        if (colon == 0 || colon == std::string_view::npos || !Plain(line))
            return std::nullopt;
        std::string name(line.substr(0, colon));
        const std::string_view value = line.substr(colon + 2);
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-')
                return std::nullopt;
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (name == "transfer-encoding" || name == "content-encoding")
            return std::nullopt;
        if (name == "content-length") {
            if (length || value.empty() || value.size() > kMaxLengthDigits ||
                !std::all_of(value.begin(), value.end(),
                             [](unsigned char c) { return std::isdigit(c); }))
                return std::nullopt;
            length = std::stoul(std::string(value));
        }
    }
    if (!length)
        return std::nullopt;
    return SimpleAnswer{*length, in};
}

// The result text of a successful download of `body`: each piece of the buffer's size up
// to its first zero byte, or "Success" when that gives nothing.
std::string ResultText(std::string_view body) {
    std::string text;
    constexpr std::size_t limit = relaywick::CHttp::kResponseTextLimit;
    for (std::size_t at = 0; at < body.size() && text.size() < limit; at += kPiece) {
        const std::string_view piece = body.substr(at, kPiece);
        text += piece.substr(0, std::min(piece.find('\0'), limit - text.size()));
    }
    return text.empty() ? "Success" : text;
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A proxy from the environment would take the requests elsewhere.
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "HTTPS_PROXY", "ALL_PROXY",
                             "no_proxy", "NO_PROXY", "RELAYWICK_INSECURE_TLS"})
        ::unsetenv(name);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path folder = fs::path(fuzz::scratchFolder()) / "download";
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder);
    const fs::path target = folder / "file.bin";
    std::ofstream(target, std::ios::binary) << kOldContent;

    // Made once and never destroyed: its thread waits in accept for the whole run.
    static FakeServer* const server = new FakeServer;
    bool ok = false;
    bool sentWhole = false;
    std::string text;
    {
        server->Begin(std::string_view(reinterpret_cast<const char*>(data), size));
        relaywick::CHttp http;
        http.SetSessionHook([](CURL* c) {
            curl_easy_setopt(c, CURLOPT_UNIX_SOCKET_PATH, server->path().c_str());
            // Small receive pieces: a body arrives in several, and the run is not spent
            // allocating the library's large buffer anew for every input.
            curl_easy_setopt(c, CURLOPT_BUFFERSIZE, kReceivePiece);
        });
        relaywick::TransferRequest request;
        request.localFile = target.string();
        request.url = "http://relaywick.invalid/file.bin";
        ok = relaywick::SendRequest(http, request, text);
        sentWhole = server->Finish();
        if (http.Busy())
            fuzz::fail("still busy after the transfer");
    }

    const std::string content = Read(target);
    if (std::distance(fs::directory_iterator(folder), fs::directory_iterator()) != 1)
        fuzz::fail("something left beside the destination");
    if (!ok && content != kOldContent)
        fuzz::fail("a failed download changed the old file");
    if (!ok && text.empty())
        fuzz::fail("a failure without a text");
    if (ok && text != ResultText(content))
        fuzz::fail("the result text is not the start of the file");

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto simple = sentWhole ? ParseSimple(input) : std::nullopt;
    if (simple) {
        const bool whole = simple->rest.size() >= simple->length;
        if (ok != whole)
            fuzz::fail(whole ? "a whole 200 answer failed" : "a cut-short body succeeded");
        if (whole && content != simple->rest.substr(0, simple->length))
            fuzz::fail("the file is not the announced body");
    }
    return 0;
}
