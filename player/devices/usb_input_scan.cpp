#include "usb_input_scan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace velloran::devices {

namespace {

constexpr int kBusUsb = 0x03;

QString readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

std::optional<uint> hexValue(const QString& text) {
    bool ok = false;
    const uint value = text.toUInt(&ok, 16);
    return ok ? std::optional<uint>(value) : std::nullopt;
}

UsbInputDevice& deviceFor(std::vector<UsbInputDevice>& devices, quint16 vendor, quint16 product,
                          const QString& serial, const QString& name) {
    const auto it = std::find_if(devices.begin(), devices.end(), [&](const UsbInputDevice& d) {
        return d.vendor == vendor && d.product == product && d.serial == serial;
    });
    if (it != devices.end())
        return *it;
    devices.push_back({vendor, product, serial, name, {}});
    return devices.back();
}

void scanEvdev(const QString& sysRoot, const QString& devRoot,
               std::vector<UsbInputDevice>& devices) {
    const QDir classDir(sysRoot + QStringLiteral("/class/input"));
    for (const QString& node :
         sortedEventNodes(classDir.entryList(QDir::AllEntries | QDir::System))) {
        const QString dev = classDir.filePath(node) + QStringLiteral("/device/");
        const auto bus = hexValue(readText(dev + QStringLiteral("id/bustype")));
        const auto vendor = hexValue(readText(dev + QStringLiteral("id/vendor")));
        const auto product = hexValue(readText(dev + QStringLiteral("id/product")));
        if (!bus || *bus != kBusUsb || !vendor || !product)
            continue;
        UsbInputNode entry;
        entry.path = devRoot + QStringLiteral("/input/") + node;
        entry.keys = capabilityBits(readText(dev + QStringLiteral("capabilities/key")));
        const KeyBits rel = capabilityBits(readText(dev + QStringLiteral("capabilities/rel")));
        entry.pointer = rel.test(REL_X) || rel.test(REL_Y);
        deviceFor(devices, static_cast<quint16>(*vendor), static_cast<quint16>(*product),
                  readText(dev + QStringLiteral("uniq")), readText(dev + QStringLiteral("name")))
            .nodes.push_back(entry);
    }
}

void scanHidraw(const QString& sysRoot, const QString& devRoot,
                std::vector<UsbInputDevice>& devices) {
    const QDir classDir(sysRoot + QStringLiteral("/class/hidraw"));
    QStringList nodes =
        classDir.entryList({QStringLiteral("hidraw*")}, QDir::AllEntries | QDir::System);
    std::sort(nodes.begin(), nodes.end(), [](const QString& a, const QString& b) {
        return a.mid(6).toInt() < b.mid(6).toInt();
    });
    for (const QString& node : nodes) {
        // HID_ID=0003:000005F3:000000FF, HID_NAME=..., HID_UNIQ=...
        QString id, name, uniq;
        const QString uevent = readText(classDir.filePath(node) + QStringLiteral("/device/uevent"));
        for (const QString& line : uevent.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("HID_ID=")))
                id = line.mid(7);
            else if (line.startsWith(QLatin1String("HID_NAME=")))
                name = line.mid(9);
            else if (line.startsWith(QLatin1String("HID_UNIQ=")))
                uniq = line.mid(9);
        }
        const QStringList parts = id.split(QLatin1Char(':'));
        if (parts.size() != 3)
            continue;
        const auto bus = hexValue(parts[0]);
        const auto vendor = hexValue(parts[1]);
        const auto product = hexValue(parts[2]);
        if (!bus || *bus != kBusUsb || !vendor || !product || *vendor > 0xffff || *product > 0xffff)
            continue;
        UsbInputNode entry;
        entry.path = devRoot + QLatin1Char('/') + node;
        entry.hidraw = true;
        deviceFor(devices, static_cast<quint16>(*vendor), static_cast<quint16>(*product), uniq,
                  name)
            .nodes.push_back(entry);
    }
}

} // namespace

QString UsbInputDevice::id() const {
    QString text = QStringLiteral("%1:%2")
                       .arg(vendor, 4, 16, QLatin1Char('0'))
                       .arg(product, 4, 16, QLatin1Char('0'));
    // A serial with blanks could not be told from the id: such a device is
    // known by vendor and product alone.
    if (!serial.isEmpty() && !serial.contains(QLatin1Char(' ')) &&
        !serial.contains(QLatin1Char(')')))
        text += QLatin1Char(' ') + serial;
    return text;
}

bool UsbInputDevice::matches(const QString& wanted) const {
    if (wanted.startsWith(QLatin1Char('/'))) {
        const QString target = QFileInfo(wanted).canonicalFilePath();
        return std::any_of(nodes.begin(), nodes.end(), [&](const UsbInputNode& n) {
            return n.path == wanted ||
                   (!target.isEmpty() && QFileInfo(n.path).canonicalFilePath() == target);
        });
    }
    const QString mine = id();
    const QString vidPid = mine.left(9);
    return wanted.compare(mine, Qt::CaseInsensitive) == 0 ||
           wanted.compare(vidPid, Qt::CaseInsensitive) == 0;
}

bool UsbInputDevice::hasEvdev() const {
    return std::any_of(nodes.begin(), nodes.end(), [](const UsbInputNode& n) { return !n.hidraw; });
}

bool UsbInputDevice::hasHidraw() const {
    return std::any_of(nodes.begin(), nodes.end(), [](const UsbInputNode& n) { return n.hidraw; });
}

bool isButtonPedal(const KeyBits& keys) {
    for (int key = KEY_A; key <= KEY_Z; ++key)
        if (keys.test(static_cast<std::size_t>(key)))
            return false;
    return !pedalButtons(keys).empty();
}

std::vector<int> pedalButtons(const KeyBits& keys) {
    std::vector<int> buttons;
    for (int key = BTN_MISC; key <= BTN_9; ++key)
        if (keys.test(static_cast<std::size_t>(key)))
            buttons.push_back(key);
    for (int key = BTN_JOYSTICK; key <= BTN_DEAD; ++key)
        if (keys.test(static_cast<std::size_t>(key)))
            buttons.push_back(key);
    return buttons;
}

std::vector<UsbInputDevice> scanUsbInputDevices(const QString& sysRoot, const QString& devRoot) {
    std::vector<UsbInputDevice> devices;
    scanEvdev(sysRoot, devRoot, devices);
    scanHidraw(sysRoot, devRoot, devices);
    return devices;
}

KeyBits capabilityBits(const QString& text, int wordBits) {
    KeyBits bits;
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < words.size(); ++i) {
        bool ok = false;
        const qulonglong word = words[words.size() - 1 - i].toULongLong(&ok, 16);
        if (!ok)
            return {};
        for (int bit = 0; bit < wordBits; ++bit) {
            const std::size_t index = static_cast<std::size_t>(i * wordBits + bit);
            if (index < bits.size() && (word >> bit) & 1u)
                bits.set(index);
        }
    }
    return bits;
}

} // namespace velloran::devices
