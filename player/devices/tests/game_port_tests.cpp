#include "devices/evdev_game_port.h"
#include "devices/input_events.h"

#include "input_records.h"

#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

using velloran::GamePortPedal;
using velloran::devices::ButtonMap;
using velloran::devices::EvdevGamePort;
using velloran::devices::InputEventDecoder;
using velloran::devices::KeyBits;
using velloran::devices::KeyChange;
using velloran::devices::UniqueFd;
using velloran::devices::testing::key;
using velloran::devices::testing::record;

namespace {

KeyBits bits(std::initializer_list<int> keys) {
    KeyBits b;
    for (int k : keys)
        b.set(static_cast<std::size_t>(k));
    return b;
}

/// A game port fed through pipes: each enable opens a fresh pipe, as a fresh
/// open of an evdev node starts with an empty queue.
struct PipedGamePort {
    UniqueFd writer;
    int opens = 0;
    bool failOpen = false;
    EvdevGamePort port{[this](QString* error) {
        ++opens;
        if (failOpen) {
            *error = QStringLiteral("/dev/input/event9: Permission denied");
            return EvdevGamePort::Device{};
        }
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return EvdevGamePort::Device{};
        writer.reset(fds[1]);
        return EvdevGamePort::Device{UniqueFd(fds[0]), QStringLiteral("pipe")};
    }};
    void send(const std::string& bytes) {
        ASSERT_EQ(::write(writer.get(), bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }
};

struct Recorder {
    QStringList log;
    void attach(GamePortPedal& port) {
        QObject::connect(&port, &GamePortPedal::buttonDown,
                         [this](int c) { log << QStringLiteral("down %1").arg(c); });
        QObject::connect(&port, &GamePortPedal::buttonUp,
                         [this](int c) { log << QStringLiteral("up %1").arg(c); });
        QObject::connect(&port, &GamePortPedal::deviceLost,
                         [this] { log << QStringLiteral("lost"); });
    }
    bool waitFor(int count, int ms = 2000) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (log.size() >= count)
                loop.quit();
        });
        poll.start(1);
        loop.exec();
        return log.size() >= count;
    }
};

} // namespace

TEST(InputEventDecoderTest, ButtonChangesFromSplitRecordsWithoutAutorepeat) {
    InputEventDecoder decoder;
    const std::string stream = key(BTN_THUMB, 1) + key(BTN_THUMB, 2) + key(BTN_THUMB, 2) +
                               record(EV_ABS, 0, 1) + key(BTN_THUMB, 0);
    std::vector<KeyChange> changes;
    // Odd-sized chunks split every record somewhere.
    for (std::size_t at = 0; at < stream.size(); at += 7) {
        auto result =
            decoder.feed(stream.data() + at, std::min<std::size_t>(7, stream.size() - at));
        changes.insert(changes.end(), result.changes.begin(), result.changes.end());
    }
    EXPECT_EQ(changes, (std::vector<KeyChange>{{BTN_THUMB, true}, {BTN_THUMB, false}}));
}

TEST(InputEventDecoderTest, OverrunDropsTheBrokenReportAndAsksForResync) {
    InputEventDecoder decoder;
    const std::string stream = record(EV_SYN, SYN_DROPPED, 0) + record(EV_KEY, BTN_TOP, 1) +
                               record(EV_SYN, SYN_REPORT, 0) + key(BTN_THUMB, 1);
    auto result = decoder.feed(stream.data(), stream.size());
    EXPECT_TRUE(result.resync);
    EXPECT_EQ(result.changes, (std::vector<KeyChange>{{BTN_THUMB, true}}));
}

TEST(DeviceSelectionTest, JoysticksAndGamepadsAreRecognisedByTheirButtons) {
    using velloran::devices::hasJoystickButtons;
    EXPECT_TRUE(hasJoystickButtons(bits({BTN_TRIGGER, BTN_THUMB, BTN_THUMB2, BTN_TOP}))); // a pedal
    EXPECT_TRUE(hasJoystickButtons(bits({BTN_BASE6})));
    EXPECT_TRUE(hasJoystickButtons(bits({BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST})));
    EXPECT_FALSE(hasJoystickButtons(bits({KEY_A, KEY_SPACE, KEY_ENTER})));        // keyboard
    EXPECT_FALSE(hasJoystickButtons(bits({BTN_LEFT, BTN_RIGHT, BTN_MIDDLE})));    // mouse
    EXPECT_FALSE(hasJoystickButtons(bits({BTN_TOUCH, BTN_STYLUS, BTN_TRIGGER}))); // tablet
    EXPECT_FALSE(hasJoystickButtons(bits({BTN_TRIGGER_HAPPY1})));
    EXPECT_FALSE(hasJoystickButtons({}));

    // The byte layout EVIOCGBIT fills: bit n of the array is key n.
    unsigned char raw[(KEY_CNT + 7) / 8] = {};
    raw[BTN_THUMB / 8] |= 1u << (BTN_THUMB % 8);
    EXPECT_EQ(velloran::devices::keyBitsFromBytes(raw, sizeof raw), bits({BTN_THUMB}));
}

TEST(DeviceSelectionTest, ButtonsAreNumberedInTheDevicesOrder) {
    const ButtonMap pedal =
        ButtonMap::fromCapabilities(bits({BTN_TRIGGER, BTN_THUMB, BTN_THUMB2, BTN_TOP}));
    EXPECT_EQ(pedal.count(), 4);
    EXPECT_EQ(pedal.buttonNumber(BTN_THUMB), 2);
    EXPECT_EQ(pedal.buttonNumber(BTN_TOP), 4);
    EXPECT_EQ(pedal.buttonNumber(BTN_THUMB2), 3);
    EXPECT_EQ(pedal.buttonNumber(KEY_A), 0);
    EXPECT_EQ(pedal.keyCode(3), BTN_THUMB2);
    EXPECT_EQ(pedal.keyCode(5), -1);
    EXPECT_EQ(pedal.keyCode(0), -1);

    // A pad without BTN_C: its fourth button is BTN_WEST, not a gap.
    const ButtonMap pad = ButtonMap::fromCapabilities(
        bits({BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST, BTN_TRIGGER_HAPPY1}));
    EXPECT_EQ(pad.buttonNumber(BTN_SOUTH), 1);
    EXPECT_EQ(pad.buttonNumber(BTN_NORTH), 3);
    EXPECT_EQ(pad.buttonNumber(BTN_WEST), 4);
    EXPECT_EQ(pad.buttonNumber(BTN_TRIGGER_HAPPY1), 5);

    const ButtonMap standard = ButtonMap::standard();
    EXPECT_EQ(standard.buttonNumber(BTN_TRIGGER), 1);
    EXPECT_EQ(standard.buttonNumber(BTN_THUMB), 2);
    EXPECT_EQ(standard.buttonNumber(BTN_TOP), 4);
}

TEST(DeviceSelectionTest, NodesAreSearchedInNumericOrder) {
    EXPECT_EQ(velloran::devices::sortedEventNodes(
                  {"event10", "mouse0", "event2", "eventx", "event1", "js0"}),
              (QStringList{"event1", "event2", "event10"}));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"event0", "event1"})
        ASSERT_TRUE(QFile(dir.filePath(QString::fromLatin1(name))).open(QIODevice::WriteOnly));
    const auto found = velloran::devices::findJoystickDevice(dir.path());
    EXPECT_TRUE(found.path.isEmpty());
    EXPECT_EQ(found.error, QStringLiteral("No joystick found in %1").arg(dir.path()));
}

TEST(GamePortTest, PedalButtonsArriveWithTheirNumbers) {
    PipedGamePort g;
    Recorder r;
    r.attach(g.port);
    g.port.setEnabled(true);
    ASSERT_TRUE(g.port.isEnabled());
    EXPECT_EQ(g.port.openDevice(), QStringLiteral("pipe"));

    g.send(key(BTN_THUMB, 1) + key(BTN_THUMB, 2) + key(KEY_A, 1) + key(BTN_TOP, 1));
    ASSERT_TRUE(r.waitFor(2));
    EXPECT_TRUE(g.port.buttonHeld(2));
    EXPECT_TRUE(g.port.buttonHeld(4));
    EXPECT_FALSE(g.port.buttonHeld(3));
    EXPECT_FALSE(g.port.buttonHeld(0));
    EXPECT_FALSE(g.port.buttonHeld(99));
    g.send(key(BTN_THUMB2, 1) + key(BTN_THUMB, 0) + key(BTN_TOP, 0));
    ASSERT_TRUE(r.waitFor(5));
    EXPECT_FALSE(g.port.buttonHeld(2));
    EXPECT_EQ(r.log, (QStringList{"down 2", "down 4", "down 3", "up 2", "up 4"}));
}

TEST(GamePortTest, DisabledPortIsSilentAndReenablingReopens) {
    PipedGamePort g;
    Recorder r;
    r.attach(g.port);
    g.port.setEnabled(true);
    g.send(key(BTN_THUMB, 1));
    g.port.setEnabled(false); // before the event loop has read it
    EXPECT_FALSE(g.port.buttonHeld(2));
    EXPECT_FALSE(r.waitFor(1, 100));
    EXPECT_TRUE(g.port.openDevice().isEmpty());

    g.port.setEnabled(true);
    EXPECT_EQ(g.opens, 2);
    g.port.setEnabled(true);
    EXPECT_EQ(g.opens, 2) << "enabling an enabled port keeps its device";
    g.send(key(BTN_TOP, 1));
    ASSERT_TRUE(r.waitFor(1));
    EXPECT_EQ(r.log, (QStringList{"down 4"}));
}

TEST(GamePortTest, HandlerThatDisablesStopsTheRestOfTheBatch) {
    PipedGamePort g;
    Recorder r;
    r.attach(g.port);
    QObject::connect(&g.port, &GamePortPedal::buttonDown, [&](int code) {
        if (code == 2)
            g.port.setEnabled(false);
    });
    g.port.setEnabled(true);
    g.send(key(BTN_THUMB, 1) + key(BTN_TOP, 1));
    r.waitFor(2, 150);
    EXPECT_EQ(r.log, (QStringList{"down 2"}));
}

TEST(GamePortTest, EventsDuringANestedLoopKeepTheirOrder) {
    // A pedal action waits a second with the event loop running; events that
    // arrive meanwhile run nested, after the ones already read.
    PipedGamePort g;
    Recorder r;
    r.attach(g.port);
    bool nested = false;
    QObject::connect(&g.port, &GamePortPedal::buttonDown, [&](int code) {
        if (code != 2 || nested)
            return;
        nested = true;
        g.send(key(BTN_TOP, 1));
        r.waitFor(3);
        r.log << QStringLiteral("delay over");
    });
    g.port.setEnabled(true);
    g.send(key(BTN_THUMB, 1) + key(BTN_THUMB, 0));
    ASSERT_TRUE(r.waitFor(4));
    EXPECT_EQ(r.log, (QStringList{"down 2", "up 2", "down 4", "delay over"}));
}

TEST(GamePortTest, EndOfStreamIsALostDevice) {
    PipedGamePort g;
    Recorder r;
    r.attach(g.port);
    g.port.setEnabled(true);
    g.send(key(BTN_THUMB, 1));
    g.writer.reset();
    ASSERT_TRUE(r.waitFor(2));
    EXPECT_EQ(r.log, (QStringList{"down 2", "lost"}));
    EXPECT_FALSE(g.port.buttonHeld(2));
    EXPECT_TRUE(g.port.openDevice().isEmpty());
    EXPECT_EQ(g.port.lastError(), QStringLiteral("pipe: device closed"));

    g.port.setEnabled(true);
    EXPECT_EQ(g.opens, 2);
    g.send(key(BTN_THUMB2, 1));
    ASSERT_TRUE(r.waitFor(3));
    EXPECT_EQ(r.log.last(), QStringLiteral("down 3"));
}

TEST(GamePortTest, MissingDeviceLeavesThePedalQuietWithAReason) {
    PipedGamePort g;
    g.failOpen = true;
    g.port.setEnabled(true);
    EXPECT_TRUE(g.port.isEnabled());
    EXPECT_FALSE(g.port.buttonHeld(2));
    EXPECT_EQ(g.port.lastError(), QStringLiteral("/dev/input/event9: Permission denied"));

    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("event3"));
    EvdevGamePort port(missing);
    port.setEnabled(true);
    EXPECT_EQ(port.lastError(), missing + QStringLiteral(": No such file or directory"));

    // A configured path that is not an evdev node would feed the decoder
    // records of another shape.
    const QString plain = dir.filePath(QStringLiteral("js0"));
    ASSERT_TRUE(QFile(plain).open(QIODevice::WriteOnly));
    EvdevGamePort notEvdev(plain);
    notEvdev.setEnabled(true);
    EXPECT_EQ(notEvdev.lastError(), plain + QStringLiteral(": Not an input event device"));
    EXPECT_TRUE(notEvdev.openDevice().isEmpty());
}
