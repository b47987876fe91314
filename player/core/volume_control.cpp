#include "volume_control.h"

#include "media_engine.h"
#include "mixer.h"
#include "player.h"
#include "settings.h"
#include "settings_store.h"

#include <algorithm>

namespace velloran {

VolumeControl::VolumeControl(Player& player, Mixer& mixer, QObject* parent)
    : QObject(parent), player_(player), mixer_(mixer) {
    connect(&mixer_, &Mixer::volumeControlFound, this, &VolumeControl::onControlFound);
    connect(&mixer_, &Mixer::unavailable, this, [this] {
        if (reported_)
            return;
        reported_ = true;
        player_.prompts().showError(QStringLiteral("Unable to open the sound mixer."));
    });
}

void VolumeControl::prepare() {
    showMixerLevel_ = player_.store().read(keys::VolumeValue).isEmpty();
    mixer_.open();
}

void VolumeControl::onControlFound(int minimum, int maximum, int value) {
    sliderMinimum_ = minimum;
    sliderMaximum_ = maximum / 2;
    emit changed();
    // Read, never written: the system volume stays as the user left it.
    if (showMixerLevel_) {
        const int level = std::clamp(value / 2, 0, kMaxLevel);
        player_.state().volumeLevel = level;
        player_.showVolume(level, thumbLeftForLevel(level));
    }
}

int VolumeControl::thumbLeftForLevel(int level) {
    const double t = level / 35.0;
    if (t <= kThumbMinTwips)
        return kThumbMinTwips;
    return t < 940 ? static_cast<int>(t) : kThumbMaxTwips;
}

void VolumeControl::pictureSliderInput(Qt::MouseButtons buttons, int xTwips) {
    if (buttons != Qt::LeftButton)
        return;
    const int left =
        xTwips <= kThumbMinTwips ? kThumbMinTwips : (xTwips < 940 ? xTwips : kThumbMaxTwips);
    int level = (left - kThumbMinTwips) * 38;
    if (level >= 32000)
        level = kMaxLevel;
    player_.state().volumeLevel = level;
    showMixerLevel_ = false;
    player_.showVolume(level, left);
    mixer_.setVolume(level * 2);
    unmuteQuietly();
    emit player_.focusToSpeedSlider();
}

void VolumeControl::volumeSliderScrolled(int value) {
    // The picture slider's level stays: un-muting goes back to it.
    showMixerLevel_ = false;
    player_.showVolume(value);
    mixer_.setVolume(value * 2);
    unmuteQuietly();
    emit player_.focusToSpeedSlider();
}

// Sound is on again after a volume control moved, so the picture says so.
void VolumeControl::unmuteQuietly() {
    if (!muted_)
        return;
    muted_ = false;
    emit changed();
}

void VolumeControl::balanceChanged(int value) {
    balance_ = std::clamp(value, kBalanceMin, kBalanceMax);
    player_.engine().setBalance(balance_);
    emit changed();
    emit player_.focusToSpeedSlider();
}

void VolumeControl::muteClicked() {
    if (!muted_) {
        mixer_.setVolume(0);
        muted_ = true;
        emit changed();
        emit player_.focusToSpeedSlider();
        return;
    }
    mixer_.setVolume(player_.state().volumeLevel * 2);
    muted_ = false;
    emit changed();
}

QString VolumeControl::pictureName() const {
    return muted_ ? QStringLiteral("wavebalance1.bmp") : QStringLiteral("wavebalance.bmp");
}

} // namespace velloran
