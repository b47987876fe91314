#include "devices/linux_pedal_devices.h"
#include "devices/modem_watcher.h"
#include "devices/termios_serial_port.h"
#include "devices/thread_interrupter.h"
#include "fake_modem_lines.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <thread>

using namespace std::chrono_literals;
using velloran::SerialPedalPort;
using velloran::devices::ModemLineState;
using velloran::devices::ModemWatcher;
using velloran::devices::TermiosSerialPort;
using velloran::devices::ThreadInterrupter;
using velloran::devices::UniqueFd;

using velloran::devices::testing::FakeModemLines;

namespace {

ModemWatcher::Timing fastTiming() {
    return {std::chrono::milliseconds(2), std::chrono::milliseconds(100)};
}

/// A port whose opener hands out fake lines: the ones in `lines`, then
/// fresh ones at each later open (as a real reopen gets a fresh device).
struct FakePort {
    std::shared_ptr<FakeModemLines> lines = std::make_shared<FakeModemLines>();
    int opens = 0;
    TermiosSerialPort port{[this](const QString&, QString*) {
                               if (opens++ > 0)
                                   lines = std::make_shared<FakeModemLines>();
                               return lines;
                           },
                           fastTiming()};
};

template <typename Predicate>
bool waitUntil(Predicate done, int ms = 2000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QTest::qWait(1);
    return done();
}

struct Pipe {
    UniqueFd read, write;
    Pipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) == 0)
            read.reset(fds[0]), write.reset(fds[1]);
    }
};

/// Stands in for TIOCMIWAIT with a read that blocks until a byte arrives and
/// that closing the descriptor would not end: only the wake signal does.
class PipeModemLines final : public velloran::devices::ModemLines {
public:
    Pipe pipe;
    velloran::devices::ThreadInterrupter interrupter;
    int read(ModemLineState& state) override {
        state = {};
        return 0;
    }
    int waitForChange() override {
        const int fd = pipe.read.get();
        char byte;
        return interrupter.run([fd, &byte] { return static_cast<int>(::read(fd, &byte, 1)); });
    }
    void cancelWait() override { interrupter.cancel(); }
};

} // namespace

TEST(SerialPortTest, PortNamesAndOpenFailuresAreUserReadable) {
    TermiosSerialPort port;
    port.setCommPort(7);
    EXPECT_EQ(port.devicePath(), QStringLiteral("/dev/ttyS6"));
    port.setDevicePath(QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(port.devicePath(), QStringLiteral("/dev/ttyUSB0"));
    port.setCommPort(1);
    EXPECT_EQ(port.devicePath(), QStringLiteral("/dev/ttyS0"));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("ttyS6"));
    port.setDevicePath(missing);
    QString error;
    EXPECT_FALSE(port.setPortOpen(true, &error));
    EXPECT_EQ(error, missing + QStringLiteral(": No such file or directory"));
    EXPECT_FALSE(port.portOpen());
    EXPECT_FALSE(port.cdHolding());

    const QString plain = dir.filePath(QStringLiteral("file"));
    ASSERT_TRUE(QFile(plain).open(QIODevice::WriteOnly));
    port.setDevicePath(plain);
    EXPECT_FALSE(port.setPortOpen(true, &error));
    EXPECT_EQ(error, plain + QStringLiteral(": Not a serial port"));

    port.setCommPort(0);
    EXPECT_FALSE(port.setPortOpen(true, &error));
    EXPECT_EQ(error, QStringLiteral("COM0: No such serial port"));
    EXPECT_TRUE(port.setPortOpen(false, &error)) << "closing a closed port is fine";
}

TEST(SerialPortTest, TerminalWithoutModemLinesIsRefused) {
    // A pseudo-terminal answers every modem ioctl with ENOTTY.
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(master.valid());
    ASSERT_EQ(::grantpt(master.get()), 0);
    ASSERT_EQ(::unlockpt(master.get()), 0);
    const QString slave = QString::fromLocal8Bit(::ptsname(master.get()));

    TermiosSerialPort port;
    port.setDevicePath(slave);
    QString error;
    EXPECT_FALSE(port.setPortOpen(true, &error));
    EXPECT_EQ(error, slave + QStringLiteral(": Not a serial port with modem status lines"));
}

TEST(SerialPortTest, LineChangesReachTheUiThreadWhileReadsStayLive) {
    FakePort f;
    ASSERT_TRUE(f.port.setPortOpen(true));
    EXPECT_TRUE(f.port.portOpen());
    ASSERT_TRUE(f.lines->waitUntilWaiting());

    std::vector<ModemLineState> seen;
    QObject::connect(&f.port, &SerialPedalPort::commEvent, &f.port, [&] {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        seen.push_back({f.port.cdHolding(), f.port.dsrHolding(), f.port.ctsHolding()});
    });
    QSignalSpy events(&f.port, &SerialPedalPort::commEvent);

    f.lines->set({true, false, false});
    // The hold loop reads without returning to the event loop: the read
    // must see the line before the event is delivered.
    EXPECT_TRUE(f.port.cdHolding());
    ASSERT_TRUE(events.wait(2000));
    ASSERT_TRUE(f.lines->waitUntilWaiting());
    f.lines->set({false, true, true});
    ASSERT_TRUE(events.wait(2000));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], (ModemLineState{true, false, false}));
    EXPECT_EQ(seen[1], (ModemLineState{false, true, true}));
    EXPECT_FALSE(f.port.watcherPolling());
}

TEST(SerialPortTest, DriverThatCannotWaitIsPolled) {
    FakePort f;
    f.lines->setWaitError(ENOTTY);
    ASSERT_TRUE(f.port.setPortOpen(true));
    QSignalSpy events(&f.port, &SerialPedalPort::commEvent);
    ASSERT_TRUE(waitUntil([&] { return f.port.watcherPolling(); })); // it has read the lines once

    f.lines->set({false, false, true});
    ASSERT_TRUE(events.wait(2000));
    EXPECT_TRUE(f.port.ctsHolding());
    // Polling reports changes only, not every poll.
    EXPECT_FALSE(events.wait(100));
    EXPECT_EQ(events.count(), 1);
    f.lines->set({false, false, false});
    EXPECT_TRUE(events.wait(2000));
}

TEST(SerialPortTest, WaitThatNeverBlocksFallsBackToPolling) {
    FakePort f;
    f.lines->setWaitError(-1); // the fake then returns 0 at once, every time
    ASSERT_TRUE(f.port.setPortOpen(true));
    ASSERT_TRUE(waitUntil([&] { return f.port.watcherPolling(); }));
    QSignalSpy events(&f.port, &SerialPedalPort::commEvent);
    QCoreApplication::processEvents();
    events.clear();
    f.lines->set({true, false, false});
    EXPECT_TRUE(events.wait(2000));
    EXPECT_FALSE(events.wait(50));
    EXPECT_EQ(events.count(), 1);
}

TEST(SerialPortTest, UnplugClosesThePortAndReportsTheLoss) {
    for (const int waitError : {0, ENOTTY}) {
        SCOPED_TRACE(waitError ? "polling" : "waiting");
        FakePort f;
        f.lines->setWaitError(waitError);
        f.lines->set({true, false, false});
        ASSERT_TRUE(f.port.setPortOpen(true));
        QSignalSpy lost(&f.port, &SerialPedalPort::deviceLost);
        QSignalSpy events(&f.port, &SerialPedalPort::commEvent);

        f.lines->unplug();
        EXPECT_FALSE(f.port.cdHolding()) << "a line that cannot be read is off";
        ASSERT_TRUE(lost.wait(2000));
        EXPECT_FALSE(f.port.portOpen());
        EXPECT_FALSE(f.port.cdHolding());
        EXPECT_EQ(events.count(), 0);
    }
}

TEST(SerialPortTest, CloseReturnsPromptlyAndDropsQueuedEvents) {
    FakePort f;
    ASSERT_TRUE(f.port.setPortOpen(true));
    ASSERT_TRUE(f.lines->waitUntilWaiting());
    QSignalSpy events(&f.port, &SerialPedalPort::commEvent);

    // An event already queued for the UI thread when the port closes is
    // stale: the handlers would read a closed port.
    f.lines->set({true, false, false});
    ASSERT_TRUE(f.lines->waitUntilWaitingAgain(1));
    f.port.setPortOpen(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(events.count(), 0);

    // A wait that ignores cancellation (a driver that never returns) must
    // not hold the UI thread: close gives up on the thread after the bound.
    ASSERT_TRUE(f.port.setPortOpen(true));
    ASSERT_TRUE(f.lines->waitUntilWaiting());
    f.lines->setIgnoreCancel(true);
    QElapsedTimer timer;
    timer.start();
    f.port.setPortOpen(false);
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(f.port.portOpen());
    f.lines->set({false, true, false}); // the abandoned thread wakes: no event
    QTest::qWait(50);
    EXPECT_EQ(events.count(), 0);

    // Let the abandoned thread end, then check that it let go of the lines.
    f.lines->setIgnoreCancel(false);
    f.lines->cancelWait();
    for (int i = 0; i < 200 && f.lines.use_count() > 1; ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(f.lines.use_count(), 1);
}

TEST(SerialPortTest, ReopeningMovesToTheNewlyChosenPort) {
    QStringList opened;
    auto lines = std::make_shared<FakeModemLines>();
    TermiosSerialPort port(
        [&](const QString& path, QString*) {
            opened << path;
            return lines;
        },
        fastTiming());
    port.setCommPort(2);
    ASSERT_TRUE(port.setPortOpen(true));
    ASSERT_TRUE(port.setPortOpen(true));
    port.setCommPort(4);
    ASSERT_TRUE(port.setPortOpen(true));
    EXPECT_EQ(opened, (QStringList{QStringLiteral("/dev/ttyS1"), QStringLiteral("/dev/ttyS3")}));
    EXPECT_EQ(port.openDevice(), QStringLiteral("/dev/ttyS3"));
}

TEST(ThreadInterrupterTest, CancelBreaksABlockedCallThatCloseCannot) {
    Pipe pipe;
    ASSERT_TRUE(pipe.read.valid());
    ThreadInterrupter interrupter;
    ASSERT_TRUE(ThreadInterrupter::available());
    std::atomic<bool> started{false};
    auto result = std::async(std::launch::async, [&] {
        char byte;
        const int fd = pipe.read.get();
        return interrupter.run([&] {
            started = true;
            return static_cast<int>(::read(fd, &byte, 1));
        });
    });
    while (!started)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(result.wait_for(0ms), std::future_status::timeout) << "the read should block";

    QElapsedTimer timer;
    timer.start();
    while (result.wait_for(2ms) != std::future_status::ready && timer.elapsed() < 2000)
        interrupter.cancel();
    ASSERT_EQ(result.wait_for(0ms), std::future_status::ready);
    EXPECT_EQ(result.get(), ECANCELED);
    EXPECT_LT(timer.elapsed(), 500);

    // Sticky: a later call does not even start.
    bool ran = false;
    EXPECT_EQ(interrupter.run([&] { return ran = true, 0; }), ECANCELED);
    EXPECT_FALSE(ran);
}

TEST(ModemWatcherTest, StopsAThreadBlockedInTheKernelAndReportsWakes) {
    auto lines = std::make_shared<PipeModemLines>();
    std::atomic<int> changes{0};
    auto watcher = std::make_unique<ModemWatcher>(
        lines, [&](ModemWatcher::Event e) { changes += e == ModemWatcher::Event::Changed; });

    ASSERT_EQ(::write(lines->pipe.write.get(), "x", 1), 1);
    for (int i = 0; i < 400 && changes == 0; ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(changes, 1);

    std::this_thread::sleep_for(20ms); // back in its blocking read
    QElapsedTimer timer;
    timer.start();
    watcher->stop();
    EXPECT_LT(timer.elapsed(), 400);
    watcher.reset();
    EXPECT_EQ(lines.use_count(), 1) << "the thread was joined, not left behind";
}
