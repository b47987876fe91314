#include "dss_fixture.h"

#include <algorithm>
#include <stdexcept>

namespace velloran::testing {

namespace {

constexpr std::size_t kBlock = 512;
constexpr std::size_t kBlockHeader = 6;
constexpr std::size_t kBlockPayload = kBlock - kBlockHeader;
constexpr std::size_t kAuthorAt = 0x0C;
constexpr std::size_t kAuthorSize = 16;
constexpr std::size_t kStartTimeAt = 0x26;
constexpr std::size_t kEndTimeAt = 0x32;
constexpr std::size_t kTimeSize = 12;
constexpr std::size_t kCodecAt = 0x2A4;

void place(std::vector<std::uint8_t>& out, std::size_t at, const std::string& text,
           std::size_t width) {
    std::copy_n(text.begin(), std::min(text.size(), width), out.begin() + at);
}

} // namespace

std::vector<std::uint8_t> buildDss(const DssRecording& recording) {
    const std::size_t headerSize = std::size_t{recording.version} * kBlock;
    if (headerSize <= kCodecAt)
        throw std::invalid_argument("DSS version too small for its header");
    std::vector<std::uint8_t> out(headerSize, 0);
    out[0] = recording.version;
    place(out, 1, "dss", 3);
    place(out, kAuthorAt, recording.author, kAuthorSize);
    place(out, kStartTimeAt, recording.startTime, kTimeSize);
    place(out, kEndTimeAt, recording.endTime, kTimeSize);
    out[kCodecAt] = recording.codec;

    // Lay the frames out as one byte stream, noting where each starts and its parity (an SP
    // frame stored in 40 bytes follows one stored in 42: the "swap" state).
    std::vector<std::uint8_t> stream;
    std::vector<std::pair<std::size_t, bool>> starts;
    for (std::size_t i = 0; i < recording.frames.size(); ++i) {
        starts.emplace_back(stream.size(), recording.codec == 0 && i % 2 == 1);
        stream.insert(stream.end(), recording.frames[i].begin(), recording.frames[i].end());
    }

    std::size_t next = 0; // first frame start not yet assigned to a block
    for (std::size_t begin = 0; begin < stream.size(); begin += kBlockPayload) {
        const std::size_t end = std::min(stream.size(), begin + kBlockPayload);
        std::uint8_t header[kBlockHeader] = {};
        while (next < starts.size() && starts[next].first < begin)
            ++next;
        if (next < starts.size() && starts[next].first < end) {
            const std::size_t offset = kBlockHeader + (starts[next].first - begin);
            const bool swap = starts[next].second;
            header[0] = swap ? 0x80 : 0x00;
            header[1] = static_cast<std::uint8_t>((offset - (swap ? 2 : 0)) / 2);
        } else {
            header[1] = 0xFF;
        }
        out.insert(out.end(), header, header + kBlockHeader);
        out.insert(out.end(), stream.begin() + static_cast<std::ptrdiff_t>(begin),
                   stream.begin() + static_cast<std::ptrdiff_t>(end));
    }
    return out;
}

std::vector<Frame> splitLpFrames(std::span<const std::uint8_t> raw) {
    static constexpr std::size_t kSizes[4] = {24, 20, 4, 1};
    std::vector<Frame> frames;
    std::size_t at = 0;
    while (at < raw.size()) {
        const std::size_t size = kSizes[raw[at] & 3];
        if (at + size > raw.size())
            break;
        frames.emplace_back(raw.begin() + static_cast<std::ptrdiff_t>(at),
                            raw.begin() + static_cast<std::ptrdiff_t>(at + size));
        at += size;
    }
    return frames;
}

std::vector<Frame> dummySpFrames(std::size_t count) {
    std::vector<Frame> frames;
    std::uint32_t state = 0x2545F491u;
    for (std::size_t i = 0; i < count; ++i) {
        Frame frame(i % 2 == 0 ? 42 : 40);
        for (auto& byte : frame) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            byte = static_cast<std::uint8_t>(state >> 24);
        }
        frames.push_back(std::move(frame));
    }
    return frames;
}

} // namespace velloran::testing
