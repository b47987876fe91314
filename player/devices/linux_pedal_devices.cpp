#include "linux_pedal_devices.h"

#include "evdev_game_port.h"
#include "termios_serial_port.h"

namespace velloran {

LinuxPedalDeviceFactory::LinuxPedalDeviceFactory(QString gamePortDevice)
    : gamePortDevice_(std::move(gamePortDevice)) {}

std::unique_ptr<SerialPedalPort> LinuxPedalDeviceFactory::makeSerialPort() {
    return std::make_unique<devices::TermiosSerialPort>();
}

std::unique_ptr<GamePortPedal> LinuxPedalDeviceFactory::makeGamePort() {
    return std::make_unique<devices::EvdevGamePort>(gamePortDevice_);
}

} // namespace velloran
