#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QStringList>
#include <QVariantMap>

#include <functional>

namespace velloran {

class MediaRemote;

/// The player as a media player on the session bus, so that media keys, the
/// desktop's sound menu and remote controls reach it: the object
/// /org/mpris/MediaPlayer2 with the interfaces org.mpris.MediaPlayer2 and
/// org.mpris.MediaPlayer2.Player, under the name org.mpris.MediaPlayer2.velloran.
class MprisService : public QObject {
    Q_OBJECT
public:
    static inline const QString kServiceName = QStringLiteral("org.mpris.MediaPlayer2.velloran");
    static inline const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");

    /// @p raise brings the window to the front, @p quit closes it as the user would.
    MprisService(MediaRemote& remote, std::function<void()> raise, std::function<void()> quit,
                 QObject* parent = nullptr);
    ~MprisService() override;

    /// Publishes the object and takes the bus name on @p bus; a second player
    /// in the session takes a name of its own (….instance<pid>). Returns the
    /// name taken, empty when the bus cannot be reached.
    QString registerOn(QDBusConnection bus);

    MediaRemote& remote() { return remote_; }
    void raise() const;
    void quit() const;

private:
    void announce(const QStringList& names);

    MediaRemote& remote_;
    std::function<void()> raise_;
    std::function<void()> quit_;
    QDBusConnection bus_;
    QString name_;
};

/// org.mpris.MediaPlayer2: who the player is, raising and quitting it.
class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit CONSTANT)
    Q_PROPERTY(bool CanRaise READ canRaise CONSTANT)
    Q_PROPERTY(bool HasTrackList READ hasTrackList CONSTANT)
    Q_PROPERTY(QString Identity READ identity CONSTANT)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry CONSTANT)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes CONSTANT)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes CONSTANT)
public:
    explicit MprisRootAdaptor(MprisService& service);

    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Velloran"); }
    QString desktopEntry() const { return QStringLiteral("velloran"); }
    QStringList supportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList supportedMimeTypes() const;

public slots:
    void Raise();
    void Quit();

private:
    MprisService& service_;
};

/// org.mpris.MediaPlayer2.Player: playback status, position and speed, and the
/// transport commands.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(double MinimumRate READ minimumRate CONSTANT)
    Q_PROPERTY(double MaximumRate READ maximumRate CONSTANT)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext CONSTANT)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious CONSTANT)
    Q_PROPERTY(bool CanPlay READ canControl)
    Q_PROPERTY(bool CanPause READ canControl)
    Q_PROPERTY(bool CanSeek READ canControl)
    Q_PROPERTY(bool CanControl READ canControlAtAll CONSTANT)
public:
    explicit MprisPlayerAdaptor(MprisService& service);

    QString playbackStatus() const;
    double rate() const;
    void setRate(double rate);
    double minimumRate() const;
    double maximumRate() const;
    QVariantMap metadata() const;
    /// The player's volume is its own slider's; remotes see it at full.
    double volume() const { return 1.0; }
    void setVolume(double) {}
    qlonglong position() const;
    bool canGoNext() const { return false; }
    bool canGoPrevious() const { return false; }
    bool canControl() const;
    bool canControlAtAll() const { return true; }

public slots:
    void Next() {}
    void Previous() {}
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong Offset);
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position);
    void OpenUri(const QString& Uri);

signals:
    void Seeked(qlonglong Position);

private:
    MprisService& service_;
};

} // namespace velloran
