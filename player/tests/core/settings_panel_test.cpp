#include "player_fixture.h"

#include "core/settings_panel.h"

#include <QDir>
#include <QSignalSpy>

using namespace velloran;
using namespace velloran::testing;

namespace {

constexpr int kForward = 0, kPlay = 1, kRewind = 2; // items of the pedal lists

class SettingsPanelTest : public PlayerTest {
protected:
    SettingsPanelTest() : panel(player) {
        QObject::connect(&player, &Player::fillSettingsPanelRequested, &panel,
                         &SettingsPanel::fill);
        writeSettingsDefaults(store);
    }

    /// Starts the player with the stored settings and opens the panel as the
    /// Settings button does.
    void loadAndOpen() {
        player.load(dir.path());
        pump();
        openPanel();
    }
    void openPanel() {
        player.toolbarClick(Player::SettingsButton);
        ASSERT_TRUE(panel.isOpen);
        store.writes.clear();
        prompts.errors.clear();
    }

    void expectStillOpen() {
        EXPECT_TRUE(panel.isOpen);
        EXPECT_EQ(player.display().heightTwips, Player::kPanelHeightTwips);
        EXPECT_FALSE(player.display().controlsEnabled);
    }
    void expectClosed() {
        EXPECT_FALSE(panel.isOpen);
        EXPECT_FALSE(panel.testEnabled);
        EXPECT_EQ(player.display().heightTwips, SettingsPanel::kClosedHeightTwips);
        EXPECT_TRUE(player.display().controlsEnabled);
    }

    SettingsPanel panel;
};

TEST_F(SettingsPanelTest, FillShowsTheStoredSettings) {
    store.values[keys::WavePath] = QStringLiteral("/home/typist/Dictation");
    store.values[keys::PortId] = QStringLiteral("COM2");
    store.values[keys::LargeChange] = QStringLiteral("2.5");
    store.values[keys::SmallChange] = QStringLiteral("3.5 s");
    store.values[keys::RewVal] = QStringLiteral("4");
    store.values[keys::PlayToggle] = QStringLiteral("True");
    store.values[keys::PlayPress] = QStringLiteral("False");
    store.values[keys::FirstPedal] = QStringLiteral("3");
    store.values[keys::SecondPedal] = QStringLiteral("4");
    store.values[keys::ThirdPedal] = QStringLiteral("2");
    loadAndOpen();
    EXPECT_EQ(panel.wavePath, QStringLiteral("/home/typist/Dictation"));
    EXPECT_EQ(panel.portText, QStringLiteral("COM2"));
    // The skips show their leading numbers rounded, halves to even.
    EXPECT_EQ(panel.largeText, QStringLiteral("2"));
    EXPECT_EQ(panel.smallText, QStringLiteral("4"));
    EXPECT_EQ(panel.stepBackText, QStringLiteral("4"));
    EXPECT_TRUE(panel.startStop);
    EXPECT_FALSE(panel.pressToPlay);
    EXPECT_EQ(panel.pedalIndex, (std::array<int, 3>{kRewind, kPlay, kForward}));
    EXPECT_FALSE(panel.testEnabled);

    // The step back is shown as stored: a text the list does not hold shows nothing.
    store.values[keys::RewVal] = QStringLiteral("6.0");
    // A pedal without a valid action leaves its list as it was.
    player.state().pedalAction[1] = 0;
    // A port the list does not offer is still shown, so that OK keeps it.
    store.values[keys::PortId] = QStringLiteral("COM7");
    panel.fill();
    EXPECT_TRUE(panel.stepBackText.isEmpty());
    EXPECT_EQ(panel.pedalIndex[1], kPlay);
    EXPECT_EQ(panel.portText, QStringLiteral("COM7"));
    EXPECT_EQ(panel.ports.count(QStringLiteral("COM7")), 1);
    EXPECT_EQ(panel.ports.mid(0, 5), QStringList({"Game Port", "COM1", "COM2", "COM3", "COM4"}));

    // An empty port leaves the list's text.
    store.values[keys::PortId].clear();
    panel.fill();
    EXPECT_EQ(panel.portText, QStringLiteral("COM7"));

    SettingsPanel fresh(player);
    player.state().pedalAction = {0, 0, 0};
    fresh.fill();
    EXPECT_EQ(fresh.pedalIndex, (std::array<int, 3>{-1, -1, -1}));
}

TEST_F(SettingsPanelTest, FillShowsThePlayModeInEffect) {
    struct Case {
        const char* toggle;
        const char* press;
        bool startStop;
        bool asLoaded; // the mode the pedals run in after start-up
    };
    const Case cases[] = {
        {"True", "False", true, true},   {"False", "True", false, true},
        {"True", "True", false, false}, // the later option set wins
        {"False", "False", false, true}, {"True", "", true, true},
        {"1", "x", true, true},          {"x", "False", false, true},
    };
    player.load(dir.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.toggle) + " / " + c.press);
        store.values[keys::PlayToggle] = QString::fromLatin1(c.toggle);
        store.values[keys::PlayPress] = QString::fromLatin1(c.press);
        SettingsPanel fresh(player);
        fresh.fill();
        EXPECT_EQ(fresh.startStop, c.startStop);
        EXPECT_NE(fresh.pressToPlay, fresh.startStop);

        // Loading reads the mode from "Play Toggle" alone: the panel agrees.
        PlayerState state;
        loadPlayerState(store, state);
        if (c.asLoaded) {
            EXPECT_EQ(state.toggleMode, c.startStop);
        }
    }
}

TEST_F(SettingsPanelTest, ApplyWritesEveryControlInOrderAndReloads) {
    loadAndOpen();
    panel.wavePath = QStringLiteral("/data/dict");
    panel.portText = QStringLiteral("COM3");
    panel.largeText = QStringLiteral("2.5");
    panel.smallText = QStringLiteral("2");
    panel.stepBackText = QStringLiteral("4");
    panel.pressToPlay = false;
    panel.startStop = true;
    // The middle list has nothing chosen: its pedal keeps its stored action.
    panel.pedalIndex = {kRewind, -1, kForward};
    panel.apply();
    EXPECT_EQ(store.writes, QStringList({"WavePath=/data/dict", "PortID=COM3", "Large Change=2.5",
                                         "Small Change=2", "RewVal=4", "Play Press=False",
                                         "Play Toggle=True", "First Pedal=3", "Third Pedal=2"}));
    const PlayerState& s = player.state();
    EXPECT_EQ(s.largeSkip, 2.5) << "fractions kept, unlike at start-up";
    EXPECT_EQ(s.smallSkip, 2);
    EXPECT_EQ(s.stepBack, 4);
    EXPECT_TRUE(s.toggleMode);
    EXPECT_EQ(s.pedalAction, (std::array<int, 3>{PedalRewind, PedalPlay, PedalForward}));
    // Saving does not touch the devices; OK does that.
    EXPECT_FALSE(serial.portOpen());
    EXPECT_TRUE(gamePort.isEnabled());
}

TEST_F(SettingsPanelTest, OkKeepsStoredSkipsTheListsCannotShow) {
    store.values[keys::LargeChange] = QStringLiteral("12");
    store.values[keys::SmallChange] = QStringLiteral("0.4");
    store.values[keys::RewVal] = QStringLiteral("2.5");
    loadAndOpen();
    EXPECT_TRUE(panel.largeText.isEmpty());
    EXPECT_TRUE(panel.smallText.isEmpty());
    EXPECT_TRUE(panel.stepBackText.isEmpty());
    ASSERT_TRUE(panel.ok());
    EXPECT_EQ(store.values[keys::LargeChange], QStringLiteral("12"));
    EXPECT_EQ(store.values[keys::SmallChange], QStringLiteral("0.4"));
    EXPECT_EQ(store.values[keys::RewVal], QStringLiteral("2.5"));
    EXPECT_EQ(player.state().largeSkip, 12);
    EXPECT_EQ(player.state().smallSkip, 0);
    EXPECT_EQ(player.state().stepBack, 2.5);

    // A value picked from the list replaces it.
    openPanel();
    panel.largeText = QStringLiteral("8");
    ASSERT_TRUE(panel.ok());
    EXPECT_EQ(store.values[keys::LargeChange], QStringLiteral("8"));
    EXPECT_EQ(player.state().largeSkip, 8);
}

TEST_F(SettingsPanelTest, OkRejectsTwoPedalsWithTheSameAction) {
    loadAndOpen();
    const std::array<int, 3> rejected[] = {
        {kForward, kForward, kRewind},
        {kRewind, kPlay, kRewind},
        {kForward, kPlay, kPlay},
        {-1, -1, kForward}, // two lists with nothing chosen count as equal
        {-1, -1, -1},
    };
    for (const auto& pedals : rejected) {
        SCOPED_TRACE(::testing::PrintToString(pedals));
        panel.pedalIndex = pedals;
        panel.portPicked(QStringLiteral("COM2"));
        EXPECT_FALSE(panel.ok());
        EXPECT_EQ(prompts.errors, QStringList({"Invalid footpedal settings. Please verify."}));
        EXPECT_TRUE(store.writes.isEmpty());
        EXPECT_TRUE(gamePort.isEnabled());
        EXPECT_TRUE(panel.testEnabled);
        expectStillOpen();
        prompts.errors.clear();
    }

    // Never filled (the Enter key while the panel is hidden): refused as well.
    SettingsPanel unfilled(player);
    EXPECT_FALSE(unfilled.ok());
    EXPECT_EQ(prompts.errors, QStringList({"Invalid footpedal settings. Please verify."}));
    EXPECT_TRUE(store.writes.isEmpty());
}

TEST_F(SettingsPanelTest, OkSavesSwitchesThePortAndClosesThePanel) {
    store.values[keys::PortId] = QStringLiteral("COM1");
    loadAndOpen();
    EXPECT_FALSE(serial.portOpen()) << "the Settings button closed it";

    panel.pedalIndex = {kRewind, kPlay, kForward};
    panel.portPicked(QStringLiteral("Game Port"));
    EXPECT_TRUE(panel.testEnabled);
    EXPECT_TRUE(panel.ok());
    EXPECT_TRUE(prompts.errors.isEmpty());
    EXPECT_EQ(store.values[keys::PortId], QStringLiteral("Game Port"));
    EXPECT_EQ(player.state().pedalAction[0], PedalRewind);
    EXPECT_TRUE(gamePort.isEnabled());
    EXPECT_FALSE(serial.portOpen());
    expectClosed();

    // To a serial port: opened, the game port switched off.
    openPanel();
    panel.portPicked(QStringLiteral("COM2"));
    // One list left empty, the other two different: accepted, and that pedal
    // keeps its action.
    panel.pedalIndex = {-1, kForward, kPlay};
    EXPECT_TRUE(panel.ok());
    EXPECT_TRUE(serial.portOpen());
    EXPECT_EQ(serial.devicePath(), QStringLiteral("/dev/ttyS1"));
    EXPECT_FALSE(gamePort.isEnabled());
    EXPECT_EQ(store.values[keys::FirstPedal], QStringLiteral("3"));
    EXPECT_EQ(player.state().pedalAction,
              (std::array<int, 3>{PedalRewind, PedalForward, PedalPlay}));
    expectClosed();
}

TEST_F(SettingsPanelTest, PortThatCannotBeOpenedIsReportedAndUndone) {
    // From the game port to a serial port that fails.
    loadAndOpen();
    serial.failingDevices << QStringLiteral("/dev/ttyS2");
    panel.portPicked(QStringLiteral("COM3"));
    panel.largeText = QStringLiteral("7");
    panel.pedalIndex = {kRewind, kPlay, kForward};
    EXPECT_FALSE(panel.ok());
    EXPECT_EQ(prompts.errors, QStringList({"Inavalid Port or Port not responding."}));
    EXPECT_EQ(panel.portText, QStringLiteral("Game Port"));
    EXPECT_EQ(store.values[keys::PortId], QStringLiteral("Game Port"));
    EXPECT_EQ(store.writes.last(), QStringLiteral("PortID=Game Port"));
    // Everything else stays saved and in effect.
    EXPECT_EQ(store.values[keys::LargeChange], QStringLiteral("7"));
    EXPECT_EQ(player.state().largeSkip, 7);
    EXPECT_EQ(player.state().pedalAction[0], PedalRewind);
    EXPECT_TRUE(gamePort.isEnabled()) << "the game-port pedal still works";
    EXPECT_FALSE(serial.portOpen());
    expectStillOpen();
}

TEST_F(SettingsPanelTest, FailedSwitchBetweenSerialPortsLeavesThePortClosedUntilOkAgain) {
    store.values[keys::PortId] = QStringLiteral("COM1");
    loadAndOpen();
    serial.failingDevices << QStringLiteral("/dev/ttyS1");
    panel.portPicked(QStringLiteral("COM2"));
    EXPECT_FALSE(panel.ok());
    EXPECT_EQ(panel.portText, QStringLiteral("COM1"));
    EXPECT_EQ(store.values[keys::PortId], QStringLiteral("COM1"));
    EXPECT_FALSE(serial.portOpen());
    EXPECT_FALSE(gamePort.isEnabled());
    expectStillOpen();

    EXPECT_TRUE(panel.ok());
    EXPECT_TRUE(serial.portOpen());
    EXPECT_EQ(serial.devicePath(), QStringLiteral("/dev/ttyS0"));
    expectClosed();
}

TEST_F(SettingsPanelTest, CancelSavesNothingAndTurnsBothDevicesOn) {
    loadAndOpen();
    ASSERT_TRUE(gamePort.isEnabled());
    panel.portPicked(QStringLiteral("COM2"));
    panel.largeText = QStringLiteral("9");
    panel.wavePath = QStringLiteral("/elsewhere");
    panel.test();
    ASSERT_FALSE(gamePort.isEnabled());
    panel.cancel();
    EXPECT_TRUE(store.writes.isEmpty());
    EXPECT_EQ(player.state().largeSkip, 5);
    // Both pedals answer now, whichever port is stored.
    EXPECT_TRUE(gamePort.isEnabled());
    EXPECT_TRUE(serial.portOpen());
    EXPECT_EQ(serial.devicePath(), QStringLiteral("/dev/ttyS0"));
    expectClosed();

    // The next opening shows the stored settings again.
    openPanel();
    EXPECT_EQ(panel.largeText, QStringLiteral("5"));
    EXPECT_EQ(panel.portText, QStringLiteral("Game Port"));
    EXPECT_TRUE(panel.wavePath.isEmpty());
}

TEST_F(SettingsPanelTest, TestSwitchesThePedalsOffAndAsksForTheDialog) {
    loadAndOpen();
    QSignalSpy requested(&panel, &SettingsPanel::testRequested);
    EXPECT_FALSE(panel.testEnabled) << "until a port is picked";
    panel.portPicked(QStringLiteral("COM2"));
    EXPECT_TRUE(panel.testEnabled);
    panel.test();
    ASSERT_EQ(requested.count(), 1);
    EXPECT_EQ(requested.first().first().toString(), QStringLiteral("COM2"));
    EXPECT_FALSE(gamePort.isEnabled());
    EXPECT_FALSE(serial.portOpen());
    EXPECT_TRUE(store.writes.isEmpty());
    expectStillOpen();
}

TEST_F(SettingsPanelTest, BrowsePutsTheChosenFolderInTheBoxOnly) {
    store.values[keys::WavePath] = QStringLiteral("/home/typist/old");
    loadAndOpen();
    panel.browse();
    EXPECT_EQ(prompts.lastFolderPrompt, QStringLiteral("Please choose the default wave folder"));
    EXPECT_EQ(panel.wavePath, QStringLiteral("/home/typist/old")) << "cancelled";

    prompts.folderAnswers << QStringLiteral("/home/typist/Dictation");
    panel.browse();
    EXPECT_EQ(panel.wavePath, QStringLiteral("/home/typist/Dictation"));
    EXPECT_TRUE(store.writes.isEmpty()) << "saved only by OK";
    panel.pedalIndex = {kForward, kPlay, kRewind};
    ASSERT_TRUE(panel.ok());
    EXPECT_EQ(store.values[keys::WavePath], QStringLiteral("/home/typist/Dictation"));
}

TEST(SettingsPanelPorts, ListOffersTheSerialAdaptersPresent) {
    QTemporaryDir dev;
    for (const char* name : {"ttyUSB1", "ttyACM0", "ttyS0", "ttyUSB0", "null"}) {
        QFile file(dev.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(SettingsPanel::portItems(dev.path()),
              QStringList({"Game Port", "COM1", "COM2", "COM3", "COM4",
                           dev.filePath(QStringLiteral("ttyACM0")),
                           dev.filePath(QStringLiteral("ttyUSB0")),
                           dev.filePath(QStringLiteral("ttyUSB1"))}));
}

} // namespace
