#include "convert/vox_converter.h"
#include "core/player_state.h"
#include "core/settings.h"
#include "fakes/fake_prompts.h"
#include "file_bytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace velloran;
using velloran::testing::MemorySettingsStore;

// Readable failure messages for Qt's text types.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << bytes.size() << " bytes " << bytes.left(64).toHex(' ').toStdString();
}
QT_END_NAMESPACE

using velloran::testing::readAll;
using velloran::testing::writeAll;

namespace {

QByteArray fromHex(const char* hex) {
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

// Audio bytes that differ from piece to piece, so a misplaced piece shows.
QByteArray audio(qint64 size) {
    QByteArray bytes(size, '\0');
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 32768) & 0xff);
    return bytes;
}

// A recorder header: signature, recorded length, the rest filled.
QByteArray voxHeader(const char* signature, qint32 recordedLength) {
    QByteArray header(kVoxHeaderSize, '\x5a');
    header.replace(0, 4, QByteArray(signature, 4));
    qToLittleEndian(recordedLength, header.data() + kRecordedLengthOffset);
    return header;
}

class VoxConverterTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }

    // A DVI recording carrying `audioSize` bytes of audio; its recorded length
    // is the real one unless given.
    QString makeRecording(const QString& name, qint64 audioSize,
                          std::optional<qint32> recorded = std::nullopt) {
        const qint64 length = kVoxHeaderSize + audioSize;
        writeAll(path(name),
                 voxHeader("DVI ", recorded.value_or(qint32(length))) + audio(audioSize));
        return path(name);
    }

    QTemporaryDir dir;
    MemorySettingsStore store;
    PlayerState state;
};

} // namespace

TEST(WaveHeader, MatchesTheFixedLayoutByteForByte) {
    EXPECT_EQ(composeWaveHeader(10972),
              fromHex("52 49 46 46 44 27 00 00 57 41 56 45 66 6d 74 20 14 00 00 00 00 01 01 00 "
                      "40 1f 00 00 a0 0f 00 00 00 01 04 00 02 00 01 01 66 61 63 74 04 00 00 00 "
                      "00 00 00 00 64 61 74 61 10 27 00 00"));
}

TEST(WaveHeader, SizesFollowTheSourceLengthWithinTheirRange) {
    const QByteArray bare = composeWaveHeader(kVoxHeaderSize);
    ASSERT_EQ(bare.size(), kWaveHeaderSize);
    EXPECT_EQ(qFromLittleEndian<quint32>(bare.constData() + 4), 52u);
    EXPECT_EQ(qFromLittleEndian<quint32>(bare.constData() + 56), 0u);

    EXPECT_TRUE(composeWaveHeader(kVoxHeaderSize - 1).isEmpty());
    const qint64 largest = qint64(INT32_MAX) + kVoxHeaderSize - 52;
    EXPECT_EQ(qFromLittleEndian<quint32>(composeWaveHeader(largest).constData() + 4),
              quint32(INT32_MAX));
    EXPECT_TRUE(composeWaveHeader(largest + 1).isEmpty());
}

TEST(Signature, ReadsUpToFourBytesAsLatin1) {
    QTemporaryDir dir;
    writeAll(dir.filePath("a"), QByteArray("dvi\xe9rest"));
    writeAll(dir.filePath("b"), QByteArray("ds"));
    EXPECT_EQ(readFileSignature(dir.filePath("a")), QString::fromLatin1("dvi\xe9"));
    EXPECT_EQ(readFileSignature(dir.filePath("b")), QStringLiteral("ds"));
    EXPECT_EQ(readFileSignature(dir.filePath("missing")), QString());
}

TEST(Signature, ClassifiesByLettersIgnoringCaseAndBlanks) {
    EXPECT_EQ(classifySignature("DVI "), SignatureKind::Dvi);
    EXPECT_EQ(classifySignature(" dvi"), SignatureKind::Dvi);
    EXPECT_EQ(classifySignature("DvI\x01"), SignatureKind::Dvi);
    EXPECT_EQ(classifySignature("dvx "), SignatureKind::Plain);
    EXPECT_EQ(classifySignature("\tdvi"), SignatureKind::Plain);
    EXPECT_EQ(classifySignature("RIFF"), SignatureKind::Plain);
    EXPECT_EQ(classifySignature(""), SignatureKind::Plain);
    EXPECT_EQ(classifySignature("\x02"
                                "dss"),
              SignatureKind::Dss);
    EXPECT_EQ(classifySignature("DSS "), SignatureKind::Dss);
}

TEST_F(VoxConverterTest, CopyFileTailAppendsInPiecesOfTheGivenSize) {
    const QByteArray source = audio(32768 + 1 + 100);
    writeAll(path("src"), source);
    writeAll(path("dst"), "head");

    QList<qint64> pieces;
    qint64 last = 0;
    const auto record = [&](qint64 done, qint64) {
        pieces << done - last;
        last = done;
    };
    ASSERT_TRUE(copyFileTail(path("dst"), path("src"), 100, record));
    EXPECT_EQ(pieces, (QList<qint64>{32768, 1}));
    EXPECT_EQ(readAll(path("dst")), "head" + source.mid(100));

    pieces.clear();
    last = 0;
    writeAll(path("dst"), "");
    ASSERT_TRUE(copyFileTail(path("dst"), path("src"), 101, record));
    EXPECT_EQ(pieces, QList<qint64>{32768});
    EXPECT_EQ(readAll(path("dst")), source.mid(101));
}

TEST_F(VoxConverterTest, CopyFileTailFailsWithoutItsSource) {
    EXPECT_FALSE(copyFileTail(path("dst"), path("missing"), 0));
    writeAll(path("src"), "abc");
    EXPECT_FALSE(copyFileTail(path("dst"), path("src"), 4));
}

TEST_F(VoxConverterTest, WriteVoxWavePutsTheHeaderBeforeTheUnchangedAudio) {
    for (qint64 n : {qint64(0), qint64(1), qint64(32768), qint64(70000)}) {
        const QString src = makeRecording("rec.dvi", n);
        ASSERT_TRUE(writeVoxWave(src, path("out.wav"), {}, 4096)) << n;
        const QByteArray out = readAll(path("out.wav"));
        EXPECT_EQ(out.left(kWaveHeaderSize), composeWaveHeader(kVoxHeaderSize + n));
        EXPECT_EQ(out.mid(kWaveHeaderSize), audio(n)) << n;
    }
}

// The recorded length sits at offset 4: a file at least that long converts; a
// shorter one (a recording cut short in copying) is refused without a trace.
TEST_F(VoxConverterTest, WriteVoxWaveHonoursTheRecordedLength) {
    const qint64 length = kVoxHeaderSize + 500;
    writeAll(path("out.wav"), "older");
    EXPECT_FALSE(writeVoxWave(makeRecording("long.dvi", 500, qint32(length + 1)), path("out.wav")));
    EXPECT_EQ(readAll(path("out.wav")), "older");
    EXPECT_FALSE(writeVoxWave(makeRecording("long.dvi", 500, INT32_MAX), path("new.wav")));
    EXPECT_FALSE(QFileInfo::exists(path("new.wav")));

    for (qint32 recorded : {qint32(length), qint32(length - 1), 0, -1, INT32_MIN}) {
        EXPECT_TRUE(writeVoxWave(makeRecording("ok.dvi", 500, recorded), path("new.wav")))
            << recorded;
        EXPECT_EQ(QFileInfo(path("new.wav")).size(), kWaveHeaderSize + 500);
    }
}

TEST_F(VoxConverterTest, ConvertsBesideTheSourceReplacingOldTmpButNeverAWaveItDidNotWrite) {
    const QString src = makeRecording("rec.VOX", 2000);
    writeAll(src + ".TMP", "stale temporary");
    QFile::setPermissions(src + ".TMP", QFileDevice::ReadOwner);
    writeAll(src + ".WAV", "the typist's own");
    state.selectedFile = src;

    qint64 lastDone = -1;
    ASSERT_TRUE(convertVoxFile(store, state, [&](qint64 done, qint64) { lastDone = done; }));

    const QString wav = path("rec.VOX (2).WAV");
    EXPECT_EQ(lastDone, 2000);
    EXPECT_EQ(state.selectedFile, wav);
    EXPECT_TRUE(state.converted);
    EXPECT_FALSE(QFileInfo::exists(src + ".TMP"));
    EXPECT_FALSE(QFileInfo::exists(path("rec.WAV")));
    EXPECT_EQ(readAll(src + ".WAV"), "the typist's own");
    EXPECT_EQ(readAll(wav), composeWaveHeader(kVoxHeaderSize + 2000) + audio(2000));
    EXPECT_EQ(readAll(src).size(), kVoxHeaderSize + 2000);
    EXPECT_EQ(store.writes, (QStringList{"FiletoDelete=", "CurrentFile=" + wav, "CurrentPosition=0",
                                         "FiletoDelete=" + wav}));
}

TEST_F(VoxConverterTest, NextConversionDeletesThePreviousWave) {
    state.selectedFile = makeRecording("one.dvi", 10);
    ASSERT_TRUE(convertVoxFile(store, state));
    const QString first = state.selectedFile;
    ASSERT_TRUE(QFileInfo::exists(first));

    state.selectedFile = makeRecording("two.dvi", 20);
    ASSERT_TRUE(convertVoxFile(store, state));
    EXPECT_FALSE(QFileInfo::exists(first));
    EXPECT_TRUE(QFileInfo::exists(path("one.dvi")));
    EXPECT_EQ(store.values.value(keys::FiletoDelete), path("two.dvi.WAV"));
}

// A failed conversion leaves the player where it was and never names the
// recording itself as the file to delete.
TEST_F(VoxConverterTest, FailedConversionChangesNothingAndRecordsNoFileToDelete) {
    const QString shortOne = makeRecording("cut.dvi", 100, kVoxHeaderSize + 101);
    writeAll(shortOne + ".WAV", "older wave");
    writeAll(path("tiny.dvi"), voxHeader("dvi ", 0).left(kVoxHeaderSize - 1));
    store.values[keys::CurrentFile] = "before";
    store.values[keys::CurrentPosition] = "12";

    for (const QString& src : {shortOne, path("tiny.dvi"), path("missing.dvi")}) {
        state.selectedFile = src;
        state.converted = false;
        EXPECT_FALSE(convertVoxFile(store, state)) << src.toStdString();
        EXPECT_EQ(state.selectedFile, src);
        EXPECT_FALSE(state.converted);
        EXPECT_EQ(store.values.value(keys::CurrentFile), "before");
        EXPECT_EQ(store.values.value(keys::CurrentPosition), "12");
        EXPECT_EQ(store.values.value(keys::FiletoDelete), "");
        EXPECT_FALSE(QFileInfo::exists(src + ".TMP"));
    }
    EXPECT_EQ(readAll(shortOne + ".WAV"), "older wave");

    // A later cleanup leaves every recording alone.
    deletePendingFile(store);
    EXPECT_TRUE(QFileInfo::exists(shortOne));
    EXPECT_TRUE(QFileInfo::exists(path("tiny.dvi")));
}

TEST_F(VoxConverterTest, KeepsAReadOnlyWaveItDidNotWrite) {
    const QString src = makeRecording("rec.dvi", 10);
    writeAll(src + ".WAV", "protected");
    QFile::setPermissions(src + ".WAV", QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    state.selectedFile = src;
    EXPECT_TRUE(voxToWave(src, store, state));
    EXPECT_EQ(readAll(src + ".WAV"), "protected");
    EXPECT_FALSE(QFileInfo::exists(src + ".TMP"));
    EXPECT_EQ(state.selectedFile, path("rec.dvi (2).WAV"));
}

TEST_F(VoxConverterTest, DeletePendingFileRemovesOnlyAConvertedWave) {
    deletePendingFile(store);
    EXPECT_EQ(store.writes, QStringList{"FiletoDelete="});

    state.selectedFile = makeRecording("rec.dvi", 10);
    ASSERT_TRUE(convertVoxFile(store, state));
    deletePendingFile(store);
    EXPECT_FALSE(QFileInfo::exists(state.selectedFile));
    EXPECT_EQ(store.values.value(keys::FiletoDelete), "");

    // Gone already: nothing to do, the key is still cleared.
    store.values[keys::FiletoDelete] = state.selectedFile;
    deletePendingFile(store);
    EXPECT_EQ(store.values.value(keys::FiletoDelete), "");

    // Recordings and other people's files are not taken for converted ones.
    writeAll(path("dictation.WAV"), voxHeader("dvi ", 0));
    writeAll(path("note.wav"), "RIFF....");
    for (const char* name : {"rec.dvi", "dictation.WAV", "note.wav"}) {
        store.values[keys::FiletoDelete] = path(name);
        deletePendingFile(store);
        EXPECT_TRUE(QFileInfo::exists(path(name))) << name;
        EXPECT_EQ(store.values.value(keys::FiletoDelete), "");
    }
}

TEST_F(VoxConverterTest, FailuresSayWhatIsWrongWithTheRecording) {
    QString error;
    state.selectedFile = makeRecording("cut.dvi", 100, kVoxHeaderSize + 500);
    EXPECT_FALSE(convertVoxFile(store, state, {}, &error));
    EXPECT_EQ(error, QStringLiteral("the recording is cut short: it holds 1072 of the 1472 bytes "
                                    "its header records"));

    writeAll(path("tiny.dvi"), "DVI tiny");
    state.selectedFile = path("tiny.dvi");
    EXPECT_FALSE(convertVoxFile(store, state, {}, &error));
    EXPECT_EQ(error, QStringLiteral("the file is too short to be a DVI recording"));

    state.selectedFile = path("missing.dvi");
    EXPECT_FALSE(convertVoxFile(store, state, {}, &error));
    EXPECT_EQ(error, QStringLiteral("the recording cannot be read"));
}

// A recording whose folder cannot take the wave file (a read-only share, a
// folder of someone else's) converts into the fallback folder and is recorded
// for deletion as usual. A directory squatting on the temporary name stands in
// for an unwritable folder, so that the case is also reached when the tests
// run as root.
TEST_F(VoxConverterTest, ConvertsIntoTheFallbackFolderWhenTheSourceFolderCannotTakeIt) {
    const QString src = makeRecording("rec.dvi", 300);
    ASSERT_TRUE(QDir(dir.path()).mkdir("rec.dvi.TMP"));
    const QString cache = path("cache/Velloran");
    state.selectedFile = src;
    QString error;
    ASSERT_TRUE(convertVoxFile(store, state, {}, &error, cache)) << error.toStdString();
    // A folder of its own per recording folder: two shares' rec.dvi never meet.
    const QString wav = cacheFolderFor(cache, src) + "/rec.dvi.WAV";
    EXPECT_TRUE(wav.startsWith(cache + '/'));
    EXPECT_EQ(state.selectedFile, wav);
    EXPECT_EQ(readAll(wav), composeWaveHeader(kVoxHeaderSize + 300) + audio(300));
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(wav).path() + "/rec.dvi.TMP"));
    EXPECT_EQ(store.values.value(keys::CurrentFile), wav);
    EXPECT_EQ(store.values.value(keys::FiletoDelete), wav);

    // Without a fallback folder the same recording fails, and says where.
    state.selectedFile = src;
    QFile::remove(wav);
    EXPECT_FALSE(convertVoxFile(store, state, {}, &error));
    EXPECT_EQ(error, QStringLiteral("the wave file cannot be written in ") + dir.path());
}

TEST_F(VoxConverterTest, ConvertsIntoTheFallbackFolderBesideAReadOnlyFolder) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    const QString folder = path("share");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString src = folder + "/rec.dvi";
    writeAll(src, voxHeader("DVI ", qint32(kVoxHeaderSize + 10)) + audio(10));
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    state.selectedFile = src;
    const bool converted = convertVoxFile(store, state, {}, nullptr, path("cache"));
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    ASSERT_TRUE(converted);
    EXPECT_EQ(state.selectedFile, cacheFolderFor(path("cache"), src) + "/rec.dvi.WAV");
}
