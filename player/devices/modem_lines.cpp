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

std::shared_ptr<IoctlModemLines> IoctlModemLines::open(const QString& path, QString* error) {
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
        return fail(describe(path, errno));
    }
    if (!::isatty(fd.get()))
        return fail(path + QStringLiteral(": Not a serial port"));

    // Without CLOCAL the kernel hangs the port up whenever CD drops, which is
    // exactly what pedal 1 does on release; without clearing CRTSCTS the
    // driver would drive RTS itself. Raw mode keeps stray input inert.
    termios original{};
    const bool haveOriginal = ::tcgetattr(fd.get(), &original) == 0;
    if (haveOriginal) {
        termios tio = original;
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cflag &= ~CRTSCTS;
        ::tcsetattr(fd.get(), TCSANOW, &tio);
    }

    int bits = 0;
    if (const int e = modemBits(fd.get(), bits)) {
        if (isWaitUnsupportedError(e))
            return fail(path + QStringLiteral(": Not a serial port with modem status lines"));
        return fail(describe(path, e));
    }
    int raise = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd.get(), TIOCMBIS, &raise) != 0 && isDeviceGoneError(errno))
        return fail(describe(path, errno));

    return std::shared_ptr<IoctlModemLines>(
        new IoctlModemLines(std::move(fd), haveOriginal ? &original : nullptr));
}

IoctlModemLines::IoctlModemLines(UniqueFd fd, const termios* original) : fd_(std::move(fd)) {
    if (original) {
        restore_ = true;
        original_ = *original;
    }
}

IoctlModemLines::~IoctlModemLines() {
    // Other programs find the port as it was; fails harmlessly once unplugged.
    if (restore_)
        ::tcsetattr(fd_.get(), TCSANOW, &original_);
}

int IoctlModemLines::read(ModemLineState& state) {
    int bits = 0;
    if (const int e = modemBits(fd_.get(), bits))
        return e;
    state.cd = bits & TIOCM_CAR;
    state.dsr = bits & TIOCM_DSR;
    state.cts = bits & TIOCM_CTS;
    return 0;
}

int IoctlModemLines::waitForChange() {
    const int fd = fd_.get();
    return interrupter_.run(
        [fd] { return ::ioctl(fd, TIOCMIWAIT, TIOCM_CAR | TIOCM_DSR | TIOCM_CTS); });
}

void IoctlModemLines::cancelWait() {
    interrupter_.cancel();
}

} // namespace velloran::devices
