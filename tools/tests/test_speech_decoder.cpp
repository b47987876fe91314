// The conversion logic against a scripted stand-in for libdsscore: what is called with
// what, and what lands in the wave file for each answer the library can give.

#include "speech_decoder.h"

#include "test_support.h"

#include <array>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>

namespace {

using namespace velloran::testing;
namespace conversion = velloran::conversion;
using velloran::tools::ConversionResult;
using velloran::tools::CoreLoader;
using velloran::tools::damageReportLine;
using velloran::tools::ImportedCore;
using velloran::tools::LoadedCore;
using velloran::tools::sourceFolder;
using velloran::tools::SpeechDecoder;

struct Buffer {
    int value;         // DSSTransGetPCM's result, or DSSDecodeToPCM's flag
    std::uint8_t fill; // every byte of the buffer
};

// The scripted library; one per test.
struct Script {
    int folderResult = 0;
    int fileResult = 0;
    int transStartResult = 0;
    int startResult = 0;
    std::uint8_t kind = 1;
    std::vector<Buffer> transBuffers;
    std::vector<Buffer> decodeBuffers;

    std::vector<std::string> calls;
    std::size_t transNext = 0;
    std::size_t decodeNext = 0;
    const std::int32_t* options = nullptr;
    std::vector<std::int32_t> optionsSeenWhileDecoding;
    std::array<std::uint8_t, 660> lent{};
    DSSDamageReport damage{1, 0, 0, {}, 0};
};

Script* script = nullptr;

int fakeSetTransWay(std::int32_t mode) {
    script->calls.push_back("SetTransWAY " + std::to_string(mode));
    return 0;
}
int fakeTransInitDecoder(const std::int32_t* options) {
    script->calls.push_back("TransInitDecoder " + std::to_string(*options));
    return 0;
}
int fakeActiveFolder(const char* folder, std::int32_t reserved) {
    script->calls.push_back(std::string("ActiveFolder ") + folder + " " + std::to_string(reserved));
    return script->folderResult;
}
int fakeActiveFile(const char* path, std::int32_t* info, std::uint8_t* kind) {
    script->calls.push_back(std::string("ActiveFile ") + path);
    *info = 1234;
    *kind = script->kind;
    return script->fileResult;
}
int fakeTransStartDecoding() {
    script->calls.push_back("TransStartDecoding");
    return script->transStartResult;
}
int fakeTransGetPcm(std::uint8_t* buffer) {
    const Buffer next = script->transBuffers.at(script->transNext++);
    std::memset(buffer, next.fill, 528);
    return next.value;
}
int fakeInitDecoder(std::int32_t reserved, const std::int32_t* options) {
    script->calls.push_back("InitDecoder " + std::to_string(reserved) + " " +
                            std::to_string(*options));
    script->options = options;
    return 0;
}
int fakeStartDecoding(std::int32_t reserved) {
    script->calls.push_back("StartDecoding " + std::to_string(reserved));
    return script->startResult;
}
int fakeDecodeToPcm(std::uint8_t** buffer, std::int32_t* flag) {
    EXPECT_EQ(*buffer, nullptr);
    EXPECT_EQ(*flag, 0);
    if (script->options != nullptr)
        script->optionsSeenWhileDecoding.push_back(*script->options);
    if (script->decodeNext == script->decodeBuffers.size())
        return 0;
    const Buffer next = script->decodeBuffers[script->decodeNext++];
    script->lent.fill(next.fill);
    *buffer = script->lent.data();
    *flag = next.value;
    return 0;
}

int fakeDamageReport(DSSDamageReport* report) {
    *report = script->damage;
    return 0;
}

ImportedCore fakeImported() {
    return {fakeSetTransWay,        fakeTransInitDecoder, fakeActiveFolder, fakeActiveFile,
            fakeTransStartDecoding, fakeTransGetPcm,      fakeDamageReport};
}

LoadedCore fakeLoaded() {
    LoadedCore core;
    core.initDecoder = fakeInitDecoder;
    core.activeFolder = fakeActiveFolder;
    core.activeFile = fakeActiveFile;
    core.startDecoding = fakeStartDecoding;
    core.decodeToPcm = fakeDecodeToPcm;
    core.damageReport = fakeDamageReport;
    return core;
}

class SpeechDecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        script = &current;
        source = (dir / "in put.dss").string();
        destination = (dir / "out put.wav").string();
        writeText(source, "recording");
    }
    void TearDown() override { script = nullptr; }

    ConversionResult convert(CoreLoader loader = [] {
        return std::optional<LoadedCore>(fakeLoaded());
    }) {
        SpeechDecoder decoder(fakeImported(), std::move(loader));
        return decoder.convertToWave(source, destination);
    }

    std::vector<std::uint8_t> waveData(std::uint32_t rate) const {
        return velloran::testing::waveData(destination, rate);
    }

    static std::vector<std::uint8_t>
    filled(std::initializer_list<std::pair<std::size_t, int>> runs) {
        std::vector<std::uint8_t> out;
        for (const auto& [count, fill] : runs)
            out.insert(out.end(), count, static_cast<std::uint8_t>(fill));
        return out;
    }

    TempDir dir;
    Script current;
    std::string source;
    std::string destination;
};

TEST_F(SpeechDecoderTest, SpRecordingWhoseFirstBufferIsTheLastGivesExactly528Bytes) {
    current.transBuffers = {{0, 0x11}};
    ASSERT_TRUE(convert());
    EXPECT_EQ(waveData(11025), filled({{528, 0x11}}));
    const std::string folder = dir.path().string() + "/";
    EXPECT_EQ(current.calls,
              (std::vector<std::string>{"SetTransWAY 1", "SetTransWAY 3", "TransInitDecoder 5",
                                        "ActiveFolder " + folder + " 0", "ActiveFile " + source,
                                        "TransStartDecoding"}));
}

TEST_F(SpeechDecoderTest, SpRecordingWritesEveryBufferIncludingTheOneThatEndsIt) {
    current.transBuffers = {{1, 0xA1}, {7, 0xA2}, {0, 0xA3}};
    ASSERT_TRUE(convert());
    EXPECT_EQ(waveData(11025), filled({{528, 0xA1}, {528, 0xA2}, {528, 0xA3}}));
}

TEST_F(SpeechDecoderTest, RefusedFolderOrFileWritesNothing) {
    current.folderResult = 3;
    EXPECT_FALSE(convert());
    EXPECT_FALSE(fs::exists(destination));

    current = Script{};
    current.fileResult = 2;
    EXPECT_FALSE(convert());
    EXPECT_FALSE(fs::exists(destination));
    EXPECT_EQ(current.calls.back(), "ActiveFile " + source);
}

// A failed conversion leaves the destination as it was, and says why in its exit code.
TEST_F(SpeechDecoderTest, AFailedConversionLeavesTheDestinationAsItWas) {
    struct Case {
        int transStart;
        DSSDamageReport damage;
        conversion::ExitCode code;
    };
    const DSSDamageReport good{1, 0, 0, {}, 0};
    for (const Case& c : {Case{4, good, conversion::kSourceUnreadable},
                          Case{0, {1, 0, 0, {}, EIO}, conversion::kReadError},
                          Case{0, {0, 3, 1, {0}, 0}, conversion::kSourceUnreadable}}) {
        current = Script{};
        current.transBuffers = {{1, 0x11}, {0, 0x12}};
        current.transStartResult = c.transStart;
        current.damage = c.damage;
        writeText(destination, "old");
        const ConversionResult result = convert();
        EXPECT_EQ(result.code, c.code) << result.message;
        EXPECT_EQ(readText(destination), "old");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
    }
}

TEST_F(SpeechDecoderTest, ReplacedFramesGiveTheReportLineInWaveTime) {
    current.transBuffers = {{0, 0x11}};
    current.damage = {90, 12, 3, {11025, 16537, 220500}, 0};
    const ConversionResult result = convert();
    ASSERT_TRUE(result);
    EXPECT_EQ(damageReportLine(result), "damaged 12 1.000 1.500 20.000");
    current = Script{};
    current.transBuffers = {{0, 0x11}};
    EXPECT_EQ(damageReportLine(convert()), "");
}

TEST_F(SpeechDecoderTest, LpRecordingGoesToTheLoadedLibraryAndIsWrittenAt8000Hz) {
    current.kind = 2;
    current.decodeBuffers = {{1, 0xB1}, {0, 0xB2}, {5, 0xB3}};
    bool loaded = false;
    ASSERT_TRUE(convert([&] {
        loaded = true;
        return std::optional<LoadedCore>(fakeLoaded());
    }));
    EXPECT_TRUE(loaded);
    // A buffer with the flag set holds 480 bytes, one without it 528.
    EXPECT_EQ(waveData(8000), filled({{480, 0xB1}, {528, 0xB2}, {480, 0xB3}}));
    const std::string folder = dir.path().string() + "/";
    const std::vector<std::string> second(current.calls.begin() + 5, current.calls.end());
    EXPECT_EQ(second, (std::vector<std::string>{"InitDecoder 0 0", "ActiveFolder " + folder + " 0",
                                                "ActiveFile " + source, "StartDecoding 0"}));
    // The options word handed to DSSInitDecoder stays valid and holds 655397 afterwards.
    EXPECT_EQ(current.optionsSeenWhileDecoding, std::vector<std::int32_t>(4, 655397));
}

TEST_F(SpeechDecoderTest, OtherKindsAreWrittenAt11025HzWithWideBuffersForKind3) {
    current.kind = 3;
    current.decodeBuffers = {{1, 0xC1}, {0, 0xC2}};
    ASSERT_TRUE(convert());
    EXPECT_EQ(waveData(11025), filled({{660, 0xC1}, {528, 0xC2}}));

    current = Script{};
    current.kind = 7;
    current.decodeBuffers = {{1, 0xD1}};
    ASSERT_TRUE(convert());
    EXPECT_EQ(waveData(11025), filled({{480, 0xD1}}));
}

TEST_F(SpeechDecoderTest, SecondPathFailsWithoutLibraryOrEntryPoints) {
    current.kind = 2;
    EXPECT_FALSE(convert([] { return std::optional<LoadedCore>(); }));
    EXPECT_FALSE(fs::exists(destination));

    const std::vector<std::function<void(LoadedCore&)>> strips{
        [](LoadedCore& core) { core.activeFolder = nullptr; },
        [](LoadedCore& core) { core.activeFile = nullptr; },
        [](LoadedCore& core) {
            core.startDecoding = nullptr;
        }};
    for (const auto& strip : strips) {
        current = Script{};
        current.kind = 2;
        EXPECT_FALSE(convert([&strip] {
            LoadedCore core = fakeLoaded();
            strip(core);
            return std::optional<LoadedCore>(std::move(core));
        }));
        EXPECT_FALSE(fs::exists(destination));
    }

    current = Script{};
    current.kind = 2;
    current.startResult = 1;
    EXPECT_FALSE(convert());
    EXPECT_FALSE(fs::exists(destination));
}

TEST_F(SpeechDecoderTest, SecondPathWithoutDecodeEntryPointWritesNothing) {
    current.kind = 2;
    current.decodeBuffers = {{1, 0xE1}};
    EXPECT_EQ(convert([] {
                  LoadedCore core = fakeLoaded();
                  core.decodeToPcm = nullptr;
                  return std::optional<LoadedCore>(std::move(core));
              }).code,
              conversion::kDecoderMissing);
    EXPECT_FALSE(fs::exists(destination));
}

TEST_F(SpeechDecoderTest, DestinationThatCannotBeCreatedFails) {
    current.transBuffers = {{0, 1}};
    destination = (dir / "no such folder" / "out.wav").string();
    EXPECT_EQ(convert().code, conversion::kDestinationRefused);
    EXPECT_FALSE(fs::exists(destination));
}

TEST_F(SpeechDecoderTest, NeverOverwritesTheRecordingItReads) {
    current.transBuffers = {{0, 1}};
    destination = source;
    EXPECT_FALSE(convert());
    EXPECT_EQ(readText(source), "recording");

    current = Script{};
    current.kind = 2;
    current.decodeBuffers = {{1, 2}};
    destination = (dir / "link.wav").string();
    fs::create_symlink(source, destination);
    EXPECT_FALSE(convert());
    EXPECT_EQ(readText(source), "recording");
}

TEST_F(SpeechDecoderTest, SourcePathsBeyond255CharactersAreRefusedBeforeTheLibrary) {
    current.transBuffers = {{0, 1}};
    source = "/" + std::string(254, 'a');
    EXPECT_TRUE(convert()); // 255 characters still reach the library
    EXPECT_FALSE(current.calls.empty());
    current = Script{};
    source += "b";
    EXPECT_FALSE(convert());
    EXPECT_TRUE(current.calls.empty());
    EXPECT_FALSE(SpeechDecoder(fakeImported(), [] {
                     return std::optional<LoadedCore>();
                 }).convertWithLoadedCore(source, destination));
}

TEST(SourceFolder, KeepsTheTrailingSlash) {
    EXPECT_EQ(sourceFolder("/home/a b/rec.dss"), "/home/a b/");
    EXPECT_EQ(sourceFolder("/rec.dss"), "/");
    EXPECT_EQ(sourceFolder("rec.dss"), "");
    EXPECT_EQ(sourceFolder("dir/"), "dir/");
}

} // namespace
