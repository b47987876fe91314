#pragma once
// The tools have no window; this is what stands in for their message boxes.

#include <string_view>

namespace velloran::tools {

/// Reports `text` under `caption`: always as one line "caption: text" on stderr, and also in
/// a desktop dialog (zenity, kdialog or xmessage, whichever is installed) when DISPLAY or
/// WAYLAND_DISPLAY is set. Like a message box it returns once the dialog is dismissed.
/// Setting VELLORAN_NO_DIALOG keeps the message on stderr only.
void showMessage(std::string_view caption, std::string_view text);

} // namespace velloran::tools
