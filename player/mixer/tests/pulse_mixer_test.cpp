// The mixer adapter against the private sound server that tests/run-with.sh
// --pulse starts, with a null sink as the default.
#include "core/volume_control.h"
#include "engine/mpv_engine.h"
#include "engine/tests/test_media.h"
#include "fakes/player_rig.h"
#include "mixer/pulse_mixer.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>

#include <pulse/volume.h>

namespace velloran {
namespace {

using testing::PlayerRig;

QString pactl(const QStringList& args, int* exitCode = nullptr) {
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    p.waitForFinished(5000);
    if (exitCode)
        *exitCode = p.exitCode();
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

/// The raw volume of every channel of @p sink, as the server holds it.
QList<int> sinkVolumes(const QString& sink = QStringLiteral("@DEFAULT_SINK@")) {
    const QString out = pactl({QStringLiteral("get-sink-volume"), sink});
    QList<int> values;
    static const QRegularExpression channel(QStringLiteral(":\\s*(\\d+)\\s*/"));
    for (auto it = channel.globalMatch(out); it.hasNext();)
        values << it.next().captured(1).toInt();
    return values;
}

void setSinkVolume(quint32 raw, const QString& sink = QStringLiteral("@DEFAULT_SINK@")) {
    pactl({QStringLiteral("set-sink-volume"), sink, QString::number(raw)});
}

/// Waits until every channel of @p sink holds the volume that @p value of
/// 0..65535 stands for.
bool sinkReaches(int value, const QString& sink = QStringLiteral("@DEFAULT_SINK@")) {
    const int raw = static_cast<int>(PulseMixer::toPulse(value));
    QDeadlineTimer deadline(3000);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents();
        const QList<int> v = sinkVolumes(sink);
        if (!v.isEmpty() && std::all_of(v.begin(), v.end(), [raw](int x) { return x == raw; }))
            return true;
        QThread::msleep(20);
    }
    return false;
}

TEST(PulseMixerScale, MapsLinearlyOntoTheServersNormalVolume) {
    EXPECT_EQ(PulseMixer::toPulse(0), PA_VOLUME_MUTED);
    EXPECT_EQ(PulseMixer::toPulse(65535), PA_VOLUME_NORM);
    EXPECT_EQ(PulseMixer::toPulse(30400), 30400u); // 30400 / 65535 of full volume, rounded
    EXPECT_EQ(PulseMixer::toPulse(65534), 65535u);
    EXPECT_EQ(PulseMixer::toPulse(-5), PA_VOLUME_MUTED);
    EXPECT_EQ(PulseMixer::fromPulse(PA_VOLUME_NORM * 3), 65535) << "above 100 % reads as full";
    for (int v : {0, 1, 15200, 30400, 60724, 65534, 65535})
        EXPECT_EQ(PulseMixer::fromPulse(PulseMixer::toPulse(v)), v);
}

struct PulseVolumeTest : PlayerRig, ::testing::Test {
    PulseVolumeTest() : volume(player, mixer) {}

    void prepare() {
        QSignalSpy found(&mixer, &Mixer::volumeControlFound);
        volume.prepare();
        ASSERT_TRUE(found.wait(3000));
    }

    PulseMixer mixer;
    VolumeControl volume;
};

TEST_F(PulseVolumeTest, ThePictureSliderSetsTheDefaultSink) {
    loadWithFile();
    prepare();
    volume.pictureSliderInput(Qt::LeftButton, 540);
    EXPECT_TRUE(sinkReaches(30400));
    EXPECT_EQ(sinkVolumes().size(), 2) << "one value for both channels";
    volume.pictureSliderInput(Qt::LeftButton, 939);
    EXPECT_TRUE(sinkReaches(60724));
    volume.pictureSliderInput(Qt::LeftButton, 940);
    EXPECT_TRUE(sinkReaches(65534));
    EXPECT_EQ(sinkVolumes().value(0), 65535); // 65534 / 65535 of full volume
    volume.pictureSliderInput(Qt::LeftButton, 2000);
    volume.pictureSliderInput(Qt::LeftButton, 300);
    ASSERT_TRUE(sinkReaches(12160));
    volume.pictureSliderInput(Qt::RightButton, 800);
    volume.pictureSliderInput(Qt::LeftButton | Qt::RightButton, 800);
    QThread::msleep(200);
    EXPECT_TRUE(sinkReaches(12160)) << "a right-button drag changes nothing";
}

TEST_F(PulseVolumeTest, UnmutingRestoresThePictureSlidersLevel) {
    loadWithFile();
    prepare();
    volume.pictureSliderInput(Qt::LeftButton, 540);
    ASSERT_TRUE(sinkReaches(30400));
    volume.muteClicked();
    EXPECT_TRUE(sinkReaches(0));
    volume.volumeSliderScrolled(1000);
    EXPECT_TRUE(sinkReaches(2000));
    volume.muteClicked();
    EXPECT_TRUE(sinkReaches(0));
    volume.muteClicked();
    EXPECT_TRUE(sinkReaches(30400)) << "twice the picture slider's level, not the Volume slider's";
}

TEST_F(PulseVolumeTest, AFirstRunShowsTheSinksLevelWithoutWritingIt) {
    setSinkVolume(PulseMixer::toPulse(40000));
    ASSERT_TRUE(sinkReaches(40000));
    player.load(dir.path()); // no volume saved
    prepare();
    pump();
    EXPECT_EQ(player.display().volumeValue, 20000);
    EXPECT_EQ(player.state().volumeLevel, 20000);
    EXPECT_TRUE(sinkReaches(40000));
    player.unload();
    EXPECT_EQ(store.values.value(keys::VolumeValue), QStringLiteral("20000"));
}

TEST_F(PulseVolumeTest, FollowsANewDefaultSink) {
    loadWithFile();
    prepare();
    const QString first = pactl({QStringLiteral("get-default-sink")}).trimmed();
    int rc = -1;
    const QString module = pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                                  QStringLiteral("sink_name=velloran_second")},
                                 &rc)
                               .trimmed();
    ASSERT_EQ(rc, 0);
    QSignalSpy found(&mixer, &Mixer::volumeControlFound);
    pactl({QStringLiteral("set-default-sink"), QStringLiteral("velloran_second")});
    ASSERT_TRUE(found.wait(3000));
    volume.volumeSliderScrolled(5000);
    EXPECT_TRUE(sinkReaches(10000, QStringLiteral("velloran_second")));
    EXPECT_FALSE(sinkVolumes(first).contains(PulseMixer::toPulse(10000)));
    pactl({QStringLiteral("set-default-sink"), first});
    pactl({QStringLiteral("unload-module"), module});
}

/// A sound server of the test's own on a socket of its own, to stop and start.
struct OwnServer {
    explicit OwnServer(const QString& folder) : folder(folder) {}
    ~OwnServer() { stop(); }
    QString socket() const { return folder + QStringLiteral("/native"); }
    bool start() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), folder + QStringLiteral("/run"));
        env.insert(QStringLiteral("PULSE_STATE_PATH"), folder + QStringLiteral("/state"));
        env.remove(QStringLiteral("PULSE_SERVER"));
        daemon.setProcessEnvironment(env);
        daemon.start(QStringLiteral("pulseaudio"),
                     {QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                      QStringLiteral("-n"), QStringLiteral("--load=module-null-sink sink_name=own"),
                      QStringLiteral("--load=module-native-protocol-unix socket=") + socket(),
                      QStringLiteral("--log-target=stderr")});
        return daemon.waitForStarted(3000);
    }
    void stop() {
        if (daemon.state() == QProcess::NotRunning)
            return;
        daemon.terminate();
        if (!daemon.waitForFinished(3000))
            daemon.kill();
        daemon.waitForFinished(1000);
    }
    QString folder;
    QProcess daemon;
};

TEST(PulseMixerServer, NoServerIsReportedOnceAndAServerThatComesBackIsFoundAndPlayedOn) {
    QTemporaryDir dir;
    OwnServer server(dir.path());
    const QByteArray saved = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", ("unix:" + server.socket()).toLocal8Bit());
    {
        PulseMixer mixer;
        QSignalSpy unavailable(&mixer, &Mixer::unavailable);
        QSignalSpy found(&mixer, &Mixer::volumeControlFound);
        QElapsedTimer clock;
        clock.start();
        mixer.open();
        EXPECT_LT(clock.elapsed(), 50) << "open() does not wait for the server";
        ASSERT_TRUE(unavailable.wait(2000));
        EXPECT_FALSE(mixer.setVolume(1000));
        QTest::qWait(2500); // two more attempts
        EXPECT_EQ(unavailable.size(), 1);

        ASSERT_TRUE(server.start());
        ASSERT_TRUE(found.wait(5000)) << "found once the server is up";
        QTest::qWait(100);
        EXPECT_TRUE(mixer.setVolume(30400));
        engine::testing::writeSineWav(dir.filePath(QStringLiteral("a.wav")), 60, 440);
        MpvEngine engine({.audioOutput = "pulse"});
        QSignalSpy opened(&engine, &MediaEngine::openComplete);
        engine.setFileName(dir.filePath(QStringLiteral("a.wav")));
        ASSERT_TRUE(opened.wait(15000));
        engine.run();
        // Gone, the dictation holds still rather than running on silence;
        // back, it plays on from there within 3 s: the server, then its sink.
        const QString sink = QStringLiteral("module-null-sink");
        for (const bool wholeServer : {true, false}) {
            wholeServer ? server.stop() : void(pactl({QStringLiteral("unload-module"), sink}));
            QTest::qWait(1000);
            const double held = engine.currentPosition();
            QTest::qWait(1000);
            EXPECT_EQ(engine.currentState(), MediaEngine::Paused) << wholeServer;
            EXPECT_EQ(engine.currentPosition(), held);
            found.clear();
            ASSERT_TRUE(wholeServer ? server.start()
                                    : !pactl({QStringLiteral("load-module"), sink}).isEmpty());
            QTest::qWait(3000);
            EXPECT_EQ(engine.currentState(), MediaEngine::Running) << wholeServer;
            EXPECT_LT(engine.currentPosition(), held + 3);
            EXPECT_TRUE(!found.isEmpty() || found.wait(5000)) << "found again once it is back";
        }
        EXPECT_EQ(unavailable.size(), 1);
    }
    if (saved.isEmpty())
        qunsetenv("PULSE_SERVER");
    else
        qputenv("PULSE_SERVER", saved);
}

} // namespace
} // namespace velloran
