#include "fake_engine.h"

#include <QMetaObject>

#include <algorithm>

namespace velloran::testing {

FakeEngine::FakeEngine(QObject* parent) : MediaEngine(parent) {}

void FakeEngine::setFileName(const QString& path) {
    calls << QStringLiteral("open:") + path;
    const quint64 generation = ++openGeneration_;
    queuedChange_.reset();
    fileName_.clear();
    duration_ = 0;
    position_ = 0;
    state_ = Stopped;
    if (path.isEmpty())
        return;
    if (unopenable.contains(path)) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, path] {
                if (generation == openGeneration_)
                    emit openFailed(path, failureReason);
            },
            Qt::QueuedConnection);
        return;
    }
    fileName_ = path;
    const double length = durations_.value(path, defaultDuration);
    // The real engine opens asynchronously: positions written before the open
    // completes are lost, and Duration is only valid from openComplete on.
    QMetaObject::invokeMethod(
        this,
        [this, generation, length] {
            if (generation != openGeneration_)
                return;
            duration_ = length;
            position_ = 0;
            emit openComplete();
        },
        Qt::QueuedConnection);
}

double FakeEngine::currentPosition() const {
    if (onPositionRead)
        onPositionRead();
    return position_;
}

void FakeEngine::setCurrentPosition(double seconds) {
    calls << QStringLiteral("seek:") + QString::number(seconds);
    ++positionWrites;
    if (fileName_.isEmpty() || duration_ == 0)
        return; // not open yet: dropped, as by the real engine
    const double old = position_;
    double target = seconds;
    if (clampPositions)
        target = std::clamp(seconds, selectionStart(), selectionEnd());
    position_ = target;
    // As the real engine: one event for all writes until it is delivered.
    if (queuedChange_) {
        queuedChange_->newPosition = target;
        return;
    }
    const quint64 ticket = ++changeTickets_;
    queuedChange_ = QueuedChange{old, target, ticket};
    QMetaObject::invokeMethod(
        this,
        [this, ticket] {
            if (!queuedChange_ || queuedChange_->ticket != ticket)
                return;
            const QueuedChange change = *queuedChange_;
            queuedChange_.reset();
            emit positionChange(change.oldPosition, change.newPosition);
        },
        Qt::QueuedConnection);
}

void FakeEngine::setRate(double value) {
    calls << QStringLiteral("rate:") + QString::number(value);
    rate = value;
}

void FakeEngine::setBalance(int value) {
    calls << QStringLiteral("balance:") + QString::number(value);
    balance = value;
}

void FakeEngine::run() {
    calls << QStringLiteral("run");
    if (!fileName_.isEmpty())
        state_ = Running;
}

void FakeEngine::pause() {
    calls << QStringLiteral("pause");
    if (!fileName_.isEmpty())
        state_ = Paused;
}

void FakeEngine::stop() {
    calls << QStringLiteral("stop");
    if (!fileName_.isEmpty())
        state_ = Stopped;
}

void FakeEngine::playTo(double seconds) {
    const double old = position_;
    position_ = std::min(seconds, duration_);
    if (position_ >= duration_ && state_ == Running)
        state_ = Paused; // keep-open: playing through the end pauses there
    const double now = position_;
    QMetaObject::invokeMethod(
        this, [this, old, now] { emit positionChange(old, now); }, Qt::QueuedConnection);
}

} // namespace velloran::testing
