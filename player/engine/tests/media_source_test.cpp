#include "engine/media_source.h"
#include "test_media.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace velloran::engine;
using namespace velloran::engine::testing;

namespace {

QByteArray header(const char* hex) {
    return QByteArray::fromHex(hex);
}

TEST(ProbeSource, FindsTheDialogicTagOfTheConverterHeader) {
    // The header the DVI converter writes for 10,000 bytes of audio.
    const QByteArray converted =
        header("524946464427000057415645666d7420140000000001010040"
               "1f0000a00f0000000104000200010166616374040000000000000064617461"
               "10270000");
    ASSERT_EQ(converted.size(), 60);
    const SourceProbe probe = probeSource(converted);
    EXPECT_EQ(probe.kind, SourceKind::DialogicWav);
    EXPECT_EQ(probe.formatTagOffset, 20);

    // The same header as plain PCM, or as the other ADPCM tags, plays as it is.
    for (const char tag : {char(0x01), char(0x11), char(0x17)}) {
        QByteArray other = converted;
        other[20] = tag;
        other[21] = 0;
        EXPECT_EQ(probeSource(other).kind, SourceKind::Plain) << int(tag);
    }
}

TEST(ProbeSource, WalksChunksBeforeFmtAndStopsAtData) {
    QByteArray wav = dialogicWav(QByteArray(100, '\x11'));
    // An odd-sized LIST chunk in front of fmt: padded to an even size.
    const QByteArray list = header("4c49535403000000616263") + QByteArray(1, '\0');
    wav.insert(12, list);
    const SourceProbe probe = probeSource(wav);
    EXPECT_EQ(probe.kind, SourceKind::DialogicWav);
    EXPECT_EQ(probe.formatTagOffset, 20 + list.size());

    // A fmt chunk after the data chunk is not looked for (and is no WAV).
    QByteArray dataFirst = header("52494646000000005741564564617461040000000000000066"
                                  "6d74201000000000010100");
    EXPECT_EQ(probeSource(dataFirst).kind, SourceKind::Plain);
}

TEST(ProbeSource, HostileOrShortHeadersArePlain) {
    const QByteArray wav = dialogicWav(QByteArray(10, '\0'));
    for (int cut : {0, 3, 11, 12, 19, 20, 21})
        EXPECT_EQ(probeSource(wav.left(cut)).kind, SourceKind::Plain) << cut;
    // A chunk claiming 4 GiB must not send the walk out of the buffer.
    QByteArray huge = wav;
    huge.insert(12, header("4a554e4bf0ffffff"));
    EXPECT_EQ(probeSource(huge).kind, SourceKind::Plain);
    EXPECT_EQ(probeSource("RIFX\0\0\0\0WAVE").kind, SourceKind::Plain);
}

TEST(ProbeSource, AWaveFileMustHoldWhatItsHeaderPromises) {
    const QByteArray whole = dialogicWav(QByteArray(100, '\x11'));
    const qint64 riff = whole.size() - 8;
    const qint64 data = 100;
    const struct {
        qint64 riff, data, length;
        SourceKind kind;
    } cases[] = {
        {riff, data, whole.size(), SourceKind::DialogicWav},
        {riff, data, whole.size() + 500, SourceKind::DialogicWav},       // tags after the RIFF form
        {riff + 1, data + 1, whole.size(), SourceKind::DialogicWav},     // odd data, pad missing
        {0xFFFFFFFF, 0xFFFFFFFF, whole.size(), SourceKind::DialogicWav}, // streamed
        {0, 0, whole.size(), SourceKind::IncompleteWav}, // a writer that never finished
        {riff, 0, whole.size(), SourceKind::IncompleteWav},
        {riff, data, whole.size() - 2, SourceKind::IncompleteWav}, // cut short
        {riff, data * 9, whole.size(), SourceKind::IncompleteWav},
    };
    for (const auto& c : cases) {
        QByteArray wav = whole;
        qToLittleEndian<quint32>(quint32(c.riff), wav.data() + 4);
        qToLittleEndian<quint32>(quint32(c.data), wav.data() + 56);
        EXPECT_EQ(probeSource(wav, c.length).kind, c.kind) << c.riff << ' ' << c.data;
    }
}

TEST(ProbeSource, RecognisesStandardMidi) {
    EXPECT_EQ(probeSource(twoNoteMidi()).kind, SourceKind::Midi);
    EXPECT_EQ(probeSource("MTh").kind, SourceKind::Plain);
    EXPECT_EQ(probeSource("ID3\x04").kind, SourceKind::Plain);
}

TEST(RetaggedCopy, ChangesOnlyTheTagAcrossReadBoundaries) {
    QTemporaryDir dir;
    // Larger than one copy block, so the tail travels in several pieces.
    QByteArray audio(600 * 1024 + 7, '\0');
    for (qsizetype i = 0; i < audio.size(); ++i)
        audio[i] = char(i * 31 + 7);
    const QByteArray original = dialogicWav(audio);
    const QString source = dir.filePath("rec.vox.WAV");
    const QString copy = dir.filePath("copy.wav");
    writeFile(source, original);
    QFile::setPermissions(source, QFileDevice::ReadOwner); // a read-only source is fine

    ASSERT_TRUE(writeRetaggedCopy(source, 20, copy));
    QByteArray expected = original;
    expected[20] = 0x17;
    expected[21] = 0x00;
    EXPECT_TRUE(readFile(copy) == expected);
    EXPECT_TRUE(readFile(source) == original);

    EXPECT_FALSE(writeRetaggedCopy(dir.filePath("missing.wav"), 20, copy));
    writeFile(source + ".short", original.left(20));
    EXPECT_FALSE(writeRetaggedCopy(source + ".short", 20, copy));
}

TEST(ScratchFile, RemovesItsFileWhenReplacedOrDestroyed) {
    QString first, second;
    {
        ScratchFile a = ScratchFile::create(".wav");
        first = a.path();
        ASSERT_TRUE(QFileInfo::exists(first));
        EXPECT_TRUE(first.startsWith(QDir::tempPath()));
        EXPECT_TRUE(first.endsWith(".wav"));
        ScratchFile b = ScratchFile::create(".wav");
        second = b.path();
        a = std::move(b);
        EXPECT_FALSE(QFileInfo::exists(first));
        EXPECT_TRUE(QFileInfo::exists(second));
    }
    EXPECT_FALSE(QFileInfo::exists(second));
}

TEST(ScratchFile, SweepRemovesOnlyCopiesThatNoLivingPlayerHolds) {
    const QDir temp(QDir::tempPath());
    auto touch = [&](const QString& name) {
        QFile file(temp.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("left");
    };
    touch("velloran-play-crashed.wav"); // a crash left it: nothing holds it
    touch("velloran-play-ab12Cd");
    touch("someone-else.wav");
    ASSERT_TRUE(
        QFile::link(temp.filePath("someone-else.wav"), temp.filePath("velloran-play-link")));
    const ScratchFile living = ScratchFile::create(".wav");
    ASSERT_FALSE(living.isNull());

    EXPECT_EQ(sweepScratchFiles(), 2);
    EXPECT_FALSE(temp.exists("velloran-play-crashed.wav"));
    EXPECT_FALSE(temp.exists("velloran-play-ab12Cd"));
    EXPECT_TRUE(QFileInfo::exists(living.path()));
    EXPECT_TRUE(temp.exists("someone-else.wav"));
    EXPECT_TRUE(QFileInfo(temp.filePath("velloran-play-link")).isSymLink());
    QFile::remove(temp.filePath("velloran-play-link"));
    QFile::remove(temp.filePath("someone-else.wav"));
}

} // namespace
