#pragma once

// Nothing runs inside a conversion. While a recording is being converted the
// player waits in a nested event loop, and without a gate a command from the
// session bus, a hot key, a remote or a file handed over would act on the
// dictation being left, or start a second conversion inside the first.

#include "recording_converter.h"

#include <QObject>
#include <QString>

#include <deque>
#include <functional>

namespace velloran {

class UserPrompts;

/// Holds the commands that arrive while a conversion runs and runs them, in
/// the order they came, once it has ended; of the files handed over
/// meanwhile only the newest is opened, after the other commands. Pedal
/// presses cannot wait (a held pedal means "now"): they are dropped, and the
/// typist is told once.
class CommandGate : public QObject {
    Q_OBJECT
public:
    explicit CommandGate(UserPrompts& prompts, QObject* parent = nullptr);

    bool isClosed() const { return closedFor_ > 0; }

    /// False when open: the caller runs the command itself. True when closed:
    /// @p command is kept and runs after the conversion.
    bool hold(std::function<void()> command);
    /// As hold(), for opening a file handed over; replaces an earlier one.
    bool holdOpen(std::function<void()> open);
    /// True when closed: the pedal press is dropped (and reported later).
    bool dropPedal();

    /// Closed while the returned object lives; @p what names the recording.
    class Closed {
    public:
        explicit Closed(CommandGate& gate) : gate_(&gate) {}
        ~Closed();
        Closed(Closed&& other) noexcept : gate_(other.gate_) { other.gate_ = nullptr; }
        Closed(const Closed&) = delete;
        Closed& operator=(const Closed&) = delete;
        Closed& operator=(Closed&&) = delete;

    private:
        CommandGate* gate_;
    };
    [[nodiscard]] Closed close(const QString& what);

private:
    void reopen();
    void release();

    UserPrompts& prompts_;
    int closedFor_ = 0;
    QString converting_;
    std::deque<std::function<void()>> held_;
    std::function<void()> open_;
    bool pedalDropped_ = false;
};

/// A converter whose conversions close the gate while they run.
class GatedConverter final : public RecordingConverter {
public:
    GatedConverter(RecordingConverter& inner, CommandGate& gate) : inner_(inner), gate_(gate) {}
    ConversionOutcome convertDss(const QString& source) override;
    ConversionOutcome convertDvi(const QString& source) override;
    void discardTemporary() override { inner_.discardTemporary(); }

private:
    RecordingConverter& inner_;
    CommandGate& gate_;
};

} // namespace velloran
