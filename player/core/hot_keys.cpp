#include "hot_keys.h"

#include "command_gate.h"
#include "focus_keeper.h"
#include "media_engine.h"
#include "player.h"

namespace velloran {

HotKeys::HotKeys(Player& player, HotKeySource& source) : player_(player), source_(source) {
    source_.activated = [this](int id) {
        if (!(gate_ && gate_->hold([this, id] { dispatch(id); })))
            dispatch(id);
    };
}

HotKeys::~HotKeys() {
    unregisterHotKeys();
    source_.activated = nullptr;
}

QList<HotKeyBinding> HotKeys::table() {
    return {
        {kOpen, true, FunctionKey::F10, QStringLiteral("open"), QStringLiteral("Open a dictation"),
         QStringLiteral("CTRL+F10")},
        {kBookmark, false, FunctionKey::F10, QStringLiteral("bookmark"),
         QStringLiteral("Set a bookmark"), QStringLiteral("F10")},
        {kReview, false, FunctionKey::F11, QStringLiteral("review"),
         QStringLiteral("Go to the next bookmark"), QStringLiteral("F11")},
        {kClear, true, FunctionKey::F11, QStringLiteral("clear-bookmarks"),
         QStringLiteral("Clear all bookmarks"), QStringLiteral("CTRL+F11")},
        {kSmallRewind, false, FunctionKey::F7, QStringLiteral("small-rewind"),
         QStringLiteral("Small rewind"), QStringLiteral("F7")},
        {kSmallForward, false, FunctionKey::F8, QStringLiteral("small-forward"),
         QStringLiteral("Small forward"), QStringLiteral("F8")},
    };
}

QStringList HotKeys::commandNames() {
    QStringList names;
    for (const HotKeyBinding& key : table())
        names << key.name;
    names << QStringLiteral("play-pause") << QStringLiteral("rewind") << QStringLiteral("forward")
          << QStringLiteral("next-dictation") << QStringLiteral("previous-dictation");
    return names;
}

void HotKeys::registerHotKeys() {
    if (registered_)
        return;
    source_.registerKeys(table());
    registered_ = true;
}

void HotKeys::unregisterHotKeys() {
    if (!registered_)
        return;
    source_.unregisterKeys();
    registered_ = false;
}

void HotKeys::dispatch(int id) {
    switch (id) {
    case kOpen:
        open();
        break;
    case kBookmark:
        player_.addBookMark();
        break;
    case kReview:
        player_.moveToBookMark();
        break;
    case kClear:
        askAndClear();
        break;
    case kSmallRewind:
        player_.smallRewind();
        break;
    case kSmallForward:
        player_.smallForward();
        break;
    default:
        break;
    }
}

// A key pressed again while its dialog is up brings that one forward; a
// second, identical dialog would only have to be answered twice.
void HotKeys::open() {
    if (player_.prompts().raiseOpenDialog())
        return;
    const FocusReturn back(focusKeeper_);
    player_.openFile();
}

void HotKeys::askAndClear() {
    const QString question = QStringLiteral("Do you want to clear all Bookmarks");
    if (player_.prompts().raiseQuestion(question))
        return;
    const FocusReturn back(focusKeeper_);
    if (activateMainWindow)
        activateMainWindow();
    if (player_.prompts().askYesNo(question))
        player_.clearallBookmarks();
}

bool HotKeys::runCommand(const QString& name) {
    if (!commandNames().contains(name))
        return false;
    if (gate_ && gate_->hold([this, name] { runCommand(name); }))
        return true;
    for (const HotKeyBinding& key : table()) {
        if (key.name == name) {
            dispatch(key.id);
            return true;
        }
    }
    if (name == QLatin1String("play-pause")) {
        const bool running = player_.engine().currentState() == MediaEngine::Running;
        player_.toolbarClick(running ? Player::PauseButton : Player::PlayButton);
    } else if (name == QLatin1String("rewind")) {
        player_.toolbarClick(Player::RewindButton);
    } else if (name == QLatin1String("forward")) {
        player_.toolbarClick(Player::ForwardButton);
    } else if (name == QLatin1String("next-dictation") ||
               name == QLatin1String("previous-dictation")) {
        if (openNeighbour)
            openNeighbour(name.startsWith(QLatin1Char('n')) ? 1 : -1);
    } else {
        return false;
    }
    return true;
}

} // namespace velloran
