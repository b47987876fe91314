// CHttp: the one transfer object of the library. It parses the target URL, opens a curl
// session for it and runs either a download into a file (or into the response text) or a
// multipart upload. Every failure leaves a formatted error text behind; the text survives
// until the next failure replaces it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <curl/curl.h>

#include "temp_file.h"
#include "unique_fd.h"

namespace relaywick {

enum class NotifyEvent : unsigned {
    Progress = 34658,
    Error = 34659,
    Status = 34661,
    Done = 34662,
    SizeUnknown = 34663,
};

// Progress details reported with NotifyEvent::Progress.
enum : std::uint32_t {
    kProgressTotal = 101,   // parameter: total bytes
    kProgressMoved = 102,   // parameter: address of the progress block
    kProgressUnknown = 103, // with NotifyEvent::SizeUnknown
    kProgressUpload = 104,  // upload started
};

// Status codes reported with NotifyEvent::Status (parameter: the text).
enum : std::uint32_t {
    kStatusResolving = 10,
    kStatusConnecting = 20,
    kStatusConnected = 21,
};

struct ProgressBlock {
    std::uint32_t detail = 0;
    std::uint64_t bytesMoved = 0;
    std::uint64_t bytesLeft = 0;
    std::uint32_t secondsLeft = 0;
};

// Receives every report: the event, the progress block and the event's parameter.
using NotifySink = std::function<void(NotifyEvent, const ProgressBlock&, std::uintptr_t)>;

class CHttp {
public:
    // Credentials are cut to this many bytes.
    static constexpr std::size_t kMaxCredential = 255;
    // Resends of one request for credentials before the transfer gives up.
    static constexpr int kMaxResends = 3;
    // The response text keeps at most this many bytes: callers see only its start, and a
    // large body must not pile up in memory.
    static constexpr std::size_t kResponseTextLimit = 4096;
    // A transfer slower than this many bytes a second for the stall window fails; there is
    // no cap on the time of a transfer that keeps moving.
    static constexpr long kStallBytesPerSecond = 1024;
    static constexpr long kStallSeconds = 30;

    CHttp();
    virtual ~CHttp();
    CHttp(const CHttp&) = delete;
    CHttp& operator=(const CHttp&) = delete;

    void SetLocalFile(std::string_view path) { localFile_ = path; }
    bool SetUrl(std::string_view text);
    void SetServerUser(std::string_view user);
    void SetServerPassword(std::string_view password);
    void SetProxyUser(std::string_view user);
    void SetProxyPassword(std::string_view password);
    void SetSecure(bool secure);
    bool SetBufferSize(std::size_t bytes);
    void SetCapture(bool capture) { capture_ = capture; }
    void SetNotifySink(NotifySink sink) { sink_ = std::move(sink); }
    // For tests: the stall window in seconds, from the next OpenConnection on.
    void SetStallWindow(long seconds) { stallSeconds_ = seconds; }
    // For tests and fuzzing: runs on every new curl session after the library's own options,
    // so that a fake transport can be put underneath.
    void SetSessionHook(std::function<void(CURL*)> hook) { sessionHook_ = std::move(hook); }

    bool OpenConnection();
    bool OpenRequest(bool post);
    bool SendWithRetry();
    bool Download();
    bool Upload();
    void CloseConnection();
    void Notify(NotifyEvent event, std::uint32_t detail, std::uintptr_t parameter);

    bool ClearFields();
    bool AddField(std::string_view name, std::string_view value);
    static std::string MakeBoundary();
    std::string BuildFilePart(const std::string& boundary) const;
    std::string BuildFieldParts(const std::string& boundary) const;

    const std::string& Url() const { return url_; }
    const std::string& ErrorText() const { return errorText_; }
    const std::string& ResponseText() const { return responseText_; }
    const std::string& Server() const { return server_; }
    const std::string& Object() const { return object_; }
    int Port() const { return port_; }
    bool Secure() const { return secure_ || service_ == kServiceHttps; }
    bool Busy() const { return busy_; }
    std::size_t FieldCount() const { return fieldNames_.size(); }

    // Service codes of the parsed URL's scheme.
    static constexpr int kServiceFtp = 1;
    static constexpr int kServiceGopher = 2;
    static constexpr int kServiceHttp = 3;
    static constexpr int kServiceFile = 4097;
    static constexpr int kServiceMailto = 4098;
    static constexpr int kServiceNews = 4102;
    static constexpr int kServiceHttps = 4107;
    static constexpr int kServiceOther = 4096;

private:
    // What becomes of a 200 answer's body.
    enum class BodySink { Discard, Download, Answer };
    // Why a transfer was stopped from inside one of our callbacks.
    enum class Abort { None, Status, Local };

    struct CurlDeleter {
        void operator()(CURL* c) const { curl_easy_cleanup(c); }
    };
    struct SlistDeleter {
        void operator()(curl_slist* l) const { curl_slist_free_all(l); }
    };

    static int ServiceOf(std::string_view scheme);
    bool ParseUrl(const std::string& text);
    void SetError(const char* format, int code);
    void SetErrorText(std::string text);
    void SetStatusError(long status, int sends);
    void ClosePiece();
    void CapturePiece(const char* data, std::size_t n);
    // The headers every request carries, with `contentType` (a whole header line) when
    // given; null when out of memory.
    static curl_slist* RequestHeaders(const char* contentType);
    void CloseRequest();
    CURLcode Perform();
    long ResponseCode() const;
    int ErrorCodeOf(CURLcode rc) const;
    void UpdateEstimate();
    bool BeginBody();
    bool OpenDownloadFile();
    bool FinishDownload();
    bool SendBody(std::uint64_t total);
    // After a 3xx answer to an upload: points the request at the new location when the
    // redirect keeps the method and the body, else leaves the error text. False to stop.
    bool FollowUploadRedirect(long status, int hops);
    bool OnPrereq();

    std::size_t OnWrite(const char* data, std::size_t n);
    std::size_t OnHeader(const char* data, std::size_t n);
    std::size_t OnRead(char* buffer, std::size_t n);
    int OnSeek(curl_off_t offset, int origin);
    static std::size_t WriteTrampoline(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t HeaderTrampoline(char* data, std::size_t size, std::size_t count,
                                        void* self);
    static std::size_t ReadTrampoline(char* buffer, std::size_t size, std::size_t count,
                                      void* self);
    static int SeekTrampoline(void* self, curl_off_t offset, int origin);
    static int ResolverStartTrampoline(void* resolverState, void* reserved, void* self);
    static int SockoptTrampoline(void* self, curl_socket_t fd, curlsocktype purpose);
    static int PrereqTrampoline(void* self, char* conn_primary_ip, char* conn_local_ip,
                                int conn_primary_port, int conn_local_port);

    NotifySink sink_;
    std::function<void(CURL*)> sessionHook_;
    long stallSeconds_ = kStallSeconds;
    std::string url_;
    std::string errorText_;
    std::string localFile_;
    std::string serverUser_, serverPassword_;
    std::string proxyUser_, proxyPassword_;
    bool busy_ = false;
    ProgressBlock progress_;
    bool capture_ = false;
    std::string responseText_;
    int port_ = 0;
    int urlPort_ = 0; // the port written in the URL, 0 when none
    std::size_t bufferSize_ = 1024;
    bool secure_ = false;
    std::vector<std::string> fieldNames_;
    std::vector<std::string> fieldValues_;
    std::unique_ptr<CURL, CurlDeleter> session_;
    std::string connection_; // scheme://server:port once connected
    std::string target_;     // where the request goes: the URL or an upload's redirect
    bool post_ = false;
    bool request_ = false;
    std::unique_ptr<curl_slist, SlistDeleter> requestHeaders_;
    std::string server_;
    std::string object_;
    int service_ = 0;
    std::unique_ptr<char[]> buffer_;

    // Per transfer.
    BodySink bodySink_ = BodySink::Discard;
    Abort abort_ = Abort::None;
    bool bodyBegun_ = false;
    bool headersSeen_ = false;
    bool wentSecure_ = false;
    std::uint64_t total_ = 0;
    UniqueFd file_;     // the file an upload reads
    TempFile download_; // where a download goes until it is whole
    int lastCode_ = 0;  // number of the last failure, for Notify(Error)
    std::size_t pieceFill_ = 0;
    std::chrono::steady_clock::time_point start_, lastEstimate_;

    // Per multipart body.
    struct BodyState {
        const std::string* filePart = nullptr;
        const std::string* fieldParts = nullptr;
        int stage = 0;
        std::size_t offset = 0;
        std::uint64_t fileLeft = 0;
        std::uint64_t fileSize = 0;
        bool started = false;
        bool finished = false;
    } body_;
};

} // namespace relaywick
