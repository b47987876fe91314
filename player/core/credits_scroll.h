#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace velloran {

/// The credits window's scroll, tick by tick: where each line of the credits
/// file stands, in which colour, and when the window closes. Pixels
/// throughout; the window only paints what this computes.
class CreditsScroll {
public:
    static constexpr int kMaxLines = 3000;
    /// More characters than the canvas can show on one line: a longer line is
    /// cut, so that no tick lays out text nobody can see.
    static constexpr int kMaxLineChars = 200;
    static constexpr int kFontPoints = 12;
    static constexpr int kLineStep = kFontPoints + 6; ///< 18 pixels from line to line
    static constexpr int kTickMs = 15;
    static constexpr int kBandHeight = 5;
    /// The last line's position below which the window closes.
    static constexpr int kCloseAbove = -25;

    struct Colour {
        int red = 0, green = 0, blue = 0;
        bool operator==(const Colour&) const = default;
    };
    struct Band {
        int top = 0;    ///< first row filled
        int bottom = 0; ///< one past the last row filled
        Colour colour;
    };

    /// The lines of a credits file's contents (CR LF or LF), at most kMaxLines
    /// of at most kMaxLineChars each.
    static QStringList parseLines(const QByteArray& text);
    /// The lines of the file at @p path; none when it is missing or unreadable.
    static QStringList readFile(const QString& path);

    /// Starts with the first line just below a canvas @p canvasHeight high.
    CreditsScroll(QStringList lines, int canvasHeight);

    const QStringList& lines() const { return lines_; }
    int scroll() const { return scroll_; }
    /// Where line @p i (1-based) starts now.
    int lineTop(int i) const { return kLineStep * i + scroll_; }
    /// The colour of a line that starts at @p y: white below 245, fading to
    /// blue and black towards the top.
    static Colour lineColour(int y);
    /// Whether the window closes on this tick: the last line has passed the top.
    bool closesNow() const;
    /// One pixel up.
    void advance() { --scroll_; }

    /// The background: bands kBandHeight high from bright blue at the top to
    /// black at the bottom.
    static QList<Band> gradient(int height);

private:
    QStringList lines_;
    int scroll_ = 0;
};

} // namespace velloran
