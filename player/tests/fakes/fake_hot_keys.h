#pragma once

#include "core/focus_keeper.h"
#include "core/hot_keys.h"

#include <QStringList>

namespace velloran::testing {

/// A key source that records what is registered and presses keys on demand.
class FakeHotKeySource final : public HotKeySource {
public:
    void registerKeys(const QList<HotKeyBinding>& keys) override {
        registered = keys;
        calls << QStringLiteral("register");
    }
    void unregisterKeys() override {
        registered.clear();
        calls << QStringLiteral("unregister");
    }
    void press(int id) {
        if (activated)
            activated(id);
    }

    QList<HotKeyBinding> registered;
    QStringList calls;
};

/// A desktop of numbered windows: the focus is where the test puts it.
class FakeFocusKeeper final : public FocusKeeper {
public:
    Window focusedWindow() override { return focused; }
    void giveFocusTo(Window window) override {
        givenTo << window;
        focused = window;
    }
    Window focused = 0;
    QList<Window> givenTo;
};

} // namespace velloran::testing
