#include "credits_window.h"

#include <QFontDatabase>
#include <QPainter>

#include <limits>

namespace velloran {

namespace {
QColor toQColor(const CreditsScroll::Colour& c) {
    return QColor(c.red, c.green, c.blue);
}

/// Arial where installed, else a face with its metrics.
QFont creditsFont() {
    QFont font;
    const QStringList families = QFontDatabase::families();
    for (const char* name : {"Arial", "Liberation Sans", "Arimo"}) {
        if (families.contains(QLatin1String(name))) {
            font.setFamily(QLatin1String(name));
            break;
        }
    }
    font.setPointSize(CreditsScroll::kFontPoints);
    font.setBold(true);
    return font;
}
} // namespace

CreditsWindow::CreditsWindow(const QString& creditsPath, QWidget* parent)
    : QDialog(parent), scroll_(CreditsScroll::readFile(creditsPath), kHeight),
      background_(kWidth, kHeight, QImage::Format_RGB32),
      buffer_(kWidth, kHeight, QImage::Format_RGB32) {
    setObjectName(QStringLiteral("frmGradCredits"));
    setWindowTitle(QStringLiteral("Credits"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    font_ = creditsFont();

    background_.fill(Qt::black);
    QPainter painter(&background_);
    for (const CreditsScroll::Band& band : CreditsScroll::gradient(kHeight))
        painter.fillRect(QRect(-1, band.top, kWidth + 1, band.bottom - band.top),
                         toQColor(band.colour));
    painter.end();
    buffer_ = background_;
    lineLeft_.fill(std::numeric_limits<int>::min(), scroll_.lines().size());

    redrawTimer_.setObjectName(QStringLiteral("ReDrawTimer"));
    redrawTimer_.setInterval(CreditsScroll::kTickMs);
    connect(&redrawTimer_, &QTimer::timeout, this, &CreditsWindow::tick);
    redrawTimer_.start();
}

void CreditsWindow::tick() {
    if (scroll_.closesNow()) {
        redrawTimer_.stop();
        close();
        return;
    }
    buffer_ = background_.copy();
    QPainter painter(&buffer_);
    painter.setFont(font_);
    const QFontMetrics metrics(painter.font());
    const QStringList& lines = scroll_.lines();
    for (int i = 1; i <= lines.size(); ++i) {
        const int y = scroll_.lineTop(i);
        if (y < -CreditsScroll::kLineStep || y > kHeight)
            continue; // off the canvas
        const QString& text = lines.at(i - 1);
        int& x = lineLeft_[i - 1];
        if (x == std::numeric_limits<int>::min())
            x = kWidth / 2 - metrics.horizontalAdvance(text) / 2;
        painter.setPen(toQColor(CreditsScroll::lineColour(y)));
        painter.drawText(x, y + metrics.ascent(), text);
    }
    painter.end();
    update();
    scroll_.advance();
}

void CreditsWindow::paintEvent(QPaintEvent*) {
    QPainter(this).drawImage(0, 0, buffer_);
}

} // namespace velloran
