#include "conversion_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace velloran {

namespace {

// Neither Escape nor the window manager's close button ends it: the
// conversion goes on regardless, and the player must not take commands yet.
class BusyDialog final : public QDialog {
public:
    using QDialog::QDialog;

protected:
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
    void reject() override {}
};

} // namespace

ConversionWindow::ConversionWindow(QWidget* parent) : parent_(parent) {
    showTimer_.setSingleShot(true);
    connect(&showTimer_, &QTimer::timeout, this, &ConversionWindow::showWindow);
}

ConversionWindow::~ConversionWindow() {
    if (busy_)
        conversionFinished();
}

void ConversionWindow::conversionStarted(const QString& text) {
    if (busy_)
        conversionFinished();
    busy_ = true;
    text_ = text;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    showTimer_.start(showDelayMs);
}

void ConversionWindow::conversionFinished() {
    if (!busy_)
        return;
    busy_ = false;
    showTimer_.stop();
    if (window_) {
        window_->hide();
        window_->deleteLater();
        window_ = nullptr;
    }
    QApplication::restoreOverrideCursor();
}

void ConversionWindow::showWindow() {
    if (!busy_ || window_)
        return;
    // Above the always-on-top main window, and modal so that it stays there.
    auto* dialog = new BusyDialog(parent_, Qt::Dialog | Qt::WindowTitleHint |
                                               Qt::CustomizeWindowHint | Qt::WindowStaysOnTopHint);
    dialog->setObjectName(QStringLiteral("conversionWindow"));
    dialog->setWindowTitle(QStringLiteral("Velloran"));
    dialog->setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(dialog);
    auto* label = new QLabel(text_, dialog);
    label->setObjectName(QStringLiteral("conversionText"));
    layout->addWidget(label);
    // A bar without a range keeps moving, which shows the program is alive.
    auto* bar = new QProgressBar(dialog);
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    layout->addWidget(bar);
    window_ = dialog;
    dialog->show();
}

} // namespace velloran
