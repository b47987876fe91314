#include "engine/midi_render.h"
#include "test_media.h"

#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <malloc.h>

using namespace velloran::engine;
using namespace velloran::engine::testing;

namespace {

TEST(MidiRender, StopsAtTheLastTickAndRaisesTheLevel) {
    QTemporaryDir dir;
    const QString midi = dir.filePath("tune.mid");
    const QString wav = dir.filePath("tune.wav");
    writeFile(midi, twoNoteMidi());
    QString error;
    ASSERT_TRUE(renderMidiToWav(midi, defaultSoundFont(), wav, &error)) << error.toStdString();

    const Pcm pcm = readPcmWav(wav);
    EXPECT_EQ(pcm.rate, 44100);
    EXPECT_EQ(pcm.channels, 2);
    // Two notes of one second; the release tail after the last event is cut.
    EXPECT_NEAR(pcm.seconds(), 2.0, 0.1);
    float peak = 0;
    for (float s : pcm.samples)
        peak = std::max(peak, std::fabs(s));
    EXPECT_GT(peak, 0.8f);
    EXPECT_LT(peak, 0.95f);
}

TEST(MidiRender, ReportsWhatCannotBeRendered) {
    QTemporaryDir dir;
    const QString midi = dir.filePath("tune.mid");
    const QString wav = dir.filePath("out.wav");
    writeFile(midi, twoNoteMidi());
    QString error;
    EXPECT_FALSE(renderMidiToWav(midi, dir.filePath("none.sf2"), wav, &error));
    EXPECT_FALSE(error.isEmpty());

    const QString broken = dir.filePath("broken.mid");
    writeFile(broken, "MThd\0\0\0\6garbage");
    error.clear();
    EXPECT_FALSE(renderMidiToWav(broken, defaultSoundFont(), wav, &error));
    EXPECT_FALSE(error.isEmpty());

    EXPECT_FALSE(renderMidiToWav(midi, defaultSoundFont(), dir.filePath("no/such/dir.wav")));
}

float peakOf(const Pcm& pcm, double from, double to) {
    float peak = 0;
    const size_t a = size_t(from * pcm.rate) * 2,
                 b = std::min(pcm.samples.size(), size_t(to * pcm.rate) * 2);
    for (size_t i = a; i < b; ++i)
        peak = std::max(peak, std::fabs(pcm.samples[i]));
    return peak;
}

// The rendering of @p midi; @p header gets the WAV header as written.
Pcm rendered(const QByteArray& midi, QByteArray* header = nullptr) {
    QTemporaryDir dir;
    writeFile(dir.filePath("in.mid"), midi);
    QString error;
    EXPECT_TRUE(renderMidiToWav(dir.filePath("in.mid"), defaultSoundFont(), dir.filePath("out.wav"),
                                &error))
        << error.toStdString();
    if (header)
        *header = readFile(dir.filePath("out.wav")).left(44);
    return readPcmWav(dir.filePath("out.wav"));
}

TEST(MidiRender, SynthesiserAfterSynthesiserKeepsNoMemory) {
    QTemporaryDir dir;
    writeFile(dir.filePath("tune.mid"), twoNoteMidi());
    auto render = [&] {
        renderMidiToWav(dir.filePath("tune.mid"), "none.sf2", dir.filePath("o"));
    };
    render();
    const size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 40; ++i)
        render();
    EXPECT_LT(mallinfo2().uordblks, before + 16 * 1024) << "a day of MIDI files would add up";
}

TEST(MidiRender, IsExactlyAsLongAsTheMusicThroughTempoChangesAndTracks) {
    QByteArray header;
    const Pcm pcm = rendered(tempoChangeMidi(), &header);
    EXPECT_EQ(pcm.samples.size(), size_t(3.5 * 44100) * 2);
    ASSERT_EQ(header.size(), 44);
    EXPECT_EQ(qFromLittleEndian<quint32>(header.constData() + 40), quint32(3.5 * 44100 * 4))
        << "the header says so from the start";
    // Both tracks sound: the second note starts at 0.5 s.
    EXPECT_GT(peakOf(pcm, 0.6, 3.0), peakOf(pcm, 0.1, 0.4));
}

TEST(MidiRender, EasesTheLevelDownForALouderPassageWithoutClipping) {
    // Three quiet seconds, alone and followed by a loud chord for two.
    QByteArray quiet = QByteArray::fromHex("00c000");
    for (int i = 0; i < 3; ++i)
        quiet += QByteArray::fromHex("00903c148740803c00");
    const QByteArray chord = QByteArray::fromHex("00903c7f0090407f0090437f"
                                                 "8f00803c00008040000080430000ff2f00");
    const Pcm quietPcm = rendered(smf(0, 480, {quiet + QByteArray::fromHex("00ff2f00")}));
    const Pcm pcm = rendered(smf(0, 480, {quiet + chord}));
    ASSERT_NEAR(pcm.seconds(), 5.0, 1e-3);
    const float loud = peakOf(pcm, 3.0, 5.0);
    EXPECT_LT(loud, 0.95f) << "nothing clips";
    EXPECT_GT(loud, 0.8f);
    // The gain falls only in the second before the chord: the start sounds
    // as it does without it.
    EXPECT_NEAR(peakOf(pcm, 0, 1.5), peakOf(quietPcm, 0, 1.5), 0.01);
    EXPECT_LT(peakOf(pcm, 2.5, 3.0), peakOf(quietPcm, 2.5, 3.0)) << "eased down before the chord";
}

} // namespace
