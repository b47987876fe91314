#pragma once

namespace velloran {

class MediaEngine;

/// The speed slider's rule: twenty notches of 0.04 around normal speed, from
/// 0.6 at -10 to 1.4 at +10. The speed is not saved, and opening another file
/// does not apply it again.
class DictationSpeed {
public:
    static constexpr int kSlowest = -10;
    static constexpr int kFastest = 10;

    explicit DictationSpeed(MediaEngine& engine) : engine_(engine) {}

    /// The playback rate for a slider value (clamped to the slider's range).
    static double rateFor(int sliderValue);

    /// The user moved the slider: the rate applies at once, playing or paused.
    void sliderMoved(int sliderValue);
    /// The slider's value plus 10: 0..20, 10 for normal speed.
    int speedStep() const { return speedStep_; }

private:
    MediaEngine& engine_;
    int speedStep_ = 10;
};

} // namespace velloran
