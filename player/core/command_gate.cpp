#include "command_gate.h"

#include "text_rules.h"
#include "user_prompts.h"

namespace velloran {

CommandGate::CommandGate(UserPrompts& prompts, QObject* parent)
    : QObject(parent), prompts_(prompts) {}

bool CommandGate::hold(std::function<void()> command) {
    if (!isClosed())
        return false;
    held_.push_back(std::move(command));
    return true;
}

bool CommandGate::holdOpen(std::function<void()> open) {
    if (!isClosed())
        return false;
    open_ = std::move(open);
    return true;
}

bool CommandGate::dropPedal() {
    if (!isClosed())
        return false;
    pedalDropped_ = true;
    return true;
}

CommandGate::Closed CommandGate::close(const QString& what) {
    if (closedFor_++ == 0)
        converting_ = what;
    return Closed(*this);
}

CommandGate::Closed::~Closed() {
    if (gate_)
        gate_->reopen();
}

void CommandGate::reopen() {
    if (--closedFor_ > 0)
        return;
    // The command that converted (an Open) finishes first: what was held acts
    // on the new dictation, not in the middle of its opening.
    QMetaObject::invokeMethod(this, &CommandGate::release, Qt::QueuedConnection);
}

void CommandGate::release() {
    if (isClosed())
        return; // another conversion began meanwhile; its end releases
    std::deque<std::function<void()>> held;
    held.swap(held_);
    auto open = std::move(open_);
    open_ = nullptr;
    const bool pedal = std::exchange(pedalDropped_, false);
    for (auto& command : held)
        command();
    if (open)
        open();
    if (pedal) {
        prompts_.showMessage(QStringLiteral("The pedal was not used while %1 was being converted.")
                                 .arg(converting_));
    }
}

ConversionOutcome GatedConverter::convertDss(const QString& source) {
    const auto closed = gate_.close(extractFileName(source));
    return inner_.convertDss(source);
}

ConversionOutcome GatedConverter::convertDvi(const QString& source) {
    const auto closed = gate_.close(extractFileName(source));
    return inner_.convertDvi(source);
}

} // namespace velloran
