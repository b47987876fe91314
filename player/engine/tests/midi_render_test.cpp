#include "engine/midi_render.h"
#include "test_media.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

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

} // namespace
