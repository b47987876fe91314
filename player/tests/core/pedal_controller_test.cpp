#include "player_fixture.h"

#include "core/pedal_controller.h"
#include "core/text_rules.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <optional>
#include <set>
#include <vector>

using namespace velloran;
using namespace velloran::testing;

namespace {

// Game-port button codes of pedals 1, 2, 3.
constexpr int kLeftButton = 2;
constexpr int kMiddleButton = 4;
constexpr int kRightButton = 3;

// A 3200-second dictation: one hold pass moves exactly one second.
constexpr double kLength = 3200;

class PedalControllerTest : public PlayerTest {
protected:
    PedalControllerTest() : pedals(player) {
        pedals.minimumPass = std::chrono::microseconds(0);
        pedals.delay = [this](double seconds) {
            delays.push_back(seconds);
            afterFirstSecond_ = true;
            if (duringDelay)
                duringDelay();
        };
    }

    void SetUp() override {
        loadWithFile(kLength);
        ASSERT_DOUBLE_EQ(engine.selectionEnd(), kLength);
    }

    void useSerial() { ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("COM1"))); }

    void setActions(int first, int second, int third) {
        player.state().pedalAction = {first, second, third};
    }

    /// Seeks the engine made since the last mark().
    QStringList seeksSinceMark() const {
        QStringList seeks;
        for (const QString& call : engine.calls.mid(mark_))
            if (call.startsWith(QStringLiteral("seek:")))
                seeks << call.mid(5);
        return seeks;
    }
    QStringList callsSinceMark() const { return engine.calls.mid(mark_); }
    void mark() { mark_ = static_cast<int>(engine.calls.size()); }

    /// Keeps the pedal down through the first second and @p passes hold
    /// passes, then @p letGo runs at the next device read.
    void holdFor(long passes, std::function<void()> letGo) {
        holdPasses_ = passes;
        letGo_ = std::move(letGo);
        afterFirstSecond_ = false;
        gaveUp_ = false;
        duringDelay = nullptr;
        const auto check = [this] {
            if (!afterFirstSecond_)
                return;
            if (letGo_ && pedals.lastHoldPasses() >= holdPasses_) {
                const auto letGoNow = std::move(letGo_);
                letGo_ = nullptr;
                letGoNow();
            } else if (pedals.lastHoldPasses() > 100000 && !gaveUp_) {
                // Let go of everything so that a broken hold fails instead of hanging.
                ADD_FAILURE() << "the hold did not end";
                gaveUp_ = true;
                serial.cd = serial.dsr = serial.cts = false;
                std::fill(std::begin(gamePort.held), std::end(gamePort.held), false);
            }
        };
        serial.onLineRead = check;
        gamePort.onHeldRead = [check](int) {
            check();
        };
    }

    PedalController pedals;
    std::vector<double> delays;
    std::function<void()> duringDelay;

private:
    int mark_ = 0;
    long holdPasses_ = 0;
    std::function<void()> letGo_;
    bool afterFirstSecond_ = false;
    bool gaveUp_ = false;
};

TEST(PedalHoldStep, IsAThirtyTwoHundredthOfTheLengthInWholeSeconds) {
    FakeEngine engine;
    MemorySettingsStore store;
    RecordingPrompts prompts;
    FakeSerialPort serial;
    FakeGamePort gamePort;
    Player player(engine, store, prompts, serial, gamePort);
    PedalController pedals(player);
    const auto stepFor = [&](double length) {
        engine.defaultDuration = length;
        engine.setFileName(QStringLiteral("/x.wav"));
        QCoreApplication::processEvents();
        return pedals.holdStep();
    };
    EXPECT_DOUBLE_EQ(stepFor(600), 0.1875);
    EXPECT_DOUBLE_EQ(stepFor(3600), 1.125);
    // The length is taken to whole seconds first, halves to even.
    EXPECT_DOUBLE_EQ(stepFor(599.5), 0.1875);
    EXPECT_DOUBLE_EQ(stepFor(600.5), 0.1875);
    EXPECT_DOUBLE_EQ(stepFor(601.5), 602 * 0.01 / 32);
    EXPECT_DOUBLE_EQ(stepFor(0.4), 0);
}

TEST_F(PedalControllerTest, PressReleasedWithinTheFirstSecondMovesByTheLargeSkipOnly) {
    struct Case {
        const char* name;
        int action;
        double from;
        double to;
    };
    const Case cases[] = {
        {"forward", PedalForward, 100, 105},
        {"rewind", PedalRewind, 100, 95},
        {"rewind at the start", PedalRewind, 0, kLength},
    };
    for (const Case& c : cases) {
        // Serial pedal 1 on CD.
        SCOPED_TRACE(c.name);
        useSerial();
        setActions(c.action, PedalPlay, 0);
        engine.setCurrentPosition(c.from);
        delays.clear();
        duringDelay = [this] {
            serial.setLines(false, false, false);
        };
        mark();
        serial.setLines(true, false, false);
        EXPECT_EQ(engine.currentPosition(), c.to) << "serial";
        EXPECT_EQ(seeksSinceMark().size(), 1) << "serial";
        EXPECT_EQ(delays, std::vector<double>{1.0});
        EXPECT_EQ(player.state().heldPedal, 0);
        EXPECT_TRUE(player.state().pedalReleased);

        // Game-port pedal 3, whose Rewind passes would each wait a second.
        ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("Game Port")));
        setActions(0, PedalPlay, c.action);
        engine.setCurrentPosition(c.from);
        delays.clear();
        duringDelay = [this] {
            gamePort.release(kRightButton);
        };
        mark();
        gamePort.press(kRightButton);
        EXPECT_EQ(engine.currentPosition(), c.to) << "game port";
        EXPECT_EQ(seeksSinceMark().size(), 1) << "game port";
        EXPECT_EQ(delays, std::vector<double>{1.0});
    }
}

TEST_F(PedalControllerTest, ForwardAtTheEndStillMovesOnAndTheHoldKeepsGoing) {
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("Game Port")));
    engine.setCurrentPosition(kLength);
    mark();
    holdFor(3, [this] { gamePort.held[kLeftButton] = false; });
    gamePort.press(kLeftButton);
    // The engine keeps each write at the end; every pass still asks for more.
    EXPECT_EQ(seeksSinceMark(), QStringList({"3205", "3201", "3201", "3201"}));
    EXPECT_EQ(engine.currentPosition(), kLength);
    EXPECT_EQ(pedals.lastHoldPasses(), 3);

    // The toolbar's rule, by contrast, does nothing at the end.
    mark();
    player.toolbarClick(Player::ForwardButton);
    EXPECT_TRUE(seeksSinceMark().isEmpty());

    // An engine that kept a position past the end: the pedal moves no further.
    engine.clampPositions = false;
    mark();
    holdFor(3, [this] { gamePort.held[kLeftButton] = false; });
    gamePort.press(kLeftButton);
    EXPECT_EQ(seeksSinceMark(), QStringList({"3205"}));
    mark();
    holdFor(3, [this] { gamePort.held[kLeftButton] = false; });
    gamePort.press(kLeftButton);
    EXPECT_TRUE(seeksSinceMark().isEmpty());
    EXPECT_EQ(engine.currentPosition(), 3205);
}

TEST_F(PedalControllerTest, ForwardHoldMovesOneStepAPass) {
    useSerial();
    engine.setCurrentPosition(1000);
    holdFor(20, [this] { serial.cd = false; });
    serial.setLines(true, false, false);
    EXPECT_DOUBLE_EQ(engine.currentPosition(), 1025);
    EXPECT_EQ(player.state().heldPedal, 0);
    EXPECT_EQ(delays, std::vector<double>{1.0});
}

TEST_F(PedalControllerTest, RewindHoldReachesTheStartAndGoesOnFromTheEnd) {
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("Game Port")));
    setActions(PedalRewind, PedalPlay, PedalForward);
    engine.setCurrentPosition(7.5);
    mark();
    holdFor(6, [this] { gamePort.held[kLeftButton] = false; });
    gamePort.press(kLeftButton);
    // A write before the start reads back as the start, so the next pass
    // finds the position exactly at the start and jumps to the end.
    EXPECT_EQ(seeksSinceMark(), QStringList({"2.5", "1.5", "0.5", "-0.5", "3200", "3199", "3198"}));
    EXPECT_EQ(engine.currentPosition(), 3198);
    // Pedal 1 rewinds without pauses between passes.
    EXPECT_EQ(delays, std::vector<double>{1.0});
}

TEST_F(PedalControllerTest, GamePortRightPedalRewindWaitsASecondEveryPass) {
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("Game Port")));
    engine.setCurrentPosition(100);
    holdFor(4, [this] { gamePort.held[kRightButton] = false; });
    gamePort.press(kRightButton);
    EXPECT_EQ(engine.currentPosition(), 91);
    EXPECT_EQ(delays, std::vector<double>(5, 1.0));

    // Only Rewind on the right pedal waits: Forward there does not.
    setActions(PedalPlay, PedalRewind, PedalForward);
    delays.clear();
    holdFor(4, [this] { gamePort.held[kRightButton] = false; });
    gamePort.press(kRightButton);
    EXPECT_EQ(engine.currentPosition(), 100);
    EXPECT_EQ(delays, std::vector<double>{1.0});

    // Nor does Rewind on the middle pedal.
    delays.clear();
    holdFor(4, [this] { gamePort.held[kMiddleButton] = false; });
    gamePort.press(kMiddleButton);
    EXPECT_EQ(engine.currentPosition(), 91);
    EXPECT_EQ(delays, std::vector<double>{1.0});
}

TEST_F(PedalControllerTest, PlayTogglesFromEveryStateInBothModes) {
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("Game Port")));
    for (const bool startStop : {false, true}) {
        SCOPED_TRACE(startStop ? "Start Stop" : "Press to Play");
        player.state().toggleMode = startStop;
        player.state().stepBack = 3;

        engine.setCurrentPosition(10);
        engine.stop();
        mark();
        gamePort.press(kMiddleButton);
        EXPECT_EQ(callsSinceMark(), QStringList({"seek:7", "run"})) << "from stopped";
        gamePort.release(kMiddleButton);
        EXPECT_EQ(callsSinceMark().size(), 2) << "releasing does nothing";

        mark();
        gamePort.press(kMiddleButton);
        gamePort.release(kMiddleButton);
        EXPECT_EQ(callsSinceMark(), QStringList({"pause"})) << "from running";

        engine.setCurrentPosition(10);
        mark();
        gamePort.press(kMiddleButton);
        EXPECT_EQ(callsSinceMark(), QStringList({"seek:7", "run"})) << "from paused";
        gamePort.release(kMiddleButton);

        // Near the start the step back is asked for unclamped.
        engine.pause();
        engine.setCurrentPosition(1);
        mark();
        gamePort.press(kMiddleButton);
        gamePort.release(kMiddleButton);
        EXPECT_EQ(callsSinceMark(), QStringList({"seek:-2", "run"}));
        EXPECT_EQ(engine.currentState(), MediaEngine::Running);
        EXPECT_TRUE(delays.empty());
    }
}

TEST_F(PedalControllerTest, StartStopPausesBeforeEveryOtherPedal) {
    useSerial();
    setActions(PedalForward, 0, PedalRewind);
    player.state().toggleMode = true;
    duringDelay = [this] {
        serial.setLines(false, false, false);
    };

    engine.setCurrentPosition(100);
    engine.run();
    mark();
    serial.setLines(true, false, false);
    EXPECT_EQ(callsSinceMark(), QStringList({"pause", "seek:105"}));
    EXPECT_EQ(engine.currentState(), MediaEngine::Paused) << "stays paused after the release";

    // A pedal without an action pauses too, and does nothing else.
    engine.run();
    delays.clear();
    mark();
    serial.setLines(false, true, false);
    serial.setLines(false, false, false);
    EXPECT_EQ(callsSinceMark(), QStringList({"pause"}));
    EXPECT_TRUE(delays.empty());
    EXPECT_EQ(player.state().heldPedal, 0);

    // Press to Play: the dictation goes on playing from the new position.
    player.state().toggleMode = false;
    engine.run();
    mark();
    serial.setLines(false, false, true);
    EXPECT_EQ(callsSinceMark(), QStringList({"seek:100"}));
    EXPECT_EQ(engine.currentState(), MediaEngine::Running);
    mark();
    serial.setLines(false, true, false);
    serial.setLines(false, false, false);
    EXPECT_TRUE(callsSinceMark().isEmpty());
}

TEST_F(PedalControllerTest, SerialTakesOnePedalAtATime) {
    useSerial();
    setActions(PedalPlay, 0, PedalRewind);
    engine.setCurrentPosition(50);

    // CD and CTS in one event: only pedal 1 is taken.
    mark();
    serial.setLines(true, false, true);
    EXPECT_EQ(player.state().heldPedal, 1);
    EXPECT_EQ(callsSinceMark(), QStringList({"seek:47", "run"}));
    // While it is held, other inputs are not looked at, and Play does not repeat.
    serial.setLines(true, true, true);
    serial.setLines(true, false, true);
    EXPECT_EQ(callsSinceMark().size(), 2);
    EXPECT_TRUE(delays.empty());

    // The event that releases pedal 1 takes no press, though CTS is still on.
    serial.setLines(false, false, true);
    EXPECT_EQ(player.state().heldPedal, 0);
    EXPECT_TRUE(player.state().pedalReleased);
    EXPECT_EQ(callsSinceMark().size(), 2);

    // A later event that still finds CTS on takes pedal 3.
    duringDelay = [this] {
        serial.setLines(false, false, false);
    };
    mark();
    serial.setLines(false, false, true);
    EXPECT_EQ(callsSinceMark(), QStringList({"seek:42"}));
    EXPECT_EQ(player.state().heldPedal, 0);
}

TEST_F(PedalControllerTest, SerialHoldEndsAtTheReleaseOfItsOwnPedal) {
    useSerial();
    engine.setCurrentPosition(100);
    // Forward on CD with CTS also down: the pass that sees CD off ends the
    // hold and takes no press.
    holdFor(2, [this] { serial.cd = false; });
    serial.setLines(true, false, true);
    EXPECT_EQ(engine.currentPosition(), 107);
    EXPECT_EQ(player.state().heldPedal, 0);
    EXPECT_EQ(delays.size(), 1u);
}

TEST_F(PedalControllerTest, SerialForwardLetGoInTheFirstSecondDoesNotRunUnderAnotherPedal) {
    // Forward tapped, then Play pressed before the second is over: the Play
    // press runs nested in the wait. The Forward pedal is up, so no Forward
    // hold may follow while Play is held down.
    useSerial();
    engine.setCurrentPosition(100);
    duringDelay = [this] {
        serial.setLines(false, false, false);
        serial.setLines(false, true, false);
    };
    int safety = 0;
    serial.onLineRead = [&] {
        if (++safety > 1000)
            serial.dsr = false;
    };
    serial.setLines(true, false, false);
    EXPECT_EQ(engine.currentPosition(), 102);
    EXPECT_EQ(engine.currentState(), MediaEngine::Running);
    EXPECT_EQ(pedals.lastHoldPasses(), 0);
    EXPECT_EQ(player.state().heldPedal, 2);
    serial.setLines(false, false, false);
    EXPECT_EQ(player.state().heldPedal, 0);
    serial.onLineRead = nullptr;
}

TEST_F(PedalControllerTest, GamePortPressDuringTheFirstSecondRunsNested) {
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("Game Port")));
    engine.setCurrentPosition(100);
    duringDelay = [this] {
        duringDelay = nullptr;
        gamePort.release(kLeftButton);
        gamePort.press(kMiddleButton);
        EXPECT_EQ(engine.currentState(), MediaEngine::Running);
    };
    gamePort.press(kLeftButton);
    EXPECT_EQ(engine.currentPosition(), 102);
    EXPECT_EQ(pedals.lastHoldPasses(), 0);
}

TEST_F(PedalControllerTest, OtherButtonCodesDoNothing) {
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("Game Port")));
    player.state().toggleMode = true;
    engine.run();
    mark();
    for (const int code : {0, 1, 5, 6}) {
        gamePort.press(code);
        gamePort.release(code);
    }
    EXPECT_TRUE(callsSinceMark().isEmpty());
    EXPECT_TRUE(delays.empty());
}

TEST_F(PedalControllerTest, HoldEndsWhenItsDeviceGoesAway) {
    // The serial port is closed in the middle of a hold with CD still on.
    useSerial();
    engine.setCurrentPosition(100);
    holdFor(5, [this] { serial.setPortOpen(false); });
    serial.setLines(true, false, false);
    EXPECT_EQ(engine.currentPosition(), 110);
    EXPECT_EQ(player.state().heldPedal, 0);
    // Opened again, the pedal is taken afresh.
    ASSERT_TRUE(serial.setPortOpen(true));
    duringDelay = [this] {
        serial.setLines(false, false, false);
    };
    serial.setLines(true, false, false);
    EXPECT_EQ(engine.currentPosition(), 115);

    // The game port is switched off in the middle of a hold, button still down
    // (the pass under way may still finish).
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("Game Port")));
    engine.setCurrentPosition(100);
    holdFor(5, [this] { gamePort.setEnabled(false); });
    gamePort.press(kLeftButton);
    EXPECT_GE(engine.currentPosition(), 110);
    EXPECT_LE(engine.currentPosition(), 111);
    EXPECT_TRUE(gamePort.held[kLeftButton]);

    // ... or during one of the right pedal's one-second waits.
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("Game Port")));
    engine.setCurrentPosition(100);
    delays.clear();
    holdFor(1000, [this] { gamePort.held[kRightButton] = false; });
    duringDelay = [this] {
        if (delays.size() == 3)
            gamePort.setEnabled(false);
    };
    gamePort.press(kRightButton);
    EXPECT_EQ(delays.size(), 3u);
    EXPECT_EQ(engine.currentPosition(), 93);
}

/// A serial port whose inputs keep their last state once it is closed.
class StickySerialPort final : public SerialPedalPort {
public:
    void setCommPort(int) override {}
    int commPort() const override { return 1; }
    void setDevicePath(const QString&) override {}
    QString devicePath() const override { return QStringLiteral("/dev/ttyS0"); }
    bool setPortOpen(bool open, QString* = nullptr) override {
        open_ = open;
        return true;
    }
    bool portOpen() const override { return open_; }
    bool cdHolding() const override {
        if (onRead)
            onRead();
        return cd;
    }
    bool dsrHolding() const override { return false; }
    bool ctsHolding() const override { return false; }
    void raise() { emit commEvent(); }

    bool cd = false;
    std::function<void()> onRead;

private:
    bool open_ = false;
};

TEST(PedalDeviceLoss, SerialHoldEndsWhenThePortClosesThoughItsInputStillReadsOn) {
    FakeEngine engine;
    MemorySettingsStore store;
    RecordingPrompts prompts;
    StickySerialPort serial;
    FakeGamePort gamePort;
    Player player(engine, store, prompts, serial, gamePort);
    PedalController pedals(player);
    pedals.minimumPass = std::chrono::microseconds(0);
    pedals.delay = [](double) {
    };
    engine.defaultDuration = kLength;
    engine.setFileName(QStringLiteral("/dict.wav"));
    QCoreApplication::processEvents();
    player.state().pedalAction = {PedalForward, PedalPlay, PedalRewind};
    player.state().largeSkip = 5;
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("COM1")));

    int reads = 0;
    serial.onRead = [&] {
        if (++reads == 10)
            serial.setPortOpen(false);
        if (reads > 10000)
            serial.cd = false; // only if the hold failed to end
    };
    serial.cd = true;
    serial.raise();
    EXPECT_LT(reads, 100);
    EXPECT_GT(engine.currentPosition(), 5);
    EXPECT_EQ(player.state().heldPedal, 0);

    // Reopened, with the pedal up and down again: the press is taken.
    serial.onRead = nullptr;
    serial.setPortOpen(true);
    const double before = engine.currentPosition();
    pedals.delay = [&](double) {
        serial.cd = false;
        serial.raise();
    };
    serial.raise();
    EXPECT_EQ(engine.currentPosition(), before + 5);
}

TEST_F(PedalControllerTest, HoldPassesTakeAtLeastTheMinimumPass) {
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("Game Port")));
    pedals.minimumPass = std::chrono::milliseconds(2);
    engine.setCurrentPosition(0);
    holdFor(50, [this] { gamePort.held[kLeftButton] = false; });
    const auto start = std::chrono::steady_clock::now();
    gamePort.press(kLeftButton);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(pedals.lastHoldPasses(), 50);
    EXPECT_GE(elapsed, std::chrono::milliseconds(100));
    EXPECT_EQ(engine.currentPosition(), 55);
}

TEST_F(PedalControllerTest, HoldShowsThePositionByTheClockWithoutRunningEvents) {
    using namespace std::chrono_literals;
    using Clock = std::chrono::steady_clock;
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("Game Port")));
    pedals.minimumPass = 1ms;
    engine.setCurrentPosition(100);
    pump();

    int engineEvents = 0;
    QObject::connect(&engine, &MediaEngine::positionChange, [&] { ++engineEvents; });
    bool queuedRan = false;
    QMetaObject::invokeMethod(
        &engine, [&] { queuedRan = true; }, Qt::QueuedConnection);

    bool released = false;
    int refreshesInHold = 0, refreshesAfter = 0;
    const auto shown = pedals.holdRefresh; // the default: the player's display state
    pedals.holdRefresh = [&, shown] {
        ++(released ? refreshesAfter : refreshesInHold);
        shown();
    };
    std::optional<Clock::time_point> start;
    std::set<QString> textsSeen;
    bool eventsRanInside = false;
    gamePort.onHeldRead = [&](int) {
        if (delays.empty())
            return;
        eventsRanInside |= queuedRan || engineEvents > 0;
        textsSeen.insert(player.display().timeText);
        if (!start)
            start = Clock::now();
        else if (Clock::now() - *start >= 500ms || pedals.lastHoldPasses() > 5000) {
            gamePort.held[kLeftButton] = false;
            released = true;
        }
    };
    gamePort.press(kLeftButton);

    EXPECT_FALSE(eventsRanInside);
    // About one refresh every 50 ms, far fewer than the passes.
    EXPECT_GE(refreshesInHold, 5);
    EXPECT_LE(refreshesInHold, 15);
    EXPECT_LT(refreshesInHold * 3, pedals.lastHoldPasses());
    EXPECT_GE(static_cast<int>(textsSeen.size()), 5) << "the display moved during the hold";
    // The final position is shown before the engine's events have run.
    EXPECT_EQ(refreshesAfter, 1);
    EXPECT_EQ(engineEvents, 0);
    const QString finalText = formatHms(engine.currentPosition());
    EXPECT_EQ(player.display().timeText, finalText);
    pump();
    EXPECT_TRUE(queuedRan);
    EXPECT_GE(engineEvents, 1);
    EXPECT_EQ(player.display().timeText, finalText);
}

TEST_F(PedalControllerTest, DeviceSelectionFromThePortText) {
    // COM followed by a digit opens that serial port, even one the panel does not offer.
    serial.calls.clear();
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("COM7")));
    EXPECT_TRUE(serial.portOpen());
    EXPECT_EQ(serial.devicePath(), QStringLiteral("/dev/ttyS6"));
    EXPECT_FALSE(gamePort.isEnabled());

    // Texts that name no device change neither.
    const QStringList serialCalls = serial.calls, gameCalls = gamePort.calls;
    for (const QString& text : {QString(), QStringLiteral("LPT1"), QStringLiteral("game port")})
        EXPECT_TRUE(player.selectPedalDevice(text));
    EXPECT_EQ(serial.calls, serialCalls);
    EXPECT_EQ(gamePort.calls, gameCalls);

    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("Game Port")));
    EXPECT_FALSE(serial.portOpen());
    EXPECT_TRUE(gamePort.isEnabled());

    // A USB adapter by its path.
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("/dev/ttyUSB0")));
    EXPECT_TRUE(serial.portOpen());
    EXPECT_EQ(serial.devicePath(), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_FALSE(gamePort.isEnabled());

    // A port that cannot be opened says why and leaves the game port as it was.
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("Game Port")));
    serial.failingDevices << QStringLiteral("/dev/ttyS2");
    QString error;
    EXPECT_FALSE(player.selectPedalDevice(QStringLiteral("COM3"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(serial.portOpen());
    EXPECT_TRUE(gamePort.isEnabled());
}

} // namespace
