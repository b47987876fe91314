#include "modem_watcher.h"

#include <csignal>
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace velloran::devices {

namespace {
// Consecutive wakes without a line change before the wait is taken for
// broken. A press and release too quick to read happen now and then, not
// a hundred times in a row.
constexpr int kMaxIdleWakes = 100;
} // namespace

struct ModemWatcher::Shared {
    std::shared_ptr<ModemLines> lines;
    Timing timing;
    std::thread thread;

    std::mutex mutex;
    std::condition_variable wake;
    Sink sink; // cleared by stop(); only called under mutex
    bool stopping = false;
    bool finished = false;
    std::atomic<bool> polling{false};

    /// Hands an event to the sink unless stop() has begun.
    void post(Event event) {
        std::lock_guard lock(mutex);
        if (!stopping && sink)
            sink(event);
    }
    /// Sleeps for the poll interval; true when stop() was called.
    bool sleepOrStop() {
        std::unique_lock lock(mutex);
        return wake.wait_for(lock, timing.pollInterval, [this] { return stopping; });
    }
    bool stopRequested() {
        std::lock_guard lock(mutex);
        return stopping;
    }

    void run();
    void poll(ModemLineState seen);
};

void ModemWatcher::Shared::run() {
    // Process-directed signals (SIGTERM, SIGINT, ...) belong to the UI thread;
    // ThreadInterrupter unblocks its own wake signal around the wait.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);

    ModemLineState seen;
    if (lines->read(seen) != 0) {
        post(Event::Lost);
        return;
    }
    int idleWakes = 0;
    while (!stopRequested()) {
        const int waited = lines->waitForChange();
        if (waited == ECANCELED || stopRequested())
            return;
        if (isDeviceGoneError(waited)) {
            post(Event::Lost);
            return;
        }
        if (waited != 0 && waited != EINTR) {
            // ENOTTY/EINVAL from a driver without TIOCMIWAIT, or anything
            // unexpected: polling still works wherever reading does.
            polling = true;
            poll(seen);
            return;
        }
        // TIOCMIWAIT sees only changes after it starts. A change in the
        // instant between this read and the next wait shows at the wake after
        // it, as a difference from the state seen here.
        ModemLineState now;
        if (lines->read(now) != 0) {
            post(Event::Lost);
            return;
        }
        if (waited == 0 || now != seen)
            post(Event::Changed);
        // A driver whose wait returns at once without any change would spin
        // this thread and flood the UI thread: give up on it and poll.
        idleWakes = now == seen ? idleWakes + 1 : 0;
        seen = now;
        if (idleWakes > kMaxIdleWakes) {
            polling = true;
            poll(seen);
            return;
        }
    }
}

void ModemWatcher::Shared::poll(ModemLineState seen) {
    while (!sleepOrStop()) {
        ModemLineState now;
        const int error = lines->read(now);
        if (error == EINTR)
            continue;
        if (error != 0) {
            post(Event::Lost);
            return;
        }
        if (now != seen)
            post(Event::Changed);
        seen = now;
    }
}

ModemWatcher::ModemWatcher(std::shared_ptr<ModemLines> lines, Sink sink, Timing timing)
    : shared_(std::make_shared<Shared>()) {
    shared_->lines = std::move(lines);
    shared_->sink = std::move(sink);
    shared_->timing = timing;
    // The thread keeps its own reference: if stop() ever has to leave it
    // behind, everything it touches stays alive until it ends.
    shared_->thread = std::thread([shared = shared_] {
        try {
            shared->run();
        } catch (...) {
            // Nothing may leave the thread; a watch that failed just ends.
        }
        std::lock_guard lock(shared->mutex);
        shared->finished = true;
        shared->wake.notify_all();
    });
}

ModemWatcher::~ModemWatcher() {
    stop();
}

void ModemWatcher::stop() {
    if (stopped_)
        return;
    stopped_ = true;
    Shared& s = *shared_;
    {
        std::lock_guard lock(s.mutex);
        s.stopping = true;
        s.sink = nullptr;
        s.wake.notify_all();
    }
    // A wake signal sent just before the thread enters its wait is lost, so
    // keep cancelling until it is out.
    const auto deadline = std::chrono::steady_clock::now() + s.timing.stopTimeout;
    std::unique_lock lock(s.mutex);
    while (!s.finished && std::chrono::steady_clock::now() < deadline) {
        lock.unlock();
        s.lines->cancelWait();
        lock.lock();
        s.wake.wait_for(lock, std::chrono::milliseconds(2), [&] { return s.finished; });
    }
    const bool finished = s.finished;
    lock.unlock();
    if (finished)
        s.thread.join();
    else
        s.thread.detach();
}

bool ModemWatcher::polling() const {
    return shared_->polling;
}

} // namespace velloran::devices
