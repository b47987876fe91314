#pragma once

class QWidget;

namespace velloran {

class MainWindow;
class SettingsStore;

/// Moves @p window, not yet shown, to where it was at the last exit when that
/// place is still on a connected screen; otherwise the desktop places it.
void restoreWindowPlace(QWidget& window, const SettingsStore& store);

/// Remembers where @p window's full strip stands (in compact mode, where it
/// comes back to). Not natively on Wayland, where a program neither learns nor
/// chooses its window's place; through Xwayland the strip is an X window and is.
void saveWindowPlace(const MainWindow& window, SettingsStore& store);

} // namespace velloran
