#include "actions.h"

namespace velloran {

const QList<ActionInfo>& actionTable() {
    static const QList<ActionInfo> table{
        {Action::Open, 1110, QStringLiteral("open"), QStringLiteral("Open a dictation"),
         QStringLiteral("Ctrl+F10")},
        {Action::Play,
         1117,
         QStringLiteral("play"),
         QStringLiteral("Play, a step back first (as the Play button)"),
         {}},
        {Action::Pause, 1118, QStringLiteral("pause"), QStringLiteral("Pause"), {}},
        {Action::PlayPause, 1116, QStringLiteral("play-pause"),
         QStringLiteral("Play (a step back first) or pause"), QStringLiteral("F9")},
        {Action::Stop,
         1119,
         QStringLiteral("stop"),
         QStringLiteral("Stop and go to the start"),
         {}},
        {Action::Rewind,
         1120,
         QStringLiteral("rewind"),
         QStringLiteral("Rewind (Large Change)"),
         {}},
        {Action::Forward,
         1121,
         QStringLiteral("forward"),
         QStringLiteral("Forward (Large Change)"),
         {}},
        {Action::SmallRewind, 1114, QStringLiteral("small-rewind"),
         QStringLiteral("Small rewind (Small Change)"), QStringLiteral("F7")},
        {Action::SmallForward, 1115, QStringLiteral("small-forward"),
         QStringLiteral("Small forward (Small Change)"), QStringLiteral("F8")},
        {Action::Bookmark, 1111, QStringLiteral("bookmark"), QStringLiteral("Set a bookmark"),
         QStringLiteral("F10")},
        {Action::Review, 1112, QStringLiteral("review"), QStringLiteral("Go to the next bookmark"),
         QStringLiteral("F11")},
        {Action::ClearBookmarks, 1113, QStringLiteral("clear-bookmarks"),
         QStringLiteral("Clear all bookmarks (asks first)"), QStringLiteral("Ctrl+F11")},
        {Action::SpeedUp,
         1122,
         QStringLiteral("speed-up"),
         QStringLiteral("Faster by one notch of the speed slider"),
         {}},
        {Action::SpeedDown,
         1123,
         QStringLiteral("speed-down"),
         QStringLiteral("Slower by one notch of the speed slider"),
         {}},
        {Action::SpeedNormal,
         1124,
         QStringLiteral("speed-normal"),
         QStringLiteral("Normal speed"),
         {}},
        // Pause is free in word processors and browsers alike, and takes no
        // modifier that would still be held while the stamp is typed.
        {Action::Timestamp, 1125, QStringLiteral("timestamp"),
         QStringLiteral("Type the time heard into the document"), QStringLiteral("Pause")},
        {Action::GotoTimestamp, 1126, QStringLiteral("goto-timestamp"),
         QStringLiteral("Go to the time selected in the document"), QStringLiteral("Shift+Pause")},
        {Action::NextDictation,
         1127,
         QStringLiteral("next-dictation"),
         QStringLiteral("Open the next audio file in the dictation's folder"),
         {}},
        {Action::PreviousDictation,
         1128,
         QStringLiteral("previous-dictation"),
         QStringLiteral("Open the audio file before it in the folder"),
         {}},
    };
    return table;
}

const ActionInfo* actionNamed(QStringView name) {
    for (const ActionInfo& info : actionTable())
        if (info.name == name)
            return &info;
    return nullptr;
}

const ActionInfo* actionWithId(int id) {
    for (const ActionInfo& info : actionTable())
        if (info.id == id)
            return &info;
    return nullptr;
}

const ActionInfo& actionInfo(Action action) {
    for (const ActionInfo& info : actionTable())
        if (info.action == action)
            return info;
    return actionTable().front(); // every action has a row
}

} // namespace velloran
