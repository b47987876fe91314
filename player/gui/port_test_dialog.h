#pragma once

#include <QDialog>

#include <array>

class QLabel;
class QPushButton;

namespace velloran {

class PedalTest;

/// The pedal test dialog (frmPortSetting): three pedal pictures that show
/// which pedal is held down on the port being tested.
class PortTestDialog : public QDialog {
    Q_OBJECT
public:
    explicit PortTestDialog(PedalTest& test, QWidget* parent = nullptr);

    /// Shows the pictures the test holds now.
    void refresh();

protected:
    void done(int result) override;

private:
    void learnClicked();
    void showLearning();

    PedalTest& test_;
    std::array<QLabel*, 3> pictures_{};
    QPushButton* learn_ = nullptr;
    QLabel* learnText_ = nullptr;
};

} // namespace velloran
