#pragma once

#include <QFrame>

class QLabel;
class QSlider;

namespace velloran {

class Player;
class VolumeControl;

/// The picture volume slider (picVolume): a track whose thumb (picSlider)
/// stands at the level; presses and moves go to the model in twips.
class VolumePictureSlider : public QFrame {
    Q_OBJECT
public:
    static constexpr int kWidthTwips = 1110;

    explicit VolumePictureSlider(QWidget* parent = nullptr);
    void setThumbLeftTwips(int twips);

signals:
    /// A press (the button pressed) or a move (the buttons held) at @p xTwips.
    void input(Qt::MouseButtons buttons, int xTwips);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QFrame* thumb_ = nullptr;
};

/// The volume frame's widgets: the picture slider, the mute picture (picVol),
/// the Volume slider and the balance slider (sldBalance).
class VolumeFrame : public QWidget {
    Q_OBJECT
public:
    VolumeFrame(Player& player, VolumeControl& control, const QString& appDir,
                QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();

    Player& player_;
    VolumeControl& control_;
    QString appDir_;
    VolumePictureSlider* picture_ = nullptr;
    QLabel* mute_ = nullptr;
    QSlider* volume_ = nullptr;
    QSlider* balance_ = nullptr;
    QString shownPicture_;
    bool refreshing_ = false; // values written by refresh() are not the user's moves
};

} // namespace velloran
