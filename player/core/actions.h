#pragma once

#include <QList>
#include <QString>
#include <QStringView>

namespace velloran {

/// What the typist can have the player do from outside its window: a hot
/// key, `velloran --command`, a desktop shortcut.
enum class Action {
    Open,
    Play,
    Pause,
    PlayPause,
    Stop,
    Rewind,
    Forward,
    SmallRewind,
    SmallForward,
    Bookmark,
    Review,
    ClearBookmarks,
    SpeedUp,
    SpeedDown,
    SpeedNormal,
    Timestamp,
    GotoTimestamp,
    NextDictation,
    PreviousDictation,
};

/// One row of the action table.
struct ActionInfo {
    Action action;
    int id;              ///< the hot key's identifier; open..small-forward keep 1110..1115
    QString name;        ///< the --command name, the settings key and the portal's shortcut id
    QString description; ///< one line, for --help, the Keys dialog and desktop settings
    QString defaultKey;  ///< Qt's portable key text; empty when unbound by default
};

/// Every action, in the order --help and the Keys dialog list them.
const QList<ActionInfo>& actionTable();
/// The row named @p name; null for an unknown name.
const ActionInfo* actionNamed(QStringView name);
/// The row of hot key @p id; null outside the table.
const ActionInfo* actionWithId(int id);
/// The row of @p action.
const ActionInfo& actionInfo(Action action);

} // namespace velloran
