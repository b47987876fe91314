#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

namespace velloran {

class SettingsStore;

namespace keys {
/// Ours: where the strip's frame was on the desktop at the last exit, in pixels.
inline const QString WindowLeft = QStringLiteral("WindowLeft");
inline const QString WindowTop = QStringLiteral("WindowTop");
} // namespace keys

/// The remembered top-left corner, when both keys hold whole numbers.
std::optional<QPoint> readWindowPlace(const SettingsStore& store);

/// Remembers @p topLeft (plain digits).
void writeWindowPlace(SettingsStore& store, QPoint topLeft);

/// The remembered place, if a window of @p size put there can still be
/// grabbed on one of the connected @p screens (their available areas): a
/// place on a screen that has since been unplugged, or one left mostly off
/// the edge, gives nothing and the desktop places the window.
std::optional<QPoint> placeToRestore(const SettingsStore& store, QSize size,
                                     const QList<QRect>& screens);

} // namespace velloran
