#include "desktop_session.h"

#include "xcb_display.h"

namespace velloran {

DesktopSession DesktopSession::current() {
    DesktopSession session;
    session.sessionType = qEnvironmentVariable("XDG_SESSION_TYPE");
    session.waylandDisplay = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    session.xDisplay = !qEnvironmentVariableIsEmpty("DISPLAY");
    session.platformChosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    return session;
}

bool DesktopSession::isWayland() const {
    return sessionType == QLatin1String("wayland") || waylandDisplay;
}

QtPlatformChoice chooseQtPlatform(const DesktopSession& session,
                                  const std::function<bool()>& xReachable) {
    if (session.platformChosen || !session.isWayland())
        return QtPlatformChoice::Qt;
    if (session.xDisplay && xReachable())
        return QtPlatformChoice::Xcb;
    return QtPlatformChoice::NativeWayland;
}

QtPlatformChoice selectQtPlatform() {
    const QtPlatformChoice choice = chooseQtPlatform(DesktopSession::current(), [] {
        // Xwayland may start only when its first client connects: connecting is the test.
        const XcbDisplay display = connectXcbDisplay({});
        return display.connection != nullptr;
    });
    if (choice == QtPlatformChoice::Xcb)
        qputenv("QT_QPA_PLATFORM", "xcb");
    return choice;
}

} // namespace velloran
