#include "linux_usb_pedal.h"

#include "core/settings.h"

#include <QLoggingCategory>
#include <QPointer>

#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace velloran::devices {

Q_LOGGING_CATEGORY(lcUsbPedal, "velloran.pedal.usb")

namespace {

QString errnoText(int error) {
    return QString::fromStdString(std::error_code(error, std::generic_category()).message());
}

} // namespace

struct LinuxUsbPedal::Node {
    QString path;
    bool hidraw = false;
    bool grabbed = false;
    // On the heap: it may be the sender of the signal that detaches it.
    FdReader* reader = new FdReader;
    InputEventDecoder decoder;
    KeyBits keys;      ///< evdev: what is down
    QByteArray report; ///< hidraw: the last report
};

LinuxUsbPedal::System LinuxUsbPedal::realSystem() {
    System system;
    system.open = [](const QString& path, QString* error) {
        UniqueFd fd(::open(path.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (!fd)
            *error = path + QStringLiteral(": ") + errnoText(errno);
        return fd;
    };
    system.grab = [](int fd, bool grab) {
        return ::ioctl(fd, EVIOCGRAB, grab ? 1 : 0) == 0;
    };
    return system;
}

LinuxUsbPedal::LinuxUsbPedal(System system, const PedalModelTable& models, HotplugSource* hotplug,
                             QObject* parent)
    : UsbPedal(parent), system_(std::move(system)), models_(models) {
    if (hotplug)
        connect(hotplug, &HotplugSource::changed, this, &LinuxUsbPedal::onHotplug);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, [this] {
        if (enabled_ && !isAttached())
            attach();
    });
}

LinuxUsbPedal::~LinuxUsbPedal() {
    detach();
}

void LinuxUsbPedal::setDeviceId(const QString& id) {
    if (id == id_)
        return;
    id_ = id;
    // Another pedal chosen while one is open: move over at the next enable.
    if (isAttached())
        detach();
}

void LinuxUsbPedal::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (!enabled) {
        retry_.stop();
        detach();
    } else if (!isAttached()) {
        retries_ = 0;
        attach();
    }
}

QStringList LinuxUsbPedal::presentPorts() const {
    QStringList ports;
    for (const UsbInputDevice& device : scanUsbInputDevices(system_.sysRoot, system_.devRoot)) {
        const PedalModel* model = models_.find(device.vendor, device.product);
        // A device no model knows is offered when it could be a pedal (to be
        // learned): keys or buttons on a node that is no mouse, or raw reports
        // only. A mouse has a hidraw node too, so that alone does not count.
        bool offered = model != nullptr || !device.hasEvdev();
        for (const UsbInputNode& node : device.nodes)
            offered = offered || (!node.hidraw && !node.pointer && node.keys.any());
        if (offered)
            ports << usbPortText(model ? model->name : device.name, device.id());
    }
    return ports;
}

void LinuxUsbPedal::attach() {
    if (!enabled_ || isAttached() || id_.isEmpty())
        return;
    const std::vector<UsbInputDevice> devices =
        scanUsbInputDevices(system_.sysRoot, system_.devRoot);
    const auto found = std::find_if(devices.begin(), devices.end(),
                                    [&](const UsbInputDevice& d) { return d.matches(id_); });
    if (found == devices.end()) {
        lastError_ = id_ + QStringLiteral(": not plugged in");
        return;
    }
    const UsbInputDevice& device = *found;

    hasModel_ = false;
    if (const PedalModel* model = models_.find(device.vendor, device.product)) {
        model_ = *model;
        hasModel_ = true;
    }
    const bool listed = hasModel_;
    // Raw reports for a HID model, or for a device the kernel gives no events.
    const bool raw = hasModel_ ? model_.kind == PedalModel::Hid : !device.hasEvdev();
    if (!hasModel_) {
        // A button pedal no model knows: its first three buttons, left to right.
        for (const UsbInputNode& node : device.nodes) {
            const std::vector<int> buttons = pedalButtons(node.keys);
            if (node.hidraw || !isButtonPedal(node.keys) || buttons.size() < 3)
                continue;
            model_ =
                PedalModel{device.vendor, device.product, PedalModel::Buttons, {}, device.name};
            for (std::size_t i = 0; i < 3; ++i)
                model_.pedals[i] = {PedalSignal::Code, buttons[i], 0, 0};
            hasModel_ = true;
            break;
        }
    }
    identity_ = {device.vendor, device.product, raw, hasModel_ ? model_.name : device.name};

    QString error;
    for (const UsbInputNode& entry : device.nodes) {
        if (entry.hidraw != raw)
            continue;
        UniqueFd fd = system_.open(entry.path, &error);
        if (!fd)
            continue;
        auto node = std::make_unique<Node>();
        node->path = entry.path;
        node->hidraw = raw;
        if (!raw) {
            // Keys already down at the open are read as down (no event comes for them).
            KeyBits states;
            if (readKeyStates(fd.get(), states))
                node->keys = states;
            // A known pedal seen as a mouse would also click (wherever the
            // pointer is) in the program being typed in; a mouse no table
            // names is left alone.
            if (hasModel_ && (model_.kind == PedalModel::Keys || (listed && entry.pointer))) {
                node->grabbed = system_.grab(fd.get(), true);
                if (!node->grabbed)
                    qCWarning(lcUsbPedal).noquote()
                        << entry.path << "cannot be grabbed; its keys also reach other programs";
            }
        }
        Node* raw_node = node.get();
        node->reader->setPacketMode(raw);
        connect(node->reader, &FdReader::dataRead, this,
                [this, raw_node](const QByteArray& data) { onData(*raw_node, data); });
        connect(node->reader, &FdReader::ended, this,
                [this, raw_node](int e) { onEnded(*raw_node, e); });
        node->reader->start(std::move(fd));
        nodes_.push_back(std::move(node));
    }
    if (nodes_.empty()) {
        lastError_ = error.isEmpty() ? id_ + QStringLiteral(": no readable device node") : error;
        qCWarning(lcUsbPedal).noquote() << "USB pedal unavailable:" << lastError_;
        // Usually a permission that udev has not granted yet.
        if (retries_++ < retryLimit)
            retry_.start(retryInterval);
        return;
    }
    lastError_.clear();
    held_ = {};
    for (auto& node : nodes_)
        for (std::size_t key = 0; hasModel_ && !node->hidraw && key < node->keys.size(); ++key) {
            if (!node->keys.test(key))
                continue;
            const int pedal = model_.pedalOf({PedalSignal::Code, static_cast<int>(key), 0, 0});
            if (pedal != 0)
                held_[static_cast<std::size_t>(pedal - 1)] = true;
        }
    emit attached();
}

void LinuxUsbPedal::detach() {
    for (auto& node : nodes_) {
        if (node->grabbed && node->reader->isOpen())
            system_.grab(node->reader->fd(), false);
        node->reader->stop();
        node->reader->disconnect(this);
        node->reader->deleteLater();
    }
    nodes_.clear();
    pending_.clear();
    held_ = {};
}

void LinuxUsbPedal::onHotplug() {
    if (!enabled_)
        return;
    if (!isAttached()) {
        retries_ = 0;
        attach();
    }
}

bool LinuxUsbPedal::pedalHeld(int pedal) const {
    if (pedal < 1 || pedal > static_cast<int>(held_.size()) || !isAttached())
        return false;
    drain();
    return held_[static_cast<std::size_t>(pedal - 1)];
}

void LinuxUsbPedal::drain() const {
    for (const auto& node : nodes_) {
        if (!node->reader->isOpen())
            continue;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(node->reader->fd(), buffer, sizeof buffer);
            if (n > 0) {
                feed(*node, QByteArray(buffer, n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            // End of file or a gone device: the reader reports it at its next
            // wake-up; until then nothing is held.
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                held_ = {};
            break;
        }
    }
}

void LinuxUsbPedal::onData(Node& node, const QByteArray& data) {
    feed(node, data);
    deliver();
}

void LinuxUsbPedal::feed(Node& node, const QByteArray& data) const {
    if (node.hidraw) {
        const QByteArray before = node.report;
        node.report = data;
        // Bytes a shorter report leaves out count as zero, as missing bytes of the last one
        // do: a pedal pressed in them would otherwise stay held for good.
        for (qsizetype i = 0; i < std::max(before.size(), data.size()); ++i) {
            const int was = i < before.size() ? static_cast<unsigned char>(before[i]) : 0;
            const int now = i < data.size() ? static_cast<unsigned char>(data[i]) : 0;
            for (int mask = 1; mask <= 0x80; mask <<= 1)
                if ((was ^ now) & mask)
                    signal({PedalSignal::Bit, 0, static_cast<int>(i), mask}, now & mask);
        }
        return;
    }
    const InputEventDecoder::Result result =
        node.decoder.feed(data.constData(), static_cast<std::size_t>(data.size()));
    for (const KeyChange& change : result.changes) {
        const auto key = static_cast<std::size_t>(change.key);
        if (key >= node.keys.size() || node.keys.test(key) == change.down)
            continue;
        node.keys.set(key, change.down);
        signal({PedalSignal::Code, change.key, 0, 0}, change.down);
    }
    KeyBits states;
    if (result.resync && readKeyStates(node.reader->fd(), states)) {
        // Events were lost to a buffer overrun: report what differs from now.
        for (std::size_t key = 0; key < states.size(); ++key)
            if (states.test(key) != node.keys.test(key)) {
                node.keys.set(key, states.test(key));
                signal({PedalSignal::Code, static_cast<int>(key), 0, 0}, states.test(key));
            }
    }
}

void LinuxUsbPedal::signal(const PedalSignal& s, bool down) const {
    const int pedal = hasModel_ ? model_.pedalOf(s) : 0;
    if (pedal != 0)
        held_[static_cast<std::size_t>(pedal - 1)] = down;
    pending_.push_back({s, pedal, down});
    if (!deliverQueued_) {
        // A held query (inside a hold loop) only records; the events follow
        // once the loop lets the event loop run again.
        deliverQueued_ = true;
        QMetaObject::invokeMethod(
            const_cast<LinuxUsbPedal*>(this),
            [self = QPointer<LinuxUsbPedal>(const_cast<LinuxUsbPedal*>(this))] {
                if (self) {
                    self->deliverQueued_ = false;
                    self->deliver();
                }
            },
            Qt::QueuedConnection);
    }
}

void LinuxUsbPedal::deliver() {
    // One queue for all wake-ups keeps the order when a handler runs a nested
    // event loop and newer events arrive inside it.
    while (!pending_.empty() && enabled_ && isAttached()) {
        const Change change = pending_.front();
        pending_.pop_front();
        emit signalChanged(change.signal, change.down);
        if (change.pedal != 0) {
            if (change.down)
                emit pedalDown(change.pedal);
            else
                emit pedalUp(change.pedal);
        }
    }
}

void LinuxUsbPedal::onEnded(Node& node, int error) {
    const QString path = node.path;
    detach();
    lastError_ = path + QStringLiteral(": ") +
                 (error == 0 ? QStringLiteral("device closed") : errnoText(error));
    qCInfo(lcUsbPedal).noquote() << "USB pedal lost:" << lastError_;
    emit deviceLost();
}

} // namespace velloran::devices
