#include "main_window.h"

#include "browser_launcher.h"
#include "core/player.h"
#include "core/user_prompts.h"

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
#include <QSet>
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

    strip_ = new QFrame(this);
    strip_->setObjectName(QStringLiteral("fraPlayer"));
    auto* rows = new QVBoxLayout(strip_);
    rows->setContentsMargins(2, 1, 2, 1);
    rows->setSpacing(1);

    auto* top = new QHBoxLayout;
    top->setSpacing(2);
    buildToolbar();
    top->addWidget(toolbar_);
    txtCp_ = readOnlyBox(strip_, "txtCp", 64);
    txtPer_ = readOnlyBox(strip_, "txtPer", 44);
    txtCp_->setToolTip(QStringLiteral("Position"));
    txtPer_->setToolTip(QStringLiteral("Position in per cent"));
    top->addWidget(txtCp_);
    top->addWidget(txtPer_);
    lblDuration_ = new QLabel(strip_);
    lblDuration_->setObjectName(QStringLiteral("lblDuration"));
    lblDuration_->setToolTip(QStringLiteral("Length in seconds"));
    top->addWidget(lblDuration_);
    top->addStretch(1);
    rows->addLayout(top);

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(4);
    // The bar, with the bookmark dots in a row just below it.
    barArea_ = new QWidget(strip_);
    barArea_->setObjectName(QStringLiteral("fraBar"));
    barArea_->setFixedSize(twipsToPixels(Player::kFullBarTwips) + 2, kBarHeightPx + kDotRowPx);
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
    bottom->addWidget(barArea_);

    sldMov_ = new QSlider(Qt::Horizontal, strip_);
    sldMov_->setObjectName(QStringLiteral("sldMov"));
    sldMov_->setRange(0, 100);
    sldMov_->setToolTip(QStringLiteral("Current position"));
    bottom->addWidget(sldMov_, 2);
    // Only the user's moves seek; the values refresh() writes do not.
    connect(sldMov_, &QSlider::valueChanged, this, [this](int value) {
        if (!refreshing_)
            player_.seekSliderMoved(value);
    });

    // The speed slider between its slow and fast ends, with a mark under
    // the middle for normal speed.
    auto* speed = new QWidget(strip_);
    speed->setObjectName(QStringLiteral("fraSpeed"));
    auto* speedRow = new QHBoxLayout(speed);
    speedRow->setContentsMargins(0, 0, 0, 0);
    speedRow->setSpacing(1);
    auto* minus = new QLabel(QStringLiteral("-"), speed);
    minus->setObjectName(QStringLiteral("lblMinus"));
    speedRow->addWidget(minus);
    auto* middle = new QWidget(speed);
    middle->setFixedSize(90, kBarHeightPx + kDotRowPx);
    slider1_ = new QSlider(Qt::Horizontal, middle);
    slider1_->setObjectName(QStringLiteral("Slider1"));
    slider1_->setRange(DictationSpeed::kSlowest, DictationSpeed::kFastest);
    slider1_->setSingleStep(1);
    slider1_->setPageStep(1);
    slider1_->setToolTip(QStringLiteral("Speed of dictation"));
    slider1_->setGeometry(0, 0, 90, kBarHeightPx);
    auto* marker = new QFrame(middle);
    marker->setObjectName(QStringLiteral("shpMarker"));
    marker->setStyleSheet(QStringLiteral("background: cyan; border: none;"));
    marker->setGeometry(45 - 2, kBarHeightPx, 5, kDotRowPx);
    speedRow->addWidget(middle);
    auto* plus = new QLabel(QStringLiteral("+"), speed);
    plus->setObjectName(QStringLiteral("lblPlus"));
    speedRow->addWidget(plus);
    bottom->addWidget(speed);
    connect(slider1_, &QSlider::valueChanged, this, [this](int value) {
        if (!refreshing_)
            player_.speedSliderMoved(value);
    });

    volume_ = new QSlider(Qt::Horizontal, strip_);
    volume_->setObjectName(QStringLiteral("Volume"));
    volume_->setRange(0, 32767);
    volume_->setToolTip(QStringLiteral("Volume"));
    volume_->setFixedWidth(80);
    bottom->addWidget(volume_);
    rows->addLayout(bottom);

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
    connect(&player_.bookmarks(), &Bookmarks::markersChanged, this, &MainWindow::showMarkers);
    connect(&player_, &Player::focusToSpeedSlider, this, [this] { slider1_->setFocus(); });
    connect(&player_, &Player::helpMenuRequested, this,
            [this] { helpMenu_->popup(QCursor::pos()); });
    connect(&player_, &Player::topmostRequested, this, [this] {
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
        raise();
    });

    resize(760, twipsToPixels(Player::kCollapsedHeightTwips));
    refresh();
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
}

void MainWindow::buildToolbar() {
    toolbar_ = new QToolBar(strip_);
    toolbar_->setObjectName(QStringLiteral("tlbVelloran"));
    toolbar_->setIconSize(QSize(20, 20));
    toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const QStringList tips = Player::toolbarTooltips();
    for (int i = 1; i <= tips.size(); ++i) {
        QAction* action = toolbar_->addAction(toolbarIcon(i), tips[i - 1]);
        action->setObjectName(QStringLiteral("tlbButton%1").arg(i));
        action->setToolTip(tips[i - 1]);
        connect(action, &QAction::triggered, this, [this, i] { player_.toolbarClick(i); });
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

void MainWindow::showMarkers() {
    const QList<Bookmarks::Marker> markers = player_.bookmarks().markers();
    QSet<int> wanted;
    for (const Bookmarks::Marker& m : markers) {
        wanted.insert(m.index);
        QFrame*& dot = dots_[m.index];
        if (!dot) {
            dot = new QFrame(barArea_);
            dot->setObjectName(QStringLiteral("shpAdd%1").arg(m.index));
        }
        // Drawn a little larger than the model's 50 twips, which would be a
        // speck of three pixels.
        const int size = std::max(kDotPx, twipsToPixels(Bookmarks::kMarkerSizeTwips));
        dot->setGeometry(twipsToPixels(m.leftTwips) - size / 2, kBarHeightPx + 1, size, size);
        dot->setStyleSheet(QStringLiteral("background: %1; border-radius: %2px;")
                               .arg(m.reached ? QStringLiteral("black") : QStringLiteral("red"))
                               .arg(size / 2));
        dot->setProperty("reached", m.reached);
        dot->show();
    }
    for (auto it = dots_.begin(); it != dots_.end();) {
        if (wanted.contains(it.key())) {
            ++it;
            continue;
        }
        delete it.value();
        it = dots_.erase(it);
    }
}

void MainWindow::refresh() {
    const QScopedValueRollback<bool> guard(refreshing_, true);
    const DisplayState& d = player_.display();
    if (windowTitle() != d.caption)
        setWindowTitle(d.caption.isEmpty() ? QStringLiteral(" ") : d.caption);
    txtCp_->setText(d.timeText);
    txtPer_->setText(d.percentText);
    lbl1_->setFixedWidth(
        std::min(twipsToPixels(d.barWidthTwips), twipsToPixels(Player::kFullBarTwips)));
    lbl2_->setText(d.barCaption);
    lblDuration_->setText(d.durationText);
    if (!sldMov_->isSliderDown())
        sldMov_->setValue(d.seekValue);
    slider1_->setValue(d.speedValue);
    volume_->setValue(d.volumeValue);
    toolbar_->setEnabled(d.controlsEnabled);
    lbl2_->setEnabled(d.controlsEnabled);
    slider1_->setEnabled(d.controlsEnabled);
    volume_->setEnabled(d.controlsEnabled);
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
