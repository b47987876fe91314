#pragma once

#include <QObject>

namespace velloran {

class Mixer;
class Player;

/// The volume frame's rules: the picture slider and the Volume slider set the
/// system mixer, the speaker picture mutes it, the balance slider moves the
/// dictation between the speakers. The Volume slider's value and the picture
/// slider's thumb live in the player's DisplayState (the exit saves the
/// former); the rest of the frame's state is here.
class VolumeControl : public QObject {
    Q_OBJECT
public:
    /// The picture slider's thumb: its left edge in twips, level 0 to 32767.
    static constexpr int kThumbMinTwips = 140;
    static constexpr int kThumbMaxTwips = 1000;
    static constexpr int kMaxLevel = 32767;
    static constexpr int kBalanceMin = -5000;
    static constexpr int kBalanceMax = 5000;

    VolumeControl(Player& player, Mixer& mixer, QObject* parent = nullptr);

    /// Start-up: looks for the mixer. Reports once when there is none; on a
    /// first run (no saved volume) the controls then show the mixer's level.
    void prepare();

    /// A press on the picture slider, or a move over it with @p buttons held,
    /// at @p xTwips: only the left button alone sets the volume.
    void pictureSliderInput(Qt::MouseButtons buttons, int xTwips);
    /// The user moved the Volume slider.
    void volumeSliderScrolled(int value);
    /// The user moved the balance slider.
    void balanceChanged(int value);
    /// The speaker picture was clicked: mutes or un-mutes.
    void muteClicked();

    bool muted() const { return muted_; }
    /// The Volume slider's range, from the mixer's control.
    int sliderMinimum() const { return sliderMinimum_; }
    int sliderMaximum() const { return sliderMaximum_; }
    int balance() const { return balance_; }
    /// The speaker picture's file name under bitmap/.
    QString pictureName() const;

    /// Where the thumb stands for a level read from the settings.
    static int thumbLeftForLevel(int level);

signals:
    /// muted(), the slider range or balance() changed.
    void changed();

private:
    void onControlFound(int minimum, int maximum, int value);
    void unmuteQuietly();

    Player& player_;
    Mixer& mixer_;
    bool muted_ = false;
    int sliderMinimum_ = 0;
    int sliderMaximum_ = kMaxLevel;
    int balance_ = 0;
    bool reported_ = false;
    // No volume was saved (a first run): the controls show the mixer's level
    // until the user sets one.
    bool showMixerLevel_ = false;
};

} // namespace velloran
