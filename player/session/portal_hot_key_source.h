#pragma once

#include "core/hot_keys.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QSet>
#include <QVariantMap>

namespace velloran {

/// One shortcut as the shortcut portal takes it: an id and its properties
/// ("description", "preferred_trigger").
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
using PortalShortcutList = QList<PortalShortcut>;

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut);
const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut);

/// Hot keys on Wayland: the desktop portal's global shortcuts. Registering
/// creates a portal session and binds the keys with their preferred
/// triggers; the desktop may ask the user first and may bind other triggers.
class PortalHotKeySource final : public QObject, public HotKeySource {
    Q_OBJECT
public:
    static constexpr const char* kService = "org.freedesktop.portal.Desktop";
    static constexpr const char* kPath = "/org/freedesktop/portal/desktop";
    static constexpr const char* kInterface = "org.freedesktop.portal.GlobalShortcuts";

    static constexpr const char* kRegistryInterface = "org.freedesktop.host.portal.Registry";
    /// The application id the desktop matches with our desktop entry, and the
    /// session's name, so a desktop that keeps the keys per session keeps the
    /// typist's changes from one run to the next.
    static constexpr const char* kAppId = "velloran";

    /// @p unavailable is called once when the portal has no global shortcuts,
    /// refuses them, or leaves some bound keys out.
    PortalHotKeySource(QDBusConnection bus, HotKeysUnavailable unavailable,
                       QObject* parent = nullptr);
    ~PortalHotKeySource() override;

    void registerKeys(const QList<HotKeyBinding>& keys) override;
    void unregisterKeys() override;
    /// The portal has bound the keys.
    bool isBound() const { return bound_; }

    /// The shortcuts as the binding request carries them.
    static PortalShortcutList shortcutsFor(const QList<HotKeyBinding>& keys);

private slots:
    void onSessionResponse(uint response, const QVariantMap& results);
    void onBindResponse(uint response, const QVariantMap& results);
    void onActivated(const QDBusMessage& signal);

private:
    /// Sends @p call and expects its Response on the request object of @p token.
    void request(const QString& token, const char* slot, QDBusMessage call);
    void dropRequest();
    void fail(const QStringList& missing = {});
    /// Adds the shortcuts a response lists to those the desktop has bound.
    void noteGranted(const QVariantMap& results);
    /// The bound keys the desktop has not taken, as the typist knows them.
    QStringList missingKeys() const;
    QString nextToken();

    QDBusConnection bus_;
    HotKeysUnavailable unavailable_;
    QSet<QString> granted_;
    QList<HotKeyBinding> keys_;
    QString requestPath_;
    const char* requestSlot_ = nullptr;
    QString session_;
    bool bound_ = false;
    int tokens_ = 0;
};

} // namespace velloran

Q_DECLARE_METATYPE(velloran::PortalShortcut)
