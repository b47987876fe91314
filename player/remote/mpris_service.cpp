#include "mpris_service.h"

#include "core/file_names.h"
#include "core/media_remote.h"

#include <QCoreApplication>
#include <QDBusMessage>

namespace velloran {

namespace {
const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
} // namespace

// ---- the service ------------------------------------------------------------

MprisService::MprisService(MediaRemote& remote, std::function<void()> raise,
                           std::function<void()> quit, QObject* parent)
    : QObject(parent), remote_(remote), raise_(std::move(raise)), quit_(std::move(quit)),
      bus_(QString()) {
    new MprisRootAdaptor(*this);
    auto* player = new MprisPlayerAdaptor(*this);
    connect(&remote_, &MediaRemote::propertiesChanged, this, &MprisService::announce);
    connect(&remote_, &MediaRemote::seeked, player, &MprisPlayerAdaptor::Seeked);
}

MprisService::~MprisService() {
    if (!bus_.isConnected())
        return;
    if (!name_.isEmpty())
        bus_.unregisterService(name_);
    bus_.unregisterObject(kObjectPath);
}

QString MprisService::registerOn(QDBusConnection bus) {
    if (!bus.isConnected() || !bus.registerObject(kObjectPath, this))
        return {};
    bus_ = bus;
    // The name belongs to the first player of the session; another one is
    // still reachable under a name of its own, as the interface provides.
    for (const QString& name :
         {kServiceName,
          kServiceName + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid())}) {
        if (bus_.registerService(name)) {
            name_ = name;
            break;
        }
    }
    return name_;
}

void MprisService::raise() const {
    if (raise_)
        raise_();
}

void MprisService::quit() const {
    if (quit_)
        quit_();
}

void MprisService::announce(const QStringList& names) {
    if (!bus_.isConnected())
        return;
    const auto* player = findChild<MprisPlayerAdaptor*>();
    QVariantMap changed;
    for (const QString& name : names)
        changed.insert(name, player->property(name.toLatin1().constData()));
    QDBusMessage signal =
        QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    bus_.send(signal);
}

// ---- org.mpris.MediaPlayer2 ---------------------------------------------------

MprisRootAdaptor::MprisRootAdaptor(MprisService& service)
    : QDBusAbstractAdaptor(&service), service_(service) {}

QStringList MprisRootAdaptor::supportedMimeTypes() const {
    return {QStringLiteral("audio/x-wav"),     QStringLiteral("audio/mpeg"),
            QStringLiteral("audio/x-mpegurl"), QStringLiteral("audio/midi"),
            QStringLiteral("audio/x-ms-wma"),  QStringLiteral("application/vnd.ms-asf"),
            QStringLiteral("audio/x-dss"),     QStringLiteral("audio/x-dvi-voice")};
}

void MprisRootAdaptor::Raise() {
    service_.raise();
}

void MprisRootAdaptor::Quit() {
    service_.quit();
}

// ---- org.mpris.MediaPlayer2.Player --------------------------------------------

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService& service)
    : QDBusAbstractAdaptor(&service), service_(service) {}

QString MprisPlayerAdaptor::playbackStatus() const {
    return service_.remote().playbackStatus();
}

double MprisPlayerAdaptor::rate() const {
    return service_.remote().rate();
}

void MprisPlayerAdaptor::setRate(double rate) {
    service_.remote().setRate(rate);
}

double MprisPlayerAdaptor::minimumRate() const {
    return MediaRemote::minimumRate();
}

double MprisPlayerAdaptor::maximumRate() const {
    return MediaRemote::maximumRate();
}

QVariantMap MprisPlayerAdaptor::metadata() const {
    const MediaRemote& remote = service_.remote();
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"),
               QVariant::fromValue(QDBusObjectPath(remote.trackId())));
    if (remote.filePath().isEmpty())
        return map;
    map.insert(QStringLiteral("mpris:length"), remote.lengthMicroseconds());
    map.insert(QStringLiteral("xesam:title"), remote.title());
    map.insert(QStringLiteral("xesam:url"), fileUrl(remote.filePath()));
    return map;
}

qlonglong MprisPlayerAdaptor::position() const {
    return service_.remote().positionMicroseconds();
}

bool MprisPlayerAdaptor::canControl() const {
    return service_.remote().canControl();
}

void MprisPlayerAdaptor::Pause() {
    service_.remote().pause();
}

void MprisPlayerAdaptor::PlayPause() {
    service_.remote().playPause();
}

void MprisPlayerAdaptor::Stop() {
    service_.remote().stop();
}

void MprisPlayerAdaptor::Play() {
    service_.remote().play();
}

void MprisPlayerAdaptor::Seek(qlonglong Offset) {
    service_.remote().seek(Offset);
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
    service_.remote().setPosition(TrackId.path(), Position);
}

void MprisPlayerAdaptor::OpenUri(const QString& Uri) {
    if (const QString name = fileNameFromUrl(Uri); !name.isEmpty())
        service_.remote().openFile(name);
}

} // namespace velloran
