#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace velloran {

class CommandGate;
class FocusKeeper;
class Player;

/// The function keys the hot keys use.
enum class FunctionKey { F7, F8, F10, F11 };

/// One system-wide hot key.
struct HotKeyBinding {
    int id = 0;           ///< 1110..1115
    bool control = false; ///< with the Control key
    FunctionKey key = FunctionKey::F10;
    QString name;        ///< the --command name, also the portal's shortcut id
    QString description; ///< what a desktop's shortcut settings show
    QString trigger;     ///< preferred trigger in the portal's notation, "CTRL+F10"
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

    /// Called with a key's id each time it is pressed (not on auto-repeat).
    std::function<void(int id)> activated;
};

/// The hot keys (modHotKey): registers the table on a key source and turns
/// presses and outside commands into the player's actions.
class HotKeys {
public:
    static constexpr int kOpen = 1110;
    static constexpr int kBookmark = 1111;
    static constexpr int kReview = 1112;
    static constexpr int kClear = 1113;
    static constexpr int kSmallRewind = 1114;
    static constexpr int kSmallForward = 1115;

    HotKeys(Player& player, HotKeySource& source);
    ~HotKeys();
    HotKeys(const HotKeys&) = delete;
    HotKeys& operator=(const HotKeys&) = delete;

    /// The keys in registration order.
    static QList<HotKeyBinding> table();
    /// Every name runCommand() accepts.
    static QStringList commandNames();

    void registerHotKeys();
    void unregisterHotKeys();
    bool isRegistered() const { return registered_; }

    /// Runs the action of hot key @p id; an id outside the table does nothing.
    void dispatch(int id);
    /// Runs the action named @p name (see commandNames()); false for an unknown name.
    bool runCommand(const QString& name);

    /// Keys and commands that come while a conversion runs wait for its end.
    void setGate(CommandGate* gate) { gate_ = gate; }

    /// Opens the audio file after (+1) or before (-1) the current one in its
    /// folder: next-dictation and previous-dictation.
    std::function<void(int step)> openNeighbour;
    /// Brings the main window forward before the clear question is asked.
    std::function<void()> activateMainWindow;
    /// Where the focus goes back after a dialog a key or command opened; none
    /// where the desktop decides that itself.
    void setFocusKeeper(FocusKeeper* keeper) { focusKeeper_ = keeper; }

private:
    void open();
    void askAndClear();

    Player& player_;
    HotKeySource& source_;
    CommandGate* gate_ = nullptr;
    FocusKeeper* focusKeeper_ = nullptr;
    bool registered_ = false;
};

} // namespace velloran
