#pragma once

#include "core/bookmarks.h"

#include <QHash>
#include <QMultiMap>
#include <QWidget>

namespace velloran {

/// The row of bookmark dots under the position bar (the shpAdd markers),
/// painted by this one widget. A bookmark action repaints only the dots it
/// changed, so setting or reviewing one costs the same with a thousand set.
class BookmarkDots : public QWidget {
    Q_OBJECT
public:
    /// Drawn a little larger than the model's 50 twips, which would be a
    /// speck of three pixels.
    static constexpr int kDotPx = 5;

    BookmarkDots(const Bookmarks& bookmarks, QWidget* parent = nullptr);

    /// Where dot @p index is drawn; empty when it is not shown.
    QRect dotRect(int index) const;
    /// Whether dot @p index is shown black (reached by review).
    bool isReached(int index) const;
    /// How many dots are shown.
    int dotCount() const { return int(dots_.size()); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Dot {
        QRect rect;
        bool reached = false;
    };
    void changed(int index);
    void cleared();

    const Bookmarks& bookmarks_;
    QHash<int, Dot> dots_;
    QMultiMap<int, int> byLeft_; // dot indexes by their left edge, for partial repaints
};

} // namespace velloran
