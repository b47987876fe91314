#pragma once

#include "core/focus_keeper.h"
#include "core/hot_keys.h"

#include <QString>

#include <functional>
#include <memory>

namespace velloran {

/// The key source for the desktop the program runs on: key grabs on X11, the
/// desktop's shortcut portal on Wayland, none elsewhere. @p unavailable is
/// called once when the desktop offers no system-wide keys.
std::unique_ptr<HotKeySource> makeHotKeySource(const QString& qtPlatform,
                                               std::function<void()> unavailable);

/// Gives the focus back after a dialog on X11; null elsewhere, where the
/// desktop decides which window has the focus.
std::unique_ptr<FocusKeeper> makeFocusKeeper(const QString& qtPlatform);

} // namespace velloran
