#include "fd_reader.h"

#include <QPointer>
#include <QSocketNotifier>

#include <fcntl.h>

#include <cerrno>

namespace velloran::devices {

FdReader::FdReader(QObject* parent) : QObject(parent) {}

FdReader::~FdReader() {
    stop();
}

void FdReader::start(UniqueFd fd) {
    stop();
    if (!fd)
        return;
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags != -1)
        ::fcntl(fd.get(), F_SETFL, flags | O_NONBLOCK);
    fd_ = std::move(fd);
    ++session_;
    notifier_ = new QSocketNotifier(fd_.get(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &FdReader::onReadable);
}

void FdReader::stop() {
    ++session_;
    retireNotifier();
    fd_.reset();
}

void FdReader::retireNotifier() {
    if (!notifier_)
        return;
    // stop() may be reached from a slot of our own signal, i.e. inside the
    // notifier's activation: disable it now, delete it from the event loop.
    notifier_->setEnabled(false);
    notifier_->disconnect(this);
    notifier_->deleteLater();
    notifier_ = nullptr;
}

void FdReader::onReadable() {
    if (!fd_)
        return;
    QList<QByteArray> chunks;
    qsizetype total = 0;
    int endError = -1; // -1: still open
    char buffer[4096];
    // Bounded, so a device that never stops talking cannot starve the loop.
    while (total < 64 * 1024) {
        const ssize_t n = ::read(fd_.get(), buffer, sizeof buffer);
        if (n > 0) {
            if (packets_ || chunks.isEmpty())
                chunks.append(QByteArray(buffer, n));
            else
                chunks.back().append(buffer, n);
            total += n;
            continue;
        }
        if (n == 0) {
            endError = 0;
            break;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            endError = errno;
        break;
    }
    const quint64 session = session_;
    QPointer<FdReader> alive(this);
    for (const QByteArray& chunk : std::as_const(chunks)) {
        emit dataRead(chunk);
        if (!alive || session != session_)
            return;
    }
    // A slot may have stopped or restarted the reader (or a nested wake-up
    // may already have seen the end): only the same session ends here.
    if (!alive || endError < 0 || session != session_)
        return;
    stop();
    emit ended(endError);
}

} // namespace velloran::devices
