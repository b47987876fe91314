#include "bookmarks.h"

#include "media_engine.h"
#include "settings.h"

#include <algorithm>
#include <cmath>

namespace velloran {

Bookmarks::Bookmarks(MediaEngine& engine, QObject* parent) : QObject(parent), engine_(engine) {}

void Bookmarks::add(int barWidthTwips) {
    // A 16-bit count would overflow here, and the next bookmark would have
    // overwritten the last one; one more is simply not taken.
    if (positions_.size() >= kMostBookmarks)
        return;
    positions_.append(engine_.currentPosition());
    const int index = count();
    markers_.insert(index, Marker{index, barWidthTwips + kMarkerOffsetTwips, false});
    emit markerChanged(index);
}

std::optional<Bookmarks::Marker> Bookmarks::marker(int index) const {
    const auto it = markers_.constFind(index);
    if (it == markers_.constEnd())
        return std::nullopt;
    return *it;
}

void Bookmarks::moveToNext() {
    const int n = int(positions_.size());
    if (n == 0)
        return;
    if (reviewIndex_ == n) {
        removeMarker(n - 1 + 2);
        reviewIndex_ = 0;
    }
    engine_.setCurrentPosition(positions_.at(reviewIndex_));
    const auto reached = markers_.find(reviewIndex_ + 2);
    if (reached != markers_.end() && !reached->reached) {
        reached->reached = true;
        emit markerChanged(reached->index);
    }
    ++reviewIndex_;
    if (reviewIndex_ >= 2)
        removeMarker(reviewIndex_ - 2 + 2);
}

void Bookmarks::clear() {
    const bool hadAny = !positions_.isEmpty() || !markers_.isEmpty();
    positions_.clear();
    markers_.clear();
    reviewIndex_ = 0;
    if (hadAny)
        emit markersCleared();
}

void Bookmarks::restore(const QList<double>& positions, double length, int fullBarTwips) {
    clear();
    for (double position : positions.mid(0, kMostBookmarks)) {
        positions_.append(position);
        // As the bar shows a position: whole percent, so a dot lands where
        // one set there by hand would have.
        const double share =
            length > 0 && std::isfinite(position) ? roundHalfEven(position * 100.0 / length) : 0;
        const int percent = int(std::clamp(share, 0.0, 100.0));
        const int index = count();
        markers_.insert(index,
                        Marker{index, percent * fullBarTwips / 100 + kMarkerOffsetTwips, false});
        emit markerChanged(index);
    }
}

void Bookmarks::removeMarker(int index) {
    if (markers_.remove(index))
        emit markerChanged(index);
}

} // namespace velloran
