// quillmere and tolvane as the player runs them: one request text, exit code 0, and the
// outcome only in the wave file (or on stderr where a message box would appear).

#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace velloran::testing;

const std::string kUsage = "Error: Invalid Argument - Method to Call the Exe is as follows: \n"
                           "  <ExeName> <SourceFile>|<DestFile> \n";

class Tools : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static TempDir scratch;
        lpFrames = new std::vector<Frame>(encodeLpFrames(scratch, 1.5));
    }
    static void TearDownTestSuite() {
        delete lpFrames;
        lpFrames = nullptr;
    }

    fs::path quillmere() const { return appDir() / "quillmere"; }
    fs::path tolvane() const { return appDir() / "tolvane"; }

    // A DSS recording at `path` (folders created) and ffmpeg's decoding of it.
    std::vector<std::uint8_t> makeRecording(const fs::path& path, std::uint8_t codec) {
        fs::create_directories(path.parent_path());
        DssRecording recording;
        recording.codec = codec;
        recording.frames = codec == 0 ? dummySpFrames(25) : *lpFrames;
        writeDss(path, recording);
        return ffmpegPcm(dir, path);
    }

    static bool isEmptyFolder(const fs::path& folder) { return fs::is_empty(folder); }

    static std::vector<Frame>* lpFrames;
    TempDir dir;
};

std::vector<Frame>* Tools::lpFrames = nullptr;

TEST_F(Tools, QuillmereShowsItsUsageForIncompleteRequestsAndWritesNothing) {
    const fs::path work = dir / "work";
    fs::create_directory(work);
    const std::vector<std::vector<std::string>> requests{
        {}, {"a.dss|"}, {"a.dss | "}, {"|b.wav"}, {"  |  b.wav"}, {"a.dss", "b.wav"}, {"|"}};
    for (const auto& arguments : requests) {
        const RunResult result = runProgram(quillmere(), arguments, work);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.errors, kUsage);
    }
    EXPECT_TRUE(isEmptyFolder(work));
}

TEST_F(Tools, QuillmereConvertsLpAndSpRecordingsLikeFfmpeg) {
    const fs::path folder = dir / "My Dictations" / "to day";
    const auto lpReference = makeRecording(folder / "rec 01.dss", 2);
    const auto spReference = makeRecording(folder / "rec 02.dss", 0);

    // Blanks around and inside the names, as one argument and split as a shell would.
    const std::string lp =
        "  " + (folder / "rec 01.dss").string() + "\t|  " + (folder / "rec 01.wav").string() + "  ";
    RunResult result = runProgram(quillmere(), {lp}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(waveData(folder / "rec 01.wav", 8000), lpReference);

    result =
        runProgram(quillmere(),
                   {dir.path().string() + "/My", "Dictations/to", "day/rec",
                    "02.dss|" + dir.path().string() + "/My", "Dictations/to", "day/rec", "02.wav"},
                   dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(waveData(folder / "rec 02.wav", 11025), spReference);
}

TEST_F(Tools, QuillmereTakesRelativePathsFromItsCurrentFolder) {
    const auto reference = makeRecording(dir / "rec.dss", 2);
    const RunResult result = runProgram(quillmere(), {"rec.dss|rec.wav"}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(waveData(dir / "rec.wav", 8000), reference);
}

TEST_F(Tools, QuillmereLeavesNoFileForWhatTheLibraryRefuses) {
    writeText(dir / "notes.dss", std::string(3000, 'n'));
    RunResult result = runProgram(quillmere(), {"notes.dss|notes.wav"}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(fs::exists(dir / "notes.wav"));

    result = runProgram(quillmere(), {"missing.dss|missing.wav"}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(fs::exists(dir / "missing.wav"));

    // A destination that names the recording itself must not destroy it.
    const auto before = makeRecording(dir / "keep.dss", 2);
    result = runProgram(quillmere(), {"keep.dss|./keep.dss"}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(ffmpegPcm(dir, dir / "keep.dss"), before);
}

TEST_F(Tools, QuillmereRefusesSourcePathsLongerThan255Characters) {
    // Pad a folder name so the source path is exactly 255 characters, then one more.
    const std::string base = dir.path().string() + "/";
    const std::string name = "rec.dss";
    ASSERT_LT(base.size() + name.size() + 2, 255u);
    const std::string padding(255 - base.size() - name.size() - 1, 'p');
    const fs::path fits = fs::path(base + padding) / name;
    ASSERT_EQ(fits.string().size(), 255u);
    const auto reference = makeRecording(fits, 2);
    RunResult result =
        runProgram(quillmere(), {fits.string() + "|" + (dir / "fits.wav").string()}, dir.path());
    EXPECT_EQ(result.errors, "");
    EXPECT_EQ(waveData(dir / "fits.wav", 8000), reference);

    const fs::path tooLong = fs::path(base + padding + "q") / name;
    makeRecording(tooLong, 2);
    result =
        runProgram(quillmere(), {tooLong.string() + "|" + (dir / "long.wav").string()}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.errors, "Error: The source path is longer than 255 characters and cannot "
                             "be converted: " +
                                 tooLong.string() + "\n");
    EXPECT_FALSE(fs::exists(dir / "long.wav"));
}

// Tolvane beside a stand-in decoder that records how it was called.
class Launcher : public Tools {
protected:
    void SetUp() override {
        fs::create_directories(bin);
        fs::copy_file(tolvane(), bin / "tolvane");
        writeText(dir / "in put.dss", "recording");
    }
    void standIn(const fs::path& path, const std::string& extra = "") {
        writeScript(path, extra + "printf '%s\\n' \"$#\" \"$@\" > \"" + record.string() + "\"\n");
    }
    std::string recorded() const { return fs::exists(record) ? readText(record) : ""; }

    fs::path bin = dir / "bin";
    fs::path record = dir / "decoder-called";
};

TEST_F(Launcher, HandsTheTrimmedRequestToTheDecoderBesideIt) {
    standIn(bin / "quillmere");
    const std::string source = (dir / "in put.dss").string();
    const RunResult result =
        runProgram(bin / "tolvane", {"  " + source + " |  /out/a b.wav  "}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.errors, "");
    EXPECT_EQ(recorded(), "1\n" + source + "|/out/a b.wav\n");
}

TEST_F(Launcher, WaitsForTheDecoderToFinish) {
    standIn(bin / "quillmere", "sleep 0.3\n");
    runProgram(bin / "tolvane", {(dir / "in put.dss").string() + "|x.wav"}, dir.path());
    EXPECT_NE(recorded(), "");
}

TEST_F(Launcher, ReportsAMissingSourceAndDoesNotStartTheDecoder) {
    standIn(bin / "quillmere");
    const std::string missing = (dir / "gone.dss").string();
    RunResult result = runProgram(bin / "tolvane", {missing + "|out.wav"}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.errors, "Tolvane: Unable to find file: " + missing + "\n");

    // Without "|" the source is empty, and nothing follows the message's text.
    result = runProgram(bin / "tolvane", {(dir / "in put.dss").string()}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.errors, "Tolvane: Unable to find file: \n");
    EXPECT_EQ(recorded(), "");
}

TEST_F(Launcher, PassesAFolderSourceOnAndTheDecoderSpeaksForItself) {
    standIn(bin / "quillmere");
    const RunResult result =
        runProgram(bin / "tolvane", {dir.path().string() + "|" + "/out.wav"}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(recorded(), "1\n" + dir.path().string() + "|/out.wav\n");

    // An empty destination is left to the decoder's own usage message.
    fs::remove(bin / "quillmere");
    fs::copy_file(quillmere(), bin / "quillmere");
    // As installed, the decoding library lies beside the program.
    fs::copy_file(appDir() / "libdsscore.so", bin / "libdsscore.so");
    const RunResult usage =
        runProgram(bin / "tolvane", {(dir / "in put.dss").string() + "|"}, dir.path());
    EXPECT_EQ(usage.status, 0);
    EXPECT_EQ(usage.errors, kUsage);
}

TEST_F(Launcher, FindsTheDecoderOnPathButNeverInTheCurrentFolder) {
    const fs::path elsewhere = dir / "elsewhere";
    const fs::path work = dir / "work";
    fs::create_directories(elsewhere);
    fs::create_directories(work);
    writeScript(work / "quillmere", "echo decoy > \"" + (dir / "decoy-called").string() + "\"\n");
    const std::string request = (dir / "in put.dss").string() + "|x.wav";

    RunResult result = runProgram(bin / "tolvane", {request}, work, {{"PATH", ":.:/usr/bin:/bin"}});
    // No decoder to start: nothing is said, and the launcher still ends normally.
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.errors, "");
    EXPECT_FALSE(fs::exists(dir / "decoy-called"));
    EXPECT_EQ(recorded(), "");

    standIn(elsewhere / "quillmere");
    result = runProgram(bin / "tolvane", {request}, work,
                        {{"PATH", ".::" + elsewhere.string() + ":/usr/bin"}});
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(fs::exists(dir / "decoy-called"));
    EXPECT_EQ(recorded(), "1\n" + request + "\n");
}

// Opening a FIFO for reading waits for a writer that never comes; `timeout` ends a tool
// that waits (status 124).
TEST_F(Tools, AFifoSourceCountsAsMissingAndHoldsNeitherTool) {
    const fs::path fifo = dir / "rec.dss";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string request = fifo.string() + "|" + (dir / "rec.wav").string();
    RunResult result =
        runProgram("/usr/bin/timeout", {"20", quillmere().string(), request}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.errors, "");
    EXPECT_FALSE(fs::exists(dir / "rec.wav"));
    result = runProgram("/usr/bin/timeout", {"20", tolvane().string(), request}, dir.path(),
                        {{"PATH", "/usr/bin:/bin"}});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.errors, "Tolvane: Unable to find file: " + fifo.string() + "\n");
}

// Decoding needs the right to enter the folder, not to list it. Root may list anything,
// so as root the tool runs as nobody, in a folder that nobody can reach (the test's own
// TMPDIR may be private).
TEST_F(Tools, ARecordingInAFolderThatCannotBeListedIsConverted) {
    const bool root = ::geteuid() == 0;
    const TempDir reachable(root ? "/tmp" : nullptr);
    const fs::path folder = reachable / "hidden";
    const fs::path out = reachable / "out";
    const auto reference = makeRecording(folder / "rec.dss", 2);
    fs::create_directory(out);
    fs::permissions(reachable.path(), fs::perms(0755));
    fs::permissions(out, fs::perms(0777));
    fs::permissions(folder / "rec.dss", fs::perms(0644));
    fs::permissions(folder, fs::perms(0711));
    const std::string request = (folder / "rec.dss").string() + "|" + (out / "rec.wav").string();
    const RunResult result = ::geteuid() == 0
                                 ? runProgram("/usr/bin/setpriv",
                                              {"--reuid=65534", "--regid=65534", "--clear-groups",
                                               quillmere().string(), request},
                                              dir.path())
                                 : runProgram(quillmere(), {request}, dir.path());
    fs::permissions(folder, fs::perms(0755));
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(waveData(out / "rec.wav", 8000), reference);
}

TEST_F(Tools, TolvaneAndQuillmereTogetherWriteTheWaveFile) {
    const fs::path folder = dir / "Dict";
    const auto reference = makeRecording(folder / "rec01.dss", 2);
    const RunResult result = runProgram(
        tolvane(), {(folder / "rec01.dss").string() + "|" + (folder / "rec01.wav").string()},
        dir.path(), {{"PATH", "/usr/bin:/bin"}});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(waveData(folder / "rec01.wav", 8000), reference);
}

} // namespace
