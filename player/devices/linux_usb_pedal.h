#pragma once

#include "core/pedal_devices.h"
#include "core/pedal_models.h"
#include "fd_reader.h"
#include "hotplug_watch.h"
#include "input_events.h"
#include "usb_input_scan.h"

#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

namespace velloran::devices {

/// A USB pedal on Linux: its evdev nodes (button and keyboard pedals) or its
/// hidraw nodes (raw HID pedals), found in sysfs by vendor, product and
/// serial, and decoded by its model. A keyboard pedal, and a known pedal the
/// kernel takes for a mouse, is grabbed (EVIOCGRAB) while enabled, so its
/// keys and clicks reach only the player. Unplugging
/// ends every hold; the pedal is taken again when it comes back.
/// Delete it with deleteLater() from its own signals' slots.
class LinuxUsbPedal final : public UsbPedal {
    Q_OBJECT
public:
    /// The seams the tests replace: opening a node, grabbing an evdev node.
    struct System {
        QString sysRoot = QStringLiteral("/sys");
        QString devRoot = QStringLiteral("/dev");
        /// Returns an invalid fd and fills @p error on failure.
        std::function<UniqueFd(const QString& path, QString* error)> open;
        /// Grabs (true) or lets go (false); false when refused.
        std::function<bool(int fd, bool grab)> grab;
    };
    /// The real system (sysfs, /dev, open(2), EVIOCGRAB).
    static System realSystem();

    /// @p hotplug, when given, is watched for devices coming and going.
    LinuxUsbPedal(System system, const PedalModelTable& models, HotplugSource* hotplug,
                  QObject* parent = nullptr);
    ~LinuxUsbPedal() override;

    void setDeviceId(const QString& id) override;
    QString deviceId() const override { return id_; }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }
    bool isAttached() const override { return !nodes_.empty(); }
    QString lastError() const override { return lastError_; }
    bool pedalHeld(int pedal) const override;
    QStringList presentPorts() const override;
    Identity identity() const override { return identity_; }

    /// The model in use while attached (a button pedal without one of its
    /// own gets its first three buttons).
    const PedalModel* model() const { return hasModel_ ? &model_ : nullptr; }
    /// Retries when a device is present but cannot be opened yet (udev
    /// gives the seat's user access a moment after the node appears).
    int retryLimit = 10;
    std::chrono::milliseconds retryInterval{300};

private:
    struct Node;
    struct Change {
        PedalSignal signal;
        int pedal = 0; ///< 0: a signal no pedal uses
        bool down = false;
    };

    void attach();
    void detach();
    void onHotplug();
    void onData(Node& node, const QByteArray& data);
    void onEnded(Node& node, int error);
    void drain() const;
    void feed(Node& node, const QByteArray& data) const;
    void signal(const PedalSignal& signal, bool down) const;
    void deliver();

    System system_;
    const PedalModelTable& models_;
    QString id_;
    bool enabled_ = false;
    QString lastError_;
    Identity identity_;
    PedalModel model_;
    bool hasModel_ = false;
    std::vector<std::unique_ptr<Node>> nodes_;
    QTimer retry_;
    int retries_ = 0;
    // Mutable: a held query reads what the device has sent since, as the
    // hold loop lets no events run.
    mutable std::array<bool, 4> held_{};
    mutable std::deque<Change> pending_;
    mutable bool deliverQueued_ = false;
};

} // namespace velloran::devices
