#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace velloran {

/// A foot pedal on a serial port: each pedal switches one modem-status input
/// (pedal 1 CD, pedal 2 DSR, pedal 3 CTS).
class SerialPedalPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialPedalPort() override = default;

    /// Selects COMn, which is /dev/ttyS(n-1) here. Takes effect at the next open.
    virtual void setCommPort(int number) = 0;
    virtual int commPort() const = 0;
    /// Selects a device by path (a USB serial adapter such as /dev/ttyUSB0);
    /// takes precedence over setCommPort() until setCommPort() is called again.
    virtual void setDevicePath(const QString& path) = 0;
    /// The device the next open uses.
    virtual QString devicePath() const = 0;

    /// Opens (true) or closes (false) the port. Opening an open port keeps it
    /// when the selected device is the same, and moves over to the newly
    /// selected device otherwise. Returns false and fills
    /// @p error with a user-readable reason when the port cannot be opened.
    /// Closing never fails and never blocks.
    virtual bool setPortOpen(bool open, QString* error = nullptr) = 0;
    virtual bool portOpen() const = 0;

    /// Live state of the inputs at the moment of the call.
    virtual bool cdHolding() const = 0;
    virtual bool dsrHolding() const = 0;
    virtual bool ctsHolding() const = 0;

signals:
    /// One of the inputs changed (delivered on the UI thread). Handlers re-read
    /// all three inputs; a spurious event does no harm.
    void commEvent();
    /// The device went away (an unplugged adapter); the port is closed.
    void deviceLost();
};

/// A foot pedal that presents itself as a joystick: the pedals are buttons
/// 2, 4 and 3 (pedal 1, 2, 3).
class GamePortPedal : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~GamePortPedal() override = default;

    /// While disabled no events are raised.
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;

    /// Live held state of a button (1-based code) at the moment of the call.
    virtual bool buttonHeld(int code) const = 0;

signals:
    void buttonDown(int code);
    void buttonUp(int code);
    /// The device went away; every button reads as released from now on.
    void deviceLost();
};

/// The joystick button of pedal 1..3 (0 for any other pedal).
constexpr int buttonOfPedal(int pedal) {
    return pedal == 1 ? 2 : pedal == 2 ? 4 : pedal == 3 ? 3 : 0;
}
/// The pedal (1..3) of a joystick button code, 0 when the button is no pedal.
constexpr int pedalOfButton(int code) {
    return code == 2 ? 1 : code == 4 ? 2 : code == 3 ? 3 : 0;
}

/// What a USB pedal reports before any model gives it meaning: an evdev key
/// or button code, or one bit of a raw HID report. Learning records these.
struct PedalSignal {
    enum Kind { None, Code, Bit } kind = None;
    int code = 0; ///< Code: the evdev key or button code
    int byte = 0; ///< Bit: the report byte...
    int mask = 0; ///< ...and the bit within it
    friend bool operator==(const PedalSignal&, const PedalSignal&) = default;
};

/// A USB foot pedal: an evdev button or keyboard pedal, or a raw HID pedal.
/// Pedals are numbered 1 (left), 2 (middle), 3 (right), as the game port's;
/// a model's fourth pedal is 4, which no action is bound to.
class UsbPedal : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~UsbPedal() override = default;

    /// The pedal to use, as the port text names it ("USB 05f3:00ff", with a
    /// serial number after a blank, or an input device path). Takes effect
    /// at the next enable.
    virtual void setDeviceId(const QString& id) = 0;
    virtual QString deviceId() const = 0;

    /// Enabled: the pedal is taken now when present, else as soon as it is
    /// plugged in; a keyboard pedal is grabbed so its keys reach only the
    /// player. Disabled: the device is let go. While disabled no events are raised.
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    /// Whether the pedal is open now.
    virtual bool isAttached() const = 0;
    /// Why the last attempt found or opened no device (empty when attached).
    virtual QString lastError() const = 0;

    /// Live held state of pedal 1..4 at the moment of the call.
    virtual bool pedalHeld(int pedal) const = 0;

    /// Port texts of the USB pedals present now, for the Port list.
    virtual QStringList presentPorts() const = 0;

    /// The attached device as learning records it.
    struct Identity {
        quint16 vendor = 0;
        quint16 product = 0;
        bool rawHid = false; ///< read as HID reports, not evdev events
        QString name;
    };
    virtual Identity identity() const = 0;

signals:
    void pedalDown(int pedal);
    void pedalUp(int pedal);
    /// Every change the device reports, known to its model or not.
    void signalChanged(const velloran::PedalSignal& signal, bool down);
    void attached();
    /// The device went away; every pedal reads as released from now on.
    void deviceLost();
};

/// Makes the device pairs: the main window holds one pair, the pedal test
/// dialog its own.
class PedalDeviceFactory {
public:
    virtual ~PedalDeviceFactory() = default;
    virtual std::unique_ptr<SerialPedalPort> makeSerialPort() = 0;
    virtual std::unique_ptr<GamePortPedal> makeGamePort() = 0;
    virtual std::unique_ptr<UsbPedal> makeUsbPedal() = 0;
};

} // namespace velloran
