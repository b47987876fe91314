#include "evdev_game_port.h"

#include <QLoggingCategory>

#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <system_error>

namespace velloran::devices {

Q_LOGGING_CATEGORY(lcGamePort, "velloran.pedal.gameport")

namespace {

QString errnoText(int error) {
    return QString::fromStdString(std::error_code(error, std::generic_category()).message());
}

EvdevGamePort::Device openEvdev(const QString& configured, QString* error) {
    QString path = configured;
    if (path.isEmpty()) {
        JoystickSearch found = findJoystickDevice();
        if (found.path.isEmpty()) {
            *error = found.error;
            return {};
        }
        path = found.path;
    }
    UniqueFd fd(::open(path.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        *error = path + QStringLiteral(": ") + errnoText(errno);
        return {};
    }
    // Only an evdev node speaks struct input_event (a legacy /dev/input/js*
    // node does not), and one without buttons could never press a pedal.
    KeyBits capabilities;
    if (!readKeyCapabilities(fd.get(), capabilities)) {
        *error = path + QStringLiteral(": Not an input event device");
        return {};
    }
    if (ButtonMap::fromCapabilities(capabilities).count() == 0) {
        *error = path + QStringLiteral(": Has no joystick buttons");
        return {};
    }
    return {std::move(fd), path};
}

} // namespace

EvdevGamePort::EvdevGamePort(const QString& devicePath, QObject* parent)
    : EvdevGamePort(Opener([devicePath](QString* error) { return openEvdev(devicePath, error); }),
                    parent) {}

EvdevGamePort::EvdevGamePort(Opener opener, QObject* parent)
    : GamePortPedal(parent), opener_(std::move(opener)) {
    connect(&reader_, &FdReader::dataRead, this, &EvdevGamePort::onData);
    connect(&reader_, &FdReader::ended, this, &EvdevGamePort::onEnded);
}

EvdevGamePort::~EvdevGamePort() = default;

void EvdevGamePort::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (!enabled)
        detachDevice();
    else if (!reader_.isOpen())
        attachDevice();
}

void EvdevGamePort::attachDevice() {
    QString error;
    Device device = opener_(&error);
    if (!device.fd) {
        lastError_ = error;
        qCWarning(lcGamePort).noquote() << "game-port pedal unavailable:" << error;
        return;
    }
    lastError_.clear();
    KeyBits capabilities;
    evdev_ = readKeyCapabilities(device.fd.get(), capabilities);
    map_ = evdev_ ? ButtonMap::fromCapabilities(capabilities) : ButtonMap::standard();
    held_.assign(static_cast<std::size_t>(map_.count()) + 1, false);
    KeyBits states;
    if (evdev_ && readKeyStates(device.fd.get(), states))
        for (int button = 1; button <= map_.count(); ++button)
            held_[static_cast<std::size_t>(button)] = states.test(map_.keyCode(button));
    decoder_.reset();
    path_ = device.path;
    reader_.start(std::move(device.fd));
}

void EvdevGamePort::detachDevice() {
    reader_.stop();
    pending_.clear();
    held_.assign(held_.size(), false);
    path_.clear();
}

bool EvdevGamePort::buttonHeld(int code) const {
    if (!reader_.isOpen() || code < 1 || code > map_.count())
        return false;
    if (evdev_) {
        KeyBits states;
        if (!readKeyStates(reader_.fd(), states))
            return false; // unplugged: the reader reports the loss
        return states.test(map_.keyCode(code));
    }
    return held_[static_cast<std::size_t>(code)];
}

void EvdevGamePort::onData(const QByteArray& data) {
    const InputEventDecoder::Result result =
        decoder_.feed(data.constData(), static_cast<std::size_t>(data.size()));
    for (const KeyChange& change : result.changes)
        queueChange(map_.buttonNumber(change.key), change.down);
    if (result.resync)
        resync();
    deliver();
}

void EvdevGamePort::queueChange(int button, bool down) {
    if (button < 1 || button > map_.count())
        return;
    auto&& held = held_[static_cast<std::size_t>(button)];
    if (held == down)
        return;
    held = down;
    pending_.emplace_back(button, down);
}

void EvdevGamePort::resync() {
    // Events were lost to a buffer overrun: report what differs from now.
    KeyBits states;
    if (!evdev_ || !readKeyStates(reader_.fd(), states))
        return;
    for (int button = 1; button <= map_.count(); ++button)
        queueChange(button, states.test(map_.keyCode(button)));
}

void EvdevGamePort::deliver() {
    // One queue for all wake-ups keeps the order when a handler runs a nested
    // event loop and newer events arrive inside it.
    while (!pending_.empty() && enabled_ && reader_.isOpen()) {
        const auto [button, down] = pending_.front();
        pending_.pop_front();
        if (down)
            emit buttonDown(button);
        else
            emit buttonUp(button);
    }
}

void EvdevGamePort::onEnded(int error) {
    const QString path = path_;
    detachDevice();
    lastError_ = path + QStringLiteral(": ") +
                 (error == 0 ? QStringLiteral("device closed") : errnoText(error));
    emit deviceLost();
}

} // namespace velloran::devices
