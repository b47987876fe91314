#pragma once

#include "unique_fd.h"

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

namespace velloran::devices {

/// Reads whatever a descriptor delivers, on the UI thread's event loop: the
/// common part of the pedal devices that are read as a byte stream (evdev
/// now, hidraw later). Tests hand it one end of a pipe.
///
/// Each wake-up reads everything available before handing it on, so a slot
/// may run a nested event loop (the pedal actions' one-second delay) and
/// receive newer data nested in it.
class FdReader : public QObject {
    Q_OBJECT
public:
    explicit FdReader(QObject* parent = nullptr);
    ~FdReader() override;

    /// Starts reading @p fd (switched to non-blocking), replacing any earlier one.
    void start(UniqueFd fd);
    /// Closes the descriptor; nothing is delivered afterwards.
    void stop();
    bool isOpen() const { return fd_.valid(); }
    /// Packet mode: one dataRead per read() (a hidraw node gives one report a read).
    void setPacketMode(bool packets) { packets_ = packets; }
    int fd() const { return fd_.get(); }

signals:
    void dataRead(const QByteArray& data);
    /// End of file (0) or a read error (errno). The descriptor is closed.
    void ended(int error);

private:
    void onReadable();
    void retireNotifier();

    UniqueFd fd_;
    QSocketNotifier* notifier_ = nullptr;
    quint64 session_ = 0;
    bool packets_ = false;
};

} // namespace velloran::devices
