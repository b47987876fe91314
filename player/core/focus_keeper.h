#pragma once

#include <QtGlobal>

namespace velloran {

/// Remembers which window of the desktop has the keyboard focus and gives it
/// back later, so that a dialog a hot key opened does not leave the typist's
/// word processor without its keyboard.
class FocusKeeper {
public:
    /// A window as the window system names it; 0 for none.
    using Window = quint64;

    virtual ~FocusKeeper() = default;
    /// The window that has the keyboard focus now; 0 when unknown.
    virtual Window focusedWindow() = 0;
    /// Gives the keyboard focus back to @p window (0 does nothing). A window
    /// that has gone in the meantime is left alone, without a message.
    virtual void giveFocusTo(Window window) = 0;
};

/// Gives the focus back, when it goes out of scope, to the window that had
/// it when it was made. Nests: an inner one gives it back to the outer dialog.
class FocusReturn {
public:
    explicit FocusReturn(FocusKeeper* keeper)
        : keeper_(keeper), window_(keeper ? keeper->focusedWindow() : 0) {}
    ~FocusReturn() {
        if (keeper_)
            keeper_->giveFocusTo(window_);
    }
    FocusReturn(const FocusReturn&) = delete;
    FocusReturn& operator=(const FocusReturn&) = delete;

private:
    FocusKeeper* keeper_;
    FocusKeeper::Window window_;
};

} // namespace velloran
