#include "speech_decoder.h"

#include "riff_writer.h"

#include <span>
#include <sys/stat.h>

namespace velloran::tools {

namespace {

// No library we know reports kind 3, but its wider buffers are still honoured.
constexpr std::uint8_t kKindWide = 3;
constexpr std::size_t kWideBufferBytes = 660;
constexpr std::int32_t kTransOptions = 5;
constexpr std::int32_t kDecoderOptions = 655397; // 0x000A0025

void putLittleEndian(std::uint8_t* out, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Truncating the destination while the library reads the same file would destroy the
// recording, so a destination that names the source (also through a link) is refused.
bool namesSameFile(const std::string& source, const std::string& destination) {
    struct stat a {};
    struct stat b {};
    return ::stat(source.c_str(), &a) == 0 && ::stat(destination.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Creates the destination and writes everything up to the opened "data" chunk.
bool beginWave(RiffWriter& wave, const std::string& source, const std::string& destination,
               const WaveFormat& format) {
    if (namesSameFile(source, destination) || !wave.create(destination))
        return false;
    const auto fmt = format.bytes();
    return wave.openForm(fourCc("WAVE")) && wave.writeChunk(fourCc("fmt "), fmt) &&
           wave.openChunk(fourCc("data"));
}

bool finishWave(RiffWriter& wave) {
    return wave.closeChunk() && wave.closeChunk() && wave.close();
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

bool SpeechDecoder::convertToWave(const std::string& source, const std::string& destination) {
    if (source.size() > kMaxSourceLength)
        return false;
    const WaveFormat format = WaveFormat::monoPcm16(11025);

    imported_.setTransWay(1);
    imported_.setTransWay(3);
    const std::int32_t transOptions = kTransOptions;
    imported_.transInitDecoder(&transOptions);

    const std::string folder = sourceFolder(source);
    if (imported_.activeFolder(folder.c_str(), 0) != 0)
        return false;
    std::int32_t info = 0;
    std::uint8_t kind = 0;
    if (imported_.activeFile(source.c_str(), &info, &kind) != 0)
        return false;

    if (kind != DSS_KIND_SP) {
        // Writing a file needs no sound card, so this does not ask whether one is present.
        return convertWithLoadedCore(source, destination);
    }

    RiffWriter wave;
    if (!beginWave(wave, source, destination, format))
        return false;
    if (imported_.transStartDecoding() != 0)
        return false;
    std::array<std::uint8_t, DSS_SP_BUFFER_BYTES> buffer{};
    int more = 0;
    do {
        // The buffer of the call that reports the end is part of the recording too.
        more = imported_.transGetPcm(buffer.data());
        if (!wave.write(buffer))
            return false;
    } while (more != 0);
    return finishWave(wave);
}

bool SpeechDecoder::convertWithLoadedCore(const std::string& source,
                                          const std::string& destination) {
    if (source.size() > kMaxSourceLength || !loader_)
        return false;
    std::optional<LoadedCore> core = loader_();
    if (!core)
        return false;

    // The library may keep the options word's address, so it lives until the end.
    std::int32_t options = 0;
    if (core->initDecoder != nullptr)
        core->initDecoder(0, &options);
    options = kDecoderOptions;

    const std::string folder = sourceFolder(source);
    std::int32_t info = 0;
    std::uint8_t kind = 0;
    if (core->activeFolder == nullptr || core->activeFolder(folder.c_str(), 0) != 0 ||
        core->activeFile == nullptr || core->activeFile(source.c_str(), &info, &kind) != 0 ||
        core->startDecoding == nullptr || core->startDecoding(0) != 0)
        return false;

    const WaveFormat format = WaveFormat::monoPcm16(kind == DSS_KIND_LP ? 8000 : 11025);
    RiffWriter wave;
    if (!beginWave(wave, source, destination, format))
        return false;
    while (core->decodeToPcm != nullptr) {
        std::uint8_t* pcm = nullptr;
        std::int32_t flag = 0;
        core->decodeToPcm(&pcm, &flag);
        if (pcm == nullptr)
            break;
        const std::size_t length = flag == 0           ? DSS_SP_BUFFER_BYTES
                                   : kind == kKindWide ? kWideBufferBytes
                                                       : DSS_LP_BUFFER_BYTES;
        if (!wave.write(std::span<const std::uint8_t>(pcm, length)))
            return false;
    }
    return finishWave(wave);
}

} // namespace velloran::tools
