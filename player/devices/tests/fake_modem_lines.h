#pragma once

#include "devices/modem_lines.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace velloran::devices::testing {

/// Modem lines the test switches. Its wait behaves like TIOCMIWAIT: it sees
/// only changes made after it started, and ends at cancelWait() unless the
/// test makes it ignore cancellation.
class FakeModemLines final : public ModemLines {
public:
    int read(ModemLineState& state) override {
        std::lock_guard lock(mutex_);
        if (gone_)
            return EIO;
        state = state_;
        return 0;
    }

    int waitForChange() override {
        std::unique_lock lock(mutex_);
        if (waitError_ == -1)
            return 0;
        if (waitError_)
            return waitError_;
        const int start = changes_;
        ++waiters_;
        changed_.notify_all();
        changed_.wait(lock,
                      [&] { return changes_ != start || gone_ || (cancelled_ && !ignoreCancel_); });
        --waiters_;
        ++wakes_;
        if (gone_)
            return EIO;
        if (cancelled_ && !ignoreCancel_)
            return ECANCELED;
        return 0;
    }

    void cancelWait() override {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        changed_.notify_all();
    }

    // ---- test controls ----
    void set(ModemLineState state) {
        std::lock_guard lock(mutex_);
        state_ = state;
        ++changes_;
        changed_.notify_all();
    }
    void unplug() {
        std::lock_guard lock(mutex_);
        gone_ = true;
        changed_.notify_all();
    }
    /// The error every wait returns at once (ENOTTY: a driver that cannot
    /// wait); -1 makes every wait succeed at once without a change.
    void setWaitError(int error) {
        std::lock_guard lock(mutex_);
        waitError_ = error;
    }
    void setIgnoreCancel(bool ignore) {
        std::lock_guard lock(mutex_);
        ignoreCancel_ = ignore;
        changed_.notify_all();
    }
    bool waitUntilWaiting(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return waiters_ > 0; });
    }
    /// Until @p wakes waits have ended and the next one has begun: the
    /// watcher has then handed on what woke it.
    bool waitUntilWaitingAgain(int wakes,
                               std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return wakes_ >= wakes && waiters_ > 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    ModemLineState state_;
    int changes_ = 0;
    int waiters_ = 0;
    int wakes_ = 0;
    int waitError_ = 0;
    bool gone_ = false;
    bool cancelled_ = false;
    bool ignoreCancel_ = false;
};

} // namespace velloran::devices::testing
