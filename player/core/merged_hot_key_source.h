#pragma once

#include "hot_keys.h"

#include <QHash>

#include <functional>
#include <memory>

namespace velloran {

/// Two key sources as one: in a Wayland session the desktop's shortcut portal
/// hears the keys while a Wayland program has the focus, and the X server's
/// grabs while an X program has it. Should both hear the same press, the
/// other source's report within a short while is dropped; quick presses the
/// same source reports are all kept.
class MergedHotKeySource final : public HotKeySource {
public:
    /// Milliseconds since any fixed moment; a test may drive its own.
    using Clock = std::function<qint64()>;
    static constexpr qint64 kSamePressMs = 150;

    MergedHotKeySource(std::unique_ptr<HotKeySource> first, std::unique_ptr<HotKeySource> second,
                       Clock clock = {});
    ~MergedHotKeySource() override;

    void registerKeys(const QList<HotKeyBinding>& keys) override;
    void unregisterKeys() override;
    /// Held elsewhere only where the source that can tell says so.
    bool isHeldElsewhere(const KeyChord& key) override;

    HotKeySource& first() { return *first_; }
    HotKeySource& second() { return *second_; }

private:
    void forward(int id, const HotKeySource* from);

    std::unique_ptr<HotKeySource> first_;
    std::unique_ptr<HotKeySource> second_;
    Clock clock_;
    struct Press {
        const HotKeySource* from = nullptr;
        qint64 at = 0;
    };
    QHash<int, Press> lastPress_;
};

} // namespace velloran
