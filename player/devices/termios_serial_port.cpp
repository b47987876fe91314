#include "termios_serial_port.h"

#include <QMetaObject>

#include <system_error>

namespace velloran::devices {

TermiosSerialPort::TermiosSerialPort(QObject* parent)
    : TermiosSerialPort(&IoctlModemLines::open, ModemWatcher::Timing{}, parent) {}

TermiosSerialPort::TermiosSerialPort(Opener opener, ModemWatcher::Timing timing, QObject* parent)
    : SerialPedalPort(parent), opener_(std::move(opener)), timing_(timing) {}

TermiosSerialPort::~TermiosSerialPort() {
    close();
}

void TermiosSerialPort::setCommPort(int number) {
    commPort_ = number;
    devicePath_.clear();
}

QString TermiosSerialPort::devicePath() const {
    if (!devicePath_.isEmpty())
        return devicePath_;
    if (commPort_ < 1)
        return {};
    return QStringLiteral("/dev/ttyS%1").arg(commPort_ - 1);
}

bool TermiosSerialPort::setPortOpen(bool open, QString* error) {
    if (!open) {
        close();
        return true;
    }
    if (portOpen()) {
        if (openPath_ == devicePath())
            return true;
        close(); // another port was chosen since: move over to it
    }
    return this->open(error);
}

bool TermiosSerialPort::open(QString* error) {
    const QString path = devicePath();
    if (path.isEmpty()) {
        if (error)
            *error = QStringLiteral("COM%1: No such serial port").arg(commPort_);
        return false;
    }
    std::shared_ptr<ModemLines> lines = opener_(path, error);
    if (!lines)
        return false;

    const quint64 session = ++session_;
    auto sink = [this, session](ModemWatcher::Event event) {
        // Called on the watcher thread; the watcher is stopped before this
        // object goes away, and stale sessions are filtered on arrival.
        QMetaObject::invokeMethod(
            this, [this, session, event] { onWatcherEvent(session, event); }, Qt::QueuedConnection);
    };
    try {
        watcher_ = std::make_unique<ModemWatcher>(lines, std::move(sink), timing_);
    } catch (const std::system_error& e) {
        if (error)
            *error = path + QStringLiteral(": ") + QString::fromLocal8Bit(e.what());
        return false;
    }
    lines_ = std::move(lines);
    openPath_ = path;
    return true;
}

void TermiosSerialPort::close() {
    ++session_;
    if (watcher_) {
        watcher_->stop();
        watcher_.reset();
    }
    lines_.reset();
    openPath_.clear();
}

ModemLineState TermiosSerialPort::readLines() const {
    ModemLineState state;
    // A failed read (unplugged) reads as all inputs off; the watcher reports
    // the loss.
    if (!lines_ || lines_->read(state) != 0)
        return {};
    return state;
}

bool TermiosSerialPort::watcherPolling() const {
    return watcher_ && watcher_->polling();
}

void TermiosSerialPort::onWatcherEvent(quint64 session, ModemWatcher::Event event) {
    if (session != session_ || !portOpen())
        return;
    if (event == ModemWatcher::Event::Changed) {
        emit commEvent();
        return;
    }
    close();
    emit deviceLost();
}

} // namespace velloran::devices
