#include "http.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "error_codes.h"

namespace relaywick {

namespace {

constexpr const char* kAgent = "Relaywick";
constexpr const char* kInsecureTlsVariable = "RELAYWICK_INSECURE_TLS";
// curl's own piece sizes: large enough that the file path is not held back by the small
// pieces that shape the response text.
constexpr long kReceiveBufferSize = 256 * 1024;
constexpr long kSendBufferSize = 512 * 1024;
constexpr long kConnectTimeoutSeconds = 60;
constexpr long kMaxRedirects = 10;

struct UrlDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct CurlString {
    char* p = nullptr;
    ~CurlString() { curl_free(p); }
};

std::string CutCredential(std::string_view text) {
    return std::string(text.substr(0, CHttp::kMaxCredential));
}

// The request line must not carry blanks or control bytes; everything else stays as the
// caller wrote it (existing escapes are not touched).
std::string EncodeObject(std::string_view text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c <= 0x20 || c >= 0x7f) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool InsecureTlsRequested() {
    const char* v = std::getenv(kInsecureTlsVariable);
    return v && std::strcmp(v, "1") == 0;
}

bool IsDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// Letters, digits, '+', '-' and '.' before the first ':', unless only digits follow up
// to the path: "localhost:8080/x" is a host with a port.
bool HasScheme(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 ||
        !std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    for (unsigned char c : text.substr(0, colon))
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return false;
    const std::string_view rest = text.substr(colon + 1);
    return !IsDigits(rest.substr(0, rest.find_first_of("/?#")));
}

// curl lets blanks and other bytes through in a host with CURLU_ALLOW_SPACE; a name is
// dot-separated labels of letters, digits, '-' and '_' (an address in brackets is curl's).
bool IsHostName(std::string_view host) {
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        return true;
    if (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    if (host.empty() || host.size() > 253)
        return false;
    std::size_t label = 0;
    for (unsigned char c : host) {
        if (c == '.') {
            if (label == 0)
                return false;
            label = 0;
        } else if (std::isalnum(c) || c == '-' || c == '_') {
            if (++label > 63)
                return false;
        } else {
            return false;
        }
    }
    return label > 0;
}

} // namespace

CHttp::CHttp() {
    SetBufferSize(bufferSize_);
}

CHttp::~CHttp() {
    CloseConnection();
}

void CHttp::SetServerUser(std::string_view user) {
    serverUser_ = CutCredential(user);
}
void CHttp::SetServerPassword(std::string_view password) {
    serverPassword_ = CutCredential(password);
}
void CHttp::SetProxyUser(std::string_view user) {
    proxyUser_ = CutCredential(user);
}
void CHttp::SetProxyPassword(std::string_view password) {
    proxyPassword_ = CutCredential(password);
}

void CHttp::SetError(const char* format, int code) {
    char text[256];
    std::snprintf(text, sizeof text, format, code);
    errorText_ = text;
    lastCode_ = code;
}

void CHttp::SetErrorText(std::string text) {
    errorText_ = std::move(text);
}

int CHttp::ServiceOf(std::string_view scheme) {
    if (scheme == "http")
        return kServiceHttp;
    if (scheme == "https")
        return kServiceHttps;
    if (scheme == "ftp")
        return kServiceFtp;
    if (scheme == "gopher")
        return kServiceGopher;
    if (scheme == "file")
        return kServiceFile;
    if (scheme == "news")
        return kServiceNews;
    if (scheme == "mailto")
        return kServiceMailto;
    return kServiceOther;
}

bool CHttp::ParseUrl(const std::string& text) {
    std::unique_ptr<CURLU, UrlDeleter> u(curl_url());
    if (!u)
        throw std::bad_alloc();
    if (curl_url_set(u.get(), CURLUPART_URL, text.c_str(), CURLU_ALLOW_SPACE) != CURLUE_OK)
        return false;
    CurlString scheme, host, path, query, port;
    if (curl_url_get(u.get(), CURLUPART_SCHEME, &scheme.p, 0) != CURLUE_OK ||
        curl_url_get(u.get(), CURLUPART_HOST, &host.p, 0) != CURLUE_OK || !IsHostName(host.p))
        return false;
    const int service = ServiceOf(scheme.p);
    if (service != kServiceHttp && service != kServiceHttps)
        return false;
    int urlPort = 0;
    if (curl_url_get(u.get(), CURLUPART_PORT, &port.p, 0) == CURLUE_OK) {
        urlPort = std::atoi(port.p);
        if (urlPort < 1 || urlPort > 65535)
            return false;
    }
    std::string object = "/";
    if (curl_url_get(u.get(), CURLUPART_PATH, &path.p, 0) == CURLUE_OK && *path.p)
        object = path.p;
    if (curl_url_get(u.get(), CURLUPART_QUERY, &query.p, 0) == CURLUE_OK)
        object += std::string("?") + query.p;
    urlPort_ = urlPort;
    service_ = service;
    server_ = host.p;
    object_ = EncodeObject(object);
    return true;
}

bool CHttp::SetUrl(std::string_view text) {
    std::string url(text);
    // Only a text without a scheme gets one: "http://" in front of "file:///x" or of a
    // URL that failed to parse would make "http" the host.
    if (!HasScheme(url))
        url.insert(0, "http://");
    if (ParseUrl(url)) {
        url_ = std::move(url);
        return true;
    }
    // Nothing of the previous target may survive, or the transfer would go there.
    url_.clear();
    server_.clear();
    object_.clear();
    service_ = 0;
    urlPort_ = 0;
    SetErrorText("Incorrect URL.");
    return false;
}

void CHttp::SetSecure(bool secure) {
    secure_ = secure;
    port_ = urlPort_ ? urlPort_ : (Secure() ? 443 : 80);
}

bool CHttp::SetBufferSize(std::size_t bytes) {
    buffer_.reset();
    bufferSize_ = bytes;
    if (bytes == 0)
        return false;
    buffer_.reset(new (std::nothrow) char[bytes]);
    return buffer_ != nullptr;
}

bool CHttp::OpenConnection() {
    CloseConnection();
    session_.reset(curl_easy_init());
    if (!session_) {
        SetError("Failed in call to InternetOpen, Error :%d", CURLE_FAILED_INIT);
        return false;
    }
    CURL* c = session_.get();
    const bool insecure = InsecureTlsRequested();
    CURLcode rc = CURLE_OK;
    auto set = [&](CURLoption option, auto value) {
        if (rc == CURLE_OK)
            rc = curl_easy_setopt(c, option, value);
    };
    set(CURLOPT_USERAGENT, kAgent);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, kMaxRedirects);
    set(CURLOPT_REDIR_PROTOCOLS_STR, Secure() ? "https" : "http,https");
    set(CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    // A server dripping a few bytes a second would otherwise hold the caller for hours.
    set(CURLOPT_LOW_SPEED_LIMIT, kStallBytesPerSecond);
    set(CURLOPT_LOW_SPEED_TIME, stallSeconds_);
    set(CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    set(CURLOPT_UPLOAD_BUFFERSIZE, kSendBufferSize);
    set(CURLOPT_SSL_VERIFYPEER, insecure ? 0L : 1L);
    set(CURLOPT_SSL_VERIFYHOST, insecure ? 0L : 2L);
    set(CURLOPT_WRITEFUNCTION, &CHttp::WriteTrampoline);
    set(CURLOPT_WRITEDATA, static_cast<void*>(this));
    set(CURLOPT_HEADERFUNCTION, &CHttp::HeaderTrampoline);
    set(CURLOPT_HEADERDATA, static_cast<void*>(this));
    set(CURLOPT_READFUNCTION, &CHttp::ReadTrampoline);
    set(CURLOPT_READDATA, static_cast<void*>(this));
    set(CURLOPT_SEEKFUNCTION, &CHttp::SeekTrampoline);
    set(CURLOPT_SEEKDATA, static_cast<void*>(this));
    if (rc != CURLE_OK) {
        SetError("Failed in call to InternetOpen, Error :%d", rc);
        session_.reset();
        return false;
    }
    set(CURLOPT_RESOLVER_START_FUNCTION, &CHttp::ResolverStartTrampoline);
    set(CURLOPT_RESOLVER_START_DATA, static_cast<void*>(this));
    set(CURLOPT_SOCKOPTFUNCTION, &CHttp::SockoptTrampoline);
    set(CURLOPT_SOCKOPTDATA, static_cast<void*>(this));
    set(CURLOPT_PREREQFUNCTION, &CHttp::PrereqTrampoline);
    set(CURLOPT_PREREQDATA, static_cast<void*>(this));
    if (rc != CURLE_OK) {
        SetError("Failed in call to InternetSetStatusCallback, Error :%d", rc);
        session_.reset();
        return false;
    }
    if (server_.empty() || (service_ != kServiceHttp && service_ != kServiceHttps)) {
        SetError("Failed in call to InternetConnect, Error:%d\n",
                 server_.empty() ? kErrInvalidUrl : kErrUnrecognizedScheme);
        session_.reset();
        return false;
    }
    if (sessionHook_)
        sessionHook_(c);
    connection_ =
        std::string(Secure() ? "https://" : "http://") + server_ + ":" + std::to_string(port_);
    return true;
}

bool CHttp::OpenRequest(bool post) {
    CloseRequest();
    if (!session_ || connection_.empty()) {
        SetError("Failed in call to HttpOpenRequest, Error:%d\n", CURLE_BAD_FUNCTION_ARGUMENT);
        return false;
    }
    CURL* c = session_.get();
    // A bodiless POST carries no content type.
    curl_slist* headers = RequestHeaders(post ? "Content-Type:" : nullptr);
    requestHeaders_.reset(headers);
    if (target_.empty())
        target_ = connection_ + object_;
    CURLcode rc = headers ? CURLE_OK : CURLE_OUT_OF_MEMORY;
    auto set = [&](CURLoption option, auto value) {
        if (rc == CURLE_OK)
            rc = curl_easy_setopt(c, option, value);
    };
    set(CURLOPT_URL, target_.c_str());
    // curl turns a redirected POST into a GET, whose answer would pass for the upload's:
    // an upload's redirects are handled in FollowUploadRedirect.
    set(CURLOPT_FOLLOWLOCATION, post ? 0L : 1L);
    post_ = post;
    if (post) {
        set(CURLOPT_POST, 1L);
        set(CURLOPT_POSTFIELDS, "");
        set(CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t{0});
    } else {
        set(CURLOPT_HTTPGET, 1L);
    }
    set(CURLOPT_HTTPHEADER, headers);
    if (rc != CURLE_OK) {
        SetError("Failed in call to HttpOpenRequest, Error:%d\n", rc);
        CloseRequest();
        return false;
    }
    request_ = true;
    return true;
}

curl_slist* CHttp::RequestHeaders(const char* contentType) {
    curl_slist* headers = nullptr;
    // A failed append leaves the list as it was, so it is freed here.
    auto append = [&](const char* line) {
        curl_slist* longer = curl_slist_append(headers, line);
        if (!longer)
            curl_slist_free_all(headers);
        headers = longer;
        return longer != nullptr;
    };
    // No "100 Continue" round trip.
    if (append("Accept: */*") && append("Expect:") && contentType)
        append(contentType);
    return headers;
}

void CHttp::CloseRequest() {
    if (session_)
        curl_easy_setopt(session_.get(), CURLOPT_HTTPHEADER, nullptr);
    requestHeaders_.reset();
    request_ = false;
}

void CHttp::CloseConnection() {
    CloseRequest();
    session_.reset();
    connection_.clear();
    target_.clear();
}

bool CHttp::FollowUploadRedirect(long status, int hops) {
    CURL* c = session_.get();
    char* location = nullptr;
    curl_easy_getinfo(c, CURLINFO_REDIRECT_URL, &location);
    const std::string to = location ? location : "";
    std::unique_ptr<CURLU, UrlDeleter> from(curl_url()), next(curl_url());
    if (!from || !next)
        throw std::bad_alloc();
    CurlString fromScheme, fromHost, nextScheme, nextHost;
    // Only 307 and 308 keep the method and the body; a secure upload stays secure.
    bool follow = (status == 307 || status == 308) && hops <= kMaxRedirects && !to.empty() &&
                  curl_url_set(from.get(), CURLUPART_URL, target_.c_str(), 0) == CURLUE_OK &&
                  curl_url_set(next.get(), CURLUPART_URL, to.c_str(), 0) == CURLUE_OK &&
                  curl_url_get(from.get(), CURLUPART_SCHEME, &fromScheme.p, 0) == CURLUE_OK &&
                  curl_url_get(from.get(), CURLUPART_HOST, &fromHost.p, 0) == CURLUE_OK &&
                  curl_url_get(next.get(), CURLUPART_SCHEME, &nextScheme.p, 0) == CURLUE_OK &&
                  curl_url_get(next.get(), CURLUPART_HOST, &nextHost.p, 0) == CURLUE_OK;
    if (follow) {
        const int fromService = ServiceOf(fromScheme.p);
        const int nextService = ServiceOf(nextScheme.p);
        follow = (nextService == kServiceHttps ||
                  (nextService == kServiceHttp && fromService == kServiceHttp));
    }
    if (!follow) {
        char text[256];
        std::snprintf(text, sizeof text, "HTTP status %ld: the upload was redirected to %s\n",
                      status, to.empty() ? "no address" : to.c_str());
        errorText_ = text;
        lastCode_ = static_cast<int>(status);
        return false;
    }
    // The server's credentials are for the server only.
    if (std::strcmp(fromHost.p, nextHost.p) != 0) {
        curl_easy_setopt(c, CURLOPT_USERNAME, nullptr);
        curl_easy_setopt(c, CURLOPT_PASSWORD, nullptr);
    }
    target_ = to;
    curl_easy_setopt(c, CURLOPT_URL, target_.c_str());
    return true;
}

void CHttp::Notify(NotifyEvent event, std::uint32_t detail, std::uintptr_t parameter) {
    if (event == NotifyEvent::Error || event == NotifyEvent::Done) {
        CloseConnection();
        busy_ = false;
    }
    progress_.detail = detail;
    if (sink_)
        sink_(event, progress_, parameter);
}

CURLcode CHttp::Perform() {
    abort_ = Abort::None;
    wentSecure_ = false;
    bodyBegun_ = false;
    headersSeen_ = false;
    pieceFill_ = 0;
    return curl_easy_perform(session_.get());
}

long CHttp::ResponseCode() const {
    long status = 0;
    curl_easy_getinfo(session_.get(), CURLINFO_RESPONSE_CODE, &status);
    return status;
}

int CHttp::ErrorCodeOf(CURLcode rc) const {
    long verify = 0;
    curl_easy_getinfo(session_.get(), CURLINFO_SSL_VERIFYRESULT, &verify);
    return TransferErrorCode(rc, verify);
}

void CHttp::SetStatusError(long status, int sends) {
    char text[160];
    const char* who = status == 407 ? "proxy" : "server";
    if ((status == 401 && serverUser_.empty()) || (status == 407 && proxyUser_.empty()))
        std::snprintf(text, sizeof text,
                      "HTTP status %ld: the %s asks for credentials and none were given\n", status,
                      who);
    else if (status == 401 || status == 407)
        std::snprintf(text, sizeof text,
                      "HTTP status %ld: the %s refused the credentials, gave up after %d sends\n",
                      status, who, sends);
    else
        std::snprintf(text, sizeof text, "The server answered with HTTP status %ld\n", status);
    errorText_ = text;
    lastCode_ = static_cast<int>(status);
}

bool CHttp::SendWithRetry() {
    if (!session_ || !request_) {
        SetError("Failed in call to HttpSendRequest, Error:%d\n", CURLE_BAD_FUNCTION_ARGUMENT);
        return false;
    }
    CURL* c = session_.get();
    int hops = 0;
    for (int sends = 1;; ++sends) {
        const CURLcode rc = Perform();
        if (abort_ == Abort::Local)
            return false; // the callback has left its text
        long status = ResponseCode();
        if (rc != CURLE_OK && abort_ != Abort::Status) {
            long connectStatus = 0;
            curl_easy_getinfo(c, CURLINFO_HTTP_CONNECTCODE, &connectStatus);
            if (connectStatus == 407) {
                status = connectStatus; // a proxy refused the tunnel
            } else {
                const int code = ErrorCodeOf(rc);
                if (bodySink_ == BodySink::Download && bodyBegun_)
                    SetError("Failed in call to InternetReadFile, Error:%d\n", code);
                else
                    SetError("Failed in call to HttpSendRequest, Error:%d\n", code);
                return false;
            }
        }
        if (status == 200)
            return true;
        if (post_ && status >= 300 && status < 400) {
            if (!FollowUploadRedirect(status, ++hops))
                return false;
            --sends;
            continue;
        }
        if (sends <= kMaxResends && status == 401 && !serverUser_.empty()) {
            curl_easy_setopt(c, CURLOPT_USERNAME, serverUser_.c_str());
            curl_easy_setopt(c, CURLOPT_PASSWORD, serverPassword_.c_str());
            curl_easy_setopt(c, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
            continue;
        }
        if (sends <= kMaxResends && status == 407 && !proxyUser_.empty()) {
            curl_easy_setopt(c, CURLOPT_PROXYUSERNAME, proxyUser_.c_str());
            curl_easy_setopt(c, CURLOPT_PROXYPASSWORD, proxyPassword_.c_str());
            curl_easy_setopt(c, CURLOPT_PROXYAUTH, CURLAUTH_ANY);
            continue;
        }
        SetStatusError(status, sends);
        return false;
    }
}

void CHttp::ClosePiece() {
    if (pieceFill_ && responseText_.size() < kResponseTextLimit) {
        const std::size_t len = strnlen(buffer_.get(), pieceFill_);
        responseText_.append(buffer_.get(),
                             std::min(len, kResponseTextLimit - responseText_.size()));
    }
    pieceFill_ = 0;
}

// The text is built as if the body arrived in pieces of the buffer size, each piece
// contributing its bytes up to its first zero byte. Once the text is full the rest of the
// body is not walked at all: a large download must not pay for its pieces.
void CHttp::CapturePiece(const char* data, std::size_t n) {
    while (n > 0 && responseText_.size() < kResponseTextLimit) {
        const std::size_t take = std::min(n, bufferSize_ - pieceFill_);
        std::memcpy(buffer_.get() + pieceFill_, data, take);
        pieceFill_ += take;
        data += take;
        n -= take;
        if (pieceFill_ == bufferSize_)
            ClosePiece();
    }
}

void CHttp::UpdateEstimate() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastEstimate_ <= std::chrono::seconds(1) || !progress_.bytesMoved || !total_)
        return;
    lastEstimate_ = now;
    const double elapsedMs = std::chrono::duration<double, std::milli>(now - start_).count();
    progress_.secondsLeft =
        static_cast<std::uint32_t>(elapsedMs / static_cast<double>(progress_.bytesMoved) *
                                   static_cast<double>(progress_.bytesLeft) * 0.001);
}

bool CHttp::BeginBody() {
    bodyBegun_ = true;
    curl_off_t length = -1;
    curl_easy_getinfo(session_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length >= 0) {
        total_ = static_cast<std::uint64_t>(length);
        Notify(NotifyEvent::Progress, kProgressTotal, static_cast<std::uintptr_t>(total_));
    } else {
        SetErrorText("Error unable to retrieve FileSize for : " + localFile_);
        total_ = 0;
        Notify(NotifyEvent::SizeUnknown, kProgressUnknown, 0);
    }
    start_ = lastEstimate_ = std::chrono::steady_clock::now();
    if (localFile_.empty()) {
        capture_ = true;
        return true;
    }
    if (!OpenDownloadFile()) {
        SetError("Failed to open the file to download into, Error:%d\n", errno);
        return false;
    }
    return true;
}

// The body goes to a temporary file beside the destination, which replaces the old file
// only when the download is whole: a failed download leaves the old file as it was.
bool CHttp::OpenDownloadFile() {
    struct stat old {};
    const bool exists = ::lstat(localFile_.c_str(), &old) == 0;
    const bool regular = exists && S_ISREG(old.st_mode);
    // A FIFO or a device is no file to keep a download in (and would be replaced by the
    // rename); a link is replaced, its target left alone.
    if (exists && !regular && !S_ISLNK(old.st_mode)) {
        errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    // A file that its owner made read-only is not replaced behind the owner's back.
    if (regular && ::faccessat(AT_FDCWD, localFile_.c_str(), W_OK, AT_EACCESS) != 0)
        return false;
    if (!download_.Create(AT_FDCWD, localFile_))
        return false;
    if (regular)
        ::fchmod(download_.fd(), old.st_mode & 0777); // as the old file was; best effort
    return true;
}

bool CHttp::Download() {
    if (!buffer_) {
        SetErrorText("Fatal Error: Could not allocate memory.");
        Notify(NotifyEvent::Error, ENOMEM, 0);
        return false;
    }
    if (!OpenRequest(false))
        return false;
    busy_ = true;
    responseText_.clear();
    progress_ = {};
    total_ = 0;
    bodySink_ = BodySink::Download;
    // However the download ends, a temporary file that did not take its place goes.
    struct DiscardTemp {
        TempFile& temp;
        ~DiscardTemp() { temp.Discard(); }
    } discard{download_};
    bool ok = SendWithRetry() && (bodyBegun_ || BeginBody());
    if (ok) {
        ClosePiece();
        if (download_.Active() && !download_.Sync()) {
            SetErrorText("An exception occured while writing to the download file\n");
            lastCode_ = errno;
            ok = false;
        } else if (download_.Active() && !download_.Commit()) {
            SetError("Failed to open the file to download into, Error:%d\n", errno);
            ok = false;
        }
    }
    if (!ok) {
        Notify(NotifyEvent::Error, static_cast<std::uint32_t>(lastCode_), 0);
        return false;
    }
    Notify(NotifyEvent::Done, 0, 0);
    return true;
}

std::size_t CHttp::OnWrite(const char* data, std::size_t n) {
    const long status = ResponseCode();
    if (status != 200) {
        // Answers that lead to a resend or a redirect are read to their end so that the
        // connection can carry the next request; any other answer ends the transfer.
        if (status == 401 || status == 407 || (status >= 300 && status < 400))
            return n;
        abort_ = Abort::Status;
        return 0;
    }
    switch (bodySink_) {
    case BodySink::Discard:
        return n;
    case BodySink::Answer:
        CapturePiece(data, n);
        return n;
    case BodySink::Download:
        break;
    }
    if (!bodyBegun_ && !BeginBody()) {
        abort_ = Abort::Local;
        return 0;
    }
    progress_.bytesMoved += n;
    progress_.bytesLeft = total_ > progress_.bytesMoved ? total_ - progress_.bytesMoved : 0;
    UpdateEstimate();
    Notify(NotifyEvent::Progress, kProgressMoved, reinterpret_cast<std::uintptr_t>(&progress_));
    if (capture_)
        CapturePiece(data, n);
    if (download_.Active()) {
        std::size_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(download_.fd(), data + done, n - done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                lastCode_ = errno;
                SetErrorText("An exception occured while writing to the download file\n");
                abort_ = Abort::Local;
                return 0;
            }
            done += static_cast<std::size_t>(w);
        }
    }
    return n;
}

std::size_t CHttp::OnHeader(const char* data, std::size_t n) {
    if (n > 12 && std::memcmp(data, "HTTP/", 5) == 0) {
        const char* space = static_cast<const char*>(std::memchr(data, ' ', n));
        if (space && space + 1 < data + n && space[1] >= '2')
            headersSeen_ = true;
    }
    return n;
}

// Trampolines: curl is C, so nothing may be thrown through it.

std::size_t CHttp::WriteTrampoline(char* data, std::size_t size, std::size_t count, void* self) {
    auto* http = static_cast<CHttp*>(self);
    try {
        return http->OnWrite(data, size * count);
    } catch (...) {
        http->SetErrorText("Fatal Error: Could not allocate memory.");
        http->lastCode_ = ENOMEM;
        http->abort_ = Abort::Local;
        return 0;
    }
}

std::size_t CHttp::HeaderTrampoline(char* data, std::size_t size, std::size_t count, void* self) {
    return static_cast<CHttp*>(self)->OnHeader(data, size * count);
}

std::size_t CHttp::ReadTrampoline(char* buffer, std::size_t size, std::size_t count, void* self) {
    auto* http = static_cast<CHttp*>(self);
    try {
        return http->OnRead(buffer, size * count);
    } catch (...) {
        http->SetErrorText("Fatal Error: Could not allocate memory.");
        http->lastCode_ = ENOMEM;
        http->abort_ = Abort::Local;
        return CURL_READFUNC_ABORT;
    }
}

int CHttp::SeekTrampoline(void* self, curl_off_t offset, int origin) {
    try {
        return static_cast<CHttp*>(self)->OnSeek(offset, origin);
    } catch (...) {
        return CURL_SEEKFUNC_FAIL;
    }
}

int CHttp::ResolverStartTrampoline(void*, void*, void* self) {
    try {
        static const char text[] = "Resolving Name";
        static_cast<CHttp*>(self)->Notify(NotifyEvent::Status, kStatusResolving,
                                          reinterpret_cast<std::uintptr_t>(text));
    } catch (...) {
    }
    return 0;
}

int CHttp::SockoptTrampoline(void* self, curl_socket_t, curlsocktype purpose) {
    try {
        static const char text[] = "Connecting to Server";
        if (purpose == CURLSOCKTYPE_IPCXN)
            static_cast<CHttp*>(self)->Notify(NotifyEvent::Status, kStatusConnecting,
                                              reinterpret_cast<std::uintptr_t>(text));
    } catch (...) {
    }
    return CURL_SOCKOPT_OK;
}

int CHttp::PrereqTrampoline(void* self, char*, char*, int, int) {
    auto* http = static_cast<CHttp*>(self);
    try {
        if (!http->OnPrereq())
            return CURL_PREREQFUNC_ABORT;
        static const char text[] = "Connected";
        http->Notify(NotifyEvent::Status, kStatusConnected, reinterpret_cast<std::uintptr_t>(text));
    } catch (...) {
    }
    return CURL_PREREQFUNC_OK;
}

// Runs before every request of a transfer, redirected ones too: once a transfer has gone
// over TLS, no later request of it goes in the clear.
bool CHttp::OnPrereq() {
    const char* scheme = nullptr;
    curl_easy_getinfo(session_.get(), CURLINFO_SCHEME, &scheme);
    const bool secure = scheme && strcasecmp(scheme, "https") == 0; // curl may spell it "HTTPS"
    if (secure) {
        wentSecure_ = true;
        return true;
    }
    if (!wentSecure_)
        return true;
    SetError("Failed in call to HttpSendRequest, Error:%d\n", kErrUnrecognizedScheme);
    abort_ = Abort::Local;
    return false;
}

} // namespace relaywick
