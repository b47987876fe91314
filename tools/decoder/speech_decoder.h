#pragma once
// The conversion itself: drive libdsscore through either interface and write what it
// decodes into a 16-bit mono PCM wave file.

#include "core_library.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace velloran::tools {

/// Longest source path accepted; the library's folder buffer holds 256 bytes with its end.
inline constexpr std::size_t kMaxSourceLength = 255;

/// The wave file's "fmt " chunk.
struct WaveFormat {
    std::uint16_t formatTag = 1; // PCM
    std::uint16_t channels = 1;
    std::uint32_t sampleRate = 11025;
    std::uint32_t bytesPerSecond = 22050;
    std::uint16_t blockAlign = 2;
    std::uint16_t bitsPerSample = 16;

    /// 16-bit mono PCM at `rate` samples per second.
    static WaveFormat monoPcm16(std::uint32_t rate);
    /// The 16 bytes of the chunk, little-endian.
    std::array<std::uint8_t, 16> bytes() const;
};

/// The source's folder: everything up to and including its last "/", or "" without one.
std::string sourceFolder(const std::string& source);

/// Converts one recording. Both conversions return true when the wave file was written.
/// A refusal by the library, or a destination that cannot be created, leaves either no file
/// or one whose RIFF and "data" sizes are still 0.
class SpeechDecoder {
public:
    SpeechDecoder(ImportedCore imported, CoreLoader loader)
        : imported_(imported), loader_(std::move(loader)) {}

    /// Activates the recording through the imported entry points. An SP recording (kind 1)
    /// is decoded there in 528-byte buffers; any other kind goes to convertWithLoadedCore.
    bool convertToWave(const std::string& source, const std::string& destination);

    /// Decodes through the library loaded by name: buffers of 528 bytes when the library's
    /// flag is 0, else 660 for kind 3 and 480 otherwise; kind 2 is written at 8000 Hz.
    bool convertWithLoadedCore(const std::string& source, const std::string& destination);

private:
    ImportedCore imported_;
    CoreLoader loader_;
};

} // namespace velloran::tools
