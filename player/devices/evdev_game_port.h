#pragma once

#include "core/pedal_devices.h"
#include "fd_reader.h"
#include "input_events.h"

#include <deque>
#include <functional>

namespace velloran::devices {

/// The game-port pedal as a Linux evdev joystick (/dev/input/eventN).
///
/// Which device: the path given (the "GamePortDevice" setting), else the
/// first node with joystick buttons (findJoystickDevice), looked up afresh
/// at every enable. The device is open only while enabled, so disabling
/// releases it and enabling again picks up a pedal plugged in since.
/// Button codes are the 1-based numbers of ButtonMap.
/// Delete it with deleteLater() from its own signals' slots.
class EvdevGamePort final : public GamePortPedal {
    Q_OBJECT
public:
    struct Device {
        UniqueFd fd;
        QString path;
    };
    /// Opens the device at an enable: the seam the tests replace with a
    /// pipe. Returns an invalid fd and fills @p error on failure.
    using Opener = std::function<Device(QString* error)>;

    explicit EvdevGamePort(const QString& devicePath = {}, QObject* parent = nullptr);
    explicit EvdevGamePort(Opener opener, QObject* parent = nullptr);
    ~EvdevGamePort() override;

    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }
    /// Asks the device (EVIOCGKEY) at each call; a stream that is not an
    /// evdev node answers from the events read so far.
    bool buttonHeld(int code) const override;

    /// The device in use, empty while none is open.
    QString openDevice() const { return path_; }
    /// Why the last enable found no device.
    QString lastError() const { return lastError_; }

private:
    void attachDevice();
    void detachDevice();
    void onData(const QByteArray& data);
    void onEnded(int error);
    void queueChange(int button, bool down);
    void resync();
    void deliver();

    Opener opener_;
    FdReader reader_;
    InputEventDecoder decoder_;
    ButtonMap map_;
    bool evdev_ = false;
    bool enabled_ = false;
    QString path_;
    QString lastError_;
    std::vector<bool> held_; // by button number, from the events read
    std::deque<std::pair<int, bool>> pending_;
};

} // namespace velloran::devices
