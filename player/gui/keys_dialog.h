#pragma once

#include "core/key_bindings.h"

#include <QDialog>
#include <QHash>
#include <QLineEdit>

#include <functional>
#include <map>
#include <optional>

class QComboBox;
class QLabel;

namespace velloran {

/// A field that shows a key and takes the next key pressed in it as the new
/// one. Tab still moves on and Backspace clears, so the dialog stays usable
/// from the keyboard.
class KeyRecorder : public QLineEdit {
    Q_OBJECT
public:
    explicit KeyRecorder(QWidget* parent = nullptr);
    std::optional<KeyChord> key() const { return key_; }
    void setKey(std::optional<KeyChord> key);

signals:
    void recorded(std::optional<KeyChord> key);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::optional<KeyChord> key_;
};

/// The Keys dialog: one row per action with its key, a field to record a new
/// one, Clear, and why a key would not act (another program holds it, or
/// another action has it too). Restore defaults puts every key back; nothing
/// changes until OK.
class KeysDialog : public QDialog {
    Q_OBJECT
public:
    /// @p heldElsewhere tells whether another program holds a key now.
    KeysDialog(const KeyBindings& bindings, std::function<bool(const KeyChord&)> heldElsewhere,
               QWidget* parent = nullptr);

    /// The bindings as the dialog has them now.
    const KeyBindings& bindings() const { return bindings_; }
    /// The format the timestamp key types, as chosen or written in its list.
    QString timestampFormat() const;
    void setTimestampFormat(const QString& pattern);

private:
    struct Row {
        KeyRecorder* field = nullptr;
        QLabel* problem = nullptr;
    };

    void bind(Action action, std::optional<KeyChord> key);
    void showBindings();
    bool heldElsewhere(const KeyChord& key);

    KeyBindings bindings_;
    std::function<bool(const KeyChord&)> heldElsewhere_;
    /// What the look at each key found: a look costs a round of grabs on the
    /// X server, and every key recorded redraws every row.
    QHash<QString, bool> held_;
    std::map<Action, Row> rows_;
    QComboBox* format_ = nullptr;
};

} // namespace velloran
