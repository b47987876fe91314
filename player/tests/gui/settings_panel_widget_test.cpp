#include "core/pedal_test.h"
#include "core/player.h"
#include "core/settings.h"
#include "core/settings_panel.h"
#include "fakes/fake_devices.h"
#include "fakes/fake_engine.h"
#include "fakes/fake_prompts.h"
#include "fakes/qt_printers.h"
#include "gui/main_window.h"
#include "gui/port_test_dialog.h"
#include "gui/settings_panel_widget.h"
#include "window_rig.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace velloran;
using namespace velloran::testing;

namespace {

class SettingsPanelWidgetTest : public ::testing::Test, protected WindowRig {
protected:
    SettingsPanelWidgetTest() : panel(player) {
        QObject::connect(&player, &Player::fillSettingsPanelRequested, &panel,
                         &SettingsPanel::fill);
        window.panelArea()->layout()->addWidget(new SettingsPanelWidget(panel));
        player.load(QStringLiteral("/nonexistent"));
        window.show();
    }

    QList<QComboBox*> pedalLists() {
        return window.findChildren<QComboBox*>(QStringLiteral("Combo1"));
    }
    void openPanel() { button(11)->trigger(); }
    static void choose(QComboBox* list, const QString& text) {
        const int index = list->findText(text);
        list->setCurrentIndex(index);
        emit list->activated(index);
    }

    SettingsPanel panel;
};

TEST_F(SettingsPanelWidgetTest, SettingsButtonFillsThePanelFromTheStore) {
    store.values[keys::WavePath] = QStringLiteral("/home/t/dictation");
    store.values[keys::RewVal] = QStringLiteral("4");
    openPanel();
    EXPECT_TRUE(child<QFrame>("fraSettings")->isVisible());
    const QList<QComboBox*> pedals = pedalLists();
    ASSERT_EQ(pedals.size(), 3);
    EXPECT_EQ(pedals[0]->currentText(), QStringLiteral("Forward"));
    EXPECT_EQ(pedals[1]->currentText(), QStringLiteral("Play"));
    EXPECT_EQ(pedals[2]->currentText(), QStringLiteral("Rewind"));
    EXPECT_EQ(child<QComboBox>("cmbPort")->currentText(), QStringLiteral("Game Port"));
    EXPECT_EQ(child<QComboBox>("txtL")->currentText(), QStringLiteral("5"));
    EXPECT_EQ(child<QComboBox>("txtRew")->currentText(), QStringLiteral("4"));
    EXPECT_EQ(child<QLineEdit>("txtWavePath")->text(), QStringLiteral("/home/t/dictation"));
    EXPECT_TRUE(child<QRadioButton>("OptPP")->isChecked());
    EXPECT_FALSE(child<QPushButton>("cmdTest")->isEnabled());
}

TEST_F(SettingsPanelWidgetTest, OkSavesTheChoicesAndCollapsesTheWindow) {
    openPanel();
    const QList<QComboBox*> pedals = pedalLists();
    choose(pedals[0], QStringLiteral("Rewind"));
    choose(pedals[2], QStringLiteral("Forward"));
    choose(child<QComboBox>("txtL"), QStringLiteral("8"));
    child<QRadioButton>("OptPT")->click();
    QTest::mouseClick(child<QPushButton>("cmdOK"), Qt::LeftButton);
    EXPECT_EQ(store.values[keys::FirstPedal], QStringLiteral("3"));
    EXPECT_EQ(store.values[keys::ThirdPedal], QStringLiteral("2"));
    EXPECT_EQ(store.values[keys::LargeChange], QStringLiteral("8"));
    EXPECT_EQ(store.values[keys::PlayToggle], QStringLiteral("True"));
    EXPECT_EQ(player.state().largeSkip, 8);
    EXPECT_TRUE(player.state().toggleMode);
    EXPECT_EQ(player.display().heightTwips, 750);
    EXPECT_EQ(window.height(), 800 / 15); // never shorter than the strip itself
    EXPECT_FALSE(child<QFrame>("fraSettings")->isVisible());
    EXPECT_TRUE(window.findChild<QWidget*>(QStringLiteral("tlbVelloran"))->isEnabled());
}

TEST_F(SettingsPanelWidgetTest, DuplicatePedalsAreRefusedAndThePanelStaysOpen) {
    openPanel();
    choose(pedalLists()[1], QStringLiteral("Forward"));
    QTest::mouseClick(child<QPushButton>("cmdOK"), Qt::LeftButton);
    EXPECT_EQ(prompts.errors,
              QStringList{QStringLiteral("Invalid footpedal settings. Please verify.")});
    EXPECT_EQ(window.height(), 2370 / 15);
}

TEST_F(SettingsPanelWidgetTest, ABadPortIsReportedAndTheOldOneShownAgain) {
    openPanel();
    serial.failingDevices << QStringLiteral("/dev/ttyS3");
    choose(child<QComboBox>("cmbPort"), QStringLiteral("COM4"));
    EXPECT_TRUE(child<QPushButton>("cmdTest")->isEnabled());
    QTest::mouseClick(child<QPushButton>("cmdOK"), Qt::LeftButton);
    EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("Inavalid Port or Port not responding.")});
    EXPECT_EQ(child<QComboBox>("cmbPort")->currentText(), QStringLiteral("Game Port"));
    EXPECT_EQ(store.values[keys::PortId], QStringLiteral("Game Port"));
    EXPECT_TRUE(gamePort.isEnabled());
}

TEST_F(SettingsPanelWidgetTest, EscapeCancelsAndBrowseFillsTheFolder) {
    openPanel();
    prompts.folderAnswers << QStringLiteral("/srv/dictation");
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("cmdBrowse")), Qt::LeftButton);
    EXPECT_EQ(child<QLineEdit>("txtWavePath")->text(), QStringLiteral("/srv/dictation"));
    EXPECT_EQ(prompts.lastFolderPrompt, QStringLiteral("Please choose the default wave folder"));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_EQ(player.display().heightTwips, 750);
    EXPECT_TRUE(store.values.value(keys::WavePath).isEmpty()); // Cancel saves nothing
    EXPECT_TRUE(serial.portOpen());
    EXPECT_TRUE(gamePort.isEnabled());
}

TEST(PortTestDialog, ShowsThePressedPedalAndClosesThePortOnExit) {
    FakeSerialPort serial;
    FakeGamePort gamePort;
    RecordingPrompts prompts;
    PedalTest test(serial, gamePort, prompts, qEnvironmentVariable("VELLORAN_APPDIR"));
    ASSERT_TRUE(test.checkPort(QStringLiteral("COM2")));
    EXPECT_EQ(serial.devicePath(), QStringLiteral("/dev/ttyS1"));
    PortTestDialog dialog(test);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Port Settings"));
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("lblTest"))->text(),
              QStringLiteral("Please press the foot pedal buttons"));
    auto* middle = dialog.findChild<QLabel*>(QStringLiteral("Picture2"));
    serial.setLines(false, true, false);
    EXPECT_TRUE(
        middle->property("picture").toString().endsWith(QStringLiteral("/bitmap/pedal2down.bmp")));
    EXPECT_FALSE(middle->pixmap().isNull());
    serial.setLines(false, false, false);
    EXPECT_TRUE(
        middle->property("picture").toString().endsWith(QStringLiteral("/bitmap/pedal2up.bmp")));
    dialog.show();
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("cmdExit")), Qt::LeftButton);
    EXPECT_FALSE(serial.portOpen());
    EXPECT_FALSE(dialog.isVisible());
}

} // namespace
