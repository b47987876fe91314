#pragma once
// Which desktop session the player runs in, and which Qt platform it takes
// there. A Wayland desktop gives a program no way to stay above the others;
// the same window through the desktop's X server (Xwayland) is kept on top.

#include <QString>

#include <functional>

namespace velloran {

/// What the desktop told the program about its session, through the
/// environment it starts every program with.
struct DesktopSession {
    QString sessionType;         ///< XDG_SESSION_TYPE
    bool waylandDisplay = false; ///< WAYLAND_DISPLAY is set
    bool xDisplay = false;       ///< DISPLAY is set
    bool platformChosen = false; ///< QT_QPA_PLATFORM is set: the user's choice stands

    static DesktopSession current();
    /// A Wayland session, whichever platform this program runs on in it.
    bool isWayland() const;
};

enum class QtPlatformChoice {
    Qt,            ///< Qt's own choice (an X11 session, or the user's setting)
    Xcb,           ///< the desktop's X server, in a Wayland session
    NativeWayland, ///< a Wayland session without an X server: the strip cannot stay on top
};

/// The platform for @p session; @p xReachable is asked only when it matters.
QtPlatformChoice chooseQtPlatform(const DesktopSession& session,
                                  const std::function<bool()>& xReachable);

/// Chooses the platform for this session and sets it for Qt. Must run before
/// the application object exists.
QtPlatformChoice selectQtPlatform();

} // namespace velloran
