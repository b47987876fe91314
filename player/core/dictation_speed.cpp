#include "dictation_speed.h"

#include "media_engine.h"

#include <algorithm>

namespace velloran {

double DictationSpeed::rateFor(int sliderValue) {
    const int step = std::clamp(sliderValue, kSlowest, kFastest) + 10;
    // Counted in whole notches from the middle, so the middle is exactly 1.0
    // and no notch carries a rounding error from its neighbour.
    if (step == 10)
        return 1.0;
    if (step < 10)
        return 1.0 - (10 - step) * 0.04;
    return 1.0 + (step - 10) * 0.04;
}

void DictationSpeed::sliderMoved(int sliderValue) {
    speedStep_ = std::clamp(sliderValue, kSlowest, kFastest) + 10;
    engine_.setRate(rateFor(sliderValue));
}

} // namespace velloran
