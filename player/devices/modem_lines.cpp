#include "modem_lines.h"

#include <fcntl.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <system_error>

namespace velloran::devices {

bool isDeviceGoneError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

bool isWaitUnsupportedError(int error) {
    return error == ENOTTY || error == EINVAL || error == EOPNOTSUPP || error == ENOSYS;
}

namespace {

QString describe(const QString& path, int error) {
    return path + QStringLiteral(": ") +
           QString::fromStdString(std::error_code(error, std::generic_category()).message());
}

int modemBits(int fd, int& bits) {
    for (;;) {
        if (::ioctl(fd, TIOCMGET, &bits) == 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

} // namespace

std::unique_ptr<SerialDevice> SerialDevice::open(const QString& path, QString* error) {
    auto fail = [&](const QString& reason) {
        if (error)
            *error = reason;
        return nullptr;
    };
    if (path.isEmpty())
        return fail(QStringLiteral("No serial device given"));

    UniqueFd fd(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        // A ttyS node without a UART behind it fails with EIO, which says
        // little to a user picking COM2.
        if (errno == EIO)
            return fail(path + QStringLiteral(": No such serial port (Input/output error)"));
        if (errno == EBUSY)
            return fail(path +
                        QStringLiteral(": In use by another program (Device or resource busy)"));
        return fail(describe(path, errno));
    }
    if (!::isatty(fd.get()))
        return fail(path + QStringLiteral(": Not a serial port"));

    // From here on the destructor undoes whatever was changed.
    std::unique_ptr<SerialDevice> device(new SerialDevice(std::move(fd)));
    device->exclusive_ = ::ioctl(device->fd(), TIOCEXCL) == 0;

    // Without CLOCAL the kernel hangs the port up whenever CD drops, which is
    // exactly what pedal 1 does on release; without clearing CRTSCTS the
    // driver would drive RTS itself. Raw mode keeps stray input inert.
    if (::tcgetattr(device->fd(), &device->original_) == 0) {
        device->restore_ = true;
        termios tio = device->original_;
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cflag &= ~CRTSCTS;
        ::tcsetattr(device->fd(), TCSANOW, &tio);
    }
    return device;
}

SerialDevice::~SerialDevice() {
    // Other programs find the port as it was; both fail harmlessly once
    // unplugged. The exclusive mark would outlive the descriptor on a tty
    // that stays open elsewhere (a pseudo-terminal's master).
    if (restore_)
        ::tcsetattr(fd_.get(), TCSANOW, &original_);
    if (exclusive_)
        ::ioctl(fd_.get(), TIOCNXCL);
}

std::shared_ptr<IoctlModemLines> IoctlModemLines::open(const QString& path, QString* error) {
    auto fail = [&](const QString& reason) {
        if (error)
            *error = reason;
        return nullptr;
    };
    std::unique_ptr<SerialDevice> device = SerialDevice::open(path, error);
    if (!device)
        return nullptr;

    int bits = 0;
    if (const int e = modemBits(device->fd(), bits)) {
        if (isWaitUnsupportedError(e))
            return fail(path + QStringLiteral(": Not a serial port with modem status lines"));
        return fail(describe(path, e));
    }
    int raise = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(device->fd(), TIOCMBIS, &raise) != 0 && isDeviceGoneError(errno))
        return fail(describe(path, errno));

    return std::shared_ptr<IoctlModemLines>(new IoctlModemLines(std::move(device)));
}

int IoctlModemLines::read(ModemLineState& state) {
    int bits = 0;
    if (const int e = modemBits(device_->fd(), bits))
        return e;
    state.cd = bits & TIOCM_CAR;
    state.dsr = bits & TIOCM_DSR;
    state.cts = bits & TIOCM_CTS;
    return 0;
}

int IoctlModemLines::waitForChange() {
    const int fd = device_->fd();
    return interrupter_.run(
        [fd] { return ::ioctl(fd, TIOCMIWAIT, TIOCM_CAR | TIOCM_DSR | TIOCM_CTS); });
}

void IoctlModemLines::cancelWait() {
    interrupter_.cancel();
}

} // namespace velloran::devices
