#include "bookmark_dots.h"

#include "main_window.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace velloran {

BookmarkDots::BookmarkDots(const Bookmarks& bookmarks, QWidget* parent)
    : QWidget(parent), bookmarks_(bookmarks) {
    setObjectName(QStringLiteral("shpAdd"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(&bookmarks_, &Bookmarks::markerChanged, this, &BookmarkDots::changed);
    connect(&bookmarks_, &Bookmarks::markersCleared, this, &BookmarkDots::cleared);
    for (const Bookmarks::Marker& m : bookmarks_.markers())
        changed(m.index);
}

QRect BookmarkDots::dotRect(int index) const {
    return dots_.value(index).rect;
}

bool BookmarkDots::isReached(int index) const {
    return dots_.value(index).reached;
}

void BookmarkDots::changed(int index) {
    QRect dirty;
    if (const auto old = dots_.constFind(index); old != dots_.constEnd()) {
        dirty = old->rect;
        byLeft_.remove(old->rect.left(), index);
        dots_.erase(old);
    }
    if (const std::optional<Bookmarks::Marker> m = bookmarks_.marker(index)) {
        const QRect rect(twipsToPixels(m->leftTwips) - kDotPx / 2, 1, kDotPx, kDotPx);
        dots_.insert(index, Dot{rect, m->reached});
        byLeft_.insert(rect.left(), index);
        dirty |= rect;
    }
    update(dirty);
}

void BookmarkDots::cleared() {
    dots_.clear();
    byLeft_.clear();
    update();
}

void BookmarkDots::paintEvent(QPaintEvent* event) {
    const QRect area = event->rect();
    // Only the dots that reach into the area, drawn in the order they were set.
    QList<int> shown;
    for (auto it = byLeft_.lowerBound(area.left() - kDotPx + 1);
         it != byLeft_.cend() && it.key() <= area.right(); ++it)
        shown << it.value();
    std::sort(shown.begin(), shown.end());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (const int index : std::as_const(shown)) {
        const Dot& dot = dots_[index];
        painter.setBrush(dot.reached ? Qt::black : Qt::red);
        painter.drawEllipse(dot.rect);
    }
}

} // namespace velloran
