#include "key_bindings.h"

#include "settings_store.h"

#include <QtGlobal>

#include <array>

namespace velloran {

KeyBindings KeyBindings::defaults() {
    KeyBindings bindings;
    for (const ActionInfo& info : actionTable())
        bindings.keys_[info.action] = KeyChord::fromText(info.defaultKey);
    return bindings;
}

KeyBindings KeyBindings::load(const SettingsStore& store) {
    KeyBindings bindings = defaults();
    for (const ActionInfo& info : actionTable()) {
        const std::optional<QString> value = store.readIn(kGroup, info.name);
        if (!value)
            continue;
        if (value->trimmed().isEmpty()) {
            bindings.keys_[info.action] = std::nullopt;
            continue;
        }
        if (const auto chord = KeyChord::fromText(*value))
            bindings.keys_[info.action] = chord;
        else
            qWarning("velloran: [%s] %s=%s is not a key; %s keeps its default", qPrintable(kGroup),
                     qPrintable(info.name), qPrintable(*value), qPrintable(info.name));
    }
    return bindings;
}

void KeyBindings::save(SettingsStore& store) const {
    const KeyBindings standard = defaults();
    for (const ActionInfo& info : actionTable()) {
        const std::optional<KeyChord> chord = key(info.action);
        if (chord == standard.key(info.action))
            store.writeIn(kGroup, info.name, std::nullopt);
        else
            store.writeIn(kGroup, info.name, chord ? chord->text() : QString());
    }
}

std::optional<KeyChord> KeyBindings::key(Action action) const {
    const auto found = keys_.find(action);
    return found == keys_.end() ? std::nullopt : found->second;
}

void KeyBindings::bind(Action action, std::optional<KeyChord> key) {
    keys_[action] = key;
}

QList<Action> KeyBindings::sharing(Action action) const {
    QList<Action> others;
    const std::optional<KeyChord> mine = key(action);
    if (!mine)
        return others;
    for (const ActionInfo& info : actionTable())
        if (info.action != action && key(info.action) == mine)
            others << info.action;
    return others;
}

bool KeyBindings::ownsKey(Action action) const {
    const std::optional<KeyChord> mine = key(action);
    if (!mine)
        return false;
    for (const ActionInfo& info : actionTable()) {
        if (info.action == action)
            return true;
        if (key(info.action) == mine)
            return false;
    }
    return false;
}

} // namespace velloran

namespace velloran {

QStringList KeyBindings::toolbarTooltips(QStringList tips) const {
    // The actions of the toolbar's first ten buttons; Settings and Help have none.
    static constexpr std::array<Action, 10> kButtons{
        Action::Open,     Action::Play,        Action::Pause,        Action::Stop,
        Action::Rewind,   Action::SmallRewind, Action::SmallForward, Action::Forward,
        Action::Bookmark, Action::Review};
    for (qsizetype i = 0; i < tips.size() && i < qsizetype(kButtons.size()); ++i) {
        const QString caption = tips.at(i).section(QStringLiteral(" ("), 0, 0);
        const std::optional<KeyChord> chord =
            ownsKey(kButtons[size_t(i)]) ? key(kButtons[size_t(i)]) : std::nullopt;
        tips[i] =
            chord ? caption + QStringLiteral(" (") + chord->text() + QLatin1Char(')') : caption;
    }
    return tips;
}

} // namespace velloran
