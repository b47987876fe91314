#pragma once

#include "actions.h"
#include "key_bindings.h"
#include "key_chord.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>

namespace velloran {

class CommandGate;
class FocusKeeper;
class Player;

/// One action as a key source registers it.
struct HotKeyBinding {
    int id = 0;                  ///< the action's hot-key identifier
    std::optional<KeyChord> key; ///< none: the action has no key (a portal may still offer it)
    QString name;                ///< the action's name, also the portal's shortcut id
    QString description;         ///< what a desktop's shortcut settings show
};

/// Where presses of system-wide keys come from: the X server's key grabs,
/// the desktop's shortcut portal, or a test.
class HotKeySource {
public:
    virtual ~HotKeySource() = default;
    /// Registers @p keys in their order. A key another program holds is left
    /// out without a message; the others still work.
    virtual void registerKeys(const QList<HotKeyBinding>& keys) = 0;
    /// Releases every key registered, so other programs can have them.
    virtual void unregisterKeys() = 0;
    /// Whether another program holds @p key now, so it would not reach us.
    /// Where that cannot be known (a portal), false.
    virtual bool isHeldElsewhere(const KeyChord& /*key*/) { return false; }

    /// Called with a key's id each time it is pressed (not on auto-repeat).
    std::function<void(int id)> activated;
};

/// Called once when system-wide keys are missing: @p missing names the keys
/// the desktop did not bind ("F9 (play-pause)"), empty when it offers none.
using HotKeysUnavailable = std::function<void(const QStringList& missing)>;

/// The hot keys (modHotKey): registers the bound keys on a key source and
/// turns presses and outside commands into the player's actions, each the
/// same as the toolbar button, slider or key that does it in the window.
class HotKeys {
public:
    static constexpr int kOpen = 1110;
    static constexpr int kBookmark = 1111;
    static constexpr int kReview = 1112;
    static constexpr int kClear = 1113;
    static constexpr int kSmallRewind = 1114;
    static constexpr int kSmallForward = 1115;
    static constexpr int kPlayPause = 1116;

    HotKeys(Player& player, HotKeySource& source);
    ~HotKeys();
    HotKeys(const HotKeys&) = delete;
    HotKeys& operator=(const HotKeys&) = delete;

    /// Every action with its key as @p bindings has it, in the action table's
    /// order; a key two actions share goes to the first of them only.
    static QList<HotKeyBinding> table(const KeyBindings& bindings = KeyBindings::defaults());
    /// Every name runCommand() accepts, in the action table's order.
    static QStringList commandNames();

    void registerHotKeys();
    void unregisterHotKeys();
    bool isRegistered() const { return registered_; }

    /// The bindings in use; they take effect at once, the old keys released
    /// before the new ones are taken.
    const KeyBindings& bindings() const { return bindings_; }
    void setBindings(const KeyBindings& bindings);
    HotKeySource& source() { return source_; }

    /// Runs the action of hot key @p id; an id outside the table does nothing.
    void dispatch(int id);
    /// Runs @p action now.
    void run(Action action);
    /// Runs the action named @p name (see commandNames()); false for an unknown name.
    bool runCommand(const QString& name);

    /// Runs @p handler for @p action: for the actions whose rules live
    /// elsewhere (timestamps). Without one the action does nothing.
    void setHandler(Action action, std::function<void()> handler);

    /// Keys and commands that come while a conversion runs wait for its end.
    void setGate(CommandGate* gate) { gate_ = gate; }

    /// Brings the main window forward before the clear question is asked.
    std::function<void()> activateMainWindow;
    /// Where the focus goes back after a dialog a key or command opened; none
    /// where the desktop decides that itself.
    void setFocusKeeper(FocusKeeper* keeper) { focusKeeper_ = keeper; }

private:
    void open();
    void askAndClear();
    void toolbar(int button);
    void moveSpeed(int notches);

    Player& player_;
    HotKeySource& source_;
    KeyBindings bindings_ = KeyBindings::defaults();
    std::map<Action, std::function<void()>> handlers_;
    CommandGate* gate_ = nullptr;
    FocusKeeper* focusKeeper_ = nullptr;
    bool registered_ = false;
};

} // namespace velloran
