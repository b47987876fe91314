#include "speech_decoder.h"

#include "riff_writer.h"
#include "staged_file.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>
#include <span>
#include <sys/stat.h>

namespace velloran::tools {

namespace {

// No library we know reports kind 3, but its wider buffers are still honoured.
constexpr std::uint8_t kKindWide = 3;
constexpr std::size_t kWideBufferBytes = 660;
constexpr std::int32_t kTransOptions = 5;
constexpr std::int32_t kDecoderOptions = 655397; // 0x000A0025
// The most bytes one frame takes in the file.
constexpr std::size_t kSpLargestFrame = 42;
constexpr std::size_t kLpLargestFrame = 24;

void putLittleEndian(std::uint8_t* out, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

using namespace conversion;

ConversionResult failure(ExitCode code, std::string message) {
    ConversionResult result;
    result.code = code;
    result.message = std::move(message);
    return result;
}

ConversionResult refusedSource(const std::string& source, int code) {
    switch (code) {
    case DSS_E_NOT_FOUND:
        return failure(kSourceUnreadable,
                       "Unable to read " + source + ": it does not exist or cannot be read");
    case DSS_E_FORMAT:
        return failure(kSourceUnreadable, "Unable to convert " + source +
                                              ": it is not a DSS recording this decoder knows");
    default:
        return failure(kSourceUnreadable, "Unable to convert " + source +
                                              ": the decoder refused it (error " +
                                              std::to_string(code) + ")");
    }
}

ConversionResult missingEntryPoint(const char* name) {
    return failure(kDecoderMissing,
                   std::string("The decoding library lacks its entry point ") + name);
}

// Every frame of a recording becomes one buffer of PCM, damaged or not, and a frame takes
// at most `storedBytes` of the file; so a recording this large cannot fit a wave file,
// and saying so at once beats decoding gigabytes first.
bool cannotFitWaveFile(const std::string& source, std::size_t bufferBytes,
                       std::size_t storedBytes) {
    constexpr std::uint64_t kLargestHeader = 3 * 512;
    constexpr std::uint64_t kBlock = 512;
    constexpr std::uint64_t kPayload = 506;
    struct stat info {};
    if (::stat(source.c_str(), &info) != 0 || info.st_size <= 0)
        return false;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size <= kLargestHeader)
        return false;
    const std::uint64_t frames = (size - kLargestHeader) / kBlock * kPayload / storedBytes;
    return frames * bufferBytes + 44 > kRiffMaxFileBytes;
}

// The temporary wave file beside the destination, written through a RiffWriter.
class WaveOutput {
public:
    bool begin(const std::string& source, const std::string& destination, const WaveFormat& format,
               ConversionResult& result) {
        destination_ = destination;
        result.sampleRate = format.sampleRate;
        StageError error;
        if (!staged_.create(destination, source, error)) {
            result = failure(error.code, error.message);
            return false;
        }
        sink_.emplace(staged_.fd());
        wave_.emplace(*sink_);
        const auto fmt = format.bytes();
        return check(wave_->openForm(fourCc("WAVE")) && wave_->writeChunk(fourCc("fmt "), fmt) &&
                         wave_->openChunk(fourCc("data")),
                     result);
    }

    bool write(std::span<const std::uint8_t> pcm, ConversionResult& result) {
        return check(wave_->write(pcm), result);
    }

    bool finish(ConversionResult& result) {
        if (!check(wave_->closeChunk() && wave_->closeChunk() && wave_->finish(), result))
            return false;
        StageError error;
        if (!staged_.commit(error)) {
            result = failure(error.code, error.message);
            return false;
        }
        return true;
    }

private:
    bool check(bool written, ConversionResult& result) {
        if (written)
            return true;
        switch (wave_->failure()) {
        case RiffFailure::TooLong:
            result = failure(kTooLong, "Unable to write " + destination_ +
                                           ": the recording is too long for a wave file");
            break;
        case RiffFailure::Io:
            result =
                failure(exitCodeForWriteError(wave_->error()),
                        "Unable to write " + destination_ + ": " + std::strerror(wave_->error()));
            break;
        default:
            result = failure(kFailed, "Unable to write " + destination_);
            break;
        }
        staged_.discard();
        return false;
    }

    std::string destination_;
    StagedFile staged_;
    std::optional<FileSink> sink_;
    std::optional<RiffWriter> wave_;
};

// What the library says about the recording once it has handed out the last buffer: a
// read error or a recording of nothing but damage is not a wave file worth keeping.
bool acceptDecoding(DssGetDamageReportFn damageReport, const std::string& source,
                    ConversionResult& result) {
    if (damageReport == nullptr || damageReport(&result.damage) != DSS_OK) {
        result.damage = DSSDamageReport{};
        return true;
    }
    if (result.damage.read_error != 0) {
        const DSSDamageReport damage = result.damage;
        result = failure(kReadError,
                         "Unable to read " + source + ": " + std::strerror(damage.read_error));
        result.damage = damage;
        return false;
    }
    if (result.damage.decoded_frames == 0 && result.damage.replaced_frames > 0) {
        const DSSDamageReport damage = result.damage;
        result = failure(kSourceUnreadable, "Unable to convert " + source +
                                                ": damaged recording, no part of it decodes");
        result.damage = damage;
        return false;
    }
    return true;
}

} // namespace

WaveFormat WaveFormat::monoPcm16(std::uint32_t rate) {
    WaveFormat format;
    format.sampleRate = rate;
    format.bytesPerSecond = rate * format.blockAlign;
    return format;
}

std::array<std::uint8_t, 16> WaveFormat::bytes() const {
    std::array<std::uint8_t, 16> out{};
    putLittleEndian(&out[0], formatTag, 2);
    putLittleEndian(&out[2], channels, 2);
    putLittleEndian(&out[4], sampleRate, 4);
    putLittleEndian(&out[8], bytesPerSecond, 4);
    putLittleEndian(&out[12], blockAlign, 2);
    putLittleEndian(&out[14], bitsPerSample, 2);
    return out;
}

std::string sourceFolder(const std::string& source) {
    const auto slash = source.rfind('/');
    return slash == std::string::npos ? std::string() : source.substr(0, slash + 1);
}

std::string damageReportLine(const ConversionResult& result) {
    if (result.damage.replaced_frames == 0 || result.sampleRate == 0)
        return {};
    std::string line = "damaged " + std::to_string(result.damage.replaced_frames);
    const auto starts = std::min<std::uint32_t>(result.damage.start_count,
                                                std::min(kMaxDamageStarts, DSS_MAX_DAMAGE_STARTS));
    for (std::uint32_t i = 0; i < starts; ++i) {
        // to_chars never uses the locale's decimal comma.
        char text[32];
        const double seconds = static_cast<double>(result.damage.starts[i]) / result.sampleRate;
        const auto end =
            std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 3).ptr;
        line += ' ';
        line.append(text, end);
    }
    return line;
}

namespace {

ConversionResult pathTooLong(const std::string& source) {
    return failure(kSourceUnreadable,
                   "The source path is longer than 255 characters and cannot be converted: " +
                       source);
}

} // namespace

ConversionResult SpeechDecoder::convertToWave(const std::string& source,
                                              const std::string& destination) {
    if (source.size() > kMaxSourceLength)
        return pathTooLong(source);
    const WaveFormat format = WaveFormat::monoPcm16(11025);

    imported_.setTransWay(1);
    imported_.setTransWay(3);
    const std::int32_t transOptions = kTransOptions;
    imported_.transInitDecoder(&transOptions);

    const std::string folder = sourceFolder(source);
    if (const int code = imported_.activeFolder(folder.c_str(), 0); code != 0)
        return refusedSource(source, code);
    std::int32_t info = 0;
    std::uint8_t kind = 0;
    if (const int code = imported_.activeFile(source.c_str(), &info, &kind); code != 0)
        return refusedSource(source, code);

    if (kind != DSS_KIND_SP) {
        // Writing a file needs no sound card, so this does not ask whether one is present.
        return convertWithLoadedCore(source, destination);
    }
    if (cannotFitWaveFile(source, DSS_SP_BUFFER_BYTES, kSpLargestFrame))
        return failure(kTooLong, "Unable to convert " + source +
                                     ": the recording is too long for a wave file");

    ConversionResult result;
    WaveOutput wave;
    if (!wave.begin(source, destination, format, result))
        return result;
    if (const int code = imported_.transStartDecoding(); code != 0)
        return refusedSource(source, code);
    std::array<std::uint8_t, DSS_SP_BUFFER_BYTES> buffer{};
    int more = 0;
    do {
        // The buffer of the call that reports the end is part of the recording too.
        more = imported_.transGetPcm(buffer.data());
        if (!wave.write(buffer, result))
            return result;
    } while (more != 0);
    if (!acceptDecoding(imported_.damageReport, source, result))
        return result;
    wave.finish(result);
    return result;
}

ConversionResult SpeechDecoder::convertWithLoadedCore(const std::string& source,
                                                      const std::string& destination) {
    if (source.size() > kMaxSourceLength)
        return pathTooLong(source);
    std::optional<LoadedCore> core = loader_ ? loader_() : std::nullopt;
    if (!core)
        return failure(kDecoderMissing,
                       std::string("Unable to load the decoding library ") + kCoreLibraryName);

    // The library may keep the options word's address, so it lives until the end.
    std::int32_t options = 0;
    if (core->initDecoder != nullptr)
        core->initDecoder(0, &options);
    options = kDecoderOptions;

    const std::string folder = sourceFolder(source);
    std::int32_t info = 0;
    std::uint8_t kind = 0;
    if (core->activeFolder == nullptr)
        return missingEntryPoint("DSSActiveFolder");
    if (const int code = core->activeFolder(folder.c_str(), 0); code != 0)
        return refusedSource(source, code);
    if (core->activeFile == nullptr)
        return missingEntryPoint("DSSActiveFile");
    if (const int code = core->activeFile(source.c_str(), &info, &kind); code != 0)
        return refusedSource(source, code);
    if (core->startDecoding == nullptr)
        return missingEntryPoint("DSSStartDecoding");
    if (const int code = core->startDecoding(0); code != 0)
        return refusedSource(source, code);
    // Without it there is nothing to write, and an empty wave file would pass for a
    // silent recording.
    if (core->decodeToPcm == nullptr)
        return missingEntryPoint("DSSDecodeToPCM");
    if ((kind == DSS_KIND_LP && cannotFitWaveFile(source, DSS_LP_BUFFER_BYTES, kLpLargestFrame)) ||
        (kind == DSS_KIND_SP && cannotFitWaveFile(source, DSS_SP_BUFFER_BYTES, kSpLargestFrame)))
        return failure(kTooLong, "Unable to convert " + source +
                                     ": the recording is too long for a wave file");

    const WaveFormat format = WaveFormat::monoPcm16(kind == DSS_KIND_LP ? 8000 : 11025);
    ConversionResult result;
    WaveOutput wave;
    if (!wave.begin(source, destination, format, result))
        return result;
    while (true) {
        std::uint8_t* pcm = nullptr;
        std::int32_t flag = 0;
        core->decodeToPcm(&pcm, &flag);
        if (pcm == nullptr)
            break;
        const std::size_t length = flag == 0           ? DSS_SP_BUFFER_BYTES
                                   : kind == kKindWide ? kWideBufferBytes
                                                       : DSS_LP_BUFFER_BYTES;
        if (!wave.write(std::span<const std::uint8_t>(pcm, length), result))
            return result;
    }
    if (!acceptDecoding(core->damageReport, source, result))
        return result;
    wave.finish(result);
    return result;
}

} // namespace velloran::tools
