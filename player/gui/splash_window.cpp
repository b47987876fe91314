#include "splash_window.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace velloran {

SplashWindow::SplashWindow(const QString& picturePath, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmSplash"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("imgSplash"));
    picture->setAlignment(Qt::AlignCenter);
    const QPixmap pixmap(picturePath);
    if (!pixmap.isNull()) {
        picture->setPixmap(pixmap);
    } else {
        picture->setText(QStringLiteral("Velloran"));
        picture->setStyleSheet(QStringLiteral("font-size: 28pt; padding: 48px;"));
    }
    layout->addWidget(picture);

    timer1_.setObjectName(QStringLiteral("Timer1"));
    timer1_.setInterval(kIntervalMs);
    timer1_.setSingleShot(true);
    connect(&timer1_, &QTimer::timeout, this, &SplashWindow::finish);
}

SplashWindow::~SplashWindow() {
    if (busyCursor_)
        QApplication::restoreOverrideCursor();
}

void SplashWindow::start() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    busyCursor_ = true;
    show();
    timer1_.start();
}

void SplashWindow::mousePressEvent(QMouseEvent* event) {
    finish();
    QWidget::mousePressEvent(event);
}

void SplashWindow::finish() {
    if (handedOver_)
        return;
    handedOver_ = true;
    timer1_.stop();
    hide();
    if (busyCursor_) {
        QApplication::restoreOverrideCursor();
        busyCursor_ = false;
    }
    emit handOver();
}

} // namespace velloran
