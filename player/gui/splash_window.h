#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>

namespace velloran {

/// The splash (frmSplash): shown first, it hands over to the main window after
/// 1500 ms or at a click, then stays alive, hidden, for the whole run (the
/// system-wide hot keys are bound to it).
class SplashWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 1500;

    /// @p picturePath is shown when it exists; otherwise the product name.
    explicit SplashWindow(const QString& picturePath, QWidget* parent = nullptr);
    ~SplashWindow() override;

    /// Shows the splash with the busy pointer and starts the timer.
    void start();
    bool handedOver() const { return handedOver_; }
    QTimer& timer() { return timer1_; }

signals:
    /// The main window is to load and show (once).
    void handOver();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void finish();

    QTimer timer1_;
    bool handedOver_ = false;
    bool busyCursor_ = false;
};

} // namespace velloran
