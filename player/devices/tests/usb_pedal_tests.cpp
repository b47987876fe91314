#include "core/pedal_controller.h"
#include "core/pedal_learning.h"
#include "core/pedal_models.h"
#include "core/player.h"
#include "core/settings.h"
#include "devices/linux_usb_pedal.h"
#include "devices/usb_input_scan.h"
#include "fakes/fake_devices.h"
#include "fakes/fake_engine.h"
#include "fakes/fake_prompts.h"
#include "input_records.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <map>

using namespace velloran;
using namespace velloran::devices;
using velloran::devices::testing::key;
using velloran::devices::testing::record;

namespace {

void pump(int ms = 20) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QElapsedTimer call;
        call.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // A pedal hold ran inside and used the time up: what it left behind
        // (a device's end, say) gets the full time too.
        if (call.elapsed() > 5)
            clock.restart();
    }
}

/// A sysfs and /dev of its own in a scratch folder; the nodes open as pipes
/// the test writes to, and grabs are recorded.
struct FakeSystem {
    QTemporaryDir root;
    std::map<QString, UniqueFd> writers; ///< by node path
    std::map<int, QString> fdPaths;
    QStringList log;
    QStringList refused; ///< paths that fail to open
    HotplugSource hotplug;

    QString sys() const { return root.filePath(QStringLiteral("sys")); }
    QString dev() const { return root.filePath(QStringLiteral("dev")); }

    static void write(const QString& path, const QString& text) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8() + '\n');
    }
    static QString capabilities(const std::vector<int>& keys) {
        // Words of 64 bits, the highest first, as sysfs prints them.
        std::vector<qulonglong> words(KEY_CNT / 64 + 1, 0);
        for (int k : keys)
            words[static_cast<std::size_t>(k / 64)] |= 1ull << (k % 64);
        while (words.size() > 1 && words.back() == 0)
            words.pop_back();
        QStringList text;
        for (auto it = words.rbegin(); it != words.rend(); ++it)
            text << QString::number(*it, 16);
        return text.join(' ');
    }
    QString addEvdev(int n, quint16 vendor, quint16 product, const QString& name,
                     const std::vector<int>& keys, bool mouse = false, int bus = 3,
                     const QString& uniq = {}) {
        const QString d = sys() + QStringLiteral("/class/input/event%1/device/").arg(n);
        write(d + "id/bustype", QStringLiteral("%1").arg(bus, 4, 16, QLatin1Char('0')));
        write(d + "id/vendor", QStringLiteral("%1").arg(vendor, 4, 16, QLatin1Char('0')));
        write(d + "id/product", QStringLiteral("%1").arg(product, 4, 16, QLatin1Char('0')));
        write(d + "name", name);
        write(d + "uniq", uniq);
        write(d + "capabilities/key", capabilities(keys));
        write(d + "capabilities/rel", mouse ? QStringLiteral("3") : QStringLiteral("0"));
        return dev() + QStringLiteral("/input/event%1").arg(n);
    }
    QString addHidraw(int n, quint16 vendor, quint16 product, const QString& name) {
        write(sys() + QStringLiteral("/class/hidraw/hidraw%1/device/uevent").arg(n),
              QStringLiteral("HID_ID=0003:%1:%2\nHID_NAME=%3\nHID_UNIQ=")
                  .arg(vendor, 8, 16, QLatin1Char('0'))
                  .arg(product, 8, 16, QLatin1Char('0'))
                  .arg(name));
        return dev() + QStringLiteral("/hidraw%1").arg(n);
    }
    void unplug(const QString& classEntry) {
        QDir(sys() + QStringLiteral("/class/") + classEntry).removeRecursively();
        for (auto it = writers.begin(); it != writers.end();)
            it =
                it->first.endsWith(classEntry.section('/', -1)) ? writers.erase(it) : std::next(it);
    }
    void send(const QString& path, const std::string& bytes) {
        ASSERT_TRUE(writers.count(path)) << path.toStdString() << " is not open";
        ASSERT_EQ(::write(writers[path].get(), bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }

    LinuxUsbPedal::System system() {
        LinuxUsbPedal::System s;
        s.sysRoot = sys();
        s.devRoot = dev();
        s.open = [this](const QString& path, QString* error) {
            if (refused.contains(path)) {
                *error = path + QStringLiteral(": Permission denied");
                return UniqueFd();
            }
            int fds[2];
            if (::pipe2(fds, O_CLOEXEC) != 0)
                return UniqueFd();
            writers[path].reset(fds[1]);
            fdPaths[fds[0]] = path;
            log << QStringLiteral("open ") + QFileInfo(path).fileName();
            return UniqueFd(fds[0]);
        };
        s.grab = [this](int fd, bool grab) {
            log << (grab ? QStringLiteral("grab ") : QStringLiteral("ungrab ")) +
                       QFileInfo(fdPaths[fd]).fileName();
            return true;
        };
        return s;
    }
};

struct Recorder {
    QStringList log;
    explicit Recorder(UsbPedal& usb) {
        QObject::connect(&usb, &UsbPedal::pedalDown,
                         [this](int p) { log << QStringLiteral("down %1").arg(p); });
        QObject::connect(&usb, &UsbPedal::pedalUp,
                         [this](int p) { log << QStringLiteral("up %1").arg(p); });
        QObject::connect(&usb, &UsbPedal::deviceLost, [this] { log << QStringLiteral("lost"); });
        QObject::connect(&usb, &UsbPedal::attached, [this] { log << QStringLiteral("attached"); });
    }
};

/// A model table from text in a scratch file.
struct Models {
    explicit Models(const QByteArray& text) : table({path()}, path()) {
        QFile file(path());
        if (file.open(QIODevice::WriteOnly))
            file.write(text);
        file.close();
        table.load();
    }
    QString path() const { return dir.filePath(QStringLiteral("pedal-models.txt")); }
    QTemporaryDir dir;
    PedalModelTable table;
};

const QByteArray kModels = "05f3:00ff buttons BTN_0 BTN_1 BTN_2 VEC USB Footpedal\n"
                           "1a86:e026 keys KEY_B KEY_A KEY_C Keyboard pedal\n"
                           "0b33:0030 hid 0:01 0:02 0:04 Raw pedal\n";

TEST(UsbInputScanTest, CapabilityBitmapsAreReadHighestWordFirst) {
    KeyBits bits = capabilityBits(QStringLiteral("7 0 0 0 0"), 64);
    EXPECT_TRUE(bits.test(BTN_0));
    EXPECT_TRUE(bits.test(BTN_2));
    EXPECT_EQ(bits.count(), 3u);
    bits = capabilityBits(QStringLiteral("7 0 0 0 0 0 0 0 0"), 32);
    EXPECT_TRUE(bits.test(BTN_0));
    EXPECT_EQ(bits.count(), 3u);
    EXPECT_EQ(capabilityBits(QStringLiteral("zz 1"), 64).count(), 0u);
}

TEST(UsbInputScanTest, DevicesAreGatheredAndThePortListOffersPedalsByName) {
    FakeSystem fs;
    fs.addEvdev(3, 0x05f3, 0x00ff, "VEC  VEC USB Footpedal", {BTN_0, BTN_1, BTN_2});
    fs.addHidraw(1, 0x05f3, 0x00ff, "VEC  VEC USB Footpedal");
    fs.addEvdev(4, 0x046d, 0xc077, "USB Mouse", {BTN_LEFT, BTN_RIGHT}, true);
    fs.addHidraw(3, 0x046d, 0xc077, "USB Mouse");
    fs.addEvdev(5, 0x0001, 0x0001, "AT keyboard", {KEY_A, KEY_B}, false, 0x11);
    fs.addEvdev(12, 0x1a86, 0xe026, "FootSwitch", {KEY_A, KEY_B, KEY_C}, false, 3, "SN7");
    fs.addHidraw(2, 0x0b33, 0x0030, "Raw thing");

    const auto devices = scanUsbInputDevices(fs.sys(), fs.dev());
    ASSERT_EQ(devices.size(), 4u); // the AT keyboard is not USB
    EXPECT_EQ(devices[0].nodes.size(), 2u);
    EXPECT_TRUE(devices[0].hasEvdev() && devices[0].hasHidraw());
    EXPECT_EQ(devices[2].id(), QStringLiteral("1a86:e026 SN7"));
    EXPECT_TRUE(devices[2].matches(QStringLiteral("1a86:e026")));
    EXPECT_TRUE(devices[2].matches(QStringLiteral("1A86:E026 SN7")));
    EXPECT_FALSE(devices[2].matches(QStringLiteral("1a86:e026 SN8")));
    EXPECT_TRUE(devices[2].matches(fs.dev() + QStringLiteral("/input/event12")));
    EXPECT_TRUE(isButtonPedal(devices[0].nodes[0].keys));
    EXPECT_FALSE(isButtonPedal(devices[2].nodes[0].keys));

    Models models(kModels);
    LinuxUsbPedal usb(fs.system(), models.table, nullptr);
    EXPECT_EQ(usb.presentPorts(),
              QStringList({"VEC USB Footpedal (USB 05f3:00ff)",
                           "Keyboard pedal (USB 1a86:e026 SN7)", "Raw pedal (USB 0b33:0030)"}));
}

TEST(LinuxUsbPedalTest, ButtonPedalPressesAndReleasesReachPedalsOneToThree) {
    FakeSystem fs;
    const QString node = fs.addEvdev(3, 0x05f3, 0x00ff, "VEC", {BTN_0, BTN_1, BTN_2});
    Models models(kModels);
    LinuxUsbPedal usb(fs.system(), models.table, nullptr);
    Recorder rec(usb);
    usb.setDeviceId(QStringLiteral("05f3:00ff"));
    usb.setEnabled(true);
    ASSERT_TRUE(usb.isAttached()) << usb.lastError().toStdString();
    fs.send(node, key(BTN_0, 1) + key(BTN_2, 1) + key(BTN_3, 1) + key(BTN_0, 0) + key(BTN_1, 1) +
                      key(BTN_1, 2) + key(BTN_1, 0) + key(BTN_2, 0));
    pump();
    EXPECT_EQ(rec.log,
              QStringList({"attached", "down 1", "down 3", "up 1", "down 2", "up 2", "up 3"}));
    EXPECT_TRUE(fs.log.filter("grab").isEmpty()); // a button pedal types nothing
    // The live state reads what the device sent since, without the event loop.
    fs.send(node, key(BTN_1, 1));
    EXPECT_TRUE(usb.pedalHeld(2));
    EXPECT_FALSE(usb.pedalHeld(1));
}

TEST(LinuxUsbPedalTest, AButtonPedalWithoutAModelUsesItsFirstThreeButtons) {
    FakeSystem fs;
    const QString node = fs.addEvdev(7, 0x1234, 0x0001, "Pedal", {BTN_4, BTN_5, BTN_6, BTN_7});
    Models models("");
    LinuxUsbPedal usb(fs.system(), models.table, nullptr);
    Recorder rec(usb);
    usb.setDeviceId(QStringLiteral("1234:0001"));
    usb.setEnabled(true);
    fs.send(node, key(BTN_6, 1) + key(BTN_7, 1) + key(BTN_6, 0));
    pump();
    EXPECT_EQ(rec.log, QStringList({"attached", "down 3", "up 3"}));
    EXPECT_EQ(usb.presentPorts(), QStringList{"Pedal (USB 1234:0001)"});
}

TEST(LinuxUsbPedalTest, KeyboardPedalIsGrabbedOnlyWhileItIsTheChosenPedal) {
    FakeSystem fs;
    const QString node = fs.addEvdev(12, 0x1a86, 0xe026, "FootSwitch", {KEY_A, KEY_B, KEY_C});
    Models models(kModels);
    auto usb = std::make_unique<LinuxUsbPedal>(fs.system(), models.table, nullptr);
    Recorder rec(*usb);

    velloran::testing::FakeEngine engine;
    velloran::testing::MemorySettingsStore store;
    velloran::testing::RecordingPrompts prompts;
    velloran::testing::FakeSerialPort serial;
    velloran::testing::FakeGamePort gamePort;
    Player player(engine, store, prompts, serial, gamePort);
    player.setUsbPedal(usb.get());
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("Keyboard pedal (USB 1a86:e026)")));
    EXPECT_EQ(fs.log, QStringList({"open event12", "grab event12"}));
    fs.send(node, key(KEY_B, 1) + key(KEY_B, 0) + key(KEY_C, 1) + key(KEY_X, 1) + key(KEY_C, 0));
    pump();
    EXPECT_EQ(rec.log, QStringList({"attached", "down 1", "up 1", "down 3", "up 3"}));

    // Another port chosen: the keyboard gets its keys back.
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("Game Port")));
    EXPECT_EQ(fs.log.last(), QStringLiteral("ungrab event12"));
    ASSERT_TRUE(player.selectPedalDevice(QStringLiteral("USB 1a86:e026")));
    EXPECT_EQ(fs.log.last(), QStringLiteral("grab event12"));
    // ... and at exit.
    player.unload();
    EXPECT_EQ(fs.log.last(), QStringLiteral("ungrab event12"));
}

TEST(LinuxUsbPedalTest, RawHidReportsGiveEachPedalByByteAndMask) {
    FakeSystem fs;
    const QString node = fs.addHidraw(2, 0x0b33, 0x0030, "Raw");
    Models models(kModels);
    LinuxUsbPedal usb(fs.system(), models.table, nullptr);
    Recorder rec(usb);
    std::vector<std::pair<PedalSignal, bool>> seen;
    QObject::connect(&usb, &UsbPedal::signalChanged,
                     [&](const PedalSignal& s, bool down) { seen.emplace_back(s, down); });
    usb.setDeviceId(QStringLiteral("0b33:0030"));
    usb.setEnabled(true);
    ASSERT_TRUE(usb.isAttached());
    EXPECT_TRUE(usb.identity().rawHid);
    for (const char* report : {"\x01\x00", "\x03\x00", "\x02\x10", "\x00\x00"}) {
        fs.send(node, std::string(report, 2));
        pump(5);
    }
    EXPECT_EQ(rec.log, QStringList({"attached", "down 1", "down 2", "up 1", "up 2"}));
    // Bits no pedal uses are still reported (for learning).
    const std::pair<PedalSignal, bool> spare{{PedalSignal::Bit, 0, 1, 0x10}, true};
    EXPECT_NE(std::find(seen.begin(), seen.end(), spare), seen.end());
    fs.send(node, std::string("\x04\x00", 2));
    EXPECT_TRUE(usb.pedalHeld(3));
    // A shorter report lets go of what the bytes it leaves out held.
    for (const std::string& report : {std::string("\x00\x10", 2), std::string("\x00", 1)})
        fs.send(node, report), pump(5);
    EXPECT_EQ(seen.back(), std::make_pair(PedalSignal{PedalSignal::Bit, 0, 1, 0x10}, false));
}

/// The whole road: a pedal's recorded events drive the player's actions.
struct PlayerOverUsb {
    FakeSystem fs;
    Models models;
    velloran::testing::FakeEngine engine;
    velloran::testing::MemorySettingsStore store;
    velloran::testing::RecordingPrompts prompts;
    velloran::testing::FakeSerialPort serial;
    velloran::testing::FakeGamePort gamePort;
    LinuxUsbPedal usb{fs.system(), models.table, &fs.hotplug};
    Player player{engine, store, prompts, serial, gamePort};
    std::unique_ptr<PedalController> pedals;
    int passes = 0;
    std::function<void(int pass)> duringHold;

    explicit PlayerOverUsb(const QByteArray& modelText = kModels) : models(modelText) {
        player.setUsbPedal(&usb);
        pedals = std::make_unique<PedalController>(player);
        pedals->minimumPass = std::chrono::microseconds(0);
        pedals->delay = [](double) {
        };
        pedals->holdRefreshPeriod = std::chrono::milliseconds(0);
        pedals->holdRefresh = [this] {
            ++passes;
            if (duringHold)
                duringHold(passes);
            if (passes > 100000)
                std::abort(); // a hold that never ends
        };
        const QString path = QDir(QCoreApplication::applicationDirPath()).filePath("dict.wav");
        engine.setDurationFor(path, 3200); // a pass moves one second
        engine.setFileName(path);
        pump();
        player.state().pedalAction = {PedalForward, PedalPlay, PedalRewind};
        player.state().largeSkip = 5;
    }
};

TEST(UsbPedalDrivesThePlayer, EachShippedPedalHoldsForwardAndRewindAndTogglesPlay) {
    QFile shipped(QStringLiteral(VELLORAN_SOURCE_DIR "/install/pedal-models.txt"));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    const QByteArray models = shipped.readAll();
    using namespace std::string_literals;
    // Pedal 1, 2, 3 (and 4) alone down: evdev codes, or raw reports and then all up.
    const std::vector<std::tuple<QString, std::vector<int>, std::vector<std::string>, bool>> pedals{
        {"05f3:00ff", {BTN_0, BTN_1, BTN_2}, {}, false},
        {"07b4:0218", {}, {"\1\0\0"s, "\0\1\0"s, "\0\0\1"s, "\0\0\0"s}, false},
        {"07b4:025f", {}, {"\0\0\1\0"s, "\0\0\2\0"s, "\0\0\4\0"s, "\0\0\0\2"s, "\0\0\0\0"s}, false},
        {"0911:1844", {}, {"\4\0\0"s, "\2\0\0"s, "\1\0\0"s, "\0\0\0"s}, false},
        {"0911:091a", {}, {"\4\0\0"s, "\2\0\0"s, "\1\0\0"s, "\x08\0\0"s, "\0\0\0"s}, false},
        {"33a2:0218", {BTN_TRIGGER, BTN_THUMB2, BTN_THUMB}, {}, true},
        {"15d8:0024", {}, {"\1\0\0\0"s, "\2\0\0\0"s, "\4\0\0\0"s, "\0\0\0\0"s}, false}};
    for (const auto& [id, codes, reports, mouse] : pedals) {
        SCOPED_TRACE(id.toStdString());
        PlayerOverUsb rig(models);
        const auto vendor = id.left(4).toUShort(nullptr, 16),
                   product = id.mid(5).toUShort(nullptr, 16);
        const QString node = codes.empty()
                                 ? rig.fs.addHidraw(1, vendor, product, "Pedal")
                                 : rig.fs.addEvdev(1, vendor, product, "Pedal", codes, mouse);
        const auto press = [&](std::size_t n, bool down) {
            rig.fs.send(node, codes.empty() ? reports[down ? n - 1 : reports.size() - 1]
                                            : key(codes[n - 1], down));
            pump(5);
        };
        ASSERT_TRUE(rig.player.selectPedalDevice(QStringLiteral("USB ") + id));
        EXPECT_EQ(rig.usb.presentPorts().size(), 1) << "offered, a mouse too";
        EXPECT_EQ(rig.fs.log.filter("grab").size(), mouse ? 1 : 0);
        // The jump, five passes, the pass that read the release, and the final refresh.
        for (const auto& [n, moved] : {std::pair{1, 5 + 6}, std::pair{3, -5 - 6}}) {
            rig.engine.setCurrentPosition(100);
            rig.passes = 0;
            rig.duringHold = [&, n = n](int pass) {
                if (pass == 6)
                    press(n, false);
            };
            press(n, true);
            EXPECT_EQ(rig.engine.currentPosition(), 100 + moved) << "pedal " << n;
        }
        rig.duringHold = nullptr;
        press(2, true);
        press(2, false);
        EXPECT_EQ(rig.engine.currentState(), MediaEngine::Running);
        if (reports.size() == 5) { // a fourth pedal is read, and has no action
            press(4, true);
            EXPECT_TRUE(rig.usb.pedalHeld(4));
        }
    }
}

TEST(UsbPedalDrivesThePlayer, UnplugMidHoldEndsItAndTheReplugIsTaken) {
    PlayerOverUsb rig;
    const QString node = rig.fs.addEvdev(3, 0x05f3, 0x00ff, "VEC", {BTN_0, BTN_1, BTN_2});
    Recorder rec(rig.usb);
    ASSERT_TRUE(rig.player.selectPedalDevice(QStringLiteral("VEC USB Footpedal (USB 05f3:00ff)")));
    rig.engine.setCurrentPosition(100);
    rig.duringHold = [&](int pass) {
        if (pass == 3)
            rig.fs.unplug(QStringLiteral("input/event3"));
    };
    rig.fs.send(node, key(BTN_2, 1));
    pump();
    EXPECT_EQ(rig.engine.currentPosition(), 100 - 5 - 3);
    EXPECT_FALSE(rig.usb.isAttached());
    EXPECT_TRUE(rec.log.contains(QStringLiteral("lost")));

    // Plugged back in (a new node number): taken without a restart.
    const QString again = rig.fs.addEvdev(9, 0x05f3, 0x00ff, "VEC", {BTN_0, BTN_1, BTN_2});
    emit rig.fs.hotplug.changed();
    ASSERT_TRUE(rig.usb.isAttached());
    rig.duringHold = nullptr;
    rig.engine.setCurrentPosition(50);
    rig.fs.send(again, key(BTN_0, 1) + key(BTN_0, 0));
    pump();
    EXPECT_EQ(rig.engine.currentPosition(), 55);
}

TEST(UsbPedalDrivesThePlayer, AnAbsentPedalSaysNothingAndIsTakenWhenItAppears) {
    PlayerOverUsb rig;
    rig.fs.refused << rig.fs.dev() + QStringLiteral("/input/event4");
    rig.usb.retryInterval = std::chrono::milliseconds(5);
    ASSERT_TRUE(rig.player.selectPedalDevice(QStringLiteral("USB 05f3:00ff")));
    EXPECT_FALSE(rig.usb.isAttached());
    EXPECT_TRUE(rig.prompts.errors.isEmpty());
    EXPECT_TRUE(rig.usb.lastError().contains(QStringLiteral("not plugged in")));
    // It appears before udev has given the user access: retried until it has.
    rig.fs.addEvdev(4, 0x05f3, 0x00ff, "VEC", {BTN_0, BTN_1, BTN_2});
    emit rig.fs.hotplug.changed();
    EXPECT_FALSE(rig.usb.isAttached());
    EXPECT_TRUE(rig.usb.lastError().contains(QStringLiteral("Permission denied")));
    rig.fs.refused.clear();
    pump(50);
    EXPECT_TRUE(rig.usb.isAttached());
}

TEST(UsbPedalLearning, AnUnknownKeyboardPedalIsLearnedThenGrabbedAndRead) {
    FakeSystem fs;
    const QString node = fs.addEvdev(12, 0x3553, 0xb001, "FootSwitch", {KEY_A, KEY_B, KEY_C});
    Models models("");
    LinuxUsbPedal usb(fs.system(), models.table, nullptr);
    Recorder rec(usb);
    PedalLearning learning(usb, models.table);
    usb.setDeviceId(QStringLiteral("3553:b001"));
    usb.setEnabled(true);
    EXPECT_TRUE(fs.log.filter("grab").isEmpty()); // not known as a keyboard pedal yet
    ASSERT_TRUE(learning.start());
    for (int code : {KEY_A, KEY_B, KEY_C}) {
        fs.send(node, key(code, 1) + key(code, 0));
        pump(5);
    }
    ASSERT_EQ(learning.step(), PedalLearning::Step::Done) << learning.text().toStdString();
    EXPECT_EQ(modelLine(learning.model()),
              QStringLiteral("3553:b001 keys KEY_A KEY_B KEY_C FootSwitch"));

    // Re-opened (the test dialog does this), the learned model applies.
    usb.setEnabled(false);
    usb.setEnabled(true);
    EXPECT_EQ(fs.log.last(), QStringLiteral("grab event12"));
    fs.send(node, key(KEY_B, 1));
    pump();
    EXPECT_EQ(rec.log.last(), QStringLiteral("down 2"));
}

TEST(UsbPedalLearning, ARawHidPedalIsLearnedFromItsReportBits) {
    FakeSystem fs;
    const QString node = fs.addHidraw(0, 0x0b33, 0x0031, "Raw");
    Models models("");
    LinuxUsbPedal usb(fs.system(), models.table, nullptr);
    PedalLearning learning(usb, models.table);
    usb.setDeviceId(QStringLiteral("0b33:0031"));
    usb.setEnabled(true);
    ASSERT_TRUE(learning.start());
    for (char mask : {'\x04', '\x02', '\x01'}) {
        fs.send(node, std::string{'\x00', mask});
        pump(5);
        fs.send(node, std::string(2, '\0'));
        pump(5);
    }
    ASSERT_EQ(learning.step(), PedalLearning::Step::Done) << learning.text().toStdString();
    EXPECT_EQ(modelLine(learning.model()), QStringLiteral("0b33:0031 hid 1:04 1:02 1:01 Raw"));
}

} // namespace
