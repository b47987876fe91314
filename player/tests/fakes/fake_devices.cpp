#include "fake_devices.h"

namespace velloran::testing {

QString FakeSerialPort::devicePath() const {
    if (!devicePath_.isEmpty())
        return devicePath_;
    return QStringLiteral("/dev/ttyS%1").arg(commPort_ - 1);
}

bool FakeSerialPort::setPortOpen(bool open, QString* error) {
    calls << (open ? QStringLiteral("open:") + devicePath() : QStringLiteral("close"));
    if (open && failingDevices.contains(devicePath())) {
        if (error)
            *error = devicePath() + QStringLiteral(": No such file or directory");
        open_ = false; // the port it was on has been let go of, as by the real port
        return false;
    }
    open_ = open;
    return true;
}

bool FakeSerialPort::read(const bool& line) const {
    ++lineReads;
    if (onLineRead)
        onLineRead();
    return open_ && line;
}

void FakeSerialPort::setLines(bool cdOn, bool dsrOn, bool ctsOn) {
    cd = cdOn, dsr = dsrOn, cts = ctsOn;
    if (open_)
        emit commEvent();
}

void FakeGamePort::setEnabled(bool enabled) {
    calls << (enabled ? QStringLiteral("enable") : QStringLiteral("disable"));
    enabled_ = enabled;
}

bool FakeGamePort::buttonHeld(int code) const {
    ++heldReads;
    if (onHeldRead)
        onHeldRead(code);
    return code >= 0 && code < 8 && held[code];
}

void FakeGamePort::press(int code) {
    if (code >= 0 && code < 8)
        held[code] = true;
    if (enabled_)
        emit buttonDown(code);
}

void FakeGamePort::release(int code) {
    if (code >= 0 && code < 8)
        held[code] = false;
    if (enabled_)
        emit buttonUp(code);
}

std::unique_ptr<SerialPedalPort> FakeDeviceFactory::makeSerialPort() {
    auto port = std::make_unique<FakeSerialPort>();
    port->failingDevices = failingDevices;
    lastSerial = port.get();
    return port;
}

std::unique_ptr<GamePortPedal> FakeDeviceFactory::makeGamePort() {
    auto port = std::make_unique<FakeGamePort>();
    lastGamePort = port.get();
    return port;
}

std::unique_ptr<UsbPedal> FakeDeviceFactory::makeUsbPedal() {
    auto pedal = std::make_unique<FakeUsbPedal>();
    lastUsb = pedal.get();
    return pedal;
}

void FakeUsbPedal::setEnabled(bool enabled) {
    enabled_ = enabled;
    calls << (enabled ? QStringLiteral("enable") : QStringLiteral("disable"));
}

bool FakeUsbPedal::pedalHeld(int pedal) const {
    if (onHeldRead)
        onHeldRead(pedal);
    return isAttached() && pedal >= 1 && pedal <= 3 && held[pedal];
}

void FakeUsbPedal::press(int pedal) {
    held[pedal] = true;
    if (isAttached())
        emit pedalDown(pedal);
}

void FakeUsbPedal::release(int pedal) {
    held[pedal] = false;
    if (isAttached())
        emit pedalUp(pedal);
}

void FakeUsbPedal::unplug() {
    present = false;
    for (bool& h : held)
        h = false;
    emit deviceLost();
}

void FakeUsbPedal::sendSignal(const PedalSignal& signal, bool down) {
    if (isAttached())
        emit signalChanged(signal, down);
}

} // namespace velloran::testing
