#pragma once

#include "core/mixer.h"

#include <QList>

namespace velloran::testing {

/// A mixer for tests: answers open() through the event loop as the real one
/// does, with a control of 0..65535 or with nothing reachable.
class FakeMixer final : public Mixer {
    Q_OBJECT
public:
    using Mixer::Mixer;

    void open() override;
    bool setVolume(int value) override;

    bool reachable = true;
    int presentValue = 40000; ///< the level the system volume stands at
    QList<int> values;        ///< every value set, in order
    int opens = 0;

private:
    bool found_ = false;
};

} // namespace velloran::testing
