#pragma once
// The conversion itself: drive libdsscore through either interface and write what it
// decodes into a 16-bit mono PCM wave file.

#include "conversion_status.h"
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

/// How a conversion ended. True only when the wave file is whole at the destination.
struct ConversionResult {
    conversion::ExitCode code = conversion::kConverted;
    std::string message;          ///< why it failed, in plain words; empty on success
    DSSDamageReport damage{};     ///< frames the library replaced by silence
    std::uint32_t sampleRate = 0; ///< of the wave file written

    explicit operator bool() const { return code == conversion::kConverted; }
};

/// The report line for a conversion that replaced damaged frames ("damaged <count>
/// <seconds>..."), or "" when nothing was replaced.
std::string damageReportLine(const ConversionResult& result);

/// Converts one recording. The wave file appears at the destination only when it is whole:
/// it is written beside it under a temporary name and renamed at the end; a conversion
/// that fails leaves the destination as it was.
class SpeechDecoder {
public:
    SpeechDecoder(ImportedCore imported, CoreLoader loader)
        : imported_(imported), loader_(std::move(loader)) {}

    /// Activates the recording through the imported entry points. An SP recording (kind 1)
    /// is decoded there in 528-byte buffers; any other kind goes to convertWithLoadedCore.
    ConversionResult convertToWave(const std::string& source, const std::string& destination);

    /// Decodes through the library loaded by name: buffers of 528 bytes when the library's
    /// flag is 0, else 660 for kind 3 and 480 otherwise; kind 2 is written at 8000 Hz.
    ConversionResult convertWithLoadedCore(const std::string& source,
                                           const std::string& destination);

private:
    ImportedCore imported_;
    CoreLoader loader_;
};

} // namespace velloran::tools
