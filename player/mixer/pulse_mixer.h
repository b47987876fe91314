#pragma once

#include "core/mixer.h"

#include <memory>

namespace velloran {

/// The system mixer through libpulse (PulseAudio, or PipeWire's pulse
/// server): the volume of the default sink, followed when the user picks
/// another, one value for all its channels. The 0..65535 scale maps linearly
/// onto 0..PA_VOLUME_NORM. libpulse runs on a thread of its own; a call here
/// only holds its lock while a request is queued. A server that goes away is
/// looked for again every second.
class PulseMixer final : public Mixer {
    Q_OBJECT
public:
    static constexpr int kMaxValue = 65535;

    explicit PulseMixer(QObject* parent = nullptr);
    ~PulseMixer() override;

    void open() override;
    bool setVolume(int value) override;

    /// The 0..65535 scale in libpulse's volumes and back (clamped).
    static quint32 toPulse(int value);
    static int fromPulse(quint32 volume);

private:
    struct Connection;
    std::unique_ptr<Connection> connection_;
};

} // namespace velloran
