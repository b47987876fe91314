#include "portal_hot_key_source.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <utility>

namespace velloran {

namespace {
constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";
constexpr const char* kSessionInterface = "org.freedesktop.portal.Session";

QDBusMessage portalCall(const char* method) {
    return QDBusMessage::createMethodCall(
        QLatin1String(PortalHotKeySource::kService), QLatin1String(PortalHotKeySource::kPath),
        QLatin1String(PortalHotKeySource::kInterface), QLatin1String(method));
}
} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

PortalHotKeySource::PortalHotKeySource(QDBusConnection bus, HotKeysUnavailable unavailable,
                                       QObject* parent)
    : QObject(parent), bus_(std::move(bus)), unavailable_(std::move(unavailable)) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcutList>();
}

PortalHotKeySource::~PortalHotKeySource() {
    unregisterKeys();
}

PortalShortcutList PortalHotKeySource::shortcutsFor(const QList<HotKeyBinding>& keys) {
    PortalShortcutList shortcuts;
    for (const HotKeyBinding& key : keys) {
        // Every action is offered; the desktop's own shortcut settings may bind those we leave
        // free.
        QVariantMap properties{{QStringLiteral("description"), key.description}};
        if (key.key)
            properties.insert(QStringLiteral("preferred_trigger"), key.key->portalTrigger());
        shortcuts << PortalShortcut{key.name, properties};
    }
    return shortcuts;
}

QString PortalHotKeySource::nextToken() {
    return QStringLiteral("velloran%1").arg(++tokens_);
}

void PortalHotKeySource::registerKeys(const QList<HotKeyBinding>& keys) {
    if (!session_.isEmpty() || !requestPath_.isEmpty())
        return;
    keys_ = keys;
    granted_.clear();
    if (!bus_.isConnected()) {
        fail();
        return;
    }
    // Where the portal asks the host who we are, say it before anything else;
    // older portals have no registry, which is no error of ours.
    QDBusMessage hello = QDBusMessage::createMethodCall(
        QLatin1String(kService), QLatin1String(kPath), QLatin1String(kRegistryInterface),
        QStringLiteral("Register"));
    hello << QLatin1String(kAppId) << QVariantMap();
    bus_.asyncCall(hello);
    bus_.connect(QLatin1String(kService), QLatin1String(kPath), QLatin1String(kInterface),
                 QStringLiteral("Activated"), this, SLOT(onActivated(QDBusMessage)));
    QDBusMessage call = portalCall("CreateSession");
    const QString token = nextToken();
    call << QVariantMap{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("session_handle_token"), QLatin1String(kAppId)},
                        {QStringLiteral("shortcuts"), QVariant::fromValue(shortcutsFor(keys_))}};
    request(token, SLOT(onSessionResponse(uint, QVariantMap)), call);
}

void PortalHotKeySource::request(const QString& token, const char* slot, QDBusMessage call) {
    // The request object's path is known before the call, so the answer cannot
    // come before anyone listens for it.
    QString sender = bus_.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    requestPath_ =
        QLatin1String(kPath) + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
    requestSlot_ = slot;
    bus_.connect(QLatin1String(kService), requestPath_, QLatin1String(kRequestInterface),
                 QStringLiteral("Response"), this, slot);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher](QDBusPendingCallWatcher*) {
                watcher->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
                if (reply.isError()) {
                    dropRequest();
                    fail();
                }
            });
}

void PortalHotKeySource::dropRequest() {
    if (requestPath_.isEmpty())
        return;
    bus_.disconnect(QLatin1String(kService), requestPath_, QLatin1String(kRequestInterface),
                    QStringLiteral("Response"), this, requestSlot_);
    requestPath_.clear();
}

void PortalHotKeySource::onSessionResponse(uint response, const QVariantMap& results) {
    dropRequest();
    const QString session = results.value(QStringLiteral("session_handle")).toString();
    if (response != 0 || session.isEmpty()) {
        fail();
        return;
    }
    session_ = session;
    noteGranted(results);
    if (missingKeys().isEmpty()) {
        bound_ = true;
        return;
    }
    QDBusMessage call = portalCall("BindShortcuts");
    const QString token = nextToken();
    call << QVariant::fromValue(QDBusObjectPath(session_))
         << QVariant::fromValue(shortcutsFor(keys_)) << QString()
         << QVariantMap{{QStringLiteral("handle_token"), token}};
    request(token, SLOT(onBindResponse(uint, QVariantMap)), call);
}

void PortalHotKeySource::onBindResponse(uint response, const QVariantMap& results) {
    dropRequest();
    if (response != 0) {
        fail();
        return;
    }
    bound_ = true;
    noteGranted(results);
    if (const QStringList missing = missingKeys(); !missing.isEmpty())
        fail(missing);
}

void PortalHotKeySource::noteGranted(const QVariantMap& results) {
    const QVariant listed = results.value(QStringLiteral("shortcuts"));
    if (!listed.isValid())
        return;
    for (const PortalShortcut& shortcut : qdbus_cast<PortalShortcutList>(listed))
        granted_.insert(shortcut.id);
}

QStringList PortalHotKeySource::missingKeys() const {
    QStringList missing;
    for (const HotKeyBinding& key : keys_) {
        if (key.key && !granted_.contains(key.name))
            missing << QStringLiteral("%1 (%2)").arg(key.key->text(), key.name);
    }
    return missing;
}

void PortalHotKeySource::onActivated(const QDBusMessage& signal) {
    // (o session_handle, s shortcut_id, t timestamp, a{sv} options)
    const QList<QVariant> args = signal.arguments();
    if (args.size() < 2 || session_.isEmpty() ||
        qvariant_cast<QDBusObjectPath>(args.at(0)).path() != session_)
        return;
    const QString shortcutId = args.at(1).toString();
    for (const HotKeyBinding& key : std::as_const(keys_)) {
        if (key.name == shortcutId) {
            if (activated)
                activated(key.id);
            return;
        }
    }
}

void PortalHotKeySource::fail(const QStringList& missing) {
    if (auto tell = std::exchange(unavailable_, nullptr))
        tell(missing);
}

void PortalHotKeySource::unregisterKeys() {
    dropRequest();
    bus_.disconnect(QLatin1String(kService), QLatin1String(kPath), QLatin1String(kInterface),
                    QStringLiteral("Activated"), this, SLOT(onActivated(QDBusMessage)));
    if (!session_.isEmpty() && bus_.isConnected()) {
        // Closing the session gives the keys back to the desktop.
        bus_.call(QDBusMessage::createMethodCall(QLatin1String(kService), session_,
                                                 QLatin1String(kSessionInterface),
                                                 QStringLiteral("Close")),
                  QDBus::Block, 2000);
    }
    session_.clear();
    bound_ = false;
    keys_.clear();
    granted_.clear();
}

} // namespace velloran
