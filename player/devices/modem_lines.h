#pragma once

#include "thread_interrupter.h"
#include "unique_fd.h"

#include <QString>

#include <termios.h>

#include <memory>

namespace velloran::devices {

/// The three modem-status inputs a serial pedal switches.
struct ModemLineState {
    bool cd = false;
    bool dsr = false;
    bool cts = false;
    friend bool operator==(const ModemLineState&, const ModemLineState&) = default;
};

/// The modem-status inputs of an open serial device. Errors are errno values
/// (0 = success), so the watcher's decisions can be exercised without a port.
class ModemLines {
public:
    virtual ~ModemLines() = default;

    /// Reads the inputs now. Called from the UI thread and the watcher thread.
    virtual int read(ModemLineState& state) = 0;

    /// Blocks until one of the inputs changes (0). ECANCELED after
    /// cancelWait(); ENOTTY, EINVAL or EOPNOTSUPP when the device cannot wait
    /// (the caller then polls read()); EIO, ENXIO or ENODEV when it is gone.
    virtual int waitForChange() = 0;

    /// Thread-safe and sticky: makes a blocked waitForChange(), and every
    /// later one, return ECANCELED. May have to be repeated until the waiter
    /// has returned (see ThreadInterrupter).
    virtual void cancelWait() = 0;
};

/// The errors that mean the device was unplugged or hung up.
bool isDeviceGoneError(int error);
/// The errors that mean the driver cannot wait for a line change.
bool isWaitUnsupportedError(int error);

/// An open tty claimed for the pedal: opened O_NONBLOCK without becoming the
/// controlling tty, held exclusively (TIOCEXCL) so that no second program
/// reads the same pedal, and made local and raw so that CD dropping does not
/// hang the port up. Dropping it puts back the line settings found at open
/// and lets go of the claim, however the open ends.
class SerialDevice {
public:
    /// Opens @p path. On failure returns nullptr and a user-readable reason
    /// such as "/dev/ttyS6: No such file or directory"; a port that another
    /// program holds exclusively fails with EBUSY.
    static std::unique_ptr<SerialDevice> open(const QString& path, QString* error);

    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    int fd() const { return fd_.get(); }

private:
    explicit SerialDevice(UniqueFd fd) : fd_(std::move(fd)) {}

    UniqueFd fd_;
    bool exclusive_ = false;
    bool restore_ = false;
    termios original_{};
};

/// A serial device driven with the termios modem ioctls.
class IoctlModemLines final : public ModemLines {
public:
    /// Opens @p path as a SerialDevice, raises DTR and RTS (the pedals loop
    /// them back to CD, DSR and CTS) and checks that the modem-status inputs
    /// can be read. On failure returns nullptr and a user-readable reason;
    /// the device is then left as it was found.
    static std::shared_ptr<IoctlModemLines> open(const QString& path, QString* error);

    int read(ModemLineState& state) override;
    int waitForChange() override;
    void cancelWait() override;

private:
    explicit IoctlModemLines(std::unique_ptr<SerialDevice> device) : device_(std::move(device)) {}

    std::unique_ptr<SerialDevice> device_;
    ThreadInterrupter interrupter_;
};

} // namespace velloran::devices
