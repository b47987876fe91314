#include "hot_keys.h"

#include "command_gate.h"
#include "dictation_speed.h"
#include "focus_keeper.h"
#include "media_engine.h"
#include "player.h"

#include <algorithm>
#include <utility>

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

QList<HotKeyBinding> HotKeys::table(const KeyBindings& bindings) {
    QList<HotKeyBinding> keys;
    for (const ActionInfo& info : actionTable()) {
        const std::optional<KeyChord> key =
            bindings.ownsKey(info.action) ? bindings.key(info.action) : std::nullopt;
        keys << HotKeyBinding{info.id, key, info.name, info.description};
    }
    return keys;
}

QStringList HotKeys::commandNames() {
    QStringList names;
    for (const ActionInfo& info : actionTable())
        names << info.name;
    return names;
}

void HotKeys::registerHotKeys() {
    if (registered_)
        return;
    source_.registerKeys(table(bindings_));
    registered_ = true;
}

void HotKeys::unregisterHotKeys() {
    if (!registered_)
        return;
    source_.unregisterKeys();
    registered_ = false;
}

void HotKeys::setBindings(const KeyBindings& bindings) {
    if (bindings == bindings_)
        return;
    bindings_ = bindings;
    if (!registered_)
        return;
    unregisterHotKeys();
    registerHotKeys();
}

void HotKeys::dispatch(int id) {
    if (const ActionInfo* info = actionWithId(id))
        run(info->action);
}

void HotKeys::run(Action action) {
    switch (action) {
    case Action::Open:
        open();
        break;
    case Action::Play:
        toolbar(Player::PlayButton);
        break;
    case Action::Pause:
        if (player_.engine().currentState() == MediaEngine::Running)
            toolbar(Player::PauseButton);
        break;
    case Action::PlayPause:
        toolbar(player_.engine().currentState() == MediaEngine::Running ? Player::PauseButton
                                                                        : Player::PlayButton);
        break;
    case Action::Stop:
        toolbar(Player::StopButton);
        break;
    case Action::Rewind:
        toolbar(Player::RewindButton);
        break;
    case Action::Forward:
        toolbar(Player::ForwardButton);
        break;
    case Action::SmallRewind:
        player_.smallRewind();
        break;
    case Action::SmallForward:
        player_.smallForward();
        break;
    case Action::Bookmark:
        player_.addBookMark();
        break;
    case Action::Review:
        player_.moveToBookMark();
        break;
    case Action::ClearBookmarks:
        askAndClear();
        break;
    case Action::SpeedUp:
        moveSpeed(1);
        break;
    case Action::SpeedDown:
        moveSpeed(-1);
        break;
    case Action::SpeedNormal:
        moveSpeed(-player_.display().speedValue);
        break;
    case Action::Timestamp:
    case Action::GotoTimestamp:
    case Action::NextDictation:
    case Action::PreviousDictation:
        if (const auto handler = handlers_.find(action); handler != handlers_.end())
            handler->second();
        break;
    }
}

void HotKeys::setHandler(Action action, std::function<void()> handler) {
    handlers_[action] = std::move(handler);
}

// The toolbar and the speed slider are disabled while the settings panel is
// open; what stands for them from outside is too.
void HotKeys::toolbar(int button) {
    if (player_.display().controlsEnabled)
        player_.toolbarClick(button);
}

void HotKeys::moveSpeed(int notches) {
    if (!player_.display().controlsEnabled)
        return;
    const int now = player_.display().speedValue;
    const int wanted =
        std::clamp(now + notches, int(DictationSpeed::kSlowest), int(DictationSpeed::kFastest));
    // As the slider itself: no notification when the value stays.
    if (wanted != now)
        player_.speedSliderMoved(wanted);
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
    const ActionInfo* info = actionNamed(name);
    if (!info)
        return false;
    if (!(gate_ && gate_->hold([this, action = info->action] { run(action); })))
        run(info->action);
    return true;
}

} // namespace velloran
