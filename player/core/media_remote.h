#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace velloran {

class CommandGate;
class Player;

/// What a desktop remote control (media keys, the sound menu, a phone) sees
/// of the player and may do with it, in the terms of the media-player
/// interface of the session bus: microseconds, a playback status text, a
/// track id. Every action goes through the toolbar's commands and the rewind
/// and forward rules, so a remote does exactly what the typist's own controls
/// do. Changes are reported at most every kReportIntervalMs.
class MediaRemote : public QObject {
    Q_OBJECT
public:
    static constexpr int kReportIntervalMs = 250;
    /// The track id when no file is open.
    static inline const QString kNoTrack =
        QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

    explicit MediaRemote(Player& player, QObject* parent = nullptr);

    // ---- what is shown ----
    /// "Playing", "Paused" or "Stopped".
    QString playbackStatus() const;
    /// An object path that changes with every file opened; kNoTrack without one.
    QString trackId() const;
    /// The open file's name, empty when none.
    QString title() const;
    /// The open file's path, empty when none.
    QString filePath() const;
    qint64 lengthMicroseconds() const;
    qint64 positionMicroseconds() const;
    double rate() const;
    static double minimumRate();
    static double maximumRate();
    /// Whether the controls take commands (not while the settings panel is open).
    bool canControl() const;

    // ---- what a remote may do ----
    void play();
    void pause();
    void playPause();
    void stop();
    /// Moves by @p offset microseconds: forward by the forward rule, back by the
    /// rewind rule, never before the start.
    void seek(qint64 offset);
    /// Moves to @p position when @p trackId is the open file's and the
    /// position lies within it.
    void setPosition(const QString& trackId, qint64 position);
    /// Sets the speed to the speed slider's notch nearest @p rate; 0 pauses.
    void setRate(double rate);
    /// Opens @p path as a file handed over by the file manager.
    void openFile(const QString& path);

    /// What comes while a conversion runs waits for its end.
    void setGate(CommandGate* gate) { gate_ = gate; }

signals:
    /// Properties whose values changed since the last report, by their names
    /// on the bus ("PlaybackStatus", "Metadata", "Rate", "CanPlay", ...).
    void propertiesChanged(const QStringList& names);
    /// The position jumped (a seek, not playback running on), now at @p position µs.
    void seeked(qint64 position);

private:
    /// True when @p action was held for after a conversion.
    bool heldBack(std::function<void()> action);
    struct Snapshot {
        QString status;
        QString trackId;
        qint64 length = 0;
        double rate = 1.0;
        bool canControl = true;
    };
    Snapshot snapshot() const;
    void noteChanges();
    void noteSeek();
    void report();
    void scheduleReport();

    Player& player_;
    CommandGate* gate_ = nullptr;
    Snapshot reported_;
    QStringList pendingNames_;
    bool seekPending_ = false;
    int track_ = 1; // counts the files opened, so each gets an id of its own
    QTimer reportTimer_;
};

} // namespace velloran
