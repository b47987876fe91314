#include "core/player.h"
#include "core/settings_panel.h"
#include "devices/linux_pedal_devices.h"
#include "devices/modem_lines.h"
#include "devices/modem_watcher.h"
#include "devices/termios_serial_port.h"
#include "devices/thread_interrupter.h"
#include "fake_modem_lines.h"
#include "fakes/fake_devices.h"
#include "fakes/fake_engine.h"
#include "fakes/fake_prompts.h"
#include "fakes/qt_printers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/capability.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <future>
#include <thread>

using namespace std::chrono_literals;
using velloran::Player;
using velloran::SerialPedalPort;
using velloran::SettingsPanel;
using velloran::devices::ModemLineState;
using velloran::devices::ModemWatcher;
using velloran::devices::SerialDevice;
using velloran::devices::TermiosSerialPort;
using velloran::devices::ThreadInterrupter;
using velloran::devices::UniqueFd;

using velloran::devices::testing::FakeModemLines;
using velloran::testing::FakeEngine;
using velloran::testing::FakeGamePort;
using velloran::testing::MemorySettingsStore;
using velloran::testing::RecordingPrompts;

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

/// A pseudo-terminal standing in for a serial port (this machine has none):
/// the test keeps the slave open to read its line settings.
struct Terminal {
    UniqueFd master{::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)};
    UniqueFd slave;
    QString path;
    Terminal() {
        if (!master || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0)
            return;
        path = QString::fromLocal8Bit(::ptsname(master.get()));
        slave.reset(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    }
    bool valid() const { return slave.valid(); }
    termios settings() const {
        termios tio{};
        ::tcgetattr(slave.get(), &tio);
        return tio;
    }
};

bool sameSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
           ::cfgetispeed(&a) == ::cfgetispeed(&b) && ::cfgetospeed(&a) == ::cfgetospeed(&b);
}

/// Drops CAP_SYS_ADMIN from this thread while alive: with it (the tests may
/// run as root) the kernel lets every open through a tty's exclusive claim.
class WithoutAdminCapability {
public:
    WithoutAdminCapability() {
        if (::syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct dropped[2] = {saved_[0], saved_[1]};
        dropped[CAP_SYS_ADMIN / 32].effective &= ~(1u << (CAP_SYS_ADMIN % 32));
        active_ = ::syscall(SYS_capset, &header_, dropped) == 0;
    }
    ~WithoutAdminCapability() {
        if (active_)
            ::syscall(SYS_capset, &header_, saved_);
    }
    WithoutAdminCapability(const WithoutAdminCapability&) = delete;
    WithoutAdminCapability& operator=(const WithoutAdminCapability&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
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

TEST(SerialPortTest, RefusedTerminalIsLeftAsFound) {
    Terminal pty;
    ASSERT_TRUE(pty.valid());
    const termios before = pty.settings();
    ASSERT_TRUE(before.c_lflag & ICANON) << "a fresh terminal is cooked";

    TermiosSerialPort port;
    port.setDevicePath(pty.path);
    QString error;
    EXPECT_FALSE(port.setPortOpen(true, &error));
    EXPECT_EQ(error, pty.path + QStringLiteral(": Not a serial port with modem status lines"));
    EXPECT_TRUE(sameSettings(pty.settings(), before)) << "left in raw mode";
    // Nor is it left claimed: others may open it again.
    WithoutAdminCapability notRoot;
    UniqueFd again(::open(pty.path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    EXPECT_TRUE(again.valid()) << std::strerror(errno);
}

TEST(SerialPortTest, APortHeldByUsCannotBeOpenedAgainUntilLetGo) {
    Terminal pty;
    ASSERT_TRUE(pty.valid());
    const termios before = pty.settings();
    QString error;
    auto held = SerialDevice::open(pty.path, &error);
    ASSERT_TRUE(held) << error.toStdString();

    WithoutAdminCapability notRoot; // root may open a claimed tty anyway
    UniqueFd other(::open(pty.path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    EXPECT_FALSE(other.valid());
    EXPECT_EQ(errno, EBUSY);

    // A second player gets the panel's port message.
    FakeEngine engine;
    MemorySettingsStore store;
    RecordingPrompts prompts;
    FakeGamePort gamePort;
    TermiosSerialPort second;
    Player player(engine, store, prompts, second, gamePort);
    SettingsPanel panel(player);
    player.load(QStringLiteral("/nonexistent"));
    panel.fill();
    panel.portText = pty.path;
    EXPECT_FALSE(panel.ok());
    EXPECT_EQ(prompts.errors, QStringList{SettingsPanel::badPortMessage()});
    EXPECT_EQ(SettingsPanel::badPortMessage(),
              QStringLiteral("Inavalid Port or Port not responding."));
    second.setDevicePath(pty.path);
    EXPECT_FALSE(second.setPortOpen(true, &error));
    EXPECT_EQ(error,
              pty.path + QStringLiteral(": In use by another program (Device or resource busy)"));

    held.reset();
    EXPECT_TRUE(sameSettings(pty.settings(), before));
    // Free again: the open gets as far as the missing modem lines.
    EXPECT_FALSE(second.setPortOpen(true, &error));
    EXPECT_EQ(error, pty.path + QStringLiteral(": Not a serial port with modem status lines"));
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
