#pragma once

#include <QString>

#include <functional>

class QObject;

namespace velloran {

/// Opens a local file in the desktop's browser through @p program (xdg-open).
/// @p onFailure runs later on this thread when no browser could be started:
/// the program is missing, or it gave up with an error status. The launcher
/// lives as a child of @p context; a browser it started outlives the player.
void openInBrowser(const QString& path, QObject* context, std::function<void()> onFailure,
                   const QString& program = QStringLiteral("xdg-open"));

} // namespace velloran
