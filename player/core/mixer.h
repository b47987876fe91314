#pragma once

#include <QObject>

namespace velloran {

/// The system's audio mixer: the master volume of the speaker output, which
/// every program's sound goes through. Nothing here may keep the caller
/// waiting; answers arrive through the event loop.
class Mixer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Mixer() override = default;

    /// Starts looking for the mixer and its volume control. volumeControlFound()
    /// or unavailable() follows.
    virtual void open() = 0;
    /// Sets every channel of the volume control to @p value, on the control's
    /// own scale. False when there is no control to take it.
    virtual bool setVolume(int value) = 0;

signals:
    /// The volume control was found (also again, after the sound server came
    /// back or the output changed): its range and its present value.
    void volumeControlFound(int minimum, int maximum, int value);
    /// The first attempt reached no mixer. The mixer keeps looking.
    void unavailable();
};

} // namespace velloran
