// Holds the Forward pedal of a joystick-style foot control on a one-hour
// dictation opened in the real engine, and reports how fast the hold moves:
// once with the shortest pass the program uses, once with no shortest pass
// (the engine's own pace) for comparison.
//
// Then holds Rewind on the playing dictation ("Press to Play"), crossing the
// start, and reports what the release leaves behind: how long until the main
// window shows the final position and no position event is left queued, how
// many position events and display refreshes run after the release, and
// whether playback goes on. Once with the display refreshed and painted
// during the hold (as the program does), once without, for comparison.
// The window is the program's own, on whatever Qt platform is set
// (run.sh: offscreen).
//
//   pedal_bench [PASSES]     PASSES: most passes per hold (default 3200)

#include "core/pedal_controller.h"
#include "core/pedal_devices.h"
#include "core/player.h"
#include "core/settings_store.h"
#include "core/text_rules.h"
#include "core/user_prompts.h"
#include "engine/mpv_engine.h"
#include "gui/main_window.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace velloran;

namespace {

constexpr int kForwardButton = 2; // pedal 1
constexpr int kRewindButton = 4;  // pedal 2
constexpr double kLengthSeconds = 3600;
constexpr long kPassesToCross = 3200;

class NoStore final : public SettingsStore {
public:
    QString read(const QString&) const override { return {}; }
    void write(const QString&, const QString&) override {}
};

class NoPrompts final : public UserPrompts {
public:
    void showError(const QString& text) override {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    }
    void showMessage(const QString&) override {}
    bool askYesNo(const QString&) override { return false; }
    QString chooseOpenFile(const QList<FileFilter>&, const QString&) override { return {}; }
    QString chooseFolder(const QString&, const QString&) override { return {}; }
    bool raiseOpenDialog() override { return false; }
    bool raiseQuestion(const QString&) override { return false; }
};

class NoSerialPort final : public SerialPedalPort {
public:
    void setCommPort(int number) override { port_ = number; }
    int commPort() const override { return port_; }
    void setDevicePath(const QString&) override {}
    QString devicePath() const override { return {}; }
    bool setPortOpen(bool, QString*) override { return true; }
    bool portOpen() const override { return false; }
    bool cdHolding() const override { return false; }
    bool dsrHolding() const override { return false; }
    bool ctsHolding() const override { return false; }

private:
    int port_ = 1;
};

/// A pedal held for a given number of reads of its held state; Forward is
/// let go earlier when the engine has reached the end of the dictation.
class HeldGamePort final : public GamePortPedal {
public:
    explicit HeldGamePort(const MediaEngine& engine) : engine_(engine) {}
    void setEnabled(bool enabled) override { enabled_ = enabled; }
    bool isEnabled() const override { return enabled_; }
    bool buttonHeld(int code) const override {
        if (code != button_ || readsLeft_ <= 0)
            return false;
        --readsLeft_;
        return code != kForwardButton || engine_.currentPosition() < engine_.selectionEnd();
    }
    void press(long passes, int button = kForwardButton) {
        button_ = button;
        readsLeft_ = passes;
        emit buttonDown(button);
        readsLeft_ = 0;
        emit buttonUp(button);
    }

private:
    const MediaEngine& engine_;
    bool enabled_ = true;
    int button_ = kForwardButton;
    mutable long readsLeft_ = 0;
};

bool writeSilentWave(const QString& path, double seconds) {
    constexpr quint32 kRate = 8000;
    const quint32 dataBytes = static_cast<quint32>(seconds * kRate) * 2;
    QByteArray header(44, '\0');
    char* h = header.data();
    std::memcpy(h, "RIFF", 4);
    qToLittleEndian<quint32>(36 + dataBytes, h + 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, h + 16);
    qToLittleEndian<quint16>(1, h + 20); // PCM
    qToLittleEndian<quint16>(1, h + 22); // mono
    qToLittleEndian<quint32>(kRate, h + 24);
    qToLittleEndian<quint32>(kRate * 2, h + 28);
    qToLittleEndian<quint16>(2, h + 32);
    qToLittleEndian<quint16>(16, h + 34);
    std::memcpy(h + 36, "data", 4);
    qToLittleEndian<quint32>(dataBytes, h + 40);

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(header) != header.size())
        return false;
    const QByteArray silence(1 << 20, '\0');
    for (quint32 left = dataBytes; left > 0;) {
        const qint64 n = std::min<qint64>(left, silence.size());
        if (file.write(silence.constData(), n) != n)
            return false;
        left -= static_cast<quint32>(n);
    }
    return true;
}

/// Lets engine events run for @p ms milliseconds or until @p done.
template <typename Done>
bool runEventsUntil(Done done, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

struct HoldFigures {
    long passes = 0;
    double seconds = 0;
    double from = 0, to = 0;
};

HoldFigures hold(MediaEngine& engine, PedalController& pedals, HeldGamePort& pad,
                 std::chrono::microseconds minimumPass, long passes) {
    engine.setCurrentPosition(0);
    runEventsUntil([] { return false; }, 200);
    pedals.minimumPass = minimumPass;
    HoldFigures f;
    f.from = engine.currentPosition();
    const auto t0 = std::chrono::steady_clock::now();
    pad.press(passes);
    const auto t1 = std::chrono::steady_clock::now();
    f.to = engine.currentPosition();
    f.passes = pedals.lastHoldPasses();
    f.seconds = std::chrono::duration<double>(t1 - t0).count();
    runEventsUntil([] { return false; }, 200);
    return f;
}

/// Counts the paint events a widget receives.
class PaintCounter final : public QObject {
public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    long paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

struct ReleaseFigures {
    long passes = 0;
    double holdSeconds = 0;
    long holdRefreshes = 0;
    long holdPaints = 0;         ///< paints of the time box during the hold
    bool shownAtRelease = false; ///< the display already held the final position
    double settleMs = 0;         ///< release to the last position event, display right
    long positionEvents = 0;     ///< position events delivered after the release
    long refreshes = 0;          ///< display refreshes from the release to the settle
    bool settled = false;
    bool playing = false;
};

bool windowShowsEngine(const QLineEdit& timeBox, const MediaEngine& engine) {
    return timeBox.text() == formatHms(engine.currentPosition());
}

/// Rewind held for @p passes on the playing dictation, from a point that the
/// hold takes across the start; then the events the hold left queued are
/// let run until no position event has come for three timer periods.
ReleaseFigures holdAndRelease(Player& player, PedalController& pedals, HeldGamePort& pad,
                              QLineEdit& timeBox, long passes, bool refreshInHold) {
    using Clock = std::chrono::steady_clock;
    MediaEngine& engine = player.engine();
    engine.setCurrentPosition(600);
    engine.run();
    runEventsUntil([] { return false; }, 500);

    ReleaseFigures f;
    const auto shown = pedals.holdRefresh;
    if (!refreshInHold)
        pedals.holdRefresh = nullptr;
    PaintCounter paints(timeBox);
    bool released = false;
    Clock::time_point releasedAt, lastEvent;
    long refreshes = 0;
    QMetaObject::Connection onRefresh =
        QObject::connect(&player, &Player::displayChanged, [&] { ++refreshes; });
    // Connected after the player's own handler, so its refresh is counted by now.
    QMetaObject::Connection onEvent = QObject::connect(&engine, &MediaEngine::positionChange, [&] {
        if (released) {
            ++f.positionEvents;
            f.refreshes = refreshes;
            lastEvent = Clock::now();
        }
    });

    pedals.minimumPass = std::chrono::microseconds(3000);
    const auto t0 = Clock::now();
    pad.press(passes, kRewindButton);
    releasedAt = lastEvent = Clock::now();
    released = true;
    pedals.holdRefresh = shown;
    f.passes = pedals.lastHoldPasses();
    f.holdSeconds = std::chrono::duration<double>(releasedAt - t0).count();
    // The last refresh ran after the release was seen.
    f.holdRefreshes = std::max(0L, refreshes - 1);
    f.holdPaints = paints.paints;
    refreshes = 0;
    f.shownAtRelease = windowShowsEngine(timeBox, engine);

    constexpr auto kQuiet = std::chrono::milliseconds(750);
    const QDeadlineTimer deadline(60000);
    while (Clock::now() - lastEvent < kQuiet && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    f.settled = !deadline.hasExpired() && windowShowsEngine(timeBox, engine);
    f.settleMs = f.positionEvents == 0
                     ? 0.0
                     : std::chrono::duration<double, std::milli>(lastEvent - releasedAt).count();
    f.playing = engine.currentState() == MediaEngine::Running;
    QObject::disconnect(onEvent);
    QObject::disconnect(onRefresh);
    engine.pause();
    runEventsUntil([] { return false; }, 200);
    return f;
}

void reportRelease(const char* name, const ReleaseFigures& f) {
    char every[32] = "";
    if (f.holdRefreshes > 0)
        std::snprintf(every, sizeof every, " (one per %.0f ms)",
                      1000 * f.holdSeconds / f.holdRefreshes);
    std::printf("%-22s %5ld passes in %6.2f s, %4ld display refreshes in the hold%s, "
                "time box painted %ld times\n",
                name, f.passes, f.holdSeconds, f.holdRefreshes, every, f.holdPaints);
    std::printf("%-22s final position shown at the release: %s; settled %.1f ms after the "
                "release%s\n",
                "", f.shownAtRelease ? "yes" : "no", f.settleMs, f.settled ? "" : " (NOT settled)");
    std::printf("%-22s after the release: %ld position events, %ld display refreshes; "
                "playback %s (Press to Play: playing)\n",
                "", f.positionEvents, f.refreshes, f.playing ? "playing" : "PAUSED");
}

void report(const char* name, const HoldFigures& f) {
    const double perSecond = f.passes / f.seconds;
    std::printf("%-22s %5ld passes in %7.3f s  %9.0f passes/s  %8.1f us/pass  "
                "%8.2f s to cross (%ld passes)  moved %.1f -> %.1f s\n",
                name, f.passes, f.seconds, perSecond, 1e6 * f.seconds / f.passes,
                kPassesToCross / perSecond, kPassesToCross, f.from, f.to);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const long passes = argc > 1 ? std::atol(argv[1]) : kPassesToCross;
    if (passes <= 0) {
        std::fprintf(stderr, "usage: pedal_bench [PASSES]\n");
        return 2;
    }

    QTemporaryDir dir;
    const QString wave = dir.filePath(QStringLiteral("hour.wav"));
    if (!dir.isValid() || !writeSilentWave(wave, kLengthSeconds)) {
        std::fprintf(stderr, "pedal_bench: cannot write %s\n", qPrintable(wave));
        return 1;
    }

    MpvEngine engine(MpvEngineOptions{.audioOutput = "null"});
    if (!engine.isValid()) {
        std::fprintf(stderr, "pedal_bench: libmpv did not start\n");
        return 1;
    }
    bool opened = false;
    QObject::connect(&engine, &MediaEngine::openComplete, [&] { opened = true; });
    engine.setFileName(wave);
    if (!runEventsUntil([&] { return opened; }, 30000)) {
        std::fprintf(stderr, "pedal_bench: %s did not open\n", qPrintable(wave));
        return 1;
    }

    NoStore store;
    NoPrompts prompts;
    NoSerialPort serial;
    HeldGamePort pad(engine);
    Player player(engine, store, prompts, serial, pad);
    player.state().pedalAction = {PedalForward, PedalPlay, PedalRewind};
    player.state().largeSkip = 5;
    PedalController pedals(player);
    MainWindow window(player, QString());
    window.show();
    // As the program wires it.
    pedals.holdRefresh = [&] {
        player.posChange();
        window.repaintPosition();
    };
    auto* timeBox = window.findChild<QLineEdit*>(QStringLiteral("txtCp"));
    // The first second of a press is the same wait whatever the pace; only
    // the hold that follows is measured.
    pedals.delay = [](double) {
    };

    std::printf("dictation              %.0f s, hold step %.4f s\n", engine.selectionEnd(),
                pedals.holdStep());
    const std::chrono::microseconds paced = pedals.minimumPass; // the program's own
    const HoldFigures withPace = hold(engine, pedals, pad, paced, passes);
    const HoldFigures raw = hold(engine, pedals, pad, std::chrono::microseconds(0), passes);
    char name[64];
    std::snprintf(name, sizeof name, "minimum pass %.1f ms", paced.count() / 1000.0);
    report(name, withPace);
    report("no minimum pass", raw);

    player.state().pedalAction = {PedalForward, PedalRewind, PedalPlay};
    player.state().toggleMode = false;
    const ReleaseFigures refreshed = holdAndRelease(player, pedals, pad, *timeBox, passes, true);
    const ReleaseFigures frozen = holdAndRelease(player, pedals, pad, *timeBox, passes, false);
    reportRelease("rewind, shown in hold", refreshed);
    reportRelease("rewind, frozen in hold", frozen);
    return refreshed.settled ? 0 : 1;
}
