#pragma once

#include "core/media_engine.h"

#include <QHash>
#include <QStringList>

#include <functional>
#include <optional>

namespace velloran::testing {

/// A playback engine for tests. It keeps the real adapter's contract: events
/// arrive through the event loop, a written position reads back at once,
/// positions before the start read back as the start and past the end as the
/// end (set clampPositions to false to see raw values), and the writes made
/// before the event loop turns give one positionChange. Every call is logged.
class FakeEngine final : public MediaEngine {
    Q_OBJECT
public:
    explicit FakeEngine(QObject* parent = nullptr);

    QString fileName() const override { return fileName_; }
    void setFileName(const QString& path) override;
    double duration() const override { return duration_; }
    double currentPosition() const override;
    void setCurrentPosition(double seconds) override;
    double selectionStart() const override { return 0.0; }
    double selectionEnd() const override { return duration_; }
    int currentState() const override { return state_; }
    void setRate(double rate) override;
    void setBalance(int balance) override;
    void run() override;
    void pause() override;
    void stop() override;

    // ---- test controls ----
    /// Length a file gets when opened (default: defaultDuration).
    void setDurationFor(const QString& path, double seconds) { durations_[path] = seconds; }
    double defaultDuration = 100.0;
    /// Paths that fail to open: openFailed follows instead of openComplete.
    QStringList unopenable;
    QString failureReason = QStringLiteral("not an audio file");
    bool clampPositions = true;
    /// Called on every position read; lets a test change the world mid-loop.
    std::function<void()> onPositionRead;

    /// Moves the position as playback would and raises positionChange (queued).
    void playTo(double seconds);
    void emitTimer() { emit timer(); }

    QStringList calls;
    int positionWrites = 0;
    double rate = 1.0;
    int balance = 0;

private:
    QString fileName_;
    double duration_ = 0;
    double position_ = 0;
    int state_ = Stopped;
    QHash<QString, double> durations_;
    quint64 openGeneration_ = 0;
    struct QueuedChange {
        double oldPosition;
        double newPosition;
        quint64 ticket;
    };
    std::optional<QueuedChange> queuedChange_; // from writes, not yet delivered
    quint64 changeTickets_ = 0;
};

} // namespace velloran::testing
