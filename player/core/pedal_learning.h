#pragma once

#include "pedal_models.h"

#include <QObject>
#include <QString>

namespace velloran {

/// Learns a USB pedal that no model describes: asks for the left, middle and
/// right pedal in turn, records what each one changes, and writes the model
/// line to the user's model file. Cancel leaves nothing behind.
class PedalLearning : public QObject {
    Q_OBJECT
public:
    enum class Step { Idle, Left, Middle, Right, Done, Failed };

    PedalLearning(UsbPedal& usb, PedalModelTable& models, QObject* parent = nullptr);

    /// Starts over with the left pedal. False (and a text saying why) when no
    /// pedal is attached.
    bool start();
    /// Forgets what was recorded; nothing is written.
    void cancel();

    Step step() const { return step_; }
    bool active() const {
        return step_ == Step::Left || step_ == Step::Middle || step_ == Step::Right;
    }
    /// What the dialog shows for the current step.
    QString text() const { return text_; }
    /// The model written (valid once step() is Done).
    const PedalModel& model() const { return model_; }

signals:
    void changed();

private:
    void onSignal(const PedalSignal& signal, bool down);
    void ask();
    void finish();
    void setText(const QString& text);

    UsbPedal& usb_;
    PedalModelTable& models_;
    Step step_ = Step::Idle;
    PedalModel model_;
    PedalSignal pending_; ///< the current pedal's first change, until it is let go
    int downCount_ = 0;   ///< signals held now
    QString text_;
};

} // namespace velloran
