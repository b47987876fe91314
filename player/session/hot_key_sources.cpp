#include "hot_key_sources.h"

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
                                               std::function<void()> unavailable) {
    if (qtPlatform == QLatin1String("xcb")) {
        auto source = std::make_unique<XcbHotKeySource>();
        if (source->isConnected())
            return source;
    }
    if (qtPlatform.startsWith(QLatin1String("wayland")))
        return std::make_unique<PortalHotKeySource>(QDBusConnection::sessionBus(),
                                                    std::move(unavailable));
    // Offscreen and the like: no desktop to tell.
    return std::make_unique<NoHotKeySource>();
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
