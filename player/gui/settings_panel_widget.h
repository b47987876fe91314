#pragma once

#include <QWidget>

#include <array>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velloran {

class SettingsPanel;

/// The settings panel's controls, placed below the player strip. Shows the
/// SettingsPanel's fields and hands the user's choices back to it.
class SettingsPanelWidget : public QWidget {
    Q_OBJECT
public:
    explicit SettingsPanelWidget(SettingsPanel& panel, QWidget* parent = nullptr);

    /// Shows the panel's current fields.
    void refresh();

signals:
    /// The typist wants to see or change the keys.
    void keysRequested();

protected:
    void showEvent(QShowEvent* event) override;
    /// OK and Cancel as the window's default and escape buttons.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QComboBox* makeList(QWidget* parent, const QString& name, const QStringList& items);

    SettingsPanel& panel_;
    std::array<QComboBox*, 3> pedals_{};
    QComboBox* port_ = nullptr;
    QComboBox* large_ = nullptr;
    QComboBox* small_ = nullptr;
    QComboBox* stepBack_ = nullptr;
    QRadioButton* pressToPlay_ = nullptr;
    QRadioButton* startStop_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QPushButton* test_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    bool refreshing_ = false;
};

} // namespace velloran
