#pragma once

#include "core/pedal_devices.h"
#include "modem_watcher.h"

#include <functional>
#include <memory>

namespace velloran::devices {

/// The serial pedal on a Linux tty: COMn is /dev/ttyS(n-1), or any device path
/// (/dev/ttyUSB0, /dev/ttyACM0). The input reads go to the device each time;
/// changes come from a ModemWatcher thread and reach the UI thread as
/// commEvent through the event loop.
/// Delete it with deleteLater() from its own signals' slots.
class TermiosSerialPort final : public SerialPedalPort {
    Q_OBJECT
public:
    /// Opens the device behind a path: the seam the tests replace.
    using Opener = std::function<std::shared_ptr<ModemLines>(const QString& path, QString* error)>;

    explicit TermiosSerialPort(QObject* parent = nullptr);
    TermiosSerialPort(Opener opener, ModemWatcher::Timing timing, QObject* parent = nullptr);
    ~TermiosSerialPort() override;

    void setCommPort(int number) override;
    int commPort() const override { return commPort_; }
    void setDevicePath(const QString& path) override { devicePath_ = path; }
    QString devicePath() const override;

    bool setPortOpen(bool open, QString* error = nullptr) override;
    bool portOpen() const override { return lines_ != nullptr; }

    bool cdHolding() const override { return readLines().cd; }
    bool dsrHolding() const override { return readLines().dsr; }
    bool ctsHolding() const override { return readLines().cts; }

    /// The device actually open, empty when closed.
    QString openDevice() const { return openPath_; }
    /// Whether the watcher fell back to polling (a driver that cannot wait).
    bool watcherPolling() const;

private:
    bool open(QString* error);
    void close();
    ModemLineState readLines() const;
    void onWatcherEvent(quint64 session, ModemWatcher::Event event);

    Opener opener_;
    ModemWatcher::Timing timing_;
    int commPort_ = 1;
    QString devicePath_;

    QString openPath_;
    std::shared_ptr<ModemLines> lines_;
    std::unique_ptr<ModemWatcher> watcher_;
    /// Counts opens, so that events queued by an earlier session are dropped.
    quint64 session_ = 0;
};

} // namespace velloran::devices
