#pragma once

#include "core/credits_scroll.h"

#include <QDialog>
#include <QFont>
#include <QImage>
#include <QTimer>

namespace velloran {

/// The credits (frmGradCredits): the lines of credits.txt scroll up over a
/// blue gradient and the window closes itself after the last one.
class CreditsWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kWidth = 360;
    static constexpr int kHeight = 300;

    /// Reads @p creditsPath; a missing file shows the gradient alone.
    explicit CreditsWindow(const QString& creditsPath, QWidget* parent = nullptr);

    const CreditsScroll& scroll() const { return scroll_; }
    QTimer& timer() { return redrawTimer_; }
    /// One tick of the scroll (the timer's work).
    void tick();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CreditsScroll scroll_;
    QImage background_; // picBackBuffer: drawn once
    QImage buffer_;     // picBuffer: the frame being drawn
    QFont font_;
    // Each line's left edge, measured once when it first comes into view.
    QList<int> lineLeft_;
    QTimer redrawTimer_;
};

} // namespace velloran
