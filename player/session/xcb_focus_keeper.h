#pragma once

#include "xcb_display.h"

#include "core/focus_keeper.h"

#include <QByteArray>

#include <memory>

namespace velloran {

/// The keyboard focus on an X server, over a connection of its own: reads it
/// with GetInputFocus and gives it back through the window manager
/// (_NET_ACTIVE_WINDOW) when there is one, and with SetInputFocus.
class XcbFocusKeeper final : public FocusKeeper {
public:
    /// Connects to @p display (empty: $DISPLAY).
    explicit XcbFocusKeeper(const QByteArray& display = {});
    ~XcbFocusKeeper() override;

    bool isConnected() const;
    Window focusedWindow() override;
    void giveFocusTo(Window window) override;

private:
    quint32 atom(const char* name);
    bool windowManagerActivates();
    quint32 clientWindowOf(quint32 window);

    XcbConnectionPtr connection_;
    quint32 root_ = 0;
};

} // namespace velloran
