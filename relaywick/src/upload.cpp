// The multipart upload: one POST without a body settles credentials first, then the file
// and the fields go out as one multipart/form-data body whose length is announced before
// the first byte moves.
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <uuid/uuid.h>

#include "error_codes.h"
#include "http.h"

namespace relaywick {

namespace {

constexpr char kFinalSuffix[] = "--\r\n";
constexpr std::size_t kFinalSuffixLength = sizeof kFinalSuffix - 1;

// Names go inside a quoted header parameter: a quote or a line break would end it and
// let the text add headers of its own.
std::string EscapeParameter(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '"':
            out += "%22";
            break;
        case '\r':
            out += "%0D";
            break;
        case '\n':
            out += "%0A";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

bool CHttp::ClearFields() {
    fieldNames_.clear();
    fieldValues_.clear();
    return true;
}

bool CHttp::AddField(std::string_view name, std::string_view value) {
    // Reserve first so that the two lists never differ in length.
    fieldNames_.reserve(fieldNames_.size() + 1);
    fieldValues_.reserve(fieldValues_.size() + 1);
    std::string n(name), v(value);
    fieldNames_.push_back(std::move(n));
    fieldValues_.push_back(std::move(v));
    return true;
}

std::string CHttp::MakeBoundary() {
    uuid_t id;
    uuid_generate(id);
    char text[37];
    uuid_unparse_lower(id, text);
    return text;
}

std::string CHttp::BuildFilePart(const std::string& boundary) const {
    if (localFile_.empty())
        return {};
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"FILE\"; filename=\"" +
           EscapeParameter(localFile_) + "\"\r\nContent-Type: text/html\r\n\r\n";
}

std::string CHttp::BuildFieldParts(const std::string& boundary) const {
    std::string parts;
    for (std::size_t i = 0; i < fieldNames_.size(); ++i) {
        parts += "\r\n--" + boundary + "\r\nContent-Disposition: form-data; name=\"" +
                 EscapeParameter(fieldNames_[i]) + "\"\r\n\r\n";
        parts += fieldValues_[i];
    }
    parts += "\r\n--" + boundary;
    return parts;
}

bool CHttp::Upload() {
    if (!buffer_) {
        SetErrorText("Fatal Error: Could not allocate memory.");
        Notify(NotifyEvent::Error, ENOMEM, 0);
        return false;
    }
    if (!OpenRequest(true))
        return false;
    busy_ = true;
    responseText_.clear();
    progress_ = {};
    bodySink_ = BodySink::Discard;
    if (!SendWithRetry() || !OpenRequest(true)) {
        Notify(NotifyEvent::Error, static_cast<std::uint32_t>(lastCode_), 0);
        return false;
    }
    start_ = lastEstimate_ = std::chrono::steady_clock::now();
    const std::string boundary = MakeBoundary();
    const std::string header = "Content-Type: multipart/form-data, boundary=" + boundary;
    Notify(NotifyEvent::Progress, kProgressUpload, 0);

    // Replace the empty Content-Type of the bodiless POST.
    curl_slist* headers = RequestHeaders(header.c_str());
    if (!headers || curl_easy_setopt(session_.get(), CURLOPT_HTTPHEADER, headers) != CURLE_OK) {
        curl_slist_free_all(headers);
        SetError("Error adding HTTPRequestHeaders . Errorcode:%d", ENOMEM);
        Notify(NotifyEvent::Error, ENOMEM, 0);
        return false;
    }
    requestHeaders_.reset(headers);

    const std::string filePart = BuildFilePart(boundary);
    const std::string fieldParts = BuildFieldParts(boundary);
    std::uint64_t fileSize = 0;
    if (!localFile_.empty()) {
        // Opening a FIFO would wait for a writer, and a FIFO or a device has no size to
        // announce: only a regular file is uploaded.
        file_.reset(::open(localFile_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (file_ && ::fstat(file_.get(), &st) != 0)
            file_.reset();
        else if (file_ && !S_ISREG(st.st_mode)) {
            file_.reset();
            errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        }
        if (!file_) {
            SetError("Error reading the file: %d ", errno);
            Notify(NotifyEvent::Error, static_cast<std::uint32_t>(lastCode_), 0);
            return false;
        }
        fileSize = static_cast<std::uint64_t>(st.st_size);
    }
    const std::uint64_t total = filePart.size() + fileSize + fieldParts.size() + kFinalSuffixLength;
    total_ = total;
    Notify(NotifyEvent::Progress, kProgressTotal, static_cast<std::uintptr_t>(total));

    body_ = BodyState{};
    body_.filePart = &filePart;
    body_.fieldParts = &fieldParts;
    body_.fileSize = body_.fileLeft = fileSize;
    return SendBody(total);
}

bool CHttp::SendBody(std::uint64_t total) {
    CURL* c = session_.get();
    bodySink_ = BodySink::Answer;
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, nullptr);
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(total));
    CURLcode rc = Perform();
    for (int hops = 1; abort_ != Abort::Local && (rc == CURLE_OK || abort_ == Abort::Status);
         ++hops) {
        const long status = ResponseCode();
        if (status < 300 || status >= 400)
            break;
        if (!FollowUploadRedirect(status, hops) || OnSeek(0, SEEK_SET) != CURL_SEEKFUNC_OK) {
            file_.reset();
            body_.filePart = body_.fieldParts = nullptr;
            Notify(NotifyEvent::Error, static_cast<std::uint32_t>(lastCode_), 0);
            return false;
        }
        body_.started = false;
        rc = Perform();
    }
    file_.reset();
    ClosePiece();
    body_.filePart = body_.fieldParts = nullptr;
    if (abort_ == Abort::Local) {
        Notify(NotifyEvent::Error, static_cast<std::uint32_t>(lastCode_), 0);
        return false;
    }
    if (rc == CURLE_OK || abort_ == Abort::Status) {
        const long status = ResponseCode();
        if (status == 200) {
            Notify(NotifyEvent::Done, 0, 0);
            return true;
        }
        SetStatusError(status, 1);
    } else {
        const int code = ErrorCodeOf(rc);
        if (IsCertificateError(code))
            SetError("Failed in call to HttpSendRequest, Error:%d\n", code);
        else if (body_.started && !body_.finished)
            SetError("Transfer Error : %d ", code);
        else if (body_.finished && !headersSeen_)
            SetError("Error Http EndRequest : %d ", code);
        else
            SetError("Unable to Transfer File  . Errorcode:%d", code);
    }
    Notify(NotifyEvent::Error, static_cast<std::uint32_t>(lastCode_), 0);
    return false;
}

std::size_t CHttp::OnRead(char* buffer, std::size_t n) {
    if (!body_.fieldParts)
        return 0; // a bodiless request
    body_.started = true;
    std::size_t out = 0;
    auto moved = [&](std::size_t bytes) {
        progress_.bytesMoved += bytes;
        progress_.bytesLeft = total_ > progress_.bytesMoved ? total_ - progress_.bytesMoved : 0;
        UpdateEstimate();
        Notify(NotifyEvent::Progress, kProgressMoved, reinterpret_cast<std::uintptr_t>(&progress_));
    };
    while (out < n && body_.stage < 4) {
        if (body_.stage == 1) {
            if (body_.fileLeft == 0) {
                ++body_.stage;
                continue;
            }
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(n - out, body_.fileLeft));
            const ssize_t r = ::read(file_.get(), buffer + out, want);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0) {
                // A file that shrank since its size was announced cannot fill the body.
                SetError("Error reading the file: %d ", r < 0 ? errno : EIO);
                abort_ = Abort::Local;
                return CURL_READFUNC_ABORT;
            }
            body_.fileLeft -= static_cast<std::uint64_t>(r);
            out += static_cast<std::size_t>(r);
            moved(static_cast<std::size_t>(r));
            continue;
        }
        const std::string_view piece = body_.stage == 0   ? std::string_view(*body_.filePart)
                                       : body_.stage == 2 ? std::string_view(*body_.fieldParts)
                                                          : std::string_view(kFinalSuffix);
        if (piece.empty()) {
            ++body_.stage;
            continue;
        }
        const std::size_t take = std::min(n - out, piece.size() - body_.offset);
        std::memcpy(buffer + out, piece.data() + body_.offset, take);
        out += take;
        body_.offset += take;
        if (body_.offset == piece.size()) {
            body_.offset = 0;
            ++body_.stage;
            moved(piece.size());
        }
    }
    if (body_.stage == 4)
        body_.finished = true;
    return out;
}

int CHttp::OnSeek(curl_off_t offset, int origin) {
    // curl rewinds only to send the whole body again (after an authentication round).
    if (offset != 0 || origin != SEEK_SET || !body_.fieldParts)
        return CURL_SEEKFUNC_CANTSEEK;
    if (file_ && ::lseek(file_.get(), 0, SEEK_SET) != 0)
        return CURL_SEEKFUNC_FAIL;
    body_.stage = 0;
    body_.offset = 0;
    body_.fileLeft = body_.fileSize;
    body_.finished = false;
    progress_.bytesMoved = 0;
    return CURL_SEEKFUNC_OK;
}

} // namespace relaywick
