#pragma once

#include "convert/dss_converter.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class QDialog;
class QWidget;

namespace velloran {

/// Shows that a conversion is running: a busy cursor at once and, once it has
/// taken longer than showDelayMs, a small modal window with the converter's
/// text and a moving bar. The window cannot be closed by the user; it goes
/// when the conversion ends.
class ConversionWindow final : public QObject, public ConversionFeedback {
public:
    explicit ConversionWindow(QWidget* parent = nullptr);
    ~ConversionWindow() override;
    void setParentWidget(QWidget* parent) { parent_ = parent; }

    void conversionStarted(const QString& text) override;
    void conversionFinished() override;

    /// The window while it is up (tests), else null.
    QDialog* window() const { return window_; }
    int showDelayMs = 500;

private:
    void showWindow();

    QPointer<QWidget> parent_;
    QPointer<QDialog> window_;
    QTimer showTimer_;
    QString text_;
    bool busy_ = false;
};

} // namespace velloran
