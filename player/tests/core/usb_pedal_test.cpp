#include "player_fixture.h"

#include "core/pedal_controller.h"
#include "core/pedal_learning.h"
#include "core/pedal_models.h"
#include "core/pedal_test.h"
#include "core/settings_panel.h"

#include <QDir>
#include <QFile>

#include <linux/input-event-codes.h>

using namespace velloran;
using namespace velloran::testing;

namespace {

const QString kVecPort = QStringLiteral("VEC USB Footpedal (USB 05f3:00ff)");

QString readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// ---- the port text rule -----------------------------------------------------

TEST(UsbPortText, IsTheThirdKindOfDevice) {
    PortChoice c = parsePortText(kVecPort);
    EXPECT_EQ(c.kind, PortChoice::Usb);
    EXPECT_EQ(c.usbId, QStringLiteral("05f3:00ff"));
    // A name with brackets of its own, and a serial number.
    c = parsePortText(QStringLiteral("Pedal (3 keys) (USB 1a86:e026 A1B2)"));
    EXPECT_EQ(c.kind, PortChoice::Usb);
    EXPECT_EQ(c.usbId, QStringLiteral("1a86:e026 A1B2"));
    EXPECT_EQ(parsePortText(QStringLiteral("USB 05f3:00ff")).usbId, QStringLiteral("05f3:00ff"));
    // An input device path is a USB pedal; any other /dev path stays serial.
    c = parsePortText(QStringLiteral("/dev/input/by-id/usb-VEC-event-if00"));
    EXPECT_EQ(c.kind, PortChoice::Usb);
    EXPECT_EQ(c.usbId, QStringLiteral("/dev/input/by-id/usb-VEC-event-if00"));
    EXPECT_EQ(parsePortText(QStringLiteral("/dev/hidraw3")).kind, PortChoice::Usb);
    EXPECT_EQ(parsePortText(QStringLiteral("/dev/ttyUSB0")).kind, PortChoice::Serial);
    EXPECT_EQ(parsePortText(QStringLiteral("Pedal (USB")).kind, PortChoice::None);
    EXPECT_EQ(usbPortText(QStringLiteral(" VEC  USB Footpedal "), QStringLiteral("05f3:00ff")),
              kVecPort);
}

// ---- the model table --------------------------------------------------------

TEST(PedalModels, LinesOfEachKindAreRead) {
    const ModelParse parsed =
        parseModels(QStringLiteral("# comment\n\n"
                                   "05f3:00ff buttons BTN_0 BTN_1 BTN_2 VEC USB Footpedal\n"
                                   "1A86:E026 keys KEY_B KEY_A 0x2e Three  keys\n"
                                   "0b33:0030 hid 0:01 0:02 1:80 pedal4=2:01 Raw\n"),
                    QStringLiteral("models"));
    ASSERT_TRUE(parsed.errors.isEmpty()) << parsed.errors.join('\n').toStdString();
    ASSERT_EQ(parsed.models.size(), 3u);
    const PedalModel& vec = parsed.models[0];
    EXPECT_EQ(vec.vendor, 0x05f3);
    EXPECT_EQ(vec.product, 0x00ff);
    EXPECT_EQ(vec.kind, PedalModel::Buttons);
    EXPECT_EQ(vec.name, QStringLiteral("VEC USB Footpedal"));
    EXPECT_EQ(vec.pedalOf({PedalSignal::Code, BTN_2, 0, 0}), 3);
    EXPECT_EQ(vec.pedalOf({PedalSignal::Code, BTN_3, 0, 0}), 0);
    EXPECT_EQ(parsed.models[1].pedals[2].code, KEY_C);
    EXPECT_EQ(parsed.models[1].name, QStringLiteral("Three keys"));
    EXPECT_EQ(parsed.models[2].pedals[2], (PedalSignal{PedalSignal::Bit, 0, 1, 0x80}));
    EXPECT_EQ(parsed.models[2].pedalOf({PedalSignal::Bit, 0, 2, 0x01}), 4);
    // Written back, each line reads as the same model.
    for (const PedalModel& model : parsed.models) {
        const ModelParse again = parseModels(modelLine(model), QStringLiteral("again"));
        ASSERT_EQ(again.models.size(), 1u) << modelLine(model).toStdString();
        EXPECT_EQ(modelLine(again.models[0]), modelLine(model));
    }
    EXPECT_EQ(modelLine(parsed.models[1]),
              QStringLiteral("1a86:e026 keys KEY_B KEY_A KEY_C Three keys"));
}

TEST(PedalModels, BrokenLinesAreReportedWithTheirNumberAndSkipped) {
    const ModelParse parsed =
        parseModels(QStringLiteral("05f3:00ff buttons BTN_0 BTN_1 BTN_2 Good\n"
                                   "05f3 buttons BTN_0 BTN_1 BTN_2 No product\n"
                                   "# fine\n"
                                   "1111:2222 pedals 1 2 3 Bad kind\n"
                                   "1111:2222 keys KEY_B KEY_NOPE KEY_C Bad code\n"
                                   "1111:2222 hid 0:03 0:04 0:08 Two bits\n"
                                   "1111:2222 keys KEY_B KEY_B KEY_C Twice\n"
                                   "1111:2222 keys KEY_B\n"
                                   "1111:2222 hid 0:01 0:02 0:04 pedal4=0:01 Fourth twice\n"
                                   "2222:3333 hid 0:01 0:02 0:04 Good too"),
                    QStringLiteral("user.txt"));
    ASSERT_EQ(parsed.models.size(), 2u);
    EXPECT_EQ(parsed.models[1].name, QStringLiteral("Good too"));
    ASSERT_EQ(parsed.errors.size(), 7);
    const QStringList lines = {
        "user.txt:2:", "user.txt:4:", "user.txt:5:", "user.txt:6:", "user.txt:7:", "user.txt:8:"};
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(parsed.errors[i].startsWith(lines[i])) << parsed.errors[i].toStdString();
    EXPECT_TRUE(parsed.errors[2].contains(QStringLiteral("KEY_NOPE")));
}

TEST(PedalModels, TheUsersLineWinsAndLearnedLinesAreAdded) {
    QTemporaryDir dir;
    const QString shipped = dir.filePath(QStringLiteral("pedal-models.txt"));
    const QString user = dir.filePath(QStringLiteral("config/Velloran/pedal-models.txt"));
    QFile file(shipped);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("05f3:00ff buttons BTN_0 BTN_1 BTN_2 Shipped\nbroken\n");
    file.close();
    PedalModelTable table({shipped, user}, user);
    table.load();
    ASSERT_NE(table.find(0x05f3, 0x00ff), nullptr);
    EXPECT_EQ(table.find(0x05f3, 0x00ff)->name, QStringLiteral("Shipped"));
    EXPECT_EQ(table.errors().size(), 1);
    EXPECT_EQ(table.find(0x1234, 0x5678), nullptr);

    PedalModel learned{0x05f3, 0x00ff, PedalModel::Buttons, {}, QStringLiteral("Mine")};
    learned.pedals = {PedalSignal{PedalSignal::Code, BTN_2, 0, 0},
                      {PedalSignal::Code, BTN_1, 0, 0},
                      {PedalSignal::Code, BTN_0, 0, 0}};
    ASSERT_TRUE(table.add(learned, nullptr));
    EXPECT_EQ(table.find(0x05f3, 0x00ff)->name, QStringLiteral("Mine"));
    // A file whose last line has no line end still gets the next line on a line of its own.
    QFile userFile(user);
    ASSERT_TRUE(userFile.open(QIODevice::Append));
    userFile.write("# no line end");
    userFile.close();
    learned.vendor = 0x0001;
    ASSERT_TRUE(table.add(learned, nullptr));
    PedalModelTable nextStart({shipped, user}, user);
    nextStart.load();
    EXPECT_NE(nextStart.find(0x0001, 0x00ff), nullptr);
    EXPECT_EQ(nextStart.find(0x05f3, 0x00ff)->pedals[0].code, BTN_2);
}

// ---- the player with a USB pedal --------------------------------------------

constexpr double kLength = 3200; // one hold pass moves one second

class UsbPedalPlayerTest : public PlayerTest {
protected:
    UsbPedalPlayerTest() : pedals((player.setUsbPedal(&usb), player)) {
        pedals.minimumPass = std::chrono::microseconds(0);
        pedals.delay = [this](double seconds) {
            delays.push_back(seconds);
            if (duringDelay)
                duringDelay();
        };
        usb.onHeldRead = [this](int) {
            if (pedals.lastHoldPasses() >= holdPasses && letGo) {
                const auto now = std::move(letGo);
                letGo = nullptr;
                now();
            }
            if (pedals.lastHoldPasses() > 100000) {
                ADD_FAILURE() << "the hold did not end";
                std::fill(std::begin(usb.held), std::end(usb.held), false);
            }
        };
    }
    void SetUp() override {
        loadWithFile(kLength);
        ASSERT_TRUE(player.selectPedalDevice(kVecPort));
    }

    FakeUsbPedal usb;
    PedalController pedals;
    std::vector<double> delays;
    std::function<void()> duringDelay;
    long holdPasses = 0;
    std::function<void()> letGo;
};

TEST_F(UsbPedalPlayerTest, SelectionTakesThePedalAndAnotherPortLetsItGo) {
    EXPECT_EQ(usb.deviceId(), QStringLiteral("05f3:00ff"));
    EXPECT_TRUE(usb.isEnabled());
    EXPECT_FALSE(gamePort.isEnabled());
    EXPECT_FALSE(serial.portOpen());
    // A serial port that cannot be opened leaves the USB pedal working.
    serial.failingDevices << QStringLiteral("/dev/ttyS1");
    EXPECT_FALSE(player.selectPedalDevice(QStringLiteral("COM2")));
    EXPECT_TRUE(usb.isEnabled());
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("Game Port")));
    EXPECT_FALSE(usb.isEnabled());
    ASSERT_TRUE(player.selectPedalDevice(kVecPort));
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("COM1")));
    EXPECT_FALSE(usb.isEnabled());
    // An absent pedal opens nothing and says nothing.
    usb.present = false;
    ASSERT_TRUE(player.selectPedalDevice(kVecPort));
    EXPECT_TRUE(prompts.errors.isEmpty());
    player.unload();
    EXPECT_FALSE(usb.isEnabled());
}

TEST_F(UsbPedalPlayerTest, EachPedalRunsItsActionAndForwardHoldsUntilReleased) {
    player.state().pedalAction = {PedalForward, PedalPlay, PedalRewind};
    engine.setCurrentPosition(100);
    holdPasses = 7;
    letGo = [this] {
        usb.held[1] = false;
    };
    usb.press(1);
    EXPECT_EQ(engine.currentPosition(), 100 + 5 + 7);
    EXPECT_EQ(delays, std::vector<double>{1.0});
    usb.release(1);

    usb.press(2);
    EXPECT_EQ(engine.currentState(), MediaEngine::Running);
    usb.release(2);
    usb.press(2);
    EXPECT_EQ(engine.currentState(), MediaEngine::Paused);
    usb.release(2);

    // The right pedal rewinds without the game port's second between passes.
    delays.clear();
    engine.setCurrentPosition(100);
    holdPasses = 4;
    letGo = [this] {
        usb.held[3] = false;
    };
    usb.press(3);
    EXPECT_EQ(engine.currentPosition(), 100 - 5 - 4);
    EXPECT_EQ(delays, std::vector<double>{1.0});
}

TEST_F(UsbPedalPlayerTest, UnplugMidHoldEndsTheHoldAndAReplugWorksAgain) {
    player.state().pedalAction = {PedalForward, PedalPlay, PedalRewind};
    engine.setCurrentPosition(100);
    holdPasses = 3;
    letGo = [this] {
        usb.unplug();
    };
    usb.press(1);
    EXPECT_EQ(engine.currentPosition(), 108);
    usb.present = true;
    engine.setCurrentPosition(100);
    duringDelay = [this] {
        usb.held[1] = false;
    };
    usb.press(1);
    EXPECT_EQ(engine.currentPosition(), 105);
}

TEST_F(UsbPedalPlayerTest, PanelListsThePedalAndTheTestTakesItFromThePlayer) {
    usb.ports = {kVecPort};
    store.values[keys::PortId] = QStringLiteral("USB 05f3:00ff"); // written by hand
    SettingsPanel panel(player);
    panel.fill();
    EXPECT_EQ(panel.ports.mid(5), QStringList{kVecPort});
    EXPECT_EQ(panel.portText, kVecPort);

    usb.calls.clear();
    panel.test();
    EXPECT_EQ(usb.calls, QStringList{"disable"});
    panel.cancel();
    EXPECT_TRUE(usb.isEnabled());
    EXPECT_EQ(usb.deviceId(), QStringLiteral("05f3:00ff"));

    // Cancel under another stored port leaves a (grabbing) USB pedal off.
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("Game Port")));
    store.values[keys::PortId] = QStringLiteral("Game Port");
    panel.fill();
    panel.cancel();
    EXPECT_FALSE(usb.isEnabled());
    EXPECT_TRUE(gamePort.isEnabled());
}

TEST(UsbPedalTestDialog, ShowsEachPedalAndReportsAnAbsentPedal) {
    FakeSerialPort serial;
    FakeGamePort gamePort;
    FakeUsbPedal usb;
    RecordingPrompts prompts;
    const QString appDir = qEnvironmentVariable("VELLORAN_APPDIR");
    {
        PedalTest test(serial, gamePort, prompts, appDir);
        test.setUsbPedal(&usb, nullptr);
        ASSERT_TRUE(test.checkPort(kVecPort)) << prompts.errors.join('\n').toStdString();
        EXPECT_EQ(usb.deviceId(), QStringLiteral("05f3:00ff"));
        usb.press(1);
        usb.press(3);
        usb.press(4); // a model's fourth pedal has no picture
        EXPECT_TRUE(test.pressed(1));
        EXPECT_FALSE(test.pressed(2));
        EXPECT_TRUE(test.pressed(3));
        EXPECT_TRUE(test.picturePath(3).endsWith(QStringLiteral("/bitmap/pedal3down.bmp")));
        usb.release(1);
        EXPECT_FALSE(test.pressed(1));
        usb.unplug();
        EXPECT_FALSE(test.pressed(3));
        test.close();
        EXPECT_FALSE(usb.isEnabled());
    }
    usb.present = false;
    PedalTest test(serial, gamePort, prompts, appDir);
    test.setUsbPedal(&usb, nullptr);
    EXPECT_FALSE(test.checkPort(kVecPort));
    EXPECT_EQ(prompts.errors, QStringList{PedalTest::badPortMessage()});
    EXPECT_FALSE(usb.isEnabled());
}

// ---- learning ---------------------------------------------------------------

struct LearningRig {
    LearningRig() : table({file()}, file()), learning(usb, table) {
        usb.setEnabled(true);
        table.load();
    }
    QString file() const { return dir.filePath(QStringLiteral("pedal-models.txt")); }
    void tap(const PedalSignal& s) {
        usb.sendSignal(s, true);
        usb.sendSignal(s, false);
    }
    QTemporaryDir dir;
    FakeUsbPedal usb;
    PedalModelTable table;
    PedalLearning learning;
};

PedalSignal code(int c) {
    return {PedalSignal::Code, c, 0, 0};
}
PedalSignal bit(int byte, int mask) {
    return {PedalSignal::Bit, 0, byte, mask};
}

TEST(PedalLearningTest, KeysAreLearnedInTurnAndWrittenForTheNextStart) {
    LearningRig rig;
    ASSERT_TRUE(rig.learning.start());
    EXPECT_TRUE(rig.learning.text().contains(QStringLiteral("left")));
    // A pedal that sends a modifier with its key is known by the first change.
    rig.usb.sendSignal(code(KEY_LEFTCTRL), true);
    rig.usb.sendSignal(code(KEY_F13), true);
    EXPECT_EQ(rig.learning.step(), PedalLearning::Step::Left);
    rig.usb.sendSignal(code(KEY_F13), false);
    rig.usb.sendSignal(code(KEY_LEFTCTRL), false);
    EXPECT_EQ(rig.learning.step(), PedalLearning::Step::Middle);
    EXPECT_TRUE(rig.learning.text().contains(QStringLiteral("middle")));
    // The left pedal again does not count for the middle one.
    rig.tap(code(KEY_LEFTCTRL));
    EXPECT_EQ(rig.learning.step(), PedalLearning::Step::Middle);
    EXPECT_TRUE(rig.learning.text().contains(QStringLiteral("left pedal again")));
    rig.tap(code(KEY_B));
    rig.tap(code(KEY_C));
    ASSERT_EQ(rig.learning.step(), PedalLearning::Step::Done);
    EXPECT_TRUE(rig.learning.text().contains(rig.file()));

    PedalModelTable next({rig.file()}, rig.file());
    next.load();
    const PedalModel* model = next.find(0x05f3, 0x00ff);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(modelLine(*model),
              QStringLiteral("05f3:00ff keys KEY_LEFTCTRL KEY_B KEY_C Test Pedal"));
}

TEST(PedalLearningTest, ButtonsAndHidBitsAreLearnedAsTheirKind) {
    LearningRig buttons;
    ASSERT_TRUE(buttons.learning.start());
    buttons.tap(code(BTN_4));
    buttons.tap(code(BTN_5));
    buttons.tap(code(BTN_6));
    ASSERT_EQ(buttons.learning.step(), PedalLearning::Step::Done);
    EXPECT_TRUE(readAll(buttons.file())
                    .contains(QStringLiteral("05f3:00ff buttons BTN_4 BTN_5 BTN_6 Test Pedal\n")));

    LearningRig hid;
    hid.usb.id = {0x0b33, 0x0030, true, QStringLiteral("Raw")};
    ASSERT_TRUE(hid.learning.start());
    hid.tap(bit(1, 0x01));
    hid.tap(bit(1, 0x02));
    hid.tap(bit(2, 0x80));
    ASSERT_EQ(hid.learning.step(), PedalLearning::Step::Done);
    EXPECT_TRUE(readAll(hid.file()).contains(QStringLiteral("0b33:0030 hid 1:01 1:02 2:80 Raw\n")));
}

TEST(PedalLearningTest, CancelAndUnplugLeaveNothingBehind) {
    LearningRig rig;
    ASSERT_TRUE(rig.learning.start());
    rig.tap(code(BTN_0));
    rig.tap(code(BTN_1));
    rig.learning.cancel();
    rig.tap(code(BTN_2));
    EXPECT_EQ(rig.learning.step(), PedalLearning::Step::Idle);
    ASSERT_TRUE(rig.learning.start());
    rig.tap(code(BTN_0));
    rig.usb.unplug();
    EXPECT_EQ(rig.learning.step(), PedalLearning::Step::Failed);
    EXPECT_FALSE(QFile::exists(rig.file()));
    EXPECT_FALSE(rig.learning.start());
}

} // namespace
