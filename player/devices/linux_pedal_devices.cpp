#include "linux_pedal_devices.h"

#include "evdev_game_port.h"
#include "hotplug_watch.h"
#include "linux_usb_pedal.h"
#include "termios_serial_port.h"

namespace velloran {

LinuxPedalDeviceFactory::LinuxPedalDeviceFactory(QString gamePortDevice,
                                                 const PedalModelTable& models)
    : gamePortDevice_(std::move(gamePortDevice)), models_(models),
      hotplug_(std::make_unique<devices::DeviceFolderWatch>()) {}

LinuxPedalDeviceFactory::~LinuxPedalDeviceFactory() = default;

std::unique_ptr<SerialPedalPort> LinuxPedalDeviceFactory::makeSerialPort() {
    return std::make_unique<devices::TermiosSerialPort>();
}

std::unique_ptr<GamePortPedal> LinuxPedalDeviceFactory::makeGamePort() {
    return std::make_unique<devices::EvdevGamePort>(gamePortDevice_);
}

std::unique_ptr<UsbPedal> LinuxPedalDeviceFactory::makeUsbPedal() {
    return std::make_unique<devices::LinuxUsbPedal>(devices::LinuxUsbPedal::realSystem(), models_,
                                                    hotplug_.get());
}

} // namespace velloran
