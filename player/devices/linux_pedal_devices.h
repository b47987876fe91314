#pragma once

#include "core/pedal_devices.h"

#include <QString>

namespace velloran {

/// Makes the Linux pedal devices: serial pedals on ttys (devices::TermiosSerialPort)
/// and game-port pedals on evdev joysticks (devices::EvdevGamePort).
class LinuxPedalDeviceFactory final : public PedalDeviceFactory {
public:
    /// @p gamePortDevice is the joystick the game-port pedal opens (the
    /// "GamePortDevice" setting); empty picks the first joystick found.
    explicit LinuxPedalDeviceFactory(QString gamePortDevice = {});

    std::unique_ptr<SerialPedalPort> makeSerialPort() override;
    std::unique_ptr<GamePortPedal> makeGamePort() override;

private:
    QString gamePortDevice_;
};

} // namespace velloran
