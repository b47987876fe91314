#pragma once

#include <QObject>
#include <QString>

namespace velloran {

class SettingsPanel;

/// The full and the compact layout of the main window, switched by the zoom
/// picture. Compact mode leaves little more than the position bar; the window
/// shows what this holds. Window widths and left positions are twips, the
/// positions of the window's direct children pixels.
class CompactLayout : public QObject {
    Q_OBJECT
public:
    static constexpr int kFullWidthTwips = 11265;
    static constexpr int kCompactWidthTwips = 2530;

    explicit CompactLayout(SettingsPanel& panel, QObject* parent = nullptr);

    /// The click on the zoom picture, with the window's left edge now.
    /// Going compact closes the settings panel as its Cancel does.
    void zoomClicked(int windowLeftTwips);
    /// Switches to the compact layout, remembering @p windowLeftTwips.
    void zoomIn(int windowLeftTwips);
    /// Switches to the full layout and asks the window back to where the full
    /// layout stood.
    void zoomOut();

    bool compact() const { return compact_; }
    int windowWidthTwips() const { return compact_ ? kCompactWidthTwips : kFullWidthTwips; }
    /// frmProgress, the frame with the position bar, in pixels.
    int progressLeft() const { return compact_ ? 0 : 279; }
    int progressWidth() const { return compact_ ? 140 : 293; }
    /// The zoom picture's left edge in pixels.
    int zoomLeft() const { return compact_ ? 142 : 728; }
    /// The zoom picture's file under bitmap/; it shows what a click does.
    QString zoomPicture() const {
        return compact_ ? QStringLiteral("zoomout.bmp") : QStringLiteral("zoomin.bmp");
    }
    /// The window's left edge when compact mode was entered.
    int fullLeftTwips() const { return fullLeft_; }

signals:
    /// The layout changed: the window re-reads it.
    void changed();
    /// The window is to put its left edge at @p leftTwips.
    void moveWindowRequested(int leftTwips);

private:
    SettingsPanel& panel_;
    bool compact_ = false;
    int fullLeft_ = 0;
};

} // namespace velloran
