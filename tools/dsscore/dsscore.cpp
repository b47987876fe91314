// The C entry points of libdsscore: one decoding session per process, shared by the
// transcription interface and the second interface.

#include "dsscore.h"

#include "dss_stream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using velloran::dsscore::DssCodec;
using velloran::dsscore::DssStream;
using velloran::dsscore::OpenError;

constexpr std::size_t kSpSamples = DSS_SP_BUFFER_BYTES / 2;

enum class Interface { None, Transcription, Second };

struct Session {
    std::mutex lock;
    std::int32_t trans_way = 0;
    std::string path;
    std::unique_ptr<DssStream> stream;
    Interface started = Interface::None;
    // Buffer the second interface lends out; large enough for either kind.
    std::array<std::int16_t, kSpSamples> lent{};

    void reset() {
        stream.reset();
        path.clear();
        started = Interface::None;
    }

    // Decoding always begins at the start of the recording. A stream that has been read
    // cannot be rewound (see DssStream), so it is opened afresh.
    int start(Interface via) {
        if (!stream)
            return DSS_E_STATE;
        if (via == Interface::Transcription && stream->codec() != DssCodec::Sp)
            return DSS_E_STATE;
        if (stream->touched()) {
            OpenError error = OpenError::None;
            auto fresh = DssStream::open(path, error);
            if (!fresh) {
                reset();
                return error == OpenError::NotFound ? DSS_E_NOT_FOUND : DSS_E_FORMAT;
            }
            stream = std::move(fresh);
        }
        started = via;
        return DSS_OK;
    }
};

Session& session() {
    static Session instance;
    return instance;
}

int codeFor(OpenError error) {
    switch (error) {
    case OpenError::None:
        return DSS_OK;
    case OpenError::NotFound:
        return DSS_E_NOT_FOUND;
    case OpenError::Format:
        return DSS_E_FORMAT;
    case OpenError::Decoder:
        return DSS_E_DECODER;
    }
    return DSS_E_INTERNAL;
}

// No exception may leave the library: every entry point runs its body through here.
template <typename Body>
int guarded(Body&& body) noexcept {
    try {
        return body(session());
    } catch (...) {
        return DSS_E_INTERNAL;
    }
}

} // namespace

extern "C" {

int DSSSetTransWAY(int32_t mode) {
    return guarded([mode](Session& s) {
        std::lock_guard guard(s.lock);
        s.trans_way = mode;
        return DSS_OK;
    });
}

int DSSTransInitDecoder(const int32_t* options) {
    return guarded([options](Session& s) {
        std::lock_guard guard(s.lock);
        if (options == nullptr)
            return DSS_E_ARGUMENT;
        if (s.started == Interface::Transcription)
            s.started = Interface::None;
        return DSS_OK;
    });
}

int DSSActiveFolder(const char* folder, int32_t /*reserved*/) {
    return guarded([folder](Session&) {
        if (folder == nullptr)
            return DSS_E_ARGUMENT;
        const char* name = *folder == '\0' ? "." : folder;
        struct stat info {};
        // Reading a file in it needs only the right to enter: a folder that cannot be
        // listed (mode 711) still holds readable recordings.
        if (::stat(name, &info) != 0 || !S_ISDIR(info.st_mode) || ::access(name, X_OK) != 0)
            return DSS_E_NOT_FOUND;
        return DSS_OK;
    });
}

int DSSActiveFile(const char* path, int32_t* info, uint8_t* kind) {
    return guarded([path, info, kind](Session& s) {
        std::lock_guard guard(s.lock);
        if (path == nullptr)
            return DSS_E_ARGUMENT;
        s.reset();
        OpenError error = OpenError::None;
        auto stream = DssStream::open(path, error);
        if (!stream)
            return codeFor(error);
        if (kind != nullptr)
            *kind = stream->codec() == DssCodec::Sp ? DSS_KIND_SP : DSS_KIND_LP;
        if (info != nullptr)
            *info = stream->sampleRate();
        s.path = path;
        s.stream = std::move(stream);
        return DSS_OK;
    });
}

int DSSTransStartDecoding(void) {
    return guarded([](Session& s) {
        std::lock_guard guard(s.lock);
        return s.start(Interface::Transcription);
    });
}

int DSSTransGetPCM(uint8_t* buffer) {
    return guarded([buffer](Session& s) {
        std::lock_guard guard(s.lock);
        if (buffer == nullptr)
            return 0;
        std::array<std::int16_t, kSpSamples> samples{};
        if (s.started == Interface::Transcription && s.stream)
            s.stream->read(samples);
        std::memcpy(buffer, samples.data(), DSS_SP_BUFFER_BYTES);
        const bool more = s.started == Interface::Transcription && s.stream && s.stream->hasMore();
        return more ? 1 : 0;
    });
}

int DSSInitDecoder(int32_t /*reserved*/, const int32_t* options) {
    return guarded([options](Session& s) {
        std::lock_guard guard(s.lock);
        if (options == nullptr)
            return DSS_E_ARGUMENT;
        if (s.started == Interface::Second)
            s.started = Interface::None;
        return DSS_OK;
    });
}

int DSSStartDecoding(int32_t /*reserved*/) {
    return guarded([](Session& s) {
        std::lock_guard guard(s.lock);
        return s.start(Interface::Second);
    });
}

int DSSDecodeToPCM(uint8_t** buffer, int32_t* flag) {
    return guarded([buffer, flag](Session& s) {
        std::lock_guard guard(s.lock);
        if (buffer == nullptr || flag == nullptr)
            return DSS_E_ARGUMENT;
        *buffer = nullptr;
        if (s.started != Interface::Second || !s.stream)
            return DSS_OK;
        if (s.stream->read(std::span(s.lent.data(), s.stream->bufferSamples())) == 0)
            return DSS_OK;
        *buffer = reinterpret_cast<uint8_t*>(s.lent.data());
        *flag = s.stream->codec() == DssCodec::Sp ? 0 : 1;
        return DSS_OK;
    });
}

int DSSGetDamageReport(DSSDamageReport* report) {
    return guarded([report](Session& s) {
        std::lock_guard guard(s.lock);
        if (report == nullptr)
            return DSS_E_ARGUMENT;
        *report = DSSDamageReport{};
        if (s.started == Interface::None || !s.stream)
            return DSS_OK;
        const DssStream& stream = *s.stream;
        report->decoded_frames = stream.decodedFrames();
        report->replaced_frames = stream.replacedFrames();
        const auto& starts = stream.damageStarts();
        report->start_count =
            static_cast<std::uint32_t>(std::min<std::size_t>(starts.size(), DSS_MAX_DAMAGE_STARTS));
        std::copy_n(starts.begin(), report->start_count, report->starts);
        report->read_error = stream.readError();
        return DSS_OK;
    });
}

} // extern "C"
