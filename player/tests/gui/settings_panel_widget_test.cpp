#include "core/pedal_models.h"
#include "core/pedal_test.h"
#include "core/player.h"
#include "core/settings.h"
#include "core/settings_panel.h"
#include "fakes/fake_devices.h"
#include "fakes/fake_engine.h"
#include "fakes/fake_prompts.h"
#include "fakes/qt_printers.h"
#include "gui/keys_dialog.h"
#include "gui/main_window.h"
#include "gui/port_test_dialog.h"
#include "gui/settings_panel_widget.h"
#include "window_rig.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
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

// Return and Escape act as a dialog's would: an open list and a focused
// button keep them; OK and Cancel answer only for what nobody took.
class PanelKeysTest : public SettingsPanelWidgetTest {
protected:
    void SetUp() override {
        openPanel();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        storedBefore = store.values;
    }
    bool panelStillOpen() {
        return panel.isOpen && player.display().heightTwips == 2370 &&
               child<QFrame>("fraSettings")->isVisible();
    }
    /// Focuses @p widget and sends the key to whatever holds the focus then.
    void press(QWidget* widget, Qt::Key key) {
        widget->setFocus(Qt::OtherFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), widget);
        QTest::keyClick(QApplication::focusWidget(), key);
    }
    /// Opens @p list's popup with @p text highlighted, as the arrow keys leave it.
    static QAbstractItemView* openList(QComboBox* list, const QString& text) {
        list->setFocus(Qt::OtherFocusReason);
        list->showPopup();
        QAbstractItemView* view = list->view();
        if (!QTest::qWaitForWindowExposed(view->window()))
            return nullptr;
        view->setCurrentIndex(list->model()->index(list->findText(text), 0));
        return view;
    }

    QMap<QString, QString> storedBefore;
};

TEST_F(PanelKeysTest, AnOpenListKeepsReturnAndEscape) {
    auto* large = child<QComboBox>("txtL");
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        SCOPED_TRACE(key == Qt::Key_Return ? "Return" : "Enter");
        QAbstractItemView* view = openList(large, QStringLiteral("8"));
        ASSERT_NE(view, nullptr);
        QTest::keyClick(view, key);
        EXPECT_FALSE(view->isVisible());
        EXPECT_EQ(large->currentText(), QStringLiteral("8")) << "the item is picked";
        EXPECT_TRUE(panelStillOpen());
        EXPECT_EQ(store.values, storedBefore) << "nothing saved";
        large->setCurrentIndex(large->findText(QStringLiteral("5")));
    }

    auto* port = child<QComboBox>("cmbPort");
    QAbstractItemView* view = openList(port, QStringLiteral("COM2"));
    ASSERT_NE(view, nullptr);
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_FALSE(view->isVisible());
    EXPECT_EQ(port->currentText(), QStringLiteral("Game Port")) << "Escape picks nothing";
    EXPECT_TRUE(panelStillOpen()) << "Escape closed the list only";
    EXPECT_FALSE(serial.portOpen()) << "Cancel would have reopened the serial port";

    // With the list closed again the keys are OK's and Cancel's.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(panel.isOpen);
    EXPECT_EQ(store.values, storedBefore);
}

TEST_F(PanelKeysTest, ReturnPressesTheFocusedButton) {
    choose(child<QComboBox>("txtL"), QStringLiteral("8"));
    QSignalSpy testRequested(&panel, &SettingsPanel::testRequested);
    choose(child<QComboBox>("cmbPort"), QStringLiteral("COM2"));
    press(child<QPushButton>("cmdTest"), Qt::Key_Return);
    EXPECT_EQ(testRequested.count(), 1);
    EXPECT_TRUE(panelStillOpen());

    prompts.folderAnswers << QStringLiteral("/srv/dictation");
    press(child<QPushButton>("cmdBrowse"), Qt::Key_Return);
    EXPECT_EQ(child<QLineEdit>("txtWavePath")->text(), QStringLiteral("/srv/dictation"));
    EXPECT_TRUE(panelStillOpen());

    press(child<QPushButton>("cmdCancel"), Qt::Key_Return);
    EXPECT_FALSE(panel.isOpen);
    EXPECT_EQ(store.values, storedBefore) << "Cancel, not OK, ran";
    EXPECT_TRUE(gamePort.isEnabled());
    EXPECT_TRUE(prompts.errors.isEmpty());
}

TEST_F(PanelKeysTest, ReturnAnywhereElseIsOk) {
    const auto chooseAndPress = [&](QWidget* focus, Qt::Key key) {
        openPanel();
        choose(child<QComboBox>("txtL"), QStringLiteral("8"));
        press(focus, key);
        EXPECT_FALSE(panel.isOpen);
        EXPECT_EQ(store.values[keys::LargeChange], QStringLiteral("8"));
        store.values = storedBefore;
    };
    {
        SCOPED_TRACE("a closed list");
        chooseAndPress(child<QComboBox>("txtS"), Qt::Key_Return);
    }
    {
        SCOPED_TRACE("an option button, keypad Enter");
        chooseAndPress(child<QRadioButton>("OptPP"), Qt::Key_Enter);
    }
    {
        SCOPED_TRACE("OK itself");
        chooseAndPress(child<QPushButton>("cmdOK"), Qt::Key_Return);
    }
    EXPECT_TRUE(prompts.errors.isEmpty());
}

TEST(KeysDialog, RecordsKeysAndMarksTheOnesThatWouldNotAct) {
    const KeyChord f12 = *KeyChord::fromText(QStringLiteral("F12"));
    KeysDialog dialog(KeyBindings::defaults(), [&](const KeyChord& key) { return key == f12; });
    const auto field = [&](const char* name) {
        return dialog.findChild<KeyRecorder*>(QStringLiteral("key-") + QLatin1String(name));
    };
    const auto problem = [&](const char* name) {
        return dialog.findChild<QLabel*>(QStringLiteral("problem-") + QLatin1String(name))->text();
    };
    EXPECT_EQ(field("play-pause")->text(), QStringLiteral("F9"));

    QTest::keyClick(field("play-pause"), Qt::Key_Shift, Qt::ShiftModifier); // not a key yet
    QTest::keyClick(field("play-pause"), Qt::Key_P, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(field("play-pause")->text(), QStringLiteral("Ctrl+Alt+P"));
    QTest::keyClick(field("stop"), Qt::Key_F10);
    EXPECT_EQ(problem("stop"), QStringLiteral("Also set for: Set a bookmark; it acts here only"));
    EXPECT_TRUE(problem("bookmark").startsWith(QStringLiteral("Already set for: Stop")));
    QTest::keyClick(field("speed-up"), Qt::Key_F12);
    EXPECT_EQ(problem("speed-up"), QStringLiteral("Another program holds this key"));
    QTest::keyClick(field("review"), Qt::Key_Backspace);
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("clear-stop")), Qt::LeftButton);
    EXPECT_EQ(problem("bookmark"), QString());
    EXPECT_EQ(dialog.bindings().key(Action::Review), std::nullopt);
    EXPECT_EQ(dialog.bindings().key(Action::PlayPause)->text(), QStringLiteral("Ctrl+Alt+P"));

    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("restoreDefaults")),
                      Qt::LeftButton);
    EXPECT_EQ(dialog.bindings(), KeyBindings::defaults());
    dialog.setTimestampFormat({});
    EXPECT_EQ(dialog.timestampFormat(), QStringLiteral("[hh:mm:ss]"));
    EXPECT_EQ(field("review")->text(), QStringLiteral("F11"));
    EXPECT_EQ(problem("speed-up"), QString());
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

TEST(PortTestDialog, LearnsAUsbPedalStepByStepAndPutsItToUse) {
    FakeSerialPort serial;
    FakeGamePort gamePort;
    FakeUsbPedal usb;
    RecordingPrompts prompts;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("pedal-models.txt"));
    PedalModelTable models({file}, file);
    PedalTest test(serial, gamePort, prompts, qEnvironmentVariable("VELLORAN_APPDIR"));
    test.setUsbPedal(&usb, &models);
    ASSERT_TRUE(test.checkPort(QStringLiteral("Pedal (USB 05f3:00ff)")));
    PortTestDialog dialog(test);
    auto* learn = dialog.findChild<QPushButton*>(QStringLiteral("cmdLearn"));
    auto* text = dialog.findChild<QLabel*>(QStringLiteral("lblLearn"));
    ASSERT_NE(learn, nullptr);
    EXPECT_EQ(learn->text(), QStringLiteral("&Learn"));
    const auto tap = [&](int code) {
        usb.sendSignal({PedalSignal::Code, code, 0, 0}, true);
        usb.sendSignal({PedalSignal::Code, code, 0, 0}, false);
    };

    // Cancelled half-way: nothing is written.
    learn->click();
    EXPECT_EQ(learn->text(), QStringLiteral("&Cancel"));
    EXPECT_TRUE(text->text().contains(QStringLiteral("left pedal")));
    tap(0x100);
    EXPECT_TRUE(text->text().contains(QStringLiteral("middle pedal")));
    learn->click();
    EXPECT_EQ(learn->text(), QStringLiteral("&Learn"));
    EXPECT_FALSE(QFile::exists(file));

    learn->click();
    for (int code : {0x104, 0x105, 0x106})
        tap(code);
    EXPECT_EQ(learn->text(), QStringLiteral("&Learn"));
    EXPECT_TRUE(
        text->text().contains(QStringLiteral("05f3:00ff buttons BTN_4 BTN_5 BTN_6 Test Pedal")));
    ASSERT_NE(models.find(0x05f3, 0x00ff), nullptr);
    // The pedal is opened again so the learned model applies.
    EXPECT_EQ(usb.calls.mid(usb.calls.size() - 2), QStringList({"disable", "enable"}));
}

} // namespace
