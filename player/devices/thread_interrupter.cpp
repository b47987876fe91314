#include "thread_interrupter.h"

#include <cerrno>
#include <csignal>

namespace velloran::devices {
namespace {

// A real-time signal high in the range: applications and libraries that use
// one tend to count up from SIGRTMIN, and SIGUSR1/2 are often claimed.
int wakeSignal() {
    return SIGRTMAX - 3;
}

extern "C" void onWakeSignal(int) {}

bool installWakeHandler() {
    struct sigaction old {};
    if (sigaction(wakeSignal(), nullptr, &old) != 0)
        return false;
    if (old.sa_handler == &onWakeSignal)
        return true;
    if ((old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL)
        return false; // someone else's: leave it alone
    struct sigaction action {};
    action.sa_handler = &onWakeSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: the blocked call must fail with EINTR
    return sigaction(wakeSignal(), &action, nullptr) == 0;
}

} // namespace

bool ThreadInterrupter::available() {
    static const bool installed = installWakeHandler();
    return installed;
}

int ThreadInterrupter::enter() {
    if (!available())
        return EOPNOTSUPP;
    // The runner's signal mask may block everything (ModemWatcher's thread
    // does); the wake signal has to get through.
    sigset_t wake;
    sigemptyset(&wake);
    sigaddset(&wake, wakeSignal());
    pthread_sigmask(SIG_UNBLOCK, &wake, nullptr);

    std::lock_guard lock(mutex_);
    if (cancelled_)
        return ECANCELED;
    running_ = true;
    runner_ = pthread_self();
    return 0;
}

int ThreadInterrupter::leave(int error) {
    std::lock_guard lock(mutex_);
    running_ = false;
    return cancelled_ ? ECANCELED : error;
}

void ThreadInterrupter::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    // running_ is cleared under this mutex before the runner can go on to
    // exit, so runner_ still names a live thread here.
    if (running_)
        pthread_kill(runner_, wakeSignal());
}

bool ThreadInterrupter::cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

} // namespace velloran::devices
