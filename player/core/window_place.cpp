#include "window_place.h"

#include "settings.h"
#include "settings_store.h"

#include <algorithm>

namespace velloran {

namespace {
// Enough of the strip to see it and drag it back: its height (or this much of
// it) and a good hand's width of its length.
constexpr int kGrabWidth = 100;
constexpr int kGrabHeight = 24;
} // namespace

std::optional<QPoint> readWindowPlace(const SettingsStore& store) {
    const std::optional<int> left = parseWholeNumber(store.read(keys::WindowLeft));
    const std::optional<int> top = parseWholeNumber(store.read(keys::WindowTop));
    if (!left || !top)
        return std::nullopt;
    return QPoint(*left, *top);
}

void writeWindowPlace(SettingsStore& store, QPoint topLeft) {
    store.write(keys::WindowLeft, QString::number(topLeft.x()));
    store.write(keys::WindowTop, QString::number(topLeft.y()));
}

std::optional<QPoint> placeToRestore(const SettingsStore& store, QSize size,
                                     const QList<QRect>& screens) {
    const std::optional<QPoint> place = readWindowPlace(store);
    if (!place)
        return std::nullopt;
    const QRect window(*place, size);
    // The top edge must be on the screen: that is where the window is grabbed.
    const QRect topEdge(window.topLeft(),
                        QSize(window.width(), std::min(window.height(), kGrabHeight)));
    for (const QRect& screen : screens) {
        const QRect seen = topEdge.intersected(screen);
        if (seen.width() >= std::min(kGrabWidth, window.width()) &&
            seen.height() >= topEdge.height())
            return place;
    }
    return std::nullopt;
}

} // namespace velloran
