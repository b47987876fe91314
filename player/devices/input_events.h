#pragma once

#include <QString>
#include <QStringList>

#include <linux/input.h>

#include <bitset>
#include <cstddef>
#include <vector>

namespace velloran::devices {

/// A key or button going down or up, by its evdev code.
struct KeyChange {
    int key = 0;
    bool down = false;
    friend bool operator==(const KeyChange&, const KeyChange&) = default;
};

/// Turns the byte stream of an evdev device into key changes. Records may be
/// split across reads. Autorepeat (value 2) is not a change. After the kernel
/// reports a buffer overrun (SYN_DROPPED) the events up to the next
/// SYN_REPORT are incomplete and dropped, and the caller is asked to
/// resynchronise from the device's live state.
class InputEventDecoder {
public:
    struct Result {
        std::vector<KeyChange> changes;
        bool resync = false;
    };
    Result feed(const char* data, std::size_t size);
    void reset();

private:
    std::vector<char> partial_;
    bool dropping_ = false;
};

/// The key capabilities or key states of a device, as EVIOCGBIT(EV_KEY) and
/// EVIOCGKEY fill them (bit n = key code n).
using KeyBits = std::bitset<KEY_CNT>;
KeyBits keyBitsFromBytes(const unsigned char* bytes, std::size_t size);

/// Whether a device with these key capabilities is a joystick or gamepad:
/// it has a button of the joystick range (BTN_TRIGGER..BTN_DEAD) or the
/// gamepad range (BTN_SOUTH..BTN_THUMBR), and is not a touch device
/// (tablets report BTN_TOUCH and borrow button codes).
bool hasJoystickButtons(const KeyBits& capabilities);

/// The 1-based button numbers of a device: its buttons of the joystick range,
/// then of the gamepad range, then BTN_TRIGGER_HAPPY1..40, in code order,
/// numbered from 1. A typical pedal's BTN_TRIGGER, BTN_THUMB, BTN_THUMB2 and
/// BTN_TOP are buttons 1, 2, 3 and 4, so its pedals (buttons 2, 4, 3) are
/// BTN_THUMB, BTN_TOP and BTN_THUMB2. A gamepad's BTN_SOUTH, BTN_EAST, ...
/// are numbered the same way in the order the device has them.
class ButtonMap {
public:
    /// The numbering of a device with these capabilities.
    static ButtonMap fromCapabilities(const KeyBits& capabilities);
    /// The numbering when capabilities cannot be asked (a non-evdev stream):
    /// every code of the ranges counts, so BTN_TRIGGER is 1, BTN_THUMB 2, ...
    static ButtonMap standard();

    /// The button number of an evdev code, 0 when it is not one of the buttons.
    int buttonNumber(int key) const;
    /// The evdev code of a button number, -1 when the device has no such button.
    int keyCode(int button) const;
    int count() const { return static_cast<int>(keys_.size()); }

private:
    std::vector<int> keys_; // keys_[n - 1] is button n
};

/// Event node names ("event12") in device order: by number, not by text.
QStringList sortedEventNodes(QStringList names);

/// The first joystick among the evdev nodes of @p directory (in
/// sortedEventNodes() order). On failure, path is empty and error says why,
/// naming a node that could not be opened (usually a permission problem).
struct JoystickSearch {
    QString path;
    QString error;
};
JoystickSearch findJoystickDevice(const QString& directory = QStringLiteral("/dev/input"));

/// The key capabilities of an evdev descriptor; false when it is not one.
bool readKeyCapabilities(int fd, KeyBits& capabilities);
/// The keys held down now on an evdev descriptor; false when it cannot say.
bool readKeyStates(int fd, KeyBits& states);

} // namespace velloran::devices
