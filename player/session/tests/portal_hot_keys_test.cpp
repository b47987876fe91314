// The hot keys through the desktop's shortcut portal, against a fake portal
// on a private session bus.
#include "core/hot_keys.h"
#include "fakes/player_rig.h"
#include "session/desktop_session.h"
#include "session/portal_hot_key_source.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDeadlineTimer>
#include <QTimer>

#include "event_pump.h"

#include <gtest/gtest.h>

#include <functional>

using namespace velloran;
using namespace velloran::testing;

namespace {

const QString kPortalConnection = QStringLiteral("portal");

QDBusConnection portalBus() {
    return QDBusConnection(kPortalConnection);
}

/// A portal session object; records that it was closed.
class FakeSession : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Session")
public:
    int closes = 0;
public slots:
    Q_SCRIPTABLE void Close() { ++closes; }
};

/// The global-shortcuts part of a desktop portal, answering at once.
class FakeShortcutPortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
public:
    static constexpr const char* kSessionPath = "/org/freedesktop/portal/desktop/session/1_1/s1";

    PortalShortcutList offered; // in CreateSession's options
    PortalShortcutList bound;
    QString boundSession;
    FakeSession session;
    uint answer = 0;            // 0 granted, 1 refused by the user
    bool bindsOnCreate = false; // as the interface's first draft: the session's shortcuts are bound
    QStringList taken;          // ids another program holds, left out of what is bound

    /// Emits Activated for @p id in @p sessionPath.
    void activate(const QString& id, const QString& sessionPath = QLatin1String(kSessionPath)) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QLatin1String(PortalHotKeySource::kPath), QLatin1String(PortalHotKeySource::kInterface),
            QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(sessionPath)) << id << qulonglong(1)
               << QVariantMap();
        portalBus().send(signal);
    }

public slots:
    Q_SCRIPTABLE QDBusObjectPath CreateSession(const QVariantMap& options) {
        portalBus().registerObject(QLatin1String(kSessionPath), &session,
                                   QDBusConnection::ExportScriptableSlots);
        offered = qdbus_cast<PortalShortcutList>(options.value(QStringLiteral("shortcuts")));
        QVariantMap results{{QStringLiteral("session_handle"), QLatin1String(kSessionPath)}};
        if (bindsOnCreate)
            results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(granted(offered)));
        return respond(options, results);
    }
    Q_SCRIPTABLE QDBusObjectPath BindShortcuts(const QDBusObjectPath& sessionHandle,
                                               const QList<velloran::PortalShortcut>& shortcuts,
                                               const QString& /*parentWindow*/,
                                               const QVariantMap& options) {
        boundSession = sessionHandle.path();
        bound = shortcuts;
        return respond(options,
                       {{QStringLiteral("shortcuts"), QVariant::fromValue(granted(bound))}});
    }

private:
    PortalShortcutList granted(const PortalShortcutList& asked) const {
        PortalShortcutList result;
        for (const PortalShortcut& s : asked) {
            if (!taken.contains(s.id))
                result << s;
        }
        return result;
    }

    QDBusObjectPath respond(const QVariantMap& options, const QVariantMap& results) {
        QString sender = message().service().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString path = QLatin1String(PortalHotKeySource::kPath) +
                             QStringLiteral("/request/") + sender + QLatin1Char('/') +
                             options.value(QStringLiteral("handle_token")).toString();
        const uint code = answer;
        // As a real portal: the answer to the call first, the response after.
        QTimer::singleShot(0, this, [path, code, results] {
            QDBusMessage response = QDBusMessage::createSignal(
                path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
            response << code << results;
            portalBus().send(response);
        });
        return QDBusObjectPath(path);
    }
};

/// A portal service that has other interfaces but no global shortcuts.
class PortalWithoutShortcuts : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public slots:
    Q_SCRIPTABLE uint version() { return 1; }
};

class PortalHotKeysTest : public ::testing::Test, protected PlayerRig {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected())
            << "needs tests/run-with.sh --dbus";
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<PortalShortcutList>();
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, kPortalConnection);
        loadWithFile(100);
    }
    void TearDown() override {
        hotKeys.reset();
        source.reset();
        portalBus().unregisterService(QLatin1String(PortalHotKeySource::kService));
        QDBusConnection::disconnectFromBus(kPortalConnection);
    }

    void servePortal(QObject* portal) {
        ASSERT_TRUE(portalBus().registerObject(QLatin1String(PortalHotKeySource::kPath), portal,
                                               QDBusConnection::ExportScriptableSlots));
        ASSERT_TRUE(portalBus().registerService(QLatin1String(PortalHotKeySource::kService)));
    }
    void startHotKeys() {
        source = std::make_unique<PortalHotKeySource>(QDBusConnection::sessionBus(),
                                                      [this](const QStringList& keys) {
                                                          ++unavailable;
                                                          missing = keys;
                                                      });
        hotKeys = std::make_unique<HotKeys>(player, *source);
        hotKeys->registerHotKeys();
    }

    std::unique_ptr<PortalHotKeySource> source;
    std::unique_ptr<HotKeys> hotKeys;
    int unavailable = 0;
    QStringList missing;
};

TEST_F(PortalHotKeysTest, BindsEveryActionWithItsTriggerAndActsOnActivated) {
    FakeShortcutPortal portal;
    servePortal(&portal);
    startHotKeys();
    ASSERT_TRUE(pumpUntil([&] { return source->isBound(); }));
    EXPECT_EQ(portal.boundSession, QLatin1String(FakeShortcutPortal::kSessionPath));
    QStringList seen;
    for (const PortalShortcut& s : portal.bound)
        seen << s.id + QLatin1Char('=') + s.properties.value("preferred_trigger").toString();
    EXPECT_EQ(seen, (QStringList{
                        "open=CTRL+F10", "play=", "pause=", "play-pause=F9",
                        "stop=", "rewind=", "forward=", "small-rewind=F7", "small-forward=F8",
                        "bookmark=F10", "review=F11", "clear-bookmarks=CTRL+F11",
                        "speed-up=", "speed-down=", "speed-normal=", "timestamp=Pause",
                        "goto-timestamp=SHIFT+Pause", "next-dictation=", "previous-dictation="}));
    for (const PortalShortcut& s : portal.bound)
        EXPECT_FALSE(s.properties.value("description").toString().isEmpty());
    // The session carries them too, for desktops that bind only what it brings.
    EXPECT_EQ(portal.offered.size(), portal.bound.size());

    engine.setCurrentPosition(42);
    player.posChange();
    portal.activate(QStringLiteral("bookmark"));
    EXPECT_TRUE(pumpUntil([&] { return player.bookmarks().positions().size() == 1; }));
    EXPECT_EQ(player.bookmarks().positions(), QList<double>{42});

    // Another session's shortcut, or an unknown id, does nothing.
    portal.activate(QStringLiteral("bookmark"), QStringLiteral("/org/freedesktop/portal/other"));
    portal.activate(QStringLiteral("eject"));
    pumpFor(300);
    EXPECT_EQ(player.bookmarks().positions().size(), 1);
    EXPECT_EQ(unavailable, 0);

    hotKeys->unregisterHotKeys();
    EXPECT_TRUE(pumpUntil([&] { return portal.session.closes == 1; }));
    portal.activate(QStringLiteral("bookmark"));
    pumpFor(300);
    EXPECT_EQ(player.bookmarks().positions().size(), 1);
}

TEST_F(PortalHotKeysTest, KeysTheDesktopLeavesOutAreNamed) {
    for (const bool onCreate : {false, true}) {
        FakeShortcutPortal portal;
        portal.bindsOnCreate = onCreate;
        portal.taken = QStringList{"play-pause", "speed-up"};
        servePortal(&portal);
        unavailable = 0;
        startHotKeys();
        ASSERT_TRUE(pumpUntil([&] { return unavailable == 1; })) << onCreate;
        EXPECT_EQ(missing, QStringList{"F9 (play-pause)"}) << "speed-up has no key to miss";
        EXPECT_EQ(portal.bound.isEmpty(), false) << onCreate; // what is missing is asked for again
        hotKeys.reset();
        source.reset();
        portalBus().unregisterService(QLatin1String(PortalHotKeySource::kService));
        portalBus().unregisterObject(QLatin1String(PortalHotKeySource::kPath));
    }
    // A desktop that binds the session's shortcuts and takes them all is tested under KWin.
}

TEST_F(PortalHotKeysTest, APortalWithoutGlobalShortcutsIsReportedOnce) {
    PortalWithoutShortcuts portal;
    servePortal(&portal);
    startHotKeys();
    EXPECT_TRUE(pumpUntil([&] { return unavailable == 1; }));
    EXPECT_TRUE(missing.isEmpty());
    hotKeys->unregisterHotKeys();
    hotKeys->registerHotKeys();
    pumpFor(500);
    EXPECT_EQ(unavailable, 1);
    EXPECT_FALSE(source->isBound());
}

TEST_F(PortalHotKeysTest, NoPortalAtAllOrARefusalIsReportedToo) {
    startHotKeys(); // nothing serves the portal's name
    EXPECT_TRUE(pumpUntil([&] { return unavailable == 1; }));

    FakeShortcutPortal portal;
    portal.answer = 1;
    servePortal(&portal);
    hotKeys.reset();
    source.reset();
    unavailable = 0;
    startHotKeys();
    EXPECT_TRUE(pumpUntil([&] { return unavailable == 1; }));
    EXPECT_FALSE(source->isBound());
}

TEST(DesktopSessionTest, AWaylandSessionRunsTheStripOnItsXServerWhereThereIsOne) {
    using C = QtPlatformChoice;
    // {XDG_SESSION_TYPE, WAYLAND_DISPLAY, DISPLAY, QT_QPA_PLATFORM, X answers, choice}
    const struct {
        const char* type;
        bool wayland, x, chosen, answers;
        C choice;
    } cases[] = {{"x11", false, true, false, true, C::Qt},
                 {"", true, true, false, true, C::Xcb},
                 {"wayland", true, true, true, true, C::Qt},
                 {"wayland", true, false, false, true, C::NativeWayland},
                 {"wayland", true, true, false, false, C::NativeWayland}};
    for (const auto& c : cases) {
        const DesktopSession session{QLatin1String(c.type), c.wayland, c.x, c.chosen};
        EXPECT_EQ(chooseQtPlatform(session, [&] { return c.answers; }), c.choice)
            << c.type << c.wayland << c.x << c.chosen << c.answers;
    }
}

} // namespace

#include "portal_hot_keys_test.moc"
