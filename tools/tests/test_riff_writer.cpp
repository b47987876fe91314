#include "riff_writer.h"
#include "speech_decoder.h"

#include "test_support.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <gtest/gtest.h>

namespace {

using namespace velloran::testing;
using velloran::tools::fourCc;
using velloran::tools::RiffFailure;
using velloran::tools::RiffSink;
using velloran::tools::RiffWriter;
using velloran::tools::WaveFormat;

// Keeps the file in memory; writes that would reach past `room` bytes fail with ENOSPC.
struct MemorySink : RiffSink {
    std::vector<std::uint8_t> bytes;
    std::uint64_t room = UINT64_MAX;
    int writeAt(std::uint64_t offset, std::span<const std::uint8_t> data) override {
        if (offset + data.size() > room)
            return ENOSPC;
        if (bytes.size() < offset + data.size())
            bytes.resize(offset + data.size());
        std::copy(data.begin(), data.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
        return 0;
    }
};

TEST(RiffWriter, WritesTheFortyFourByteWaveHeaderAndFillsSizesOnClose) {
    MemorySink sink;
    RiffWriter wave(sink);
    const auto fmt = WaveFormat::monoPcm16(8000).bytes();
    ASSERT_TRUE(wave.openForm(fourCc("WAVE")));
    ASSERT_TRUE(wave.writeChunk(fourCc("fmt "), fmt));
    ASSERT_TRUE(wave.openChunk(fourCc("data")));
    const std::vector<std::uint8_t> pcm{1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(wave.write(pcm));
    ASSERT_TRUE(wave.closeChunk());
    ASSERT_TRUE(wave.closeChunk());
    ASSERT_TRUE(wave.finish());

    const std::vector<std::uint8_t> expected{
        'R', 'I', 'F', 'F', 42,  0,   0, 0,  'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16,
        0,   0,   0,   1,   0,   1,   0, 64, 31,  0,   0,   128, 62,  0,   0,   2,   0,
        16,  0,   'd', 'a', 't', 'a', 6, 0,  0,   0,   1,   2,   3,   4,   5,   6};
    EXPECT_EQ(sink.bytes, expected);
}

TEST(RiffWriter, PadsOddChunks) {
    MemorySink sink;
    RiffWriter wave(sink);
    ASSERT_TRUE(wave.openForm(fourCc("TEST")));
    ASSERT_TRUE(wave.writeChunk(fourCc("abcd"), std::vector<std::uint8_t>{7, 8, 9}));
    ASSERT_TRUE(wave.closeChunk());
    ASSERT_TRUE(wave.finish());
    ASSERT_EQ(sink.bytes.size(), 24u);
    EXPECT_EQ(le32(sink.bytes, 4), 16u); // form type, chunk header, 3 bytes and the pad byte
    EXPECT_EQ(le32(sink.bytes, 16), 3u); // the chunk's own size leaves the pad out
    EXPECT_EQ(sink.bytes[23], 0);
}

// Every way a file can stop short is a failure that says why, and nothing after it counts.
TEST(RiffWriter, FailsForMisuseFullSinksAndSizesBeyond32Bits) {
    struct Case {
        std::uint64_t room;  // bytes the sink takes
        std::uint64_t limit; // largest file the writer allows
        std::size_t data;    // bytes written into "data"
        bool closeData;      // whether the "data" chunk is closed before finish()
        RiffFailure failure;
        int error;
    };
    const std::uint64_t any = UINT64_MAX;
    for (const Case& c : {Case{any, any, 70000, true, RiffFailure::None, 0},
                          Case{100, any, 70000, true, RiffFailure::Io, ENOSPC},
                          Case{70000, any, 70000, true, RiffFailure::Io, ENOSPC},
                          Case{any, 1000, 2000, true, RiffFailure::TooLong, 0},
                          Case{any, any, 10, false, RiffFailure::Misuse, 0}}) {
        MemorySink sink;
        sink.room = c.room;
        RiffWriter wave(sink, c.limit);
        bool ok = wave.openForm(fourCc("WAVE")) && wave.openChunk(fourCc("data"));
        for (std::size_t done = 0; done < c.data; done += 1000)
            ok = wave.write(
                     std::vector<std::uint8_t>(std::min<std::size_t>(1000, c.data - done), 1)) &&
                 ok;
        ok = (!c.closeData || wave.closeChunk()) && wave.closeChunk() && ok;
        ok = wave.finish() && ok;
        EXPECT_EQ(ok, c.failure == RiffFailure::None) << c.room << " " << c.limit;
        EXPECT_EQ(wave.failure(), c.failure);
        EXPECT_EQ(wave.error(), c.error);
        if (ok) {
            EXPECT_EQ(le32(sink.bytes, 4), sink.bytes.size() - 8);
        }
    }
    MemorySink unused;
    RiffWriter outside(unused);
    EXPECT_FALSE(outside.write(std::vector<std::uint8_t>{1}));
    EXPECT_EQ(outside.failure(), RiffFailure::Misuse);
    // A chunk after the form would lie outside the RIFF size.
    RiffWriter after(unused);
    ASSERT_TRUE(after.openForm(fourCc("WAVE")) && after.closeChunk());
    EXPECT_FALSE(after.openChunk(fourCc("late")));
}

} // namespace
