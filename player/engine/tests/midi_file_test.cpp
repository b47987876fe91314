#include "engine/midi_file.h"
#include "test_media.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace velloran::engine;
using namespace velloran::engine::testing;

namespace {

struct Seen {
    double seconds;
    MidiEvent::Kind kind;
    int status;
    int data1;
    QByteArray payload;
};

std::vector<Seen> events(const MidiFile& midi) {
    std::vector<Seen> seen;
    midi.play([&seen](const MidiEvent& e) {
        seen.push_back({e.seconds, e.kind, e.status, e.data1, e.payload.toByteArray()});
        return true;
    });
    return seen;
}

TEST(MidiFile, TimesEventsThroughTempoChangesInAnyTrack) {
    QString error;
    const auto midi = MidiFile::parse(tempoChangeMidi(), &error);
    ASSERT_TRUE(midi) << error.toStdString();
    EXPECT_DOUBLE_EQ(midi->seconds(), 3.5);

    // The note offs at tick 2400, in both tracks, come after the tempo
    // change at 1920 and so at 3.25 s, in track order.
    std::vector<Seen> offs;
    for (const Seen& e : events(*midi))
        if (e.kind == MidiEvent::Kind::Channel && (e.status & 0xf0) == 0x80)
            offs.push_back(e);
    ASSERT_EQ(offs.size(), 2u);
    EXPECT_DOUBLE_EQ(offs[0].seconds, 3.25);
    EXPECT_EQ(offs[0].status, 0x80);
    EXPECT_DOUBLE_EQ(offs[1].seconds, 3.25);
    EXPECT_EQ(offs[1].status, 0x81);

    // Stopping early is told apart from playing to the end.
    int calls = 0;
    EXPECT_FALSE(midi->play([&calls](const MidiEvent&) { return ++calls < 3; }));
    EXPECT_EQ(calls, 3);
}

TEST(MidiFile, ReadsRunningStatusSysExAndSmpteTime) {
    // 25 frames a second of 40 ticks: 1000 ticks a second, whatever the tempo.
    const QByteArray track = QByteArray::fromHex("00f0057e7f0901f7" // GM on
                                                 "00ff510307a120"   // ignored in SMPTE time
                                                 "00903c64"
                                                 "8374"           // 500 ticks on, running status:
                                                 "3e64"           //   a second note
                                                 "00ff0103616263" // text "abc", status kept
                                                 "87683c00"       // 1000 ticks on: off
                                                 "003e00"         // and off, still running
                                                 "8768ff2f00");   // end at 2500 ticks
    const auto midi = MidiFile::parse(smf(0, 0xe728, {track}));
    ASSERT_TRUE(midi);
    EXPECT_DOUBLE_EQ(midi->seconds(), 2.5);
    const std::vector<Seen> seen = events(*midi);
    ASSERT_EQ(seen.size(), 8u);
    EXPECT_EQ(seen[0].kind, MidiEvent::Kind::SysEx);
    EXPECT_EQ(seen[0].payload, QByteArray::fromHex("7e7f0901f7"));
    EXPECT_EQ(seen[3].status, 0x90);
    EXPECT_EQ(seen[3].data1, 0x3e);
    EXPECT_DOUBLE_EQ(seen[3].seconds, 0.5);
    EXPECT_EQ(seen[4].payload, "abc");
    EXPECT_EQ(seen[6].status, 0x90);
    EXPECT_EQ(seen[6].data1, 0x3e);
    EXPECT_DOUBLE_EQ(seen[6].seconds, 1.5);
}

TEST(MidiFile, RejectsWhatIsNoMidiFileOrHoldsNothing) {
    const QByteArray note = QByteArray::fromHex("00903c64");
    const QByteArray end = QByteArray::fromHex("8740803c0000ff2f00");
    const QByteArray good = smf(0, 480, {note + end});
    ASSERT_TRUE(MidiFile::parse(good));

    const std::pair<const char*, QByteArray> cases[] = {
        {"empty", QByteArray()},
        {"header only", "MThd"},
        {"header longer than the file", "MThd\xff\xff\xff\xff" + good.mid(8)},
        {"format 3", smf(3, 480, {note + end})},
        {"division 0", smf(0, 0, {note + end})},
        {"odd SMPTE rate", smf(0, 0xe928, {note + end})},
        {"no tracks", smf(1, 480, {})},
        {"only a chunk of another type", QByteArray(good).replace("MTrk", "XTrk")},
        {"events at the start only", smf(0, 480, {note + QByteArray::fromHex("00ff2f00")})},
        {"cut inside an event", good.left(good.size() - 12)},
        {"time of five bytes", smf(0, 480, {QByteArray::fromHex("ffffffff7f903c64") + end})},
        {"data without a status", smf(0, 480, {QByteArray::fromHex("003c64") + end})},
        {"meta longer than the track", smf(0, 480, {QByteArray::fromHex("00ff01ffffff7f") + end})},
        {"sysex longer than the track", smf(0, 480, {QByteArray::fromHex("00f08fffff7f00") + end})},
        {"a system message", smf(0, 480, {QByteArray::fromHex("00f1") + note + end})},
        {"larger than any MIDI file", good + QByteArray(17 * 1024 * 1024, '\0')},
    };
    for (const auto& [what, bytes] : cases) {
        QString error;
        EXPECT_FALSE(MidiFile::parse(bytes, &error)) << what;
        EXPECT_FALSE(error.isEmpty()) << what;
    }
}

TEST(MidiFile, HostileFilesAreBounded) {
    // A track length beyond the file is read to where the file ends.
    QByteArray claims = smf(0, 480, {QByteArray::fromHex("00903c6487403c0000ff2f00")});
    claims[18] = char(0x7f);
    const auto shortened = MidiFile::parse(claims);
    ASSERT_TRUE(shortened);
    EXPECT_DOUBLE_EQ(shortened->seconds(), 1.0);

    // Endless running status: two million notes, a tick apart, in 6 MiB.
    QByteArray endless = QByteArray::fromHex("00903c64");
    endless.reserve(6 * 1024 * 1024 + 8);
    while (endless.size() < 6 * 1024 * 1024)
        endless += QByteArray::fromHex("013c64");
    QElapsedTimer clock;
    clock.start();
    const auto notes = MidiFile::parse(smf(0, 480, {endless}));
    ASSERT_TRUE(notes);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_NEAR(notes->seconds(), (endless.size() - 4) / 3 * 0.5 / 480, 1e-6);

    // The longest times the format can say, in the slowest tempo: days, and
    // finite. (The renderer cuts what it renders.)
    QByteArray slow = QByteArray::fromHex("00ff5103ffffff");
    for (int i = 0; i < 100; ++i)
        slow += QByteArray::fromHex("ffffff7fff0100");
    const auto days = MidiFile::parse(smf(1, 1, {slow}));
    ASSERT_TRUE(days);
    EXPECT_GT(days->seconds(), 1e9);
    EXPECT_TRUE(std::isfinite(days->seconds()));
}

} // namespace
