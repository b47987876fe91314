#include "main_window.h"

#include "bookmark_dots.h"
#include "browser_launcher.h"
#include "core/compact_layout.h"
#include "core/player.h"
#include "core/user_prompts.h"
#include "volume_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QFile>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QSlider>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace velloran {

namespace {
// File names of the toolbar pictures under bitmap/, button 1 first, with the
// desktop theme's icon as the fallback.
struct ToolbarPicture {
    const char* file;
    const char* themeIcon;
};
constexpr ToolbarPicture kToolbarPictures[12] = {
    {"toolbar-open.png", "document-open"},          {"toolbar-play.png", "media-playback-start"},
    {"toolbar-pause.png", "media-playback-pause"},  {"toolbar-stop.png", "media-playback-stop"},
    {"toolbar-rewind.png", "media-seek-backward"},  {"toolbar-small-rewind.png", "go-previous"},
    {"toolbar-small-forward.png", "go-next"},       {"toolbar-forward.png", "media-seek-forward"},
    {"toolbar-bookmark.png", "bookmark-new"},       {"toolbar-review.png", "go-jump"},
    {"toolbar-settings.png", "preferences-system"}, {"toolbar-help.png", "help-contents"},
};

QLineEdit* readOnlyBox(QWidget* parent, const char* name, int width) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setReadOnly(true);
    box->setFixedWidth(width);
    box->setAlignment(Qt::AlignCenter);
    return box;
}
} // namespace

MainWindow::MainWindow(Player& player, const QString& appDir, QWidget* parent)
    : QWidget(parent), player_(player), appDir_(appDir) {
    setObjectName(QStringLiteral("MediaPlayFrm"));
    setWindowTitle(QStringLiteral("Velloran"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    openHelp = [this](const QString& path) {
        openInBrowser(path, this, [this, path] {
            player_.prompts().showError(
                QStringLiteral("Unable to open the manual: no web browser could be started. "
                               "The manual is ") +
                path + QLatin1Char('.'));
        });
    };

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    // The strip's frames stand side by side, placed in pixels: the toolbar
    // with the time, the position bar with the speed, the volume, and the
    // zoom picture that switches to the compact layout.
    strip_ = new QFrame(this);
    strip_->setObjectName(QStringLiteral("fraPlayer"));
    const int stripHeight = twipsToPixels(Player::kCollapsedHeightTwips);

    frame4_ = new QFrame(strip_);
    frame4_->setObjectName(QStringLiteral("Frame4"));
    frame4_->setGeometry(0, 0, 279, stripHeight);
    auto* left = new QVBoxLayout(frame4_);
    left->setContentsMargins(0, 1, 0, 1);
    left->setSpacing(1);
    buildToolbar();
    left->addWidget(toolbar_);
    auto* time = new QHBoxLayout;
    time->setSpacing(2);
    txtCp_ = readOnlyBox(frame4_, "txtCp", 64);
    txtPer_ = readOnlyBox(frame4_, "txtPer", 44);
    txtCp_->setToolTip(QStringLiteral("Position"));
    txtPer_->setToolTip(QStringLiteral("Position in per cent"));
    time->addWidget(txtCp_);
    time->addWidget(txtPer_);
    lblDuration_ = new QLabel(frame4_);
    lblDuration_->setObjectName(QStringLiteral("lblDuration"));
    lblDuration_->setToolTip(QStringLiteral("Length in seconds"));
    time->addWidget(lblDuration_);
    time->addStretch(1);
    left->addLayout(time);

    // The bar and the seek slider keep to the frame's left 140 pixels, all
    // that the compact layout leaves of it.
    frmProgress_ = new QFrame(strip_);
    frmProgress_->setObjectName(QStringLiteral("frmProgress"));
    frmProgress_->setGeometry(279, 0, 293, stripHeight);
    // The bar, with the bookmark dots in a row just below it.
    barArea_ = new QWidget(frmProgress_);
    barArea_->setObjectName(QStringLiteral("fraBar"));
    barArea_->setGeometry(2, 3, twipsToPixels(Player::kFullBarTwips) + 2, kBarHeightPx + kDotRowPx);
    bar_ = new QFrame(barArea_);
    bar_->setObjectName(QStringLiteral("picBar"));
    bar_->setFrameShape(QFrame::StyledPanel);
    bar_->setGeometry(0, 0, twipsToPixels(Player::kFullBarTwips) + 2, kBarHeightPx);
    lbl1_ = new QLabel(bar_);
    lbl1_->setObjectName(QStringLiteral("LBL1"));
    lbl1_->setToolTip(QStringLiteral("Current Position"));
    lbl1_->setAutoFillBackground(true);
    QPalette fill = lbl1_->palette();
    fill.setColor(QPalette::Window, QColor(0x3b, 0x6e, 0xc4));
    lbl1_->setPalette(fill);
    lbl1_->setGeometry(1, 1, 0, 16);
    lbl2_ = new QLabel(bar_);
    lbl2_->setObjectName(QStringLiteral("LBL2"));
    lbl2_->setToolTip(QStringLiteral("Current Position"));
    lbl2_->setAlignment(Qt::AlignCenter);
    lbl2_->setGeometry(1, 1, twipsToPixels(Player::kFullBarTwips), 16);
    lbl2_->setStyleSheet(QStringLiteral("font-size: 8pt;"));
    lbl2_->installEventFilter(this);
    dots_ = new BookmarkDots(player_.bookmarks(), barArea_);
    dots_->setGeometry(0, kBarHeightPx, barArea_->width(), kDotRowPx);

    sldMov_ = new QSlider(Qt::Horizontal, frmProgress_);
    sldMov_->setObjectName(QStringLiteral("sldMov"));
    sldMov_->setRange(0, 100);
    sldMov_->setToolTip(QStringLiteral("Current position"));
    sldMov_->setGeometry(2, 3 + kBarHeightPx + kDotRowPx, twipsToPixels(Player::kFullBarTwips) + 2,
                         stripHeight - 4 - kBarHeightPx - kDotRowPx);
    // Only the user's moves seek; the values refresh() writes do not.
    connect(sldMov_, &QSlider::valueChanged, this, [this](int value) {
        if (!refreshing_)
            player_.seekSliderMoved(value);
    });

    // The speed slider between its slow and fast ends, with a mark under
    // the middle for normal speed.
    auto* speed = new QWidget(frmProgress_);
    speed->setObjectName(QStringLiteral("fraSpeed"));
    speed->setGeometry(150, 3, 140, kBarHeightPx + kDotRowPx);
    auto* speedRow = new QHBoxLayout(speed);
    speedRow->setContentsMargins(0, 0, 0, 0);
    speedRow->setSpacing(1);
    minus_ = new QLabel(QStringLiteral("-"), speed);
    minus_->setObjectName(QStringLiteral("lblMinus"));
    speedRow->addWidget(minus_);
    auto* middle = new QWidget(speed);
    middle->setFixedSize(110, kBarHeightPx + kDotRowPx);
    slider1_ = new QSlider(Qt::Horizontal, middle);
    slider1_->setObjectName(QStringLiteral("Slider1"));
    slider1_->setRange(DictationSpeed::kSlowest, DictationSpeed::kFastest);
    slider1_->setSingleStep(1);
    slider1_->setPageStep(1);
    slider1_->setToolTip(QStringLiteral("Speed of dictation"));
    slider1_->setGeometry(0, 0, 110, kBarHeightPx);
    marker_ = new QFrame(middle);
    marker_->setObjectName(QStringLiteral("shpMarker"));
    marker_->setStyleSheet(QStringLiteral("background: cyan; border: none;"));
    marker_->setGeometry(55 - 2, kBarHeightPx, 5, kDotRowPx);
    speedRow->addWidget(middle);
    plus_ = new QLabel(QStringLiteral("+"), speed);
    plus_->setObjectName(QStringLiteral("lblPlus"));
    speedRow->addWidget(plus_);
    connect(slider1_, &QSlider::valueChanged, this, [this](int value) {
        if (!refreshing_)
            player_.speedSliderMoved(value);
    });

    volumeArea_ = new QFrame(strip_);
    volumeArea_->setObjectName(QStringLiteral("frmVolume"));
    volumeArea_->setGeometry(572, 0, 156, stripHeight);
    volumeArea_->setLayout(new QVBoxLayout);
    volumeArea_->layout()->setContentsMargins(2, 2, 2, 2);

    picZoom_ = new QLabel(strip_);
    picZoom_->setObjectName(QStringLiteral("picZoom"));
    picZoom_->setToolTip(QStringLiteral("Toggle Minimize"));
    picZoom_->setAlignment(Qt::AlignCenter);
    picZoom_->setGeometry(728, (stripHeight - 26) / 2, 23, 26);
    picZoom_->setPixmap(QPixmap(appDir_ + QStringLiteral("/bitmap/zoomin.bmp")));
    picZoom_->installEventFilter(this);

    outer->addWidget(strip_);
    panelArea_ = new QFrame(this);
    panelArea_->setObjectName(QStringLiteral("fraSettings"));
    panelArea_->setLayout(new QVBoxLayout);
    panelArea_->layout()->setContentsMargins(4, 2, 4, 2);
    outer->addWidget(panelArea_, 1);

    buildHelpMenu();

    for (QWidget* box : {static_cast<QWidget*>(txtCp_), static_cast<QWidget*>(txtPer_)})
        box->installEventFilter(this);
    qApp->installEventFilter(this);

    connect(&player_, &Player::displayChanged, this, &MainWindow::refresh);
    connect(&player_, &Player::focusToSpeedSlider, this, [this] { slider1_->setFocus(); });
    connect(&player_, &Player::helpMenuRequested, this,
            [this] { helpMenu_->popup(QCursor::pos()); });
    connect(&player_, &Player::topmostRequested, this, [this] {
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
        raise();
    });

    setFixedWidth(twipsToPixels(CompactLayout::kFullWidthTwips));
    resize(width(), twipsToPixels(Player::kCollapsedHeightTwips));
    refresh();
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
}

void MainWindow::attachVolume(VolumeControl& control) {
    volumeArea_->layout()->addWidget(new VolumeFrame(player_, control, appDir_, volumeArea_));
}

void MainWindow::attachCompactLayout(CompactLayout& layout) {
    compact_ = &layout;
    connect(compact_, &CompactLayout::changed, this, &MainWindow::applyLayout);
    connect(compact_, &CompactLayout::moveWindowRequested, this,
            [this](int leftTwips) { move(leftTwips / 15, y()); });
    applyLayout();
}

QPoint MainWindow::fullPlace() const {
    if (compact_ && compact_->compact())
        return {compact_->fullLeftTwips() / 15, y()};
    return pos();
}

void MainWindow::applyLayout() {
    const bool full = !compact_->compact();
    for (QWidget* w : std::initializer_list<QWidget*>{toolbar_, slider1_, marker_, frame4_,
                                                      volumeArea_, minus_, plus_})
        w->setVisible(full);
    frmProgress_->setGeometry(compact_->progressLeft(), 0, compact_->progressWidth(),
                              frmProgress_->height());
    picZoom_->move(compact_->zoomLeft(), picZoom_->y());
    picZoom_->setPixmap(QPixmap(appDir_ + QStringLiteral("/bitmap/") + compact_->zoomPicture()));
    // The border is the mode flag.
    picZoom_->setFrameShape(full ? QFrame::NoFrame : QFrame::Box);
    setFixedWidth(twipsToPixels(compact_->windowWidthTwips()));
}

void MainWindow::buildToolbar() {
    toolbar_ = new QToolBar(strip_);
    toolbar_->setObjectName(QStringLiteral("tlbVelloran"));
    // Twelve buttons in the toolbar's frame of 279 pixels.
    toolbar_->setIconSize(QSize(16, 16));
    toolbar_->setMovable(false);
    toolbar_->setStyleSheet(QStringLiteral("QToolBar { spacing: 0px; padding: 0px; border: none; }"
                                           "QToolButton { padding: 0px; margin: 0px; }"));
    toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const QStringList tips = Player::toolbarTooltips();
    for (int i = 1; i <= tips.size(); ++i) {
        QAction* action = toolbar_->addAction(toolbarIcon(i), tips[i - 1]);
        action->setObjectName(QStringLiteral("tlbButton%1").arg(i));
        action->setToolTip(tips[i - 1]);
        connect(action, &QAction::triggered, this, [this, i] { player_.toolbarClick(i); });
    }
}

void MainWindow::setToolbarTooltips(const QStringList& tips) {
    const QList<QAction*> buttons = toolbar_->actions();
    for (qsizetype i = 0; i < tips.size() && i < buttons.size(); ++i) {
        buttons[i]->setText(tips[i]);
        buttons[i]->setToolTip(tips[i]);
    }
}

QIcon MainWindow::toolbarIcon(int index) const {
    const ToolbarPicture& picture = kToolbarPictures[index - 1];
    const QString path = appDir_ + QStringLiteral("/bitmap/") + QLatin1String(picture.file);
    if (QFile::exists(path))
        return QIcon(path);
    return QIcon::fromTheme(QLatin1String(picture.themeIcon));
}

void MainWindow::buildHelpMenu() {
    helpMenu_ = new QMenu(QStringLiteral("&Help"), this);
    helpMenu_->setObjectName(QStringLiteral("mnuHelp"));
    QAction* contents = helpMenu_->addAction(QStringLiteral("&Help"));
    contents->setObjectName(QStringLiteral("mnuContents"));
    connect(contents, &QAction::triggered, this, [this] {
        if (openHelp)
            openHelp(player_.helpFilePath());
    });
    helpMenu_->addSeparator()->setObjectName(QStringLiteral("mnuSep"));
    QAction* about = helpMenu_->addAction(QStringLiteral("&About Velloran"));
    about->setObjectName(QStringLiteral("mnuAbout"));
    connect(about, &QAction::triggered, this, [this] { emit aboutRequested(); });
}

void MainWindow::refresh() {
    const QScopedValueRollback<bool> guard(refreshing_, true);
    const DisplayState& d = player_.display();
    if (windowTitle() != d.caption)
        setWindowTitle(d.caption.isEmpty() ? QStringLiteral(" ") : d.caption);
    // A line edit repaints whatever it is given, and most refreshes while playing
    // change neither text.
    if (txtCp_->text() != d.timeText)
        txtCp_->setText(d.timeText);
    if (txtPer_->text() != d.percentText)
        txtPer_->setText(d.percentText);
    lbl1_->setFixedWidth(
        std::min(twipsToPixels(d.barWidthTwips), twipsToPixels(Player::kFullBarTwips)));
    lbl2_->setText(d.barCaption);
    lblDuration_->setText(d.durationText);
    if (!sldMov_->isSliderDown())
        sldMov_->setValue(d.seekValue);
    slider1_->setValue(d.speedValue);
    toolbar_->setEnabled(d.controlsEnabled);
    lbl2_->setEnabled(d.controlsEnabled);
    slider1_->setEnabled(d.controlsEnabled);
    applyHeight(d.heightTwips);
}

void MainWindow::repaintPosition() {
    for (QWidget* w : std::initializer_list<QWidget*>{txtCp_, txtPer_, bar_, sldMov_})
        w->repaint();
}

void MainWindow::applyHeight(int twips) {
    if (twips == appliedHeightTwips_)
        return;
    const bool growing = appliedHeightTwips_ != 0 && twips > appliedHeightTwips_;
    appliedHeightTwips_ = twips;
    const int stripHeight = twipsToPixels(Player::kCollapsedHeightTwips);
    strip_->setFixedHeight(stripHeight);
    panelArea_->setVisible(twips > Player::kCollapsedHeightTwips);
    const int target = std::max(twipsToPixels(twips), stripHeight);
    if (slide_)
        slide_->stop();
    if (!growing || slideMs_ <= 0 || !isVisible()) {
        setFixedHeight(target);
        return;
    }
    // The panel slides down out of the strip.
    if (!slide_) {
        slide_ = new QVariantAnimation(this);
        connect(slide_, &QVariantAnimation::valueChanged, this,
                [this](const QVariant& value) { setFixedHeight(value.toInt()); });
    }
    slide_->setDuration(slideMs_);
    slide_->setStartValue(height());
    slide_->setEndValue(target);
    slide_->start();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        closing_ = true;
        player_.unload();
        if (afterUnload)
            afterUnload();
    }
    event->accept();
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange)
        player_.windowResized(isMinimized());
    QWidget::changeEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    player_.windowResized(isMinimized());
    QWidget::resizeEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lbl2_ &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove)) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const int xTwips = static_cast<int>(mouse->position().x() * 15);
        if (event->type() == QEvent::MouseButtonPress)
            player_.barButtonDown(mouse->button(), xTwips);
        else
            player_.barMouseMove(mouse->buttons(), xTwips);
        return true;
    }
    if (watched == picZoom_ && event->type() == QEvent::MouseButtonRelease) {
        if (compact_ && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            compact_->zoomClicked(x() * 15);
        return true;
    }
    if ((watched == txtCp_ || watched == txtPer_) && event->type() == QEvent::FocusIn) {
        // The position boxes never keep the focus.
        if (slider1_->isEnabled())
            QMetaObject::invokeMethod(
                slider1_, [s = slider1_] { s->setFocus(); }, Qt::QueuedConnection);
        return false;
    }
    if (event->type() == QEvent::KeyRelease && watched->isWidgetType()) {
        // Comma and full stop skip from anywhere in this window, except where
        // the user is typing text (the panel's number boxes take a ".").
        auto* widget = static_cast<QWidget*>(watched);
        auto* key = static_cast<QKeyEvent*>(event);
        const bool skipKey = key->key() == Qt::Key_Comma || key->key() == Qt::Key_Period;
        auto* edit = qobject_cast<QLineEdit*>(widget);
        const bool typing = edit != nullptr && !edit->isReadOnly();
        if (skipKey && !typing && widget->window() == this && !key->isAutoRepeat()) {
            player_.keyUp(key->key());
            return true; // handled here; it must not reach the parents again
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace velloran
