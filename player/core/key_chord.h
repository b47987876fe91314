#pragma once

#include <QString>
#include <Qt>

#include <optional>

namespace velloran {

/// One key with its modifiers, as a typist binds it to an action: F9,
/// Ctrl+F10, Ctrl+Alt+P. Kept apart from Qt's key sequences (a GUI type) so
/// the bindings' rules can be read and checked without a display.
struct KeyChord {
    int key = 0; ///< a Qt::Key; letters as upper case (Qt::Key_P)
    Qt::KeyboardModifiers modifiers;

    bool operator==(const KeyChord& other) const {
        return key == other.key && modifiers == other.modifiers;
    }

    /// The modifiers a binding may carry; lock keys and the keypad flag are not among them.
    static constexpr Qt::KeyboardModifiers kBindable{Qt::ControlModifier | Qt::AltModifier |
                                                     Qt::ShiftModifier | Qt::MetaModifier};

    /// Reads Qt's portable key text ("Ctrl+F10", "ctrl+alt+p", "Media Play",
    /// "Ctrl++"). None for empty text, unknown names, a modifier alone or
    /// more than one key.
    static std::optional<KeyChord> fromText(const QString& text);
    /// The portable text, modifiers in Qt's order: "Ctrl+Alt+Shift+Meta+F10".
    QString text() const;
    /// As a desktop's shortcut portal spells a trigger: "CTRL+ALT+p", "F10".
    QString portalTrigger() const;
    /// The keysym of the key (unshifted, as key grabs want it); 0 for none.
    quint32 keysym() const;
    /// Whether @p key is a key of its own, not a modifier or a lock.
    static bool isBindableKey(int key);
};

} // namespace velloran
