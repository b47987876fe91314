#pragma once

#include <pthread.h>

#include <cerrno>
#include <mutex>

namespace velloran::devices {

/// Lets one thread break another out of a blocking system call that nothing
/// else wakes (TIOCMIWAIT ignores close() of its descriptor).
///
/// The blocked thread is sent a signal whose handler does nothing and is
/// installed without SA_RESTART, so the call fails with EINTR. A signal that
/// lands just before the call starts is lost, so cancel() is sticky and meant
/// to be repeated until the blocked thread has left (ModemWatcher does that).
class ThreadInterrupter {
public:
    /// Installs the wake signal's handler once per process. False when another
    /// part of the program already handles that signal: then nothing can be
    /// interrupted and callers must avoid blocking calls.
    static bool available();

    /// Runs @p call (a blocking system call returning -1/errno on failure) on
    /// the calling thread. Returns 0 on success, ECANCELED once cancel() has
    /// been called (before or during the call), EOPNOTSUPP without running it
    /// when the wake signal is not available(), else the call's errno.
    template <typename Call>
    int run(Call&& call) {
        if (const int refused = enter())
            return refused;
        const int error = call() == -1 ? errno : 0;
        return leave(error);
    }

    /// Thread-safe. Makes the current run() and every later one return
    /// ECANCELED; repeat while the runner has not returned.
    void cancel();
    bool cancelled() const;

private:
    int enter();
    int leave(int error);

    mutable std::mutex mutex_;
    bool cancelled_ = false;
    bool running_ = false; // a thread is inside run(): runner_ is valid and alive
    pthread_t runner_{};
};

} // namespace velloran::devices
