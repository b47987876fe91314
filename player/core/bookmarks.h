#pragma once

#include <QList>
#include <QMap>
#include <QObject>

#include <optional>

namespace velloran {

class MediaEngine;

/// The typist's bookmarks: places in the dictation to come back to, kept for
/// the run only, each shown as a dot under the position bar.
///
/// Bookmarks are reviewed in the order they were set (not by time), one
/// review step at a time: the dot just reached turns black, the one reached
/// before it vanishes, and after the last bookmark review starts again at the
/// first, with no dots left.
class Bookmarks : public QObject {
    Q_OBJECT
public:
    /// The dot's size and its top edge, in twips.
    static constexpr int kMarkerSizeTwips = 50;
    static constexpr int kMarkerTopTwips = 390;
    /// How far right of the bar's filled part a new dot sits, in twips.
    static constexpr int kMarkerOffsetTwips = 50;
    /// The count is kept in 16 bits and counts one more than there are bookmarks.
    static constexpr int kMostBookmarks = 32766;

    /// One dot under the bar. Dot k (counting bookmarks from 0) has index k + 2.
    struct Marker {
        int index = 0;
        int leftTwips = 0;
        bool reached = false; ///< black: the bookmark review went to last; else red
        bool operator==(const Marker&) const = default;
    };

    explicit Bookmarks(MediaEngine& engine, QObject* parent = nullptr);

    /// Sets a bookmark at the engine's position, its dot at @p barWidthTwips
    /// (the bar's filled width) + 50. Once kMostBookmarks exist, nothing happens.
    void add(int barWidthTwips);
    /// One review step: moves the engine to the next bookmark in setting order.
    void moveToNext();
    /// Removes every bookmark and dot.
    void clear();
    /// Replaces the bookmarks with @p positions (a dictation's saved list), in
    /// that order, each dot placed for its share of @p length seconds on the
    /// full bar of @p fullBarTwips, unreached; review starts at the first.
    void restore(const QList<double>& positions, double length, int fullBarTwips);

    /// Positions in the order set, duplicates kept.
    const QList<double>& positions() const { return positions_; }
    /// Bookmarks plus one: 1 when there are none.
    int count() const { return int(positions_.size()) + 1; }
    /// Index of the bookmark the next review step goes to.
    int reviewIndex() const { return reviewIndex_; }
    /// The dots still shown, by index.
    QList<Marker> markers() const { return markers_.values(); }
    /// Dot @p index; none when it is not shown.
    std::optional<Marker> marker(int index) const;

signals:
    /// Dot @p index was added, turned black or removed: each action changes
    /// a few dots only, whatever the number of bookmarks.
    void markerChanged(int index);
    /// Every dot was removed.
    void markersCleared();

private:
    void removeMarker(int index);

    MediaEngine& engine_;
    QList<double> positions_;
    QMap<int, Marker> markers_;
    int reviewIndex_ = 0;
};

} // namespace velloran
