// The USB pedal's input decoders on arbitrary device output, through the pedal itself
// over a scratch sysfs whose nodes are pipes: hidraw reports (one a packet) and evdev
// records (a byte stream cut anywhere). Properties: only pedals 1..3 are pressed and
// released, a press and a release alternate per pedal, a hidraw pedal is held exactly
// while its bit is set in the last report (bytes a shorter report leaves out count as
// released), and once the device reports every pedal released nothing stays held.
#include "devices/linux_usb_pedal.h"
#include "fuzz_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

using namespace velloran;
using namespace velloran::devices;

namespace {

// Pedals at the start, in a later byte and in the top bit of a third, so that reports
// of every length matter.
constexpr int kHidByte[3] = {0, 1, 3};
constexpr int kHidMask[3] = {0x01, 0x02, 0x80};
constexpr int kButtons[3] = {BTN_0, BTN_1, BTN_2};

void writeText(const QString& path, const QByteArray& text) {
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text + '\n') != text.size() + 1)
        fuzz::fail("writing the scratch sysfs");
}

struct Rig {
    QString root = QString::fromStdString(fuzz::scratchFolder()) + QStringLiteral("/usb");
    QString models = root + QStringLiteral("/pedal-models.txt");
    std::unique_ptr<PedalModelTable> table;
    UniqueFd writer; // the device's end of the open node

    Rig() {
        const QString sys = root + QStringLiteral("/sys");
        const QString event = sys + QStringLiteral("/class/input/event7/device/");
        writeText(event + QStringLiteral("id/bustype"), "0003");
        writeText(event + QStringLiteral("id/vendor"), "05f3");
        writeText(event + QStringLiteral("id/product"), "00ff");
        writeText(event + QStringLiteral("name"), "Button pedal");
        writeText(event + QStringLiteral("uniq"), "");
        writeText(event + QStringLiteral("capabilities/key"), "7 0 0 0 0"); // BTN_0..BTN_2
        writeText(event + QStringLiteral("capabilities/rel"), "0");
        writeText(sys + QStringLiteral("/class/hidraw/hidraw3/device/uevent"),
                  "HID_ID=0003:00000B33:00000030\nHID_NAME=Raw pedal\nHID_UNIQ=");
        writeText(models, "05f3:00ff buttons BTN_0 BTN_1 BTN_2 Button pedal\n"
                          "0b33:0030 hid 0:01 1:02 3:80 Raw pedal");
        table = std::make_unique<PedalModelTable>(QStringList{models}, models);
        table->load();
        if (table->models().size() != 2)
            fuzz::fail("the rig's models");
    }

    LinuxUsbPedal::System system() {
        LinuxUsbPedal::System s;
        s.sysRoot = root + QStringLiteral("/sys");
        s.devRoot = root + QStringLiteral("/dev");
        s.open = [this](const QString& path, QString*) {
            int fds[2];
            // A hidraw node gives one report a read: a packet pipe does the same.
            const int packets = path.contains(QLatin1String("hidraw")) ? O_DIRECT : 0;
            if (::pipe2(fds, O_CLOEXEC | packets) != 0)
                fuzz::fail("pipe");
            writer.reset(fds[1]);
            return UniqueFd(fds[0]);
        };
        s.grab = [](int, bool) {
            return true;
        };
        return s;
    }
};

struct Watch {
    bool held[3] = {};
    void change(int pedal, bool down) {
        if (pedal < 1 || pedal > 3)
            fuzz::fail("a pedal other than 1..3");
        if (held[pedal - 1] == down)
            fuzz::fail("two presses or two releases of a pedal in a row");
        held[pedal - 1] = down;
    }
};

void send(Rig& rig, const char* bytes, std::size_t size) {
    if (::write(rig.writer.get(), bytes, size) != ssize_t(size))
        fuzz::fail("writing the device's end");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static int argc = 1;
    static char name[] = "fuzz_usb_pedal";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static Rig rig;
    if (size == 0)
        return 0;
    const bool hid = data[0] & 1;
    ++data, --size;

    LinuxUsbPedal usb(rig.system(), *rig.table, nullptr);
    Watch watch;
    QObject::connect(&usb, &UsbPedal::pedalDown, [&](int p) { watch.change(p, true); });
    QObject::connect(&usb, &UsbPedal::pedalUp, [&](int p) { watch.change(p, false); });
    usb.setDeviceId(hid ? QStringLiteral("0b33:0030") : QStringLiteral("05f3:00ff"));
    usb.setEnabled(true);
    if (!usb.isAttached())
        fuzz::fail("the pedal did not attach");

    const auto settle = [&] {
        for (int p = 1; p <= 3; ++p)
            usb.pedalHeld(p); // reads what the device sent
        QCoreApplication::processEvents();
        for (int p = 1; p <= 3; ++p)
            if (usb.pedalHeld(p) != watch.held[p - 1])
                fuzz::fail("held state and press events disagree");
    };

    // Pieces: a length byte, then that many bytes (a report, or a cut of the stream).
    QByteArray last;
    std::size_t streamed = 0;
    for (std::size_t at = 0; at < size;) {
        const std::size_t wanted = data[at++] % 64 + 1;
        const std::size_t length = std::min(wanted, size - at);
        if (length == 0)
            break;
        const char* piece = reinterpret_cast<const char*>(data + at);
        at += length;
        send(rig, piece, length);
        streamed += length;
        settle();
        if (hid) {
            last = QByteArray(piece, qsizetype(length));
            for (int p = 0; p < 3; ++p) {
                const bool set = kHidByte[p] < last.size() &&
                                 (static_cast<unsigned char>(last[kHidByte[p]]) & kHidMask[p]);
                if (usb.pedalHeld(p + 1) != set)
                    fuzz::fail("a HID pedal held otherwise than its bit in the last report");
            }
        }
    }

    // The device lets go of everything.
    if (hid) {
        const char zeros[8] = {};
        send(rig, zeros, sizeof zeros);
    } else {
        // Whole records from here on (a device never cuts one), a report ending any loss,
        // then every pedal up.
        const std::size_t pad =
            (sizeof(input_event) - streamed % sizeof(input_event)) % sizeof(input_event);
        const char zeros[sizeof(input_event)] = {};
        send(rig, zeros, pad);
        input_event ev{};
        ev.type = EV_SYN;
        ev.code = SYN_REPORT;
        send(rig, reinterpret_cast<const char*>(&ev), sizeof ev);
        for (int button : kButtons) {
            ev.type = EV_KEY;
            ev.code = static_cast<__u16>(button);
            ev.value = 0;
            send(rig, reinterpret_cast<const char*>(&ev), sizeof ev);
        }
    }
    settle();
    for (int p = 1; p <= 3; ++p)
        if (usb.pedalHeld(p) || watch.held[p - 1])
            fuzz::fail("a pedal stays held after the device let go of it");
    usb.setEnabled(false);
    // The readers it let go of are deleted later: now, before the next run.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
