#pragma once

#include "core/focus_keeper.h"
#include "core/hot_keys.h"

#include <QString>

#include <functional>
#include <memory>

namespace velloran {

struct DesktopSession;

/// The key source for the desktop the program runs on: key grabs in an X11
/// session; in a Wayland session the desktop's shortcut portal, with key grabs
/// beside it for while an X program has the focus; none elsewhere.
std::unique_ptr<HotKeySource> makeHotKeySource(const QString& qtPlatform,
                                               const DesktopSession& session,
                                               HotKeysUnavailable unavailable);

/// Gives the focus back after a dialog on X11; null elsewhere, where the
/// desktop decides which window has the focus.
std::unique_ptr<FocusKeeper> makeFocusKeeper(const QString& qtPlatform);

} // namespace velloran
