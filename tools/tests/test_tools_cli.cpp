// quillmere and tolvane as the player runs them: one request text, an exit code that
// tells the outcome, and the reason on stderr where a message box would appear.

#include "conversion_status.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace velloran::testing;
using namespace velloran::conversion;

const std::string kUsageText = "Error: Invalid Argument - Method to Call the Exe is as follows: \n"
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
        EXPECT_EQ(result.status, kUsage);
        EXPECT_EQ(result.errors, kUsageText);
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
    EXPECT_EQ(result.status, kSourceUnreadable);
    EXPECT_FALSE(fs::exists(dir / "notes.wav"));

    result = runProgram(quillmere(), {"missing.dss|missing.wav"}, dir.path());
    EXPECT_EQ(result.status, kSourceUnreadable);
    EXPECT_FALSE(fs::exists(dir / "missing.wav"));

    // A destination that names the recording itself must not destroy it.
    const auto before = makeRecording(dir / "keep.dss", 2);
    result = runProgram(quillmere(), {"keep.dss|./keep.dss"}, dir.path());
    EXPECT_EQ(result.status, kDestinationRefused);
    EXPECT_EQ(ffmpegPcm(dir, dir / "keep.dss"), before);
}

// The wave file appears whole or not at all: whatever stops a conversion leaves the
// destination as it was and no temporary file behind, and a link is replaced, not
// written through.
TEST_F(Tools, QuillmereWritesTheWaveFileWholeOrNotAtAll) {
    struct Case {
        std::string name;
        std::function<void(const fs::path& wave)> plant; // what lies at the destination
        std::vector<std::string> prefix;                 // runs quillmere under these
        int status;
        std::string errors; // after "Quillmere: Unable to write <destination>"
    };
    const std::vector<Case> cases{{"full",
                                   [](const fs::path& wave) { writeText(wave, "old"); },
                                   {"/usr/bin/prlimit", "--fsize=8192"},
                                   kDiskFull,
                                   ": File too large\n"},
                                  {"fifo",
                                   [](const fs::path& wave) { ::mkfifo(wave.c_str(), 0600); },
                                   {"/usr/bin/timeout", "20"},
                                   kDestinationRefused,
                                   ": it is not a regular file\n"},
                                  {"folder",
                                   [](const fs::path& wave) { fs::create_directory(wave); },
                                   {},
                                   kDestinationRefused,
                                   ": it is not a regular file\n"},
                                  {"link",
                                   [this](const fs::path& wave) {
                                       writeText(dir / "notes.txt", "notes");
                                       fs::create_symlink(dir / "notes.txt", wave);
                                   },
                                   {},
                                   kConverted,
                                   ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path folder = dir / c.name;
        const auto reference = makeRecording(folder / "rec.dss", 2);
        const fs::path wave = folder / "rec.wav";
        c.plant(wave);
        const auto kind = fs::symlink_status(wave).type();
        std::vector<std::string> arguments = c.prefix;
        if (!arguments.empty())
            arguments.push_back(quillmere().string());
        arguments.push_back((folder / "rec.dss").string() + "|" + wave.string());
        const RunResult result = runProgram(
            arguments.size() > 1 ? fs::path(arguments[0]) : quillmere(),
            {arguments.begin() + (arguments.size() > 1 ? 1 : 0), arguments.end()}, dir.path());
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
        if (c.status == kConverted) {
            EXPECT_EQ(waveData(wave, 8000), reference);
            EXPECT_EQ(readText(dir / "notes.txt"), "notes");
            continue;
        }
        EXPECT_EQ(result.errors, "Quillmere: Unable to write " + wave.string() + c.errors);
        EXPECT_EQ(fs::symlink_status(wave).type(), kind);
        if (kind == fs::file_type::regular) {
            EXPECT_EQ(readText(wave), "old");
        }
    }
}

// Damaged bytes cost only their own frames: the wave file keeps the recording's length and
// the report line, passed on by tolvane, says where the damage lies.
TEST_F(Tools, ADamagedRecordingIsConvertedWholeWithADamageReport) {
    const auto reference = makeRecording(dir / "rec.dss", 2);
    auto bytes = readBytes(dir / "rec.dss");
    const std::size_t frame = 20;
    std::fill_n(bytes.begin() + 1024 + 6 + frame * 24, 50, 0xFF);
    writeBytes(dir / "rec.dss", bytes);
    const RunResult result =
        runProgram(tolvane(), {(dir / "rec.dss").string() + "|" + (dir / "rec.wav").string()},
                   dir.path(), {{"PATH", "/usr/bin:/bin"}});
    EXPECT_EQ(result.status, kConverted) << result.errors;
    EXPECT_EQ(result.output.substr(0, 8), "damaged ");
    EXPECT_NE(result.output.find(" 0.600"), std::string::npos) << result.output; // frame 20
    EXPECT_NEAR(waveData(dir / "rec.wav", 8000).size(), reference.size(), 4 * 480.0);
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
    EXPECT_EQ(result.status, kSourceUnreadable);
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
    EXPECT_EQ(result.status, kSourceUnreadable);
    EXPECT_EQ(result.errors, "Tolvane: Unable to find file: " + missing + "\n");

    // Without "|" the source is empty, and nothing follows the message's text.
    result = runProgram(bin / "tolvane", {(dir / "in put.dss").string()}, dir.path());
    EXPECT_EQ(result.status, kSourceUnreadable);
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
    EXPECT_EQ(usage.status, kUsage); // quillmere's own code, passed on
    EXPECT_EQ(usage.errors, kUsageText);
}

TEST_F(Launcher, FindsTheDecoderOnPathButNeverInTheCurrentFolder) {
    const fs::path elsewhere = dir / "elsewhere";
    const fs::path work = dir / "work";
    fs::create_directories(elsewhere);
    fs::create_directories(work);
    writeScript(work / "quillmere", "echo decoy > \"" + (dir / "decoy-called").string() + "\"\n");
    const std::string request = (dir / "in put.dss").string() + "|x.wav";

    RunResult result = runProgram(bin / "tolvane", {request}, work, {{"PATH", ":.:/usr/bin:/bin"}});
    // No decoder to start: nothing is said, but the exit code tells.
    EXPECT_EQ(result.status, kDecoderMissing);
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
    EXPECT_EQ(result.status, kSourceUnreadable);
    EXPECT_EQ(result.errors, "Quillmere: Unable to read " + fifo.string() +
                                 ": it does not exist or cannot be read\n");
    EXPECT_FALSE(fs::exists(dir / "rec.wav"));
    result = runProgram("/usr/bin/timeout", {"20", tolvane().string(), request}, dir.path(),
                        {{"PATH", "/usr/bin:/bin"}});
    EXPECT_EQ(result.status, kSourceUnreadable);
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
