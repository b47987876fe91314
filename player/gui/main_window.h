#pragma once

#include <QWidget>

#include <functional>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QSlider;
class QToolBar;
class QFrame;
class QVariantAnimation;

namespace velloran {

class BookmarkDots;
class CompactLayout;
class Player;
class VolumeControl;

/// Converts the model's twips to pixels.
constexpr int twipsToPixels(int twips) {
    return twips / 15;
}

/// The main window (MediaPlayFrm): an always-on-top strip that shows the
/// player's DisplayState and forwards clicks, keys and resizes to the Player.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    /// @p appDir is the program's folder, where bitmap/ holds the pictures.
    MainWindow(Player& player, const QString& appDir, QWidget* parent = nullptr);
    ~MainWindow() override;

    /// Opens the help file; the default asks the desktop to show it.
    std::function<void(const QString& path)> openHelp;
    /// Runs after the player has saved its state on close (the program ends then).
    std::function<void()> afterUnload;

    QMenu* helpMenu() const { return helpMenu_; }
    /// The frame the settings panel is placed in (below the strip).
    QFrame* panelArea() const { return panelArea_; }

    /// Puts the volume, balance and mute controls into the volume frame.
    void attachVolume(VolumeControl& control);
    /// The zoom picture switches between the layouts @p layout holds.
    void attachCompactLayout(CompactLayout& layout);
    /// Shows @p tips on the toolbar's buttons, in button order (the keys change).
    void setToolbarTooltips(const QStringList& tips);
    /// Where the full strip stands: in compact mode, where leaving it puts
    /// the window back, which is the place to remember for the next start.
    QPoint fullPlace() const;

    /// Shows the player's current state.
    void refresh();
    /// Paints the position display (time, percentage, bar, seek thumb) at
    /// once, without the event loop: for code that keeps the loop from
    /// running, such as a held pedal.
    void repaintPosition();

    /// How long the settings panel takes to slide open (0: at once).
    void setSlideDuration(int ms) { slideMs_ = ms; }

signals:
    /// The Help menu's About entry.
    void aboutRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildToolbar();
    void buildHelpMenu();
    void applyHeight(int twips);
    void applyLayout();
    QIcon toolbarIcon(int index) const;

    Player& player_;
    QString appDir_;
    QToolBar* toolbar_ = nullptr;
    QLineEdit* txtCp_ = nullptr;
    QLineEdit* txtPer_ = nullptr;
    static constexpr int kBarHeightPx = 18;
    static constexpr int kDotRowPx = 6;

    QWidget* barArea_ = nullptr;
    QFrame* bar_ = nullptr;
    BookmarkDots* dots_ = nullptr;
    QLabel* lbl1_ = nullptr;
    QLabel* lbl2_ = nullptr;
    QSlider* sldMov_ = nullptr;
    QSlider* slider1_ = nullptr;
    QFrame* frame4_ = nullptr;
    QFrame* frmProgress_ = nullptr;
    QFrame* volumeArea_ = nullptr;
    QLabel* picZoom_ = nullptr;
    QLabel* minus_ = nullptr;
    QLabel* plus_ = nullptr;
    QFrame* marker_ = nullptr;
    CompactLayout* compact_ = nullptr;
    QLabel* lblDuration_ = nullptr;
    QFrame* strip_ = nullptr;
    QFrame* panelArea_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    int appliedHeightTwips_ = 0;
    int slideMs_ = 150;
    QVariantAnimation* slide_ = nullptr;
    bool closing_ = false;
    bool refreshing_ = false; // values written by refresh() are not the user's moves
};

} // namespace velloran
