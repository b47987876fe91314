// libdsscore against FFmpeg's own decoding of the same recordings.

#include "dsscore.h"

#include "test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace velloran::testing;

// Collects a whole recording through the second interface, checking each buffer's flag.
std::vector<std::uint8_t> decodeAll(std::int32_t expectedFlag, std::size_t bufferBytes,
                                    std::size_t* buffers = nullptr) {
    std::vector<std::uint8_t> pcm;
    std::size_t count = 0;
    while (true) {
        std::uint8_t* buffer = nullptr;
        std::int32_t flag = -1;
        EXPECT_EQ(DSSDecodeToPCM(&buffer, &flag), DSS_OK);
        if (buffer == nullptr)
            break;
        EXPECT_EQ(flag, expectedFlag);
        pcm.insert(pcm.end(), buffer, buffer + bufferBytes);
        ++count;
    }
    if (buffers != nullptr)
        *buffers = count;
    return pcm;
}

// Collects a whole recording through the transcription interface; returns the results
// of the DSSTransGetPCM calls in `results`.
std::vector<std::uint8_t> transAll(std::vector<int>& results) {
    std::vector<std::uint8_t> pcm;
    std::uint8_t buffer[DSS_SP_BUFFER_BYTES];
    int more = 0;
    do {
        more = DSSTransGetPCM(buffer);
        results.push_back(more != 0 ? 1 : 0);
        pcm.insert(pcm.end(), buffer, buffer + sizeof buffer);
    } while (more != 0 && results.size() < 100000);
    return pcm;
}

class DssCore : public ::testing::Test {
protected:
    // Activates `path` and returns its kind, expecting success.
    std::uint8_t activate(const fs::path& path, std::int32_t expectedRate) {
        std::int32_t info = 0;
        std::uint8_t kind = 0;
        EXPECT_EQ(DSSActiveFolder((path.parent_path().string() + "/").c_str(), 0), DSS_OK);
        EXPECT_EQ(DSSActiveFile(path.c_str(), &info, &kind), DSS_OK);
        EXPECT_EQ(info, expectedRate);
        return kind;
    }

    TempDir dir;
};

TEST_F(DssCore, LpRecordingMatchesFfmpegBufferForBuffer) {
    DssRecording recording;
    recording.frames = encodeLpFrames(dir, 2.5);
    ASSERT_GT(recording.frames.size(), 60u);
    const fs::path file = dir / "lp.dss";
    writeDss(file, recording);

    EXPECT_EQ(activate(file, 8000), DSS_KIND_LP);
    // The transcription interface carries SP recordings only.
    EXPECT_EQ(DSSTransStartDecoding(), DSS_E_STATE);
    const std::int32_t options = 0;
    EXPECT_EQ(DSSInitDecoder(0, &options), DSS_OK);
    ASSERT_EQ(DSSStartDecoding(0), DSS_OK);
    std::size_t buffers = 0;
    const auto pcm = decodeAll(1, DSS_LP_BUFFER_BYTES, &buffers);
    EXPECT_EQ(buffers, recording.frames.size());
    EXPECT_EQ(pcm, ffmpegPcm(dir, file));

    // Starting again replays the recording from its beginning.
    ASSERT_EQ(DSSStartDecoding(0), DSS_OK);
    EXPECT_EQ(decodeAll(1, DSS_LP_BUFFER_BYTES), pcm);
}

TEST_F(DssCore, SpRecordingMatchesFfmpegOnBothInterfaces) {
    DssRecording recording;
    recording.codec = 0;
    recording.version = 3;
    recording.frames = dummySpFrames(37);
    const fs::path file = dir / "sp.dss";
    writeDss(file, recording);
    const auto reference = ffmpegPcm(dir, file);
    ASSERT_EQ(reference.size(), 37u * DSS_SP_BUFFER_BYTES);

    EXPECT_EQ(activate(file, 11025), DSS_KIND_SP);
    const std::int32_t five = 5;
    EXPECT_EQ(DSSSetTransWAY(1), DSS_OK);
    EXPECT_EQ(DSSTransInitDecoder(&five), DSS_OK);
    ASSERT_EQ(DSSTransStartDecoding(), DSS_OK);
    std::vector<int> results;
    EXPECT_EQ(transAll(results), reference);
    // Nonzero while more follow; 0 comes with the last buffer.
    std::vector<int> expected(37, 1);
    expected.back() = 0;
    EXPECT_EQ(results, expected);

    ASSERT_EQ(DSSStartDecoding(0), DSS_OK);
    EXPECT_EQ(decodeAll(0, DSS_SP_BUFFER_BYTES), reference);
}

TEST_F(DssCore, ShortSpRecordingsEndOnTheFirstBuffer) {
    DssRecording recording;
    recording.codec = 0;
    for (std::size_t frames : {1u, 0u}) {
        recording.frames = dummySpFrames(frames);
        const fs::path file = dir / ("sp" + std::to_string(frames) + ".dss");
        writeDss(file, recording);
        EXPECT_EQ(activate(file, 11025), DSS_KIND_SP);
        ASSERT_EQ(DSSTransStartDecoding(), DSS_OK);
        std::vector<int> results;
        const auto pcm = transAll(results);
        EXPECT_EQ(results, std::vector<int>{0});
        ASSERT_EQ(pcm.size(), std::size_t{DSS_SP_BUFFER_BYTES});
        if (frames == 1) {
            EXPECT_EQ(pcm, ffmpegPcm(dir, file));
        } else {
            EXPECT_EQ(pcm, std::vector<std::uint8_t>(DSS_SP_BUFFER_BYTES, 0));
        }
        // Calls after the end keep saying so.
        std::uint8_t buffer[DSS_SP_BUFFER_BYTES];
        EXPECT_EQ(DSSTransGetPCM(buffer), 0);
    }
}

TEST_F(DssCore, RefusesWhatItCannotRead) {
    DssRecording recording;
    recording.frames = dummySpFrames(4);
    recording.codec = 0;
    const fs::path good = dir / "good.dss";
    writeDss(good, recording);
    EXPECT_EQ(activate(good, 11025), DSS_KIND_SP);

    std::int32_t info = 0;
    std::uint8_t kind = 0;
    EXPECT_EQ(DSSActiveFile((dir / "missing.dss").c_str(), &info, &kind), DSS_E_NOT_FOUND);
    // A refused file leaves nothing active behind it.
    EXPECT_EQ(DSSTransStartDecoding(), DSS_E_STATE);
    EXPECT_EQ(DSSStartDecoding(0), DSS_E_STATE);
    std::uint8_t* buffer = reinterpret_cast<std::uint8_t*>(&info);
    std::int32_t flag = 0;
    EXPECT_EQ(DSSDecodeToPCM(&buffer, &flag), DSS_OK);
    EXPECT_EQ(buffer, nullptr);

    writeText(dir / "text.dss", std::string(2000, 'x'));
    EXPECT_EQ(DSSActiveFile((dir / "text.dss").c_str(), &info, &kind), DSS_E_FORMAT);

    recording.codec = 1;
    writeDss(dir / "codec1.dss", recording);
    EXPECT_EQ(DSSActiveFile((dir / "codec1.dss").c_str(), &info, &kind), DSS_E_FORMAT);

    recording.codec = 2;
    recording.endTime = "not a time!!";
    writeDss(dir / "badtime.dss", recording);
    EXPECT_EQ(DSSActiveFile((dir / "badtime.dss").c_str(), &info, &kind), DSS_E_FORMAT);

    auto truncated = buildDss(recording);
    truncated.resize(100);
    writeBytes(dir / "short.dss", truncated);
    EXPECT_EQ(DSSActiveFile((dir / "short.dss").c_str(), &info, &kind), DSS_E_FORMAT);

    EXPECT_EQ(DSSActiveFile(nullptr, &info, &kind), DSS_E_ARGUMENT);
    EXPECT_EQ(DSSDecodeToPCM(nullptr, &flag), DSS_E_ARGUMENT);
    EXPECT_EQ(DSSInitDecoder(0, nullptr), DSS_E_ARGUMENT);
}

TEST_F(DssCore, ReadsFileNamesThatLookLikeUrlsAsFiles) {
    DssRecording recording;
    recording.codec = 0;
    recording.frames = dummySpFrames(3);
    writeDss(dir / "pipe:0", recording);
    const auto reference = ffmpegPcm(dir, dir / "pipe:0");
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    std::int32_t info = 0;
    std::uint8_t kind = 0;
    EXPECT_EQ(DSSActiveFile("pipe:0", &info, &kind), DSS_OK);
    EXPECT_EQ(DSSStartDecoding(0), DSS_OK);
    fs::current_path(previous);
    EXPECT_EQ(decodeAll(0, DSS_SP_BUFFER_BYTES), reference);
}

TEST_F(DssCore, AcceptsOnlyReadableFolders) {
    EXPECT_EQ(DSSActiveFolder(dir.path().c_str(), 0), DSS_OK);
    EXPECT_EQ(DSSActiveFolder((dir.path().string() + "/").c_str(), 0), DSS_OK);
    EXPECT_EQ(DSSActiveFolder("", 0), DSS_OK); // the current folder
    EXPECT_EQ(DSSActiveFolder((dir / "missing/").c_str(), 0), DSS_E_NOT_FOUND);
    writeText(dir / "plain", "x");
    EXPECT_EQ(DSSActiveFolder((dir / "plain").c_str(), 0), DSS_E_NOT_FOUND);
    EXPECT_EQ(DSSActiveFolder(nullptr, 0), DSS_E_ARGUMENT);
}

// A damaged stretch is handed out as silence of its length and decoding goes on, so the
// recording keeps its length; the report says how much was replaced and where.
TEST_F(DssCore, DamagedLpFramesBecomeSilenceAndTheRestStillPlays) {
    const auto tone = encodeLpFrames(dir, 1.0);
    DssRecording recording;
    while (recording.frames.size() < 700)
        recording.frames.insert(recording.frames.end(), tone.begin(), tone.end());
    const std::size_t frames = recording.frames.size();
    const auto whole = buildDss(recording);
    writeBytes(dir / "whole.dss", whole);
    const auto reference = ffmpegPcm(dir, dir / "whole.dss");
    struct Case {
        std::size_t frame;     // first damaged frame
        std::size_t wiped;     // bytes set to 0xFF from its start, 0: one 0xFF put before it
        std::size_t expect;    // frames handed out
        std::uint8_t flip = 0; // else `wiped` bytes from the next block header XORed with it
    };
    // 0xFF cannot start a frame. The damage is found there, and decoding takes up again
    // at the first frame of the next block; a frame start stored rounded to an even
    // offset may cost a frame there. A damaged block header hides where the block's frames
    // start; the frame running into that block is lost with it.
    for (const Case& damage : {Case{10, 0, frames + 1}, Case{600, 0, frames + 1},
                               Case{300, 50, frames}, Case{21, 50, frames, 0xA5}}) {
        SCOPED_TRACE("damage at frame " + std::to_string(damage.frame));
        auto bytes = whole;
        if (damage.wiped == 0) {
            DssRecording withByte = recording;
            withByte.frames.insert(
                withByte.frames.begin() + static_cast<std::ptrdiff_t>(damage.frame), Frame{0xFF});
            bytes = buildDss(withByte);
        }
        const std::size_t at = 1024 + 6 + damage.frame * 24 + damage.frame * 24 / 506 * 6;
        if (damage.flip == 0)
            std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), damage.wiped, 0xFF);
        for (std::size_t i = 0; i < damage.wiped && damage.flip != 0; ++i)
            bytes[1024 + ((at - 1024) / 512 + 1) * 512 + i] ^= damage.flip;
        const fs::path file = dir / "damaged.dss";
        writeBytes(file, bytes);
        EXPECT_EQ(activate(file, 8000), DSS_KIND_LP);
        ASSERT_EQ(DSSStartDecoding(0), DSS_OK);
        const auto pcm = decodeAll(1, DSS_LP_BUFFER_BYTES);
        DSSDamageReport report{};
        ASSERT_EQ(DSSGetDamageReport(&report), DSS_OK);
        const std::size_t before = damage.frame * DSS_LP_BUFFER_BYTES;
        ASSERT_GE(pcm.size(), before);
        EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + before, reference.begin()));
        EXPECT_NEAR(pcm.size() / DSS_LP_BUFFER_BYTES, damage.expect, 2);
        EXPECT_EQ(report.read_error, 0);
        EXPECT_GE(report.replaced_frames, 1u);
        EXPECT_EQ(report.decoded_frames + report.replaced_frames, pcm.size() / DSS_LP_BUFFER_BYTES);
        ASSERT_GE(report.start_count, 1u);
        EXPECT_EQ(report.starts[0], damage.frame * 240);
    }
}

} // namespace
