#pragma once

#include <QObject>
#include <QString>

namespace velloran {

/// The playback engine the main window hosts. Positions and lengths are seconds.
///
/// Events are always delivered through the event loop, after the property write
/// or method call that caused them has returned: the start-up restore depends on it.
class MediaEngine : public QObject {
    Q_OBJECT
public:
    /// Values of currentState().
    enum State { Stopped = 0, Paused = 1, Running = 2 };

    using QObject::QObject;
    ~MediaEngine() override = default;

    /// The open file's path, empty when none.
    virtual QString fileName() const = 0;
    /// Closes the open media and opens @p path without starting playback;
    /// empty text only closes. openComplete() follows once the file is open.
    virtual void setFileName(const QString& path) = 0;

    /// Length of the open media (0 when none).
    virtual double duration() const = 0;

    virtual double currentPosition() const = 0;
    /// Seeks, in any state. Values before the start or past the end are accepted.
    /// The written value reads back at once, even before the engine has caught up.
    virtual void setCurrentPosition(double seconds) = 0;

    /// Start of the playable range: the start of the file.
    virtual double selectionStart() const = 0;
    /// End of the playable range: the file's length.
    virtual double selectionEnd() const = 0;

    /// One of State.
    virtual int currentState() const = 0;

    /// Playback speed factor; pitch is kept.
    virtual void setRate(double rate) = 0;
    /// Left/right balance, -5000 (left only) .. 5000 (right only).
    virtual void setBalance(int balance) = 0;

    /// Plays from currentPosition(), from any state. While the system's sound
    /// output is gone the engine holds still (Paused) and plays on once it is back.
    virtual void run() = 0;
    virtual void pause() = 0;
    /// Stops playback; the file stays open.
    virtual void stop() = 0;

signals:
    /// A file written to setFileName() has been opened; duration() is valid
    /// and a position written now sticks.
    void openComplete();
    /// A file written to setFileName() could not be opened; fileName() is
    /// empty again. @p reason is a short lower-case phrase for a message
    /// ("not an audio file", "no such file").
    void openFailed(const QString& path, const QString& reason);
    /// The position changed. @p newPosition equals selectionEnd() exactly when
    /// the change lands on the end (including playing through to the end).
    void positionChange(double oldPosition, double newPosition);
    /// Periodic while media plays, and for a moment after anything changes
    /// (a seek, a pause, the opening); drives the position display, which has
    /// nothing to refresh in between.
    void timer();
};

} // namespace velloran
