#pragma once

#include "actions.h"
#include "key_chord.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>

namespace velloran {

class SettingsStore;

/// Which key each action is bound to: group "HotKeys" of the settings file,
/// one key per action named as the action ("play-pause=F9"). A missing key
/// means the action's default; an empty value unbinds it.
class KeyBindings {
public:
    static inline const QString kGroup = QStringLiteral("HotKeys");

    /// Every action on its default key.
    static KeyBindings defaults();
    /// The bindings of @p store. A value that is not a key is logged and the
    /// default kept, so a slip in a hand-edited file costs one key, not all.
    static KeyBindings load(const SettingsStore& store);
    /// Writes the bindings that differ from the defaults and removes the others,
    /// so a later change of a default reaches everyone who never moved that key.
    void save(SettingsStore& store) const;

    std::optional<KeyChord> key(Action action) const;
    void bind(Action action, std::optional<KeyChord> key);
    /// The other actions bound to the same key as @p action, in table order.
    QList<Action> sharing(Action action) const;
    /// Whether @p action is the first in table order on its key: only that one
    /// gets the key when two share it.
    bool ownsKey(Action action) const;

    /// @p tips, the toolbar's tooltips in button order, naming the keys as
    /// bound: "Bookmark (F10)" becomes "Bookmark (Ctrl+B)", or "Bookmark" without one.
    QStringList toolbarTooltips(QStringList tips) const;

    bool operator==(const KeyBindings&) const = default;

private:
    std::map<Action, std::optional<KeyChord>> keys_;
};

} // namespace velloran
