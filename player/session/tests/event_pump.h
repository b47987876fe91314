#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

namespace velloran::testing {

/// Runs events until @p condition holds or @p ms have passed.
inline bool pumpUntil(const std::function<bool()>& condition, int ms = 3000) {
    QDeadlineTimer deadline(ms);
    while (!condition() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return condition();
}

/// Lets events run for @p ms (for things that must not happen).
inline void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

} // namespace velloran::testing
