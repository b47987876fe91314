#pragma once

#include "modem_lines.h"

#include <chrono>
#include <functional>
#include <memory>

namespace velloran::devices {

/// Watches the modem-status inputs on a thread of its own and reports each
/// change, or the loss of the device, through a callback.
///
/// It waits in ModemLines::waitForChange(); when the driver cannot wait it
/// polls read() every pollInterval instead. stop() always returns within
/// stopTimeout, even if the thread is stuck in a call that ignores
/// cancellation: the thread is then left to finish on its own, holding the
/// only references to what it uses, and never calls back again.
class ModemWatcher {
public:
    enum class Event { Changed, Lost };
    /// Runs on the watcher thread; must not block (post the event on).
    using Sink = std::function<void(Event)>;

    struct Timing {
        std::chrono::milliseconds pollInterval{10};
        std::chrono::milliseconds stopTimeout{500};
    };

    /// Starts the thread. Throws std::system_error when no thread can be made.
    ModemWatcher(std::shared_ptr<ModemLines> lines, Sink sink, Timing timing);
    ModemWatcher(std::shared_ptr<ModemLines> lines, Sink sink)
        : ModemWatcher(std::move(lines), std::move(sink), Timing{}) {}
    ~ModemWatcher();
    ModemWatcher(const ModemWatcher&) = delete;
    ModemWatcher& operator=(const ModemWatcher&) = delete;

    /// Ends the watch. The sink is not called once this has returned.
    void stop();
    /// Whether the thread has given up waiting and polls instead.
    bool polling() const;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    bool stopped_ = false;
};

} // namespace velloran::devices
