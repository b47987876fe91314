#pragma once
// Builds DSS recordings for the tests and the benchmark: no sample can be fetched, so the
// container is written here around frames from FFmpeg's G.723.1 encoder (LP) or dummy
// frames (SP, for which no encoder exists).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velloran::testing {

using Frame = std::vector<std::uint8_t>;

/// What goes into a DSS file. Times are YYMMDDhhmmss; the end time must parse for FFmpeg
/// to accept the file.
struct DssRecording {
    std::uint8_t version = 2; // header length is version x 512 bytes
    std::uint8_t codec = 2;   // 0 SP, 2 LP
    std::string author = "velloran";
    std::string startTime = "261208090000";
    std::string endTime = "261208090500";
    std::vector<Frame> frames;
};

/// The whole file: header, then 512-byte blocks of a 6-byte block header and 506 bytes of
/// frames running on across blocks. The last block ends with the last frame.
std::vector<std::uint8_t> buildDss(const DssRecording& recording);

/// Cuts raw G.723.1 into frames; a frame's size comes from the low two bits of its first
/// byte (24, 20, 4 or 1).
std::vector<Frame> splitLpFrames(std::span<const std::uint8_t> raw);

/// `count` SP frames of deterministic filler, 42 and 40 bytes in turn as stored.
std::vector<Frame> dummySpFrames(std::size_t count);

} // namespace velloran::testing
