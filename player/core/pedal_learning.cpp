#include "pedal_learning.h"

#include <linux/input-event-codes.h>

#include <algorithm>

namespace velloran {

namespace {
const QString kPedalNames[3] = {QStringLiteral("left"), QStringLiteral("middle"),
                                QStringLiteral("right")};
}

PedalLearning::PedalLearning(UsbPedal& usb, PedalModelTable& models, QObject* parent)
    : QObject(parent), usb_(usb), models_(models) {
    connect(&usb_, &UsbPedal::signalChanged, this, &PedalLearning::onSignal);
    connect(&usb_, &UsbPedal::deviceLost, this, [this] {
        if (!active())
            return;
        step_ = Step::Failed;
        setText(QStringLiteral("The pedal was unplugged. Plug it in and press Learn again."));
    });
}

bool PedalLearning::start() {
    model_ = PedalModel{};
    pending_ = {};
    downCount_ = 0;
    if (!usb_.isAttached()) {
        step_ = Step::Failed;
        setText(QStringLiteral("No USB pedal is attached."));
        return false;
    }
    const UsbPedal::Identity id = usb_.identity();
    model_.vendor = id.vendor;
    model_.product = id.product;
    model_.name = id.name.simplified().isEmpty() ? QStringLiteral("USB pedal") : id.name;
    step_ = Step::Left;
    ask();
    return true;
}

void PedalLearning::cancel() {
    if (step_ == Step::Idle)
        return;
    step_ = Step::Idle;
    pending_ = {};
    setText({});
}

void PedalLearning::ask() {
    const int index = static_cast<int>(step_) - static_cast<int>(Step::Left);
    setText(QStringLiteral("Step %1 of 3: press the %2 pedal and let it go.")
                .arg(index + 1)
                .arg(kPedalNames[index]));
}

void PedalLearning::onSignal(const PedalSignal& signal, bool down) {
    if (!active())
        return;
    downCount_ = std::max(0, downCount_ + (down ? 1 : -1));
    const int index = static_cast<int>(step_) - static_cast<int>(Step::Left);
    if (down && pending_.kind == PedalSignal::None) {
        // A pedal that sends a modifier with its key is taken by its first change.
        for (int i = 0; i < index; ++i) {
            if (model_.pedals[static_cast<std::size_t>(i)] == signal) {
                setText(QStringLiteral("That was the %1 pedal again. Press the %2 pedal.")
                            .arg(kPedalNames[i], kPedalNames[index]));
                return;
            }
        }
        pending_ = signal;
        setText(QStringLiteral("Step %1 of 3: %2 pedal seen (%3); now let it go.")
                    .arg(index + 1)
                    .arg(kPedalNames[index], signalText(signal)));
        return;
    }
    // The step ends once everything the pedal changed is up again.
    if (!down && pending_.kind != PedalSignal::None && downCount_ == 0) {
        model_.pedals[static_cast<std::size_t>(index)] = pending_;
        pending_ = {};
        if (step_ == Step::Right) {
            finish();
        } else {
            step_ = static_cast<Step>(static_cast<int>(step_) + 1);
            ask();
        }
    }
}

void PedalLearning::finish() {
    const UsbPedal::Identity id = usb_.identity();
    if (id.rawHid) {
        model_.kind = PedalModel::Hid;
    } else {
        // Codes below the button range are keyboard keys: such a pedal is grabbed.
        const bool keys = std::any_of(model_.pedals.begin(), model_.pedals.end(),
                                      [](const PedalSignal& s) { return s.code < BTN_MISC; });
        model_.kind = keys ? PedalModel::Keys : PedalModel::Buttons;
    }
    QString error;
    if (!models_.add(model_, &error)) {
        step_ = Step::Failed;
        setText(QStringLiteral("The pedal could not be saved: %1").arg(error));
        return;
    }
    step_ = Step::Done;
    setText(
        QStringLiteral("Learned and saved in %1:\n%2").arg(models_.userFile(), modelLine(model_)));
}

void PedalLearning::setText(const QString& text) {
    text_ = text;
    emit changed();
}

} // namespace velloran
