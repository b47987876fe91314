#pragma once

#include <QDialog>

#include <functional>

class QLabel;

namespace velloran {

/// The About box (frmAbout): the product picture, the version and two lines
/// of text. A double-click on the picture opens the credits.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    /// @p appDir holds bitmap/about.png and credits.txt.
    explicit AboutDialog(const QString& appDir, QWidget* parent = nullptr);

    /// Opens the credits modally (the picture's double-click); the default
    /// runs a CreditsWindow.
    std::function<void()> openCredits;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* picture_ = nullptr;
};

} // namespace velloran
