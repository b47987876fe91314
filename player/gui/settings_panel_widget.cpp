#include "settings_panel_widget.h"

#include "core/settings_panel.h"
#include "gui/main_window.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace velloran {

namespace {
// Places a control by its twips geometry; the panel band starts 450 twips
// below the top of the window's client area.
void place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                        twipsToPixels(height));
}

constexpr int kBandTop = 450;
constexpr int kListHeight = 315;

QLabel* label(QWidget* parent, const QString& text, int left, int top, int width) {
    auto* l = new QLabel(text, parent);
    place(l, left, top, width, 225);
    return l;
}
} // namespace

SettingsPanelWidget::SettingsPanelWidget(SettingsPanel& panel, QWidget* parent)
    : QWidget(parent), panel_(panel) {
    setObjectName(QStringLiteral("SettingsPanel"));
    setStyleSheet(QStringLiteral("QComboBox#Combo1, QComboBox#cmbPort, QComboBox#txtL,"
                                 "QComboBox#txtS, QComboBox#txtRew, QLineEdit#txtWavePath"
                                 "{ background-color: rgb(224, 224, 192); }"
                                 "QWidget { font-size: 7pt; }"));
    setMinimumSize(twipsToPixels(11200), twipsToPixels(2000 - kBandTop));

    auto* pedal = new QGroupBox(QStringLiteral("Foot Pedal"), this);
    pedal->setObjectName(QStringLiteral("fraPedal"));
    place(pedal, 0, 450 - kBandTop, 5025, 1500);
    const QStringList sides = {QStringLiteral("Left"), QStringLiteral("Middle"),
                               QStringLiteral("Right")};
    constexpr int kLabelLeft[3] = {120, 1605, 3405};
    constexpr int kListLeft[3] = {520, 2190, 3885};
    for (int i = 0; i < 3; ++i) {
        label(pedal, sides[i], kLabelLeft[i], 375, kListLeft[i] - kLabelLeft[i] - 30);
        pedals_[i] = makeList(pedal, QStringLiteral("Combo1"), SettingsPanel::pedalItems());
        pedals_[i]->setProperty("index", i);
        pedals_[i]->setAccessibleName(sides[i] + QStringLiteral(" pedal"));
        place(pedals_[i], kListLeft[i], 315, 940, kListHeight);
        connect(pedals_[i], &QComboBox::activated, this,
                [this, i](int index) { panel_.pedalIndex[i] = index; });
    }

    auto* mode = new QGroupBox(QStringLiteral("Play Mode"), pedal);
    mode->setObjectName(QStringLiteral("fraPlayMode"));
    place(mode, 60, 800, 2400, 640);
    pressToPlay_ = new QRadioButton(QStringLiteral("&Press to Play"), mode);
    pressToPlay_->setObjectName(QStringLiteral("OptPP"));
    place(pressToPlay_, 50, 240, 1215, 300);
    startStop_ = new QRadioButton(QStringLiteral("&Start Stop"), mode);
    startStop_->setObjectName(QStringLiteral("OptPT"));
    place(startStop_, 1300, 240, 1035, 300);
    connect(pressToPlay_, &QRadioButton::toggled, this, [this](bool on) {
        if (refreshing_)
            return;
        panel_.pressToPlay = on;
        panel_.startStop = !on;
    });

    auto* portFrame = new QGroupBox(QStringLiteral("Port"), pedal);
    portFrame->setObjectName(QStringLiteral("fraPort"));
    place(portFrame, 2520, 800, 2440, 640);
    port_ = makeList(portFrame, QStringLiteral("cmbPort"), panel_.ports);
    place(port_, 120, 240, 1455, kListHeight);
    connect(port_, &QComboBox::activated, this,
            [this](int index) { panel_.portPicked(port_->itemText(index)); });
    test_ = new QPushButton(QStringLiteral("&Test"), portFrame);
    test_->setObjectName(QStringLiteral("cmdTest"));
    place(test_, 1645, 217, 735, 345);
    connect(test_, &QPushButton::clicked, &panel_, &SettingsPanel::test);

    auto* skips = new QGroupBox(QStringLiteral("Skip Seconds"), this);
    skips->setObjectName(QStringLiteral("fraSkip"));
    place(skips, 5160, 450 - kBandTop, 6015, 735);
    // Each list sits under its label; the frame is too short for a line of
    // its own, so the labels share the band of the frame's caption.
    constexpr int kSkipTop = 390;
    label(skips, QStringLiteral("Rewind / Forward"), 600, 170, 1500);
    large_ = makeList(skips, QStringLiteral("txtL"), SettingsPanel::skipItems());
    place(large_, 840, kSkipTop, 940, 300);
    label(skips, QStringLiteral("Small Rewind / Small Forward"), 2500, 170, 2300);
    small_ = makeList(skips, QStringLiteral("txtS"), SettingsPanel::skipItems());
    place(small_, 3100, kSkipTop, 940, 300);
    label(skips, QStringLiteral("Step Back"), 5000, 170, 980);
    stepBack_ = makeList(skips, QStringLiteral("txtRew"), SettingsPanel::skipItems());
    place(stepBack_, 5040, kSkipTop, 900, 300);
    connect(large_, &QComboBox::activated, this,
            [this] { panel_.largeText = large_->currentText(); });
    connect(small_, &QComboBox::activated, this,
            [this] { panel_.smallText = small_->currentText(); });
    connect(stepBack_, &QComboBox::activated, this,
            [this] { panel_.stepBackText = stepBack_->currentText(); });

    auto* folderFrame = new QGroupBox(QStringLiteral("Audio Folder"), this);
    folderFrame->setObjectName(QStringLiteral("fraFolder"));
    // Narrower than it was by the width of the Keys button beside it.
    place(folderFrame, 5160, 1290 - kBandTop, 3840, 660);
    folder_ = new QLineEdit(folderFrame);
    folder_->setObjectName(QStringLiteral("txtWavePath"));
    folder_->setEnabled(false);
    place(folder_, 80, 240, 2775, 315);
    auto* browse = new QPushButton(QStringLiteral("&Browse"), folderFrame);
    browse->setObjectName(QStringLiteral("cmdBrowse"));
    place(browse, 2940, 192, 825, 345);
    connect(browse, &QPushButton::clicked, &panel_, &SettingsPanel::browse);

    ok_ = new QPushButton(QStringLiteral("&OK"), this);
    ok_->setObjectName(QStringLiteral("cmdOK"));
    place(ok_, 10080, 1245 - kBandTop, 1050, 345);
    connect(ok_, &QPushButton::clicked, &panel_, &SettingsPanel::ok);
    cancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cmdCancel"));
    place(cancel_, 10080, 1605 - kBandTop, 1050, 345);
    connect(cancel_, &QPushButton::clicked, &panel_, &SettingsPanel::cancel);

    // Between the folder and OK, level with Browse.
    auto* keys = new QPushButton(QStringLiteral("&Keys..."), this);
    keys->setObjectName(QStringLiteral("cmdKeys"));
    place(keys, 9090, 1290 - kBandTop + 192, 930, 345);
    connect(keys, &QPushButton::clicked, this, &SettingsPanelWidget::keysRequested);

    // Return on a focused button presses that button; what no control takes
    // reaches the window, where OK and Cancel answer (see eventFilter).
    for (auto* button : {test_, browse, ok_, cancel_, keys})
        button->setAutoDefault(true);
    ok_->setDefault(true);

    connect(&panel_, &SettingsPanel::changed, this, &SettingsPanelWidget::refresh);
    refresh();
}

QComboBox* SettingsPanelWidget::makeList(QWidget* parent, const QString& name,
                                         const QStringList& items) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setEditable(false);
    list->addItems(items);
    list->setCurrentIndex(-1);
    return list;
}

void SettingsPanelWidget::showEvent(QShowEvent* event) {
    // The panel is placed into the main window after it is made.
    window()->installEventFilter(this);
    QWidget::showEvent(event);
}

bool SettingsPanelWidget::eventFilter(QObject* watched, QEvent* event) {
    // A key reaches the window only when the focused control ignored it; an
    // open list's popup is a window of its own and keeps its keys.
    if (watched == window() && event->type() == QEvent::KeyPress && panel_.isOpen) {
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if (modifiers == Qt::NoModifier) {
            QPushButton* button = nullptr;
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
                button = ok_;
            else if (key->key() == Qt::Key_Escape)
                button = cancel_;
            if (button) {
                button->click();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsPanelWidget::refresh() {
    refreshing_ = true;
    for (int i = 0; i < 3; ++i)
        pedals_[i]->setCurrentIndex(panel_.pedalIndex[i]);
    QStringList shownPorts;
    for (int i = 0; i < port_->count(); ++i)
        shownPorts << port_->itemText(i);
    if (shownPorts != panel_.ports) {
        port_->clear();
        port_->addItems(panel_.ports);
    }
    port_->setCurrentIndex(panel_.ports.indexOf(panel_.portText));
    // A USB pedal's name is longer than the list is wide.
    port_->setToolTip(panel_.portText);
    large_->setCurrentIndex(large_->findText(panel_.largeText));
    small_->setCurrentIndex(small_->findText(panel_.smallText));
    stepBack_->setCurrentIndex(stepBack_->findText(panel_.stepBackText));
    pressToPlay_->setChecked(panel_.pressToPlay);
    startStop_->setChecked(panel_.startStop);
    folder_->setText(panel_.wavePath);
    test_->setEnabled(panel_.testEnabled);
    refreshing_ = false;
}

} // namespace velloran
