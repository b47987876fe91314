#pragma once

#include "input_events.h"

#include <QString>

#include <vector>

namespace velloran::devices {

/// One device node of a USB input device: an evdev node with its key
/// capabilities, or a hidraw node.
struct UsbInputNode {
    QString path; ///< /dev/input/event5, /dev/hidraw2
    bool hidraw = false;
    KeyBits keys;         ///< evdev: the keys and buttons it has
    bool pointer = false; ///< evdev: it moves a pointer (a mouse)
};

/// A USB device as the kernel's input and hidraw classes show it; its nodes
/// are gathered by vendor, product and serial number.
struct UsbInputDevice {
    quint16 vendor = 0;
    quint16 product = 0;
    QString serial;
    QString name;
    std::vector<UsbInputNode> nodes;

    /// "05f3:00ff", with the serial number after a blank when it has one.
    QString id() const;
    /// Whether the port text's id (from PortChoice::usbId) names this device:
    /// vendor and product, the serial number too when the id gives one, or
    /// the path of one of its nodes (a /dev/input/by-id link, say).
    bool matches(const QString& id) const;
    bool hasEvdev() const;
    bool hasHidraw() const;
};

/// Whether an evdev node with these capabilities is a button pedal: buttons
/// of the BTN_MISC or joystick ranges and no keyboard letters.
bool isButtonPedal(const KeyBits& keys);
/// Its buttons of the BTN_MISC and joystick ranges, in code order.
std::vector<int> pedalButtons(const KeyBits& keys);

/// The USB input devices present, from @p sysRoot's class/input and
/// class/hidraw; the nodes are named under @p devRoot. Unreadable entries
/// are skipped.
std::vector<UsbInputDevice> scanUsbInputDevices(const QString& sysRoot = QStringLiteral("/sys"),
                                                const QString& devRoot = QStringLiteral("/dev"));

/// A sysfs capability bitmap ("1f 0 0 ffff0000"): words of the machine's
/// long, the highest first.
KeyBits capabilityBits(const QString& text, int wordBits = sizeof(long) * 8);

} // namespace velloran::devices
