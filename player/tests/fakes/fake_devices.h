#pragma once

#include "core/pedal_devices.h"

#include <QStringList>

#include <functional>

namespace velloran::testing {

/// A serial pedal whose lines the test sets. onLineRead runs on every input
/// read, so a test can release a pedal in the middle of a hold.
class FakeSerialPort final : public SerialPedalPort {
    Q_OBJECT
public:
    using SerialPedalPort::SerialPedalPort;

    void setCommPort(int number) override { commPort_ = number, devicePath_.clear(); }
    int commPort() const override { return commPort_; }
    void setDevicePath(const QString& path) override { devicePath_ = path; }
    QString devicePath() const override;
    bool setPortOpen(bool open, QString* error = nullptr) override;
    bool portOpen() const override { return open_; }
    bool cdHolding() const override { return read(cd); }
    bool dsrHolding() const override { return read(dsr); }
    bool ctsHolding() const override { return read(cts); }

    // ---- test controls ----
    bool cd = false, dsr = false, cts = false;
    /// Device paths that fail to open, with the error text given.
    QStringList failingDevices;
    std::function<void()> onLineRead;
    mutable int lineReads = 0;
    QStringList calls;
    /// Sets the lines and raises the communication event synchronously.
    void setLines(bool cdOn, bool dsrOn, bool ctsOn);

private:
    bool read(const bool& line) const;
    int commPort_ = 1;
    QString devicePath_;
    bool open_ = false;
};

/// A joystick pedal whose buttons the test presses.
class FakeGamePort final : public GamePortPedal {
    Q_OBJECT
public:
    using GamePortPedal::GamePortPedal;

    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }
    bool buttonHeld(int code) const override;

    // ---- test controls ----
    bool held[8] = {};
    std::function<void(int code)> onHeldRead;
    mutable int heldReads = 0;
    QStringList calls;
    /// Holds a button and raises buttonDown (when enabled).
    void press(int code);
    /// Lets go of a button and raises buttonUp (when enabled).
    void release(int code);

private:
    bool enabled_ = false;
};

/// A USB pedal whose pedals the test presses; present tells whether it is
/// plugged in.
class FakeUsbPedal final : public UsbPedal {
    Q_OBJECT
public:
    using UsbPedal::UsbPedal;

    void setDeviceId(const QString& id) override { id_ = id, calls << QStringLiteral("id ") + id; }
    QString deviceId() const override { return id_; }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }
    bool isAttached() const override { return enabled_ && present; }
    QString lastError() const override { return present ? QString() : QStringLiteral("absent"); }
    bool pedalHeld(int pedal) const override;
    QStringList presentPorts() const override { return ports; }
    Identity identity() const override { return id; }

    // ---- test controls ----
    bool present = true;
    bool held[5] = {}; // by pedal, 1..4
    Identity id{0x05f3, 0x00ff, false, QStringLiteral("Test Pedal")};
    QStringList ports;
    QStringList calls;
    std::function<void(int pedal)> onHeldRead;
    /// Holds a pedal and raises pedalDown (when attached).
    void press(int pedal);
    void release(int pedal);
    /// Pulls the plug: every pedal up, deviceLost.
    void unplug();
    /// Raises signalChanged (learning).
    void sendSignal(const PedalSignal& signal, bool down);

private:
    QString id_;
    bool enabled_ = false;
};

/// Hands out fakes and keeps pointers to the last ones made.
class FakeDeviceFactory final : public PedalDeviceFactory {
public:
    std::unique_ptr<SerialPedalPort> makeSerialPort() override;
    std::unique_ptr<GamePortPedal> makeGamePort() override;
    std::unique_ptr<UsbPedal> makeUsbPedal() override;
    FakeSerialPort* lastSerial = nullptr;
    FakeGamePort* lastGamePort = nullptr;
    FakeUsbPedal* lastUsb = nullptr;
    QStringList failingDevices;
};

} // namespace velloran::testing
