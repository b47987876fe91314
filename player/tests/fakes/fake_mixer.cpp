#include "fake_mixer.h"

#include <QTimer>

namespace velloran::testing {

void FakeMixer::open() {
    ++opens;
    QTimer::singleShot(0, this, [this] {
        if (!reachable) {
            emit unavailable();
            return;
        }
        found_ = true;
        emit volumeControlFound(0, 65535, presentValue);
    });
}

bool FakeMixer::setVolume(int value) {
    if (!found_)
        return false;
    values << value;
    presentValue = value;
    return true;
}

} // namespace velloran::testing
