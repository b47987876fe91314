// latency_bench make-wav PATH SECONDS  - the test dictation: a 1 kHz tone, 16 kHz mono,
//                                        quiet for the first half of every 10 s, loud after
// latency_bench velloran WAV            - the player's Play, Pause and skip to sound at the sink
// latency_bench mpv WAV SOCKET          - the same through mpv's command line over its IPC socket
//
// Both record the default sink's monitor while they play, so a figure is the time from the
// command to the sample reaching the sink. Runs inside a private PulseAudio (run.sh).
// LATENCY_TRIALS=n runs fewer trials; LATENCY_DUMP=file writes the player's recording
// as 5 ms peaks with their times, and the command times go to stderr.
#include "core/media_engine.h"
#include "core/pedal_controller.h"
#include "core/player.h"
#include "core/player_state.h"
#include "core/settings.h"
#include "engine/mpv_engine.h"
#include "fakes/fake_devices.h"
#include "fakes/fake_prompts.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <QtEndian>

#include <pulse/error.h>
#include <pulse/simple.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using velloran::MediaEngine;

int trials() {
    const int asked = qEnvironmentVariableIntValue("LATENCY_TRIALS");
    return asked > 0 ? asked : 20;
}
constexpr int kFileRate = 16000;
constexpr double kQuiet = 0.3;  // tone amplitude in the first half of each 10 s slot
constexpr double kLoud = 0.8;   // and in the second half
constexpr float kSound = 0.02f; // -34 dBFS: anything above is sound
constexpr float kLoudSound = 0.55f;
constexpr int kRecordRate = 48000;
constexpr int kChunkFrames = 96; // 2 ms reads from the monitor
// Where a Play trial's step back lands within its slot: in the loud half, while
// the place it steps back from (7.5 + 3 s) lies in the next slot's quiet half.
constexpr double kPlayFrom = 7.5;

double seconds(Clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

// ---- the test file --------------------------------------------------------

int makeWav(const char* path, double length) {
    const quint32 frames = quint32(length * kFileRate);
    QFile f(QString::fromLocal8Bit(path));
    if (!f.open(QIODevice::WriteOnly))
        return 1;
    QByteArray header(44, '\0');
    auto put32 = [&header](int at, quint32 v) {
        qToLittleEndian(v, header.data() + at);
    };
    auto put16 = [&header](int at, quint16 v) {
        qToLittleEndian(v, header.data() + at);
    };
    memcpy(header.data(), "RIFF", 4);
    put32(4, 36 + frames * 2);
    memcpy(header.data() + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 1);
    put32(24, kFileRate);
    put32(28, kFileRate * 2);
    put16(32, 2);
    put16(34, 16);
    memcpy(header.data() + 36, "data", 4);
    put32(40, frames * 2);
    f.write(header);
    // 10 s of the pattern, written over and over.
    std::vector<qint16> slot(10 * kFileRate);
    for (size_t i = 0; i < slot.size(); ++i) {
        const double amp = i < slot.size() / 2 ? kQuiet : kLoud;
        slot[i] = qToLittleEndian(
            qint16(std::lrint(amp * 32767 * std::sin(2 * M_PI * 1000.0 * double(i) / kFileRate))));
    }
    for (quint32 left = frames; left > 0;) {
        const quint32 n = std::min<quint32>(left, quint32(slot.size()));
        f.write(reinterpret_cast<const char*>(slot.data()), qint64(n) * 2);
        left -= n;
    }
    return f.error() == QFile::NoError ? 0 : 1;
}

// ---- the recorder ---------------------------------------------------------

struct PulseDeleter {
    void operator()(pa_simple* s) const { pa_simple_free(s); }
};

/// Records the default sink's monitor on a thread. Every sample gets a time
/// once the recording is over: the sample clock is steady, so around each read
/// the least delayed of its neighbours (within a quarter second) fixes where its
/// samples lie. Reads that came back late do not move it, and samples the server
/// dropped move only the times after them.
class MonitorRecorder {
public:
    bool start(QString* error) {
        pa_sample_spec format{PA_SAMPLE_FLOAT32LE, kRecordRate, 1};
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.fragsize = kChunkFrames * sizeof(float);
        int err = 0;
        stream_.reset(pa_simple_new(nullptr, "latency-bench", PA_STREAM_RECORD, "@DEFAULT_MONITOR@",
                                    "monitor", &format, nullptr, &attr, &err));
        if (!stream_) {
            *error = QString::fromUtf8(pa_strerror(err));
            return false;
        }
        thread_ = std::thread([this] { loop(); });
        return true;
    }
    ~MonitorRecorder() { stop(); }

    /// The server may take a while to send the first samples.
    bool waitForSamples() const {
        for (int i = 0; i < 500 && readCount_ < 50; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return readCount_ >= 50;
    }

    /// Ends the recording and dates its samples.
    void stop() {
        running_ = false;
        if (thread_.joinable())
            thread_.join();
        times_.resize(samples_.size());
        size_t from = 0, to = 0;
        for (size_t c = 0; c < reads_.size(); ++c) {
            while (reads_[from].arrival < reads_[c].arrival - 0.25)
                ++from;
            while (to < reads_.size() && reads_[to].arrival < reads_[c].arrival + 0.25)
                ++to;
            double base = 1e300;
            for (size_t k = from; k < to; ++k)
                base = std::min(base, reads_[k].arrival - double(reads_[k].end) / kRecordRate);
            for (size_t i = c ? reads_[c - 1].end : 0; i < reads_[c].end; ++i)
                times_[i] = base + double(i) / kRecordRate;
        }
    }

    /// First sample above @p level in [from, to).
    std::optional<double> first(float level, double from, double to) const {
        for (size_t i = indexAt(from); i < samples_.size() && times_[i] < to; ++i)
            if (std::fabs(samples_[i]) > level)
                return times_[i];
        return std::nullopt;
    }
    /// Last sample above @p level in [from, to).
    std::optional<double> last(float level, double from, double to) const {
        std::optional<double> found;
        for (size_t i = indexAt(from); i < samples_.size() && times_[i] < to; ++i)
            if (std::fabs(samples_[i]) > level)
                found = times_[i];
        return found;
    }
    /// Gaps in the sound within [from, to): runs of more than 2 ms below the
    /// sound level, where a 1 kHz tone has none.
    int dropouts(double from, double to) const {
        int gaps = 0, run = 0;
        for (size_t i = indexAt(from); i < samples_.size() && times_[i] < to; ++i) {
            if (std::fabs(samples_[i]) > kSound)
                run = 0;
            else if (++run == kRecordRate / 500)
                ++gaps;
        }
        return gaps;
    }
    /// Writes the peak level of every 5 ms, with its time, for a look at what was heard.
    void dump(const QString& path) const {
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly))
            return;
        for (size_t i = 0; i + 240 <= samples_.size(); i += 240) {
            float peak = 0;
            for (size_t j = i; j < i + 240; ++j)
                peak = std::max(peak, std::fabs(samples_[j]));
            out.write(QByteArray::number(times_[i], 'f', 4) + ' ' +
                      QByteArray::number(peak, 'f', 3) + '\n');
        }
    }

private:
    struct Read {
        double arrival;
        size_t end; // samples recorded after it
    };
    size_t indexAt(double t) const {
        return size_t(std::lower_bound(times_.begin(), times_.end(), t) - times_.begin());
    }
    void loop() {
        std::vector<float> chunk(kChunkFrames);
        while (running_) {
            int err = 0;
            if (pa_simple_read(stream_.get(), chunk.data(), chunk.size() * sizeof(float), &err) < 0)
                break;
            const double now = seconds(Clock::now());
            samples_.insert(samples_.end(), chunk.begin(), chunk.end());
            reads_.push_back({now, samples_.size()});
            readCount_ = reads_.size();
        }
    }

    std::unique_ptr<pa_simple, PulseDeleter> stream_;
    std::thread thread_;
    std::atomic<bool> running_{true};
    std::atomic<size_t> readCount_{0};
    // Written by the recording thread only, read only after stop().
    std::vector<float> samples_;
    std::vector<Read> reads_;
    std::vector<double> times_;
};

// ---- the two players under test ------------------------------------------

/// What a trial drives: the same few commands on either player.
struct Subject {
    std::function<bool()> open;
    std::function<void(double)> placeAt; // while paused
    std::function<void()> play;          // the pedal's Play: a step back, then run
    std::function<void()> pause;
    std::function<void()> smallForward;
    std::function<QString()> audioOutput;
    double stepBack = 3;
    double smallSkip = 1;
};

void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Figures {
    std::vector<double> play, placed, pause, skip;
    int dropouts = 0;
    double playedSeconds = 0;
    int missed = 0;    // a command whose sound never came
    int premature = 0; // sound already there (or still) when the command went out
};

/// When each command went out.
struct Commands {
    std::vector<double> play, pause, skip;
    double longPlay = 0, longPause = 0;
};

Commands drive(Subject& s) {
    Commands c;
    auto now = [] {
        const double t = seconds(Clock::now());
        if (qEnvironmentVariableIsSet("LATENCY_DUMP"))
            std::fprintf(stderr, "%.4f command\n", t);
        return t;
    };
    const double slotQuietEnd = 5.0;
    for (int i = 0; i < trials(); ++i) {
        // Play and pause. The pedal's step back lands in the loud half of a
        // slot; where playing stopped lies in the quiet half of the next, so
        // what the buffers still hold from there is told apart.
        const double base = 100.0 + 10.0 * i;
        s.placeAt(base + kPlayFrom + s.stepBack);
        wait(300);
        c.play.push_back(now());
        s.play();
        wait(700);
        c.pause.push_back(now());
        s.pause();
        wait(500);

        // A small skip while playing, from the quiet half into the loud one.
        const double skipFrom = base + slotQuietEnd + 0.55 - s.smallSkip;
        s.placeAt(skipFrom - 0.4 + s.stepBack);
        wait(300);
        s.play();
        wait(400);
        c.skip.push_back(now());
        s.smallForward();
        wait(400);
        s.pause();
        wait(300);
    }
    // And a long stretch of plain playing, for the dropouts.
    s.placeAt(1000 + s.stepBack);
    wait(300);
    c.longPlay = now();
    s.play();
    wait(10000);
    c.longPause = now();
    s.pause();
    wait(300);
    return c;
}

// The times of the recording hold to about 3 ms (2 ms reads, and a sink that
// renders a block ahead): sound up to kSlack before a command counts as at once.
constexpr double kSlack = 0.004;

Figures analyse(const Commands& c, const MonitorRecorder& rec) {
    Figures f;
    auto played = [&](double from, double to) {
        f.dropouts += rec.dropouts(from + 0.005, to);
        f.playedSeconds += to - from;
    };
    auto ms = [](double t, double command) {
        return std::max(0.0, t - command) * 1000;
    };
    for (size_t i = 0; i < c.play.size(); ++i) {
        const double tPlay = c.play[i], tPause = c.pause[i], tSkip = c.skip[i];
        if (rec.first(kSound, tPlay - 0.05, tPlay - kSlack))
            ++f.premature;
        else if (const auto sound = rec.first(kSound, tPlay - kSlack, tPause)) {
            f.play.push_back(ms(*sound, tPlay));
            if (const auto loud = rec.first(kLoudSound, tPlay - kSlack, tPause))
                f.placed.push_back(ms(*loud, tPlay));
            played(*sound, tPause);
        } else
            ++f.missed;
        if (!rec.first(kSound, tPause - 0.02, tPause - kSlack))
            ++f.premature; // silent before the pause: the times are off
        else if (rec.first(kSound, tPause + 0.45, tPause + 0.5))
            ++f.missed;
        else
            f.pause.push_back(ms(*rec.last(kSound, tPause - 0.02, tPause + 0.45), tPause));
        if (rec.first(kLoudSound, tSkip - 0.05, tSkip - kSlack))
            ++f.premature;
        else if (const auto loud = rec.first(kLoudSound, tSkip - kSlack, tSkip + 0.4))
            f.skip.push_back(ms(*loud, tSkip));
        else
            ++f.missed;
    }
    if (const auto sound = rec.first(kSound, c.longPlay, c.longPlay + 1))
        played(*sound, c.longPause);
    return f;
}

/// Runs the trials on @p s while the monitor is recorded; nothing when it cannot be.
std::optional<Figures> recordTrials(Subject& s) {
    MonitorRecorder rec;
    QString error;
    if (!rec.start(&error)) {
        std::fprintf(stderr, "cannot record the monitor: %s\n", qPrintable(error));
        return std::nullopt;
    }
    if (!rec.waitForSamples()) {
        std::fprintf(stderr, "the monitor sends nothing\n");
        return std::nullopt;
    }
    const Commands commands = drive(s);
    rec.stop();
    if (qEnvironmentVariableIsSet("LATENCY_DUMP"))
        rec.dump(qEnvironmentVariable("LATENCY_DUMP"));
    return analyse(commands, rec);
}

void report(const char* who, const QString& ao, const Figures& f) {
    auto stats = [](std::vector<double> v) {
        if (v.empty())
            return QStringLiteral("     -      -");
        std::sort(v.begin(), v.end());
        const double median =
            v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
        return QStringLiteral("%1 %2").arg(median, 6, 'f', 1).arg(v.back(), 6, 'f', 1);
    };
    QString faults;
    if (f.missed)
        faults += QStringLiteral("; %1 never heard").arg(f.missed);
    if (f.premature)
        faults += QStringLiteral("; %1 heard too early (not counted)").arg(f.premature);
    std::printf("%-22s play %s  from the step back %s  pause %s  skip %s  (ms, median worst "
                "of %d; ao %s; %d dropouts in %.0f s played%s)\n",
                who, qPrintable(stats(f.play)), qPrintable(stats(f.placed)),
                qPrintable(stats(f.pause)), qPrintable(stats(f.skip)), trials(), qPrintable(ao),
                f.dropouts, f.playedSeconds, qPrintable(faults));
    std::fflush(stdout);
}

// ---- the player -------------------------------------------------------------

int benchPlayer(const QString& file) {
    using namespace velloran;
    testing::MemorySettingsStore store;
    testing::RecordingPrompts prompts;
    testing::FakeSerialPort serial;
    testing::FakeGamePort gamePort;
    MpvEngine engine;
    Player player(engine, store, prompts, serial, gamePort);
    PedalController pedals(player);
    store.values[keys::CurrentFile] = file;
    store.values[keys::CurrentPosition] = QStringLiteral("0");

    QEventLoop opened;
    QObject::connect(&engine, &MediaEngine::openComplete, &opened, &QEventLoop::quit);
    QTimer::singleShot(20000, &opened, &QEventLoop::quit);
    player.load(QCoreApplication::applicationDirPath());
    if (engine.duration() <= 0)
        opened.exec();
    if (engine.duration() <= 0) {
        std::fprintf(stderr, "velloran: could not open %s\n", qPrintable(file));
        return 1;
    }
    // The pedal with the Play action, as the settings have it.
    int playPedal = 0;
    for (int i = 0; i < 3; ++i)
        if (player.state().pedalAction[i] == PedalPlay)
            playPedal = i + 1;
    if (playPedal == 0) {
        player.state().pedalAction[1] = PedalPlay;
        playPedal = 2;
    }
    Subject s;
    s.placeAt = [&](double t) {
        engine.setCurrentPosition(t);
    };
    s.play = [&] {
        pedals.pedalPressed(playPedal);
    };
    s.pause = [&] {
        if (engine.currentState() == MediaEngine::Running)
            pedals.pedalPressed(playPedal);
    };
    s.smallForward = [&] {
        player.smallForward();
    };
    s.stepBack = player.state().stepBack;
    s.smallSkip = player.state().smallSkip;

    const std::optional<Figures> f = recordTrials(s);
    if (!f)
        return 1;
    report("velloran (pedal Play)", QStringLiteral("libmpv's default"), *f);
    return f->play.empty() ? 1 : 0;
}

// ---- the peer ---------------------------------------------------------------

/// mpv's command line, driven over its JSON IPC socket.
class MpvPeer {
public:
    bool start(const QString& file, const QString& socketPath) {
        process_.setProgram(QStringLiteral("mpv"));
        process_.setArguments({QStringLiteral("--no-config"), QStringLiteral("--no-terminal"),
                               QStringLiteral("--vid=no"), QStringLiteral("--pause"),
                               QStringLiteral("--keep-open=always"),
                               QStringLiteral("--hr-seek=yes"),
                               QStringLiteral("--input-ipc-server=") + socketPath, file});
        process_.start();
        if (!process_.waitForStarted(5000))
            return false;
        const QByteArray path = socketPath.toLocal8Bit();
        for (int i = 0; i < 200 && fd_ < 0; ++i) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.constData());
            if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
                fd_ = fd;
            else {
                ::close(fd);
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
            }
        }
        if (fd_ < 0)
            return false;
        for (int i = 0; i < 200; ++i) {
            if (ask(R"({"command":["get_property","duration"]})").contains("\"error\":\"success\""))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return false;
    }
    ~MpvPeer() {
        if (fd_ >= 0) {
            send(R"({"command":["quit"]})");
            ::close(fd_);
        }
        if (!process_.waitForFinished(3000))
            process_.kill();
    }
    void send(const QByteArray& lines) {
        const QByteArray all = lines + '\n';
        [[maybe_unused]] const ssize_t n = ::write(fd_, all.constData(), size_t(all.size()));
    }
    /// Sends one request (a JSON object) and returns its reply line. Replies to
    /// commands sent without waiting, and events, are passed over.
    QByteArray ask(QByteArray request) {
        const QByteArray id = QByteArray::number(++lastRequest_);
        request.chop(1); // the closing brace
        send(request + ",\"request_id\":" + id + '}');
        const QByteArray mark = "\"request_id\":" + id + ',';
        for (;;) {
            while (!pending_.contains('\n')) {
                char buf[4096];
                const ssize_t n = ::read(fd_, buf, sizeof buf);
                if (n <= 0)
                    return {};
                pending_.append(buf, int(n));
            }
            const int at = int(pending_.indexOf('\n'));
            const QByteArray line = pending_.left(at);
            pending_.remove(0, at + 1);
            if (line.contains(mark))
                return line;
        }
    }

private:
    QProcess process_;
    int fd_ = -1;
    int lastRequest_ = 0;
    QByteArray pending_;
};

int benchMpv(const QString& file, const QString& socketPath) {
    MpvPeer mpv;
    if (!mpv.start(file, socketPath)) {
        std::fprintf(stderr, "mpv: could not start or open %s\n", qPrintable(file));
        return 1;
    }
    double position = 0;
    Subject s;
    s.placeAt = [&](double t) {
        position = t;
        mpv.ask(QStringLiteral(R"({"command":["seek","%1","absolute+exact"]})").arg(t).toUtf8());
    };
    // A pedal Play: the step back and the run, one write.
    s.play = [&] {
        mpv.send(QStringLiteral("{\"command\":[\"seek\",\"%1\",\"absolute+exact\"]}\n"
                                "{\"command\":[\"set_property\",\"pause\",false]}")
                     .arg(std::max(0.0, position - s.stepBack))
                     .toUtf8());
    };
    s.pause = [&] {
        mpv.send(R"({"command":["set_property","pause",true]})");
    };
    s.smallForward = [&] {
        mpv.send(QStringLiteral(R"({"command":["seek","%1","relative+exact"]})")
                     .arg(s.smallSkip)
                     .toUtf8());
    };
    const std::optional<Figures> f = recordTrials(s);
    if (!f)
        return 1;
    const QByteArray ao = mpv.ask(R"({"command":["get_property","current-ao"]})");
    const int at = int(ao.indexOf("\"data\":\""));
    const QString name = at < 0
                             ? QStringLiteral("?")
                             : QString::fromUtf8(ao.mid(at + 8, ao.indexOf('"', at + 8) - at - 8));
    report("mpv (IPC socket)", name, *f);
    return f->play.empty() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("make-wav"))
        return makeWav(argv[2], std::atof(argv[3]));
    if (args.size() == 3 && args[1] == QLatin1String("velloran"))
        return benchPlayer(args[2]);
    if (args.size() == 4 && args[1] == QLatin1String("mpv"))
        return benchMpv(args[2], args[3]);
    std::fprintf(stderr,
                 "usage: latency_bench make-wav PATH SECONDS | velloran WAV | mpv WAV SOCKET\n");
    return 2;
}
