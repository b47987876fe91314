#pragma once

#include "core/pedal_devices.h"

#include <QString>

#include <memory>

namespace velloran {

class PedalModelTable;
namespace devices {
class HotplugSource;
}

/// Makes the Linux pedal devices: serial pedals on ttys (devices::TermiosSerialPort),
/// game-port pedals on evdev joysticks (devices::EvdevGamePort) and USB
/// pedals (devices::LinuxUsbPedal).
class LinuxPedalDeviceFactory final : public PedalDeviceFactory {
public:
    /// @p gamePortDevice is the joystick the game-port pedal opens (the
    /// "GamePortDevice" setting); empty picks the first joystick found.
    /// @p models describes the USB pedals and must outlive the devices.
    LinuxPedalDeviceFactory(QString gamePortDevice, const PedalModelTable& models);
    ~LinuxPedalDeviceFactory() override;

    std::unique_ptr<SerialPedalPort> makeSerialPort() override;
    std::unique_ptr<GamePortPedal> makeGamePort() override;
    std::unique_ptr<UsbPedal> makeUsbPedal() override;

private:
    QString gamePortDevice_;
    const PedalModelTable& models_;
    std::unique_ptr<devices::HotplugSource> hotplug_;
};

} // namespace velloran
