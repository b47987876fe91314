#include "hot_key_sources.h"

#include "core/merged_hot_key_source.h"
#include "desktop_session.h"
#include "portal_hot_key_source.h"
#include "xcb_focus_keeper.h"
#include "xcb_hot_key_source.h"

#include <QDBusConnection>

#include <utility>

namespace velloran {

namespace {
/// Where there is no desktop to give system-wide keys (offscreen).
class NoHotKeySource final : public HotKeySource {
public:
    void registerKeys(const QList<HotKeyBinding>&) override {}
    void unregisterKeys() override {}
};
} // namespace

std::unique_ptr<HotKeySource> makeHotKeySource(const QString& qtPlatform,
                                               const DesktopSession& session,
                                               HotKeysUnavailable unavailable) {
    std::unique_ptr<XcbHotKeySource> grabs;
    if (qtPlatform == QLatin1String("xcb") || session.isWayland()) {
        grabs = std::make_unique<XcbHotKeySource>();
        if (!grabs->isConnected())
            grabs.reset();
    }
    if (!session.isWayland() && !qtPlatform.startsWith(QLatin1String("wayland"))) {
        if (grabs)
            return grabs;
        // Offscreen and the like: no desktop to tell.
        return std::make_unique<NoHotKeySource>();
    }
    // The X server of a Wayland session hears keys only while one of its own
    // windows has the focus; the portal hears them everywhere else.
    auto portal =
        std::make_unique<PortalHotKeySource>(QDBusConnection::sessionBus(), std::move(unavailable));
    if (!grabs)
        return portal;
    return std::make_unique<MergedHotKeySource>(std::move(portal), std::move(grabs));
}

std::unique_ptr<FocusKeeper> makeFocusKeeper(const QString& qtPlatform) {
    if (qtPlatform != QLatin1String("xcb"))
        return nullptr;
    auto keeper = std::make_unique<XcbFocusKeeper>();
    if (!keeper->isConnected())
        return nullptr;
    return keeper;
}

} // namespace velloran
