#include "volume_frame.h"

#include "core/player.h"
#include "core/volume_control.h"
#include "main_window.h"

#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QSlider>

#include <cmath>

namespace velloran {

namespace {
constexpr int kThumbWidthPx = 6;

int eventTwips(const QMouseEvent* event) {
    return static_cast<int>(std::lround(event->position().x() * 15));
}
} // namespace

VolumePictureSlider::VolumePictureSlider(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("picVolume"));
    setToolTip(QStringLiteral("Volume"));
    setFixedSize(twipsToPixels(kWidthTwips), 18);
    thumb_ = new QFrame(this);
    thumb_->setObjectName(QStringLiteral("picSlider"));
    thumb_->setStyleSheet(QStringLiteral("background: #3b6ec4; border-radius: 2px;"));
    thumb_->setAttribute(Qt::WA_TransparentForMouseEvents);
    setThumbLeftTwips(VolumeControl::kThumbMinTwips);
}

void VolumePictureSlider::setThumbLeftTwips(int twips) {
    thumb_->setGeometry(twipsToPixels(twips), 1, kThumbWidthPx, height() - 2);
}

void VolumePictureSlider::mousePressEvent(QMouseEvent* event) {
    emit input(event->button(), eventTwips(event));
}

void VolumePictureSlider::mouseMoveEvent(QMouseEvent* event) {
    emit input(event->buttons(), eventTwips(event));
}

void VolumePictureSlider::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    // A wedge that grows towards the loud end.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double x0 = twipsToPixels(VolumeControl::kThumbMinTwips) + kThumbWidthPx / 2.0;
    const double x1 = twipsToPixels(VolumeControl::kThumbMaxTwips) + kThumbWidthPx / 2.0;
    const double bottom = height() - 3;
    const QPolygonF wedge({QPointF(x0, bottom), QPointF(x1, bottom), QPointF(x1, 3)});
    p.setPen(Qt::NoPen);
    p.setBrush(palette().color(QPalette::Mid));
    p.drawPolygon(wedge);
}

VolumeFrame::VolumeFrame(Player& player, VolumeControl& control, const QString& appDir,
                         QWidget* parent)
    : QWidget(parent), player_(player), control_(control), appDir_(appDir) {
    setObjectName(QStringLiteral("fraVolumeControls"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(1);

    picture_ = new VolumePictureSlider(this);
    grid->addWidget(picture_, 0, 0);
    connect(picture_, &VolumePictureSlider::input, &control_, &VolumeControl::pictureSliderInput);

    mute_ = new QLabel(this);
    mute_->setObjectName(QStringLiteral("picVol"));
    mute_->setToolTip(QStringLiteral("Mute"));
    mute_->setFixedSize(26, 26);
    mute_->setAlignment(Qt::AlignCenter);
    mute_->installEventFilter(this);
    grid->addWidget(mute_, 0, 1, 2, 1);

    volume_ = new QSlider(Qt::Horizontal, this);
    volume_->setObjectName(QStringLiteral("Volume"));
    volume_->setToolTip(QStringLiteral("Volume"));
    volume_->setFixedWidth(picture_->width());
    volume_->setSingleStep(1000);
    volume_->setPageStep(1000);
    grid->addWidget(volume_, 1, 0);
    connect(volume_, &QSlider::valueChanged, this, [this](int value) {
        if (!refreshing_)
            control_.volumeSliderScrolled(value);
    });

    balance_ = new QSlider(Qt::Horizontal, this);
    balance_->setObjectName(QStringLiteral("sldBalance"));
    balance_->setToolTip(QStringLiteral("Balance"));
    balance_->setRange(VolumeControl::kBalanceMin, VolumeControl::kBalanceMax);
    balance_->setSingleStep(1);
    balance_->setPageStep(5000);
    balance_->setFixedWidth(44);
    grid->addWidget(balance_, 0, 2, 2, 1);
    connect(balance_, &QSlider::valueChanged, this, [this](int value) {
        if (!refreshing_)
            control_.balanceChanged(value);
    });

    connect(&player_, &Player::displayChanged, this, &VolumeFrame::refresh);
    connect(&control_, &VolumeControl::changed, this, &VolumeFrame::refresh);
    refresh();
}

void VolumeFrame::refresh() {
    const QScopedValueRollback<bool> guard(refreshing_, true);
    const DisplayState& d = player_.display();
    volume_->setRange(control_.sliderMinimum(), control_.sliderMaximum());
    volume_->setValue(d.volumeValue);
    volume_->setEnabled(d.controlsEnabled);
    picture_->setThumbLeftTwips(d.volumeThumbLeftTwips);
    balance_->setValue(control_.balance());
    // The border is the mute state, as the picture is.
    // Set only when it changes: a frame repaints on every setting, and the
    // display refreshes several times a second while playing.
    if (const auto shape = control_.muted() ? QFrame::Box : QFrame::NoFrame;
        mute_->frameShape() != shape)
        mute_->setFrameShape(shape);
    mute_->setProperty("muted", control_.muted());
    if (shownPicture_ != control_.pictureName()) {
        shownPicture_ = control_.pictureName();
        mute_->setPixmap(QPixmap(appDir_ + QStringLiteral("/bitmap/") + shownPicture_));
    }
}

bool VolumeFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mute_ && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        control_.muteClicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace velloran
