#pragma once
// Small helpers shared by the tool tests: scratch folders, files, child processes and
// FFmpeg as the reference encoder and decoder.

#include "dss_fixture.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velloran::testing {

namespace fs = std::filesystem;

/// A fresh folder under TMPDIR, removed with everything in it at the end of the scope.
class TempDir {
public:
    // Under `base` when given, else under TMPDIR.
    explicit TempDir(const char* base = nullptr);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

std::vector<std::uint8_t> readBytes(const fs::path& path);
void writeBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes);
void writeText(const fs::path& path, const std::string& text);
std::string readText(const fs::path& path);
/// Writes an executable shell script.
void writeScript(const fs::path& path, const std::string& body);

/// Little-endian field of a byte buffer.
std::uint32_t le32(const std::vector<std::uint8_t>& bytes, std::size_t at);
std::uint16_t le16(const std::vector<std::uint8_t>& bytes, std::size_t at);

struct RunResult {
    int status = -1;    // exit status, -1 when it did not exit normally
    std::string errors; // what it wrote to stderr
    std::string output; // what it wrote to stdout
};

/// Runs `program` with `arguments` in `folder`, with `environment` changes applied (an
/// empty optional removes the variable), and waits for it.
RunResult runProgram(const fs::path& program, const std::vector<std::string>& arguments,
                     const fs::path& folder,
                     const std::map<std::string, std::optional<std::string>>& environment = {});

/// The folder holding the built programs and libdsscore.
fs::path appDir();

/// LP frames of a `seconds` long tone, made by FFmpeg's G.723.1 encoder.
std::vector<Frame> encodeLpFrames(const TempDir& scratch, double seconds);

/// FFmpeg's own decoding of `dss` as 16-bit little-endian PCM.
std::vector<std::uint8_t> ffmpegPcm(const TempDir& scratch, const fs::path& dss);

/// Writes `recording` as a DSS file at `path`.
void writeDss(const fs::path& path, const DssRecording& recording);

/// The data of the wave file at `wave`, after checking (as test expectations) that its
/// header is the 44-byte 16-bit mono PCM header at `rate` with both sizes filled in.
std::vector<std::uint8_t> waveData(const fs::path& wave, std::uint32_t rate);

} // namespace velloran::testing
