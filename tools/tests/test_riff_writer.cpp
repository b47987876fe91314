#include "riff_writer.h"
#include "speech_decoder.h"

#include "test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace velloran::testing;
using velloran::tools::fourCc;
using velloran::tools::RiffWriter;
using velloran::tools::WaveFormat;

TEST(RiffWriter, WritesTheFortyFourByteWaveHeaderAndFillsSizesOnClose) {
    TempDir dir;
    RiffWriter wave;
    ASSERT_TRUE(wave.create(dir / "a.wav"));
    const auto fmt = WaveFormat::monoPcm16(8000).bytes();
    ASSERT_TRUE(wave.openForm(fourCc("WAVE")));
    ASSERT_TRUE(wave.writeChunk(fourCc("fmt "), fmt));
    ASSERT_TRUE(wave.openChunk(fourCc("data")));
    const std::vector<std::uint8_t> pcm{1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(wave.write(pcm));
    ASSERT_TRUE(wave.closeChunk());
    ASSERT_TRUE(wave.closeChunk());
    ASSERT_TRUE(wave.close());

    const std::vector<std::uint8_t> expected{
        'R', 'I', 'F', 'F', 42,  0,   0, 0,  'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16,
        0,   0,   0,   1,   0,   1,   0, 64, 31,  0,   0,   128, 62,  0,   0,   2,   0,
        16,  0,   'd', 'a', 't', 'a', 6, 0,  0,   0,   1,   2,   3,   4,   5,   6};
    EXPECT_EQ(readBytes(dir / "a.wav"), expected);
}

TEST(RiffWriter, PadsOddChunksAndLeavesZeroSizesWhenNotClosed) {
    TempDir dir;
    {
        RiffWriter wave;
        ASSERT_TRUE(wave.create(dir / "odd.riff"));
        ASSERT_TRUE(wave.openForm(fourCc("TEST")));
        ASSERT_TRUE(wave.writeChunk(fourCc("abcd"), std::vector<std::uint8_t>{7, 8, 9}));
        ASSERT_TRUE(wave.closeChunk());
        ASSERT_TRUE(wave.close());
    }
    const auto odd = readBytes(dir / "odd.riff");
    ASSERT_EQ(odd.size(), 24u);
    EXPECT_EQ(le32(odd, 4), 16u); // form type, chunk header, 3 bytes and the pad byte
    EXPECT_EQ(le32(odd, 16), 3u); // the chunk's own size leaves the pad out
    EXPECT_EQ(odd[23], 0);

    {
        RiffWriter wave;
        ASSERT_TRUE(wave.create(dir / "cut.wav"));
        ASSERT_TRUE(wave.openForm(fourCc("WAVE")));
        ASSERT_TRUE(wave.writeChunk(fourCc("fmt "), WaveFormat::monoPcm16(11025).bytes()));
        ASSERT_TRUE(wave.openChunk(fourCc("data")));
        ASSERT_TRUE(wave.write(std::vector<std::uint8_t>(10, 1)));
        // Destroyed without closing its chunks.
    }
    const auto cut = readBytes(dir / "cut.wav");
    ASSERT_EQ(cut.size(), 54u);
    EXPECT_EQ(le32(cut, 4), 0u);
    EXPECT_EQ(le32(cut, 16), 16u);
    EXPECT_EQ(le32(cut, 40), 0u);
}

TEST(RiffWriter, RefusesWritesOutsideAChunkAndUncreatableFiles) {
    TempDir dir;
    RiffWriter wave;
    EXPECT_FALSE(wave.create(dir / "missing" / "a.wav"));
    ASSERT_TRUE(wave.create(dir / "a.riff"));
    EXPECT_FALSE(wave.write(std::vector<std::uint8_t>{1}));
    EXPECT_FALSE(wave.closeChunk());
    EXPECT_TRUE(wave.close());
}

} // namespace
