#pragma once

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

} // namespace velloran::testing
