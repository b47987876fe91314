#include "core/file_names.h"
#include "engine/mpv_engine.h"
#include "test_media.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace velloran;
using namespace velloran::engine::testing;

namespace {

// Generous: the CI machine has two cores and other builds on them.
constexpr int kOpenTimeoutMs = 15000;
constexpr int kPlayTimeoutMs = 20000;

class MpvEngineTest : public ::testing::Test {
protected:
    std::unique_ptr<MpvEngine> makeEngine(QList<QPair<QByteArray, QByteArray>> extra = {}) {
        MpvEngineOptions options;
        options.audioOutput = "null";
        options.extraOptions = std::move(extra);
        auto engine = std::make_unique<MpvEngine>(std::move(options));
        EXPECT_TRUE(engine->isValid());
        return engine;
    }

    // Plays into a WAV file as fast as mpv can decode, rather than in real time.
    std::unique_ptr<MpvEngine> makeCapturingEngine(const QString& capture) {
        return makeEngine({{"ao", "pcm"},
                           {"ao-pcm-file", capture.toUtf8()},
                           {"ao-pcm-waveheader", "yes"},
                           {"audio-format", "s16"}});
    }

    static bool open(MpvEngine& engine, const QString& path) {
        QSignalSpy opened(&engine, &MediaEngine::openComplete);
        engine.setFileName(path);
        return opened.wait(kOpenTimeoutMs) && opened.count() == 1;
    }

    // Runs from the current position until the engine reports the end.
    static bool playToEnd(MpvEngine& engine) {
        QSignalSpy changes(&engine, &MediaEngine::positionChange);
        engine.run();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < kPlayTimeoutMs) {
            for (const QList<QVariant>& change : changes)
                if (change.at(1).toDouble() == engine.selectionEnd())
                    return true;
            changes.wait(200);
        }
        return false;
    }

    // Lets mpv carry out what was asked and its events arrive.
    static void settle(int ms = 400) { QTest::qWait(ms); }

    QString path(const QString& name) const { return dir_.filePath(name); }

    static int scratchFiles() {
        return int(QDir(QDir::tempPath()).entryList({"velloran-play-*"}, QDir::Files).size());
    }

    QTemporaryDir dir_;
};

// A loopback port that only takes connections: accept() tells whether one came.
struct Listener {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    Listener() {
        auto* a = reinterpret_cast<sockaddr*>(&address);
        socklen_t size = sizeof address;
        EXPECT_EQ(bind(fd, a, size) | listen(fd, 4) | getsockname(fd, a, &size), 0);
    }
    ~Listener() { close(fd); }
};

TEST_F(MpvEngineTest, OpensWithoutPlayingAndTicksOnlyWhileSomethingMoves) {
    auto engine = makeEngine();
    const QString wav = path("two seconds.wav");
    writeSineWav(wav, 2.0, 440);

    QSignalSpy opened(engine.get(), &MediaEngine::openComplete);
    QSignalSpy ticks(engine.get(), &MediaEngine::timer);
    engine->setFileName(wav);
    EXPECT_EQ(opened.count(), 0) << "events come through the event loop";
    EXPECT_EQ(engine->fileName(), wav);
    ASSERT_TRUE(opened.wait(kOpenTimeoutMs));
    EXPECT_NEAR(engine->duration(), 2.0, 0.01);
    EXPECT_EQ(engine->selectionEnd(), engine->duration());
    EXPECT_EQ(engine->selectionStart(), 0.0);
    EXPECT_EQ(engine->currentState(), MediaEngine::Stopped);
    EXPECT_EQ(ticks.count(), 1) << "the first tick follows the opening at once";
    EXPECT_TRUE(ticks.wait(kOpenTimeoutMs));
    settle();
    EXPECT_LT(engine->currentPosition(), 0.05) << "opening does not start playback";
    // Held still, nothing wakes the player: it ticks on playing and a moment after a pause.
    for (const bool play : {false, true, false}) {
        play ? engine->run() : engine->pause();
        settle(play ? 1200 : 1500);
        ticks.clear();
        settle(play ? 600 : 1000);
        EXPECT_EQ(ticks.count() > 0, play) << "playing " << play;
    }

    // What phones and recorders write opens with its length (raw AAC's is
    // guessed from its bit rate); a kind this ffmpeg has no encoder for is left out.
    for (const QString kind :
         {"flac flac", "ogg libvorbis", "oga flac", "opus libopus", "m4a aac", "aac aac", "mp4 aac",
          "amr libopencore_amrnb", "3gp aac", "webm libopus"}) {
        const QString memo = path("memo." + kind.section(' ', 0, 0)), codec = kind.section(' ', 1);
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-loglevel", "error", "-i", wav, "-c:a", codec, memo});
        ASSERT_TRUE(ffmpeg.waitForFinished(60000));
        const QString error = QString::fromUtf8(ffmpeg.readAllStandardError());
        if (ffmpeg.exitCode() != 0 && error.contains("Unknown encoder"))
            continue;
        ASSERT_EQ(ffmpeg.exitCode(), 0) << memo.toStdString() << ": " << error.toStdString();
        ASSERT_TRUE(open(*engine, memo)) << memo.toStdString();
        EXPECT_NEAR(engine->duration(), 2.0, memo.endsWith(".aac") ? 0.25 : 0.05)
            << memo.toStdString();
    }

    engine->setFileName(QString());
    EXPECT_EQ(engine->fileName(), QString());
    EXPECT_EQ(engine->duration(), 0.0);
    settle(600);
    ticks.clear();
    settle(600);
    EXPECT_EQ(ticks.count(), 0) << "no timer without media";
}

TEST_F(MpvEngineTest, PositionsWrittenBeforeTheFileHasLoadedAreDropped) {
    auto engine = makeEngine();
    const QString wav = path("a.wav");
    writeSineWav(wav, 2.0, 440);
    QSignalSpy opened(engine.get(), &MediaEngine::openComplete);
    QSignalSpy changes(engine.get(), &MediaEngine::positionChange);
    engine->setFileName(wav);
    // The player's start-up: three seeks, then openComplete restores.
    engine->setCurrentPosition(engine->selectionEnd() - 1);
    engine->setCurrentPosition(engine->selectionEnd());
    engine->setCurrentPosition(engine->selectionStart());
    ASSERT_TRUE(opened.wait(kOpenTimeoutMs));
    settle();
    EXPECT_LT(engine->currentPosition(), 0.05);
    EXPECT_EQ(changes.count(), 0);

    // A position written from openComplete sticks.
    engine->setCurrentPosition(1.25);
    settle();
    EXPECT_NEAR(engine->currentPosition(), 1.25, 0.01);
}

TEST_F(MpvEngineTest, WrittenPositionsReadBackAtOnceAndStick) {
    auto engine = makeEngine();
    const QString wav = path("a.wav");
    writeSineWav(wav, 3.0, 440);
    ASSERT_TRUE(open(*engine, wav));
    engine->pause();
    EXPECT_EQ(engine->currentState(), MediaEngine::Paused);

    QSignalSpy changes(engine.get(), &MediaEngine::positionChange);
    const double before = engine->currentPosition();
    engine->setCurrentPosition(1.5);
    EXPECT_EQ(engine->currentPosition(), 1.5);
    // A pedal hold: thousands of writes and reads without the event loop.
    double expected = 1.5;
    for (int i = 0; i < 3000; ++i) {
        expected = engine->currentPosition() - 0.0004;
        engine->setCurrentPosition(expected);
        ASSERT_EQ(engine->currentPosition(), expected) << i;
    }
    EXPECT_EQ(changes.count(), 0) << "events wait for the event loop";
    settle();
    ASSERT_EQ(changes.count(), 1) << "no backlog of events to redraw";
    EXPECT_EQ(changes.last().at(0).toDouble(), before);
    EXPECT_EQ(changes.last().at(1).toDouble(), expected);
    EXPECT_NEAR(engine->currentPosition(), expected, 0.01) << "mpv caught up with the last write";
    EXPECT_EQ(engine->currentState(), MediaEngine::Paused);
}

// Plays until the position has moved past @p seconds.
static bool playPast(MpvEngine& engine, double seconds) {
    engine.run();
    QElapsedTimer clock;
    clock.start();
    while (engine.currentPosition() < seconds && clock.elapsed() < kPlayTimeoutMs)
        QTest::qWait(20);
    return engine.currentPosition() >= seconds;
}

// While paused after playing, mpv's own position lags a seek by about its
// audio buffer; small skips must still add up.
TEST_F(MpvEngineTest, SkipsAfterPlayingAndPausingLandWhereWritten) {
    auto engine = makeEngine();
    const QString wav = path("a.wav");
    writeSineWav(wav, 8.0, 440);
    ASSERT_TRUE(open(*engine, wav));
    ASSERT_TRUE(playPast(*engine, 1.5));
    engine->pause();
    settle();
    const double start = engine->currentPosition();
    for (int i = 1; i <= 3; ++i) {
        engine->setCurrentPosition(engine->currentPosition() + 1.0);
        settle();
        EXPECT_NEAR(engine->currentPosition(), start + i, 0.005) << "skip " << i;
    }
    engine->setCurrentPosition(engine->currentPosition() - 1.0);
    settle();
    EXPECT_NEAR(engine->currentPosition(), start + 2, 0.005) << "and back";
    settle();
    EXPECT_NEAR(engine->currentPosition(), start + 2, 0.005) << "it stays";

    // Stopped, the same.
    engine->stop();
    engine->setCurrentPosition(1.0);
    settle();
    EXPECT_NEAR(engine->currentPosition(), 1.0, 0.005);
}

TEST_F(MpvEngineTest, AfterASeekPlaybackMovesOnAndAPauseHoldsStill) {
    auto engine = makeEngine();
    const QString wav = path("a.wav");
    writeSineWav(wav, 8.0, 440);
    ASSERT_TRUE(open(*engine, wav));
    ASSERT_TRUE(playPast(*engine, 0.5));
    engine->setCurrentPosition(3.0);
    ASSERT_TRUE(playPast(*engine, 3.3)) << "running, the position follows playback again";

    engine->setCurrentPosition(5.0);
    settle(150);
    engine->pause();
    settle();
    const double pausedAt = engine->currentPosition();
    EXPECT_GE(pausedAt, 5.0);
    EXPECT_LT(pausedAt, 5.6);
    for (int i = 0; i < 5; ++i) {
        settle(100);
        EXPECT_EQ(engine->currentPosition(), pausedAt) << i;
    }
    engine->run();
    ASSERT_TRUE(playPast(*engine, pausedAt + 0.3));
}

TEST_F(MpvEngineTest, EachTurnOfTheEventLoopGetsOnePositionChange) {
    auto engine = makeEngine();
    const QString wav = path("a.wav");
    writeSineWav(wav, 3.0, 440);
    ASSERT_TRUE(open(*engine, wav));
    engine->pause();
    QSignalSpy changes(engine.get(), &MediaEngine::positionChange);

    const double before = engine->currentPosition();
    for (int i = 1; i <= 1000; ++i)
        engine->setCurrentPosition(i * 0.002);
    settle();
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toDouble(), before);
    EXPECT_EQ(changes.at(0).at(1).toDouble(), 2.0);

    changes.clear();
    for (int i = 1; i <= 4; ++i) {
        engine->setCurrentPosition(2.0 - i * 0.25);
        QTest::qWait(20);
    }
    ASSERT_EQ(changes.count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(changes.at(i).at(0).toDouble(), 2.0 - i * 0.25) << i;
        EXPECT_EQ(changes.at(i).at(1).toDouble(), 2.0 - (i + 1) * 0.25) << i;
    }

    // Only where the burst ends counts for the end.
    changes.clear();
    engine->setCurrentPosition(60.0);
    engine->setCurrentPosition(2.5);
    settle();
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(1).toDouble(), 2.5);
    engine->setCurrentPosition(1.0);
    engine->setCurrentPosition(60.0);
    settle();
    ASSERT_EQ(changes.count(), 2);
    EXPECT_EQ(changes.at(1).at(0).toDouble(), 2.5);
    EXPECT_EQ(changes.at(1).at(1).toDouble(), engine->selectionEnd());

    // A new file drops what the old one still had to report.
    changes.clear();
    engine->setCurrentPosition(1.0);
    engine->setFileName(wav);
    settle();
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(MpvEngineTest, PositionsOutsideTheFileAreClampedToItsEnds) {
    auto engine = makeEngine();
    const QString wav = path("a.wav");
    writeSineWav(wav, 3.0, 440);
    ASSERT_TRUE(open(*engine, wav));
    QSignalSpy changes(engine.get(), &MediaEngine::positionChange);

    engine->setCurrentPosition(1.0);
    engine->setCurrentPosition(-1.0); // mpv alone would land 1 s before the end
    EXPECT_EQ(engine->currentPosition(), 0.0);
    settle();
    EXPECT_LT(engine->currentPosition(), 0.05);

    engine->setCurrentPosition(60.0);
    EXPECT_EQ(engine->currentPosition(), engine->selectionEnd());
    settle();
    ASSERT_EQ(changes.count(), 2);
    EXPECT_EQ(changes.at(0).at(1).toDouble(), 0.0);
    EXPECT_EQ(changes.at(1).at(1).toDouble(), engine->selectionEnd());
    EXPECT_NEAR(engine->currentPosition(), engine->selectionEnd(), 0.01);

    engine->setCurrentPosition(qQNaN()); // ignored, not a seek to nowhere
    settle(100);
    EXPECT_EQ(changes.count(), 2);
}

TEST_F(MpvEngineTest, PlayingThroughTheEndStopsThereAndReportsIt) {
    auto engine = makeEngine();
    const QString wav = path("a.wav");
    writeSineWav(wav, 1.5, 440);
    ASSERT_TRUE(open(*engine, wav));
    engine->setCurrentPosition(1.0);
    settle();
    engine->run();
    EXPECT_EQ(engine->currentState(), MediaEngine::Running);
    ASSERT_TRUE(playToEnd(*engine));
    EXPECT_EQ(engine->currentPosition(), engine->selectionEnd());
    EXPECT_EQ(engine->currentState(), MediaEngine::Paused);
    EXPECT_EQ(engine->fileName(), wav) << "keep-open: the file stays loaded";

    // And from the end it plays again once moved back.
    engine->setCurrentPosition(1.2);
    engine->run();
    ASSERT_TRUE(playToEnd(*engine));
}

TEST_F(MpvEngineTest, StopKeepsTheFileOpenAndItsPosition) {
    auto engine = makeEngine();
    const QString wav = path("a.wav");
    writeSineWav(wav, 3.0, 440);
    ASSERT_TRUE(open(*engine, wav));
    engine->run();
    EXPECT_EQ(engine->currentState(), MediaEngine::Running);
    QElapsedTimer clock;
    clock.start();
    while (engine->currentPosition() < 0.2 && clock.elapsed() < kPlayTimeoutMs)
        QTest::qWait(20);
    engine->stop();
    EXPECT_EQ(engine->currentState(), MediaEngine::Stopped);
    settle();
    const double stoppedAt = engine->currentPosition();
    EXPECT_GT(stoppedAt, 0.0);
    settle();
    EXPECT_EQ(engine->currentPosition(), stoppedAt);
    EXPECT_EQ(engine->fileName(), wav);
    EXPECT_NEAR(engine->duration(), 3.0, 0.01);

    engine->setCurrentPosition(0.0);
    EXPECT_EQ(engine->currentPosition(), 0.0);
    engine->pause();
    EXPECT_EQ(engine->currentState(), MediaEngine::Paused);
    engine->run();
    EXPECT_EQ(engine->currentState(), MediaEngine::Running);
}

TEST_F(MpvEngineTest, FilesThatCannotBeOpenedAreReportedWithAReason) {
    auto engine = makeEngine();
    QSignalSpy opened(engine.get(), &MediaEngine::openComplete);
    QSignalSpy failed(engine.get(), &MediaEngine::openFailed);
    const QString empty = path("empty.wav");
    writeFile(empty, QByteArray());
    const QString text = path("x.wav");
    writeFile(text, "Dear Sir, further to our letter of the 3rd...\n");
    const QString garbage = path("noise.wav");
    writeFile(garbage, QByteArray(4096, '\x5a'));
    const QString fakeMidi = path("fake.mid");
    writeFile(fakeMidi, "MThd but nothing after it");
    // What a converter stopped half-way leaves: a header whose sizes were never filled in.
    QByteArray unfinished = dialogicWav(QByteArray(8000, '\x11'));
    unfinished.replace(4, 4, QByteArray(4, '\0'));
    const QString cutShort = path("unfinished.wav");
    writeFile(cutShort, unfinished);
    writeFile(path("loop.m3u"), "loop.m3u\n");
    const Listener server;
    const QString url = QString("http://127.0.0.1:%1/a.wav").arg(ntohs(server.address.sin_port));
    writeFile(path("remote.m3u"), url.toUtf8());
    writeFile(path("call.sdp"), "v=0\r\nc=IN IP4 127.0.0.1\r\nm=audio 45678 RTP/AVP 0\r\n");

    const QPair<QString, QString> cases[] = {
        {path("missing.wav"), "no such file"},
        {empty, "the file is empty"},
        {text, "not an audio file"},
        {garbage, "not an audio file"},
        {fakeMidi, "the MIDI file cannot be played"},
        {cutShort, "the wave file is incomplete: its header does not match its length (it was "
                   "cut short, or never finished being written)"},
        {dir_.path(), "not an audio file"},
        {path("remote.m3u"),
         "the playlist names " + url + ", which is not a file on this computer"},
        {path("loop.m3u"), "not an audio file"},
        {path("call.sdp"), "not an audio file"},
    };
    for (const auto& [bad, reason] : cases) {
        failed.clear();
        engine->setFileName(bad);
        EXPECT_EQ(failed.count(), 0) << "reported through the event loop";
        ASSERT_TRUE(failed.count() == 1 || failed.wait(kOpenTimeoutMs)) << bad.toStdString();
        EXPECT_EQ(failed.at(0).at(0).toString(), bad);
        EXPECT_EQ(failed.at(0).at(1).toString(), reason) << bad.toStdString();
        EXPECT_EQ(engine->fileName(), QString()) << bad.toStdString();
        settle(300);
        EXPECT_EQ(failed.count(), 1) << bad.toStdString();
        EXPECT_EQ(opened.count(), 0) << bad.toStdString();
        EXPECT_EQ(engine->duration(), 0.0);
        engine->setCurrentPosition(1.0);
        engine->run();
        EXPECT_EQ(engine->currentState(), MediaEngine::Stopped);
    }
    EXPECT_LT(accept(server.fd, nullptr, nullptr), 0) << "no connection was made";

    // A good file after a bad one opens as usual, and closing is no failure.
    failed.clear();
    const QString wav = path("a.wav");
    writeSineWav(wav, 1.0, 440);
    EXPECT_TRUE(open(*engine, wav));
    engine->setFileName(QString());
    settle(300);
    EXPECT_EQ(failed.count(), 0);
}

TEST_F(MpvEngineTest, AFailureIsNotReportedOnceAnotherFileIsWritten) {
    auto engine = makeEngine();
    QSignalSpy failed(engine.get(), &MediaEngine::openFailed);
    const QString text = path("x.wav");
    writeFile(text, "not audio at all\n");
    const QString wav = path("a.wav");
    writeSineWav(wav, 1.0, 440);
    engine->setFileName(path("missing.wav"));
    EXPECT_TRUE(open(*engine, wav));
    engine->setFileName(text); // mpv is still to give up on this one
    EXPECT_TRUE(open(*engine, wav));
    settle(500);
    EXPECT_EQ(failed.count(), 0);
    EXPECT_EQ(engine->fileName(), wav);
}

TEST_F(MpvEngineTest, AnUnreadableFileIsReported) {
    const QString wav = path("locked.wav");
    writeSineWav(wav, 1.0, 440);
    QFile::setPermissions(wav, QFileDevice::WriteOwner);
    if (QFile file(wav); file.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "permissions do not bind this user";
    auto engine = makeEngine();
    QSignalSpy failed(engine.get(), &MediaEngine::openFailed);
    engine->setFileName(wav);
    ASSERT_TRUE(failed.wait(kOpenTimeoutMs));
    EXPECT_EQ(failed.at(0).at(1).toString(), "the file cannot be read");
}

TEST_F(MpvEngineTest, ReplacingAFileOpensOnlyTheLastOne) {
    auto engine = makeEngine();
    const QString first = path("one.wav");
    const QString second = path("two.wav");
    writeSineWav(first, 1.0, 440);
    writeSineWav(second, 2.5, 440);
    QSignalSpy opened(engine.get(), &MediaEngine::openComplete);
    engine->setFileName(first);
    engine->setFileName(second);
    ASSERT_TRUE(opened.wait(kOpenTimeoutMs));
    settle();
    EXPECT_EQ(opened.count(), 1);
    EXPECT_EQ(engine->fileName(), second);
    EXPECT_NEAR(engine->duration(), 2.5, 0.01);
}

TEST_F(MpvEngineTest, PlaylistsOpenTheirFirstEntryAndStayOnIt) {
    auto engine = makeEngine();
    writeSineWav(path("first.wav"), 1.0, 440);
    writeSineWav(path("second.wav"), 2.0, 440);
    writeFile(path("inner.m3u"), "#EXTM3U\nfirst.wav\nsecond.wav\n");
    const QString list = path("dictation.m3u");
    writeFile(list, "file://" + path("inner.m3u").toUtf8() + "\n");
    ASSERT_TRUE(open(*engine, list));
    EXPECT_EQ(engine->fileName(), list);
    EXPECT_NEAR(engine->duration(), 1.0, 0.01);
    engine->setCurrentPosition(0.8);
    ASSERT_TRUE(playToEnd(*engine));
    settle();
    EXPECT_NEAR(engine->duration(), 1.0, 0.01) << "no advance to the next entry";
    EXPECT_EQ(engine->currentPosition(), engine->selectionEnd());
}

// The speed slider's two ends: the dictation takes 1/0.6 and 1/1.4 times as
// long, and a tone keeps its pitch.
TEST_F(MpvEngineTest, RateKeepsThePitchAtBothEndsOfTheSpeedSlider) {
    const QString wav = path("tone.wav");
    writeSineWav(wav, 1.5, 440);
    const double rates[3] = {1.0, 0.6, 1.4};
    Pcm played[3];
    for (int i = 0; i < 3; ++i) {
        const QString capture = path(QString("out%1.wav").arg(i));
        {
            auto engine = makeCapturingEngine(capture);
            engine->setRate(rates[i]);
            ASSERT_TRUE(open(*engine, wav));
            ASSERT_TRUE(playToEnd(*engine));
        } // the capture is complete once the engine is gone
        played[i] = readPcmWav(capture);
        ASSERT_GT(played[i].seconds(), 0.5);
    }
    EXPECT_NEAR(played[0].seconds(), 1.5, 0.15);
    EXPECT_NEAR(played[1].seconds(), 1.5 / 0.6, 0.25) << "slowed down";
    EXPECT_NEAR(played[2].seconds(), 1.5 / 1.4, 0.15) << "sped up";
    const double normal = played[0].toneFrequency(0);
    EXPECT_NEAR(normal, 440, 10);
    EXPECT_NEAR(played[1].toneFrequency(0), normal, normal * 0.03)
        << "without pitch correction it would be 264 Hz";
    EXPECT_NEAR(played[2].toneFrequency(0), normal, normal * 0.03)
        << "without pitch correction it would be 616 Hz";
}

// In real time the position moves on at the chosen rate, and a rate changed
// while playing applies at once.
TEST_F(MpvEngineTest, PositionAdvancesAtTheRateInRealTime) {
    const QString wav = path("long.wav");
    writeSineWav(wav, 30.0, 440);
    auto engine = makeEngine();
    ASSERT_TRUE(open(*engine, wav));
    const auto advanceOver = [&](double rate) {
        engine->setRate(rate);
        settle(300); // past the change and the output's start-up
        QElapsedTimer clock;
        const double from = engine->currentPosition();
        clock.start();
        QTest::qWait(1500);
        return (engine->currentPosition() - from) / (clock.nsecsElapsed() / 1e9);
    };
    engine->run();
    EXPECT_NEAR(advanceOver(1.4), 1.4, 0.15);
    EXPECT_NEAR(advanceOver(0.6), 0.6, 0.15);
    EXPECT_NEAR(advanceOver(1.0), 1.0, 0.15);
}

TEST_F(MpvEngineTest, BalanceMovesAMonoSourceAndSurvivesASeek) {
    const QString wav = path("mono.wav");
    writeSineWav(wav, 2.0, 440, 8000, 1);
    struct Case {
        int balance;
        double leftOverRight;
    };
    for (const Case& c : {Case{5000, 0.0}, Case{-5000, -1.0}, Case{2500, 0.5}, Case{0, 1.0}}) {
        const QString capture = path(QString("bal%1.wav").arg(c.balance));
        {
            auto engine = makeCapturingEngine(capture);
            ASSERT_TRUE(open(*engine, wav));
            engine->setBalance(c.balance);
            engine->setCurrentPosition(1.0);
            settle();
            ASSERT_TRUE(playToEnd(*engine));
        }
        const Pcm pcm = readPcmWav(capture);
        ASSERT_EQ(pcm.channels, 2) << "mono is upmixed to stereo";
        ASSERT_GT(pcm.seconds(), 0.8);
        const double left = pcm.rms(0), right = pcm.rms(1);
        if (c.leftOverRight < 0) { // left only
            EXPECT_GT(left, 0.1) << c.balance;
            EXPECT_LT(right, 0.001) << c.balance;
        } else {
            EXPECT_GT(right, 0.1) << c.balance;
            EXPECT_NEAR(left / right, c.leftOverRight, 0.02) << c.balance;
        }
    }
}

TEST_F(MpvEngineTest, FullLeftSilencesTheRightChannelOfAStereoSourceAfterASeek) {
    const QString wav = path("stereo.wav");
    writeSineWav(wav, 2.0, 440, 8000, 2);
    const QString capture = path("left.wav");
    {
        auto engine = makeCapturingEngine(capture);
        ASSERT_TRUE(open(*engine, wav));
        engine->setBalance(-5000);
        engine->setCurrentPosition(1.0);
        settle();
        ASSERT_TRUE(playToEnd(*engine));
    }
    const Pcm pcm = readPcmWav(capture);
    ASSERT_EQ(pcm.channels, 2);
    ASSERT_GT(pcm.seconds(), 0.8);
    EXPECT_GT(pcm.rms(0), 0.1);
    EXPECT_LT(pcm.rms(1), 0.001);
}

TEST_F(MpvEngineTest, MidiFilesPlayAudibly) {
    const QString midi = path("tune.mid");
    writeFile(midi, twoNoteMidi());
    const QString capture = path("midi-out.wav");
    {
        auto engine = makeCapturingEngine(capture);
        ASSERT_TRUE(open(*engine, midi));
        EXPECT_EQ(engine->fileName(), midi);
        EXPECT_NEAR(engine->duration(), 2.0, 0.15);
        ASSERT_TRUE(playToEnd(*engine));
    }
    const Pcm pcm = readPcmWav(capture);
    EXPECT_NEAR(pcm.seconds(), 2.0, 0.15);
    EXPECT_GT(std::max(pcm.rms(0), pcm.rms(1)), 0.05) << "audible, not -40 dBFS";
}

// Rendering a long MIDI file takes seconds: the event loop keeps running meanwhile, and a
// render given up (another file, or the engine going away) leaves nothing behind.
TEST_F(MpvEngineTest, MidiRenderingDoesNotHoldUpTheEventLoop) {
    const QString midi = path("long.mid");
    writeFile(midi, longMidi(900));
    const QString wav = path("a.wav");
    writeSineWav(wav, 1.0, 440);
    const int before = scratchFiles();
    {
        auto engine = makeEngine();
        QSignalSpy opened(engine.get(), &MediaEngine::openComplete);
        QElapsedTimer clock;
        clock.start();
        engine->setFileName(midi);
        EXPECT_LT(clock.elapsed(), 250) << "the call returns before the rendering is done";
        // The longest the event loop went without running a 5 ms beat.
        qint64 longestGap = 0;
        QElapsedTimer sinceBeat;
        sinceBeat.start();
        QTimer beat;
        QObject::connect(&beat, &QTimer::timeout,
                         [&] { longestGap = std::max(longestGap, sinceBeat.restart()); });
        beat.start(5);
        ASSERT_TRUE(opened.wait(60000));
        longestGap = std::max(longestGap, sinceBeat.elapsed());
        EXPECT_LT(longestGap, 250)
            << "events ran while it was opened, for " << clock.elapsed() << " ms";
        EXPECT_NEAR(engine->duration(), 900.0, 2.0);

        engine->setFileName(midi);
        settle(50);
        ASSERT_TRUE(open(*engine, wav)) << "another file replaces a rendering in progress";
        settle(300);
        EXPECT_EQ(engine->fileName(), wav);
        EXPECT_EQ(scratchFiles(), before);
        engine->setFileName(midi); // and the engine goes away while it renders
    }
    EXPECT_EQ(scratchFiles(), before);
}

// A MIDI file opens once its length is known, long before it is rendered,
// and what plays is as long as the music.
TEST_F(MpvEngineTest, MidiFilesOpenAtOnceWithTheLengthOfTheMusic) {
    const QString ten = path("ten.mid");
    writeFile(ten, longMidi(600));
    {
        auto engine = makeEngine();
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(open(*engine, ten));
        EXPECT_LT(clock.elapsed(), 1000);
        EXPECT_NEAR(engine->duration(), 600.0, 1e-3);
    }
    const QString tempo = path("tempo.mid");
    writeFile(tempo, tempoChangeMidi());
    const QString capture = path("tempo-out.wav");
    {
        auto engine = makeCapturingEngine(capture);
        ASSERT_TRUE(open(*engine, tempo));
        EXPECT_NEAR(engine->duration(), 3.5, 1e-3);
        ASSERT_TRUE(playToEnd(*engine));
    }
    EXPECT_NEAR(readPcmWav(capture).seconds(), 3.5, 0.05);
}

TEST_F(MpvEngineTest, ASeekFarAheadOfTheRenderingLandsAndPlaysFromThere) {
    const QString midi = path("long.mid");
    writeFile(midi, longMidi(900));
    const QString capture = path("far-out.wav");
    {
        auto engine = makeCapturingEngine(capture);
        ASSERT_TRUE(open(*engine, midi));
        engine->setCurrentPosition(897.0);
        settle(); // the rendering is still seconds short of it
        EXPECT_EQ(engine->currentPosition(), 897.0);
        ASSERT_TRUE(playToEnd(*engine));
    }
    const Pcm pcm = readPcmWav(capture);
    EXPECT_NEAR(pcm.seconds(), 3.0, 0.15);
    EXPECT_GT(std::max(pcm.rms(0), pcm.rms(1)), 0.05) << "notes, not silence";
}

// mpv waits in a read for a part of the rendering not yet written: another
// file, or the engine going away, ends the wait at once and leaves nothing behind.
TEST_F(MpvEngineTest, GivingUpAMidiFileWhileMpvWaitsForItsRenderingDoesNotHang) {
    const QString midi = path("hour.mid");
    writeFile(midi, longMidi(3600)); // many seconds of rendering
    const QString wav = path("a.wav");
    writeSineWav(wav, 1.0, 440);
    const int before = scratchFiles();
    auto waitAtTheEnd = [&](MpvEngine& engine) {
        ASSERT_TRUE(open(engine, midi));
        engine.setCurrentPosition(3599.0);
        engine.run();
        settle(300);
    };
    auto engine = makeEngine();
    waitAtTheEnd(*engine);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(open(*engine, wav));
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(scratchFiles(), before);

    waitAtTheEnd(*engine);
    clock.restart();
    engine.reset();
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(scratchFiles(), before);
}

// Their names in Latin-1 (an old locale or archive): bytes that are not UTF-8.
TEST_F(MpvEngineTest, RenderingsAndCopiesAreRemovedWithTheirFile) {
    const auto latin1 = [](const QString& made) {
        QByteArray raw = QFile::encodeName(made);
        raw.insert(raw.lastIndexOf('/') + 1, "caf\xe9 ");
        EXPECT_EQ(::rename(QFile::encodeName(made).constData(), raw.constData()), 0);
        return fileNameFromBytes(raw);
    };
    writeFile(path("tune.mid"), twoNoteMidi());
    const QString midi = latin1(path("tune.mid"));
    writeFile(path("rec.vox.WAV"), dialogicWav(QByteArray(4000, '\x17')));
    const QString vox = latin1(path("rec.vox.WAV"));
    writeSineWav(path("a.wav"), 1.0, 440);
    const QString wav = latin1(path("a.wav"));
    const int before = scratchFiles();
    {
        auto engine = makeEngine();
        ASSERT_TRUE(open(*engine, midi));
        EXPECT_EQ(scratchFiles(), before + 1);
        ASSERT_TRUE(open(*engine, vox));
        EXPECT_EQ(scratchFiles(), before + 1) << "the rendering went with its file";
        ASSERT_TRUE(open(*engine, wav));
        EXPECT_EQ(scratchFiles(), before);
        ASSERT_TRUE(open(*engine, midi));
        engine->setFileName(QString());
        EXPECT_EQ(scratchFiles(), before);
        ASSERT_TRUE(open(*engine, vox));
        EXPECT_EQ(scratchFiles(), before + 1);
    }
    EXPECT_EQ(scratchFiles(), before) << "and with the engine";
    for (const QString& name : {midi, vox, wav}) // QTemporaryDir reads names as UTF-8
        ::unlink(fileNameBytes(name).constData());
}

TEST_F(MpvEngineTest, DialogicWavFilesPlayAtTheirHeaderRate) {
    // Two seconds of 4-bit ADPCM at 8000 Hz: 8000 bytes, 4000 a second.
    QByteArray audio(8000, '\0');
    for (qsizetype i = 0; i < audio.size(); ++i)
        audio[i] = char((i / 8) % 2 ? 0x17 : 0x71); // a rough square wave
    const QByteArray original = dialogicWav(audio);
    const QString wav = path("rec.vox.WAV");
    writeFile(wav, original);
    const QString capture = path("vox-out.wav");
    const int before = scratchFiles();
    {
        auto engine = makeCapturingEngine(capture);
        ASSERT_TRUE(open(*engine, wav));
        EXPECT_EQ(engine->fileName(), wav);
        EXPECT_NEAR(engine->duration(), 2.0, 0.05);
        engine->setCurrentPosition(1.0);
        settle();
        EXPECT_NEAR(engine->currentPosition(), 1.0, 0.01);
        ASSERT_TRUE(playToEnd(*engine));
    }
    EXPECT_EQ(scratchFiles(), before);
    EXPECT_TRUE(readFile(wav) == original) << "the recording itself is never touched";
    const Pcm pcm = readPcmWav(capture);
    EXPECT_NEAR(pcm.seconds(), 1.0, 0.15);
    EXPECT_GT(pcm.rms(0), 0.01);
}

TEST_F(MpvEngineTest, DestroyingWithWorkInFlightIsSafe) {
    const QString wav = path("a.wav");
    writeSineWav(wav, 2.0, 440);
    for (int round = 0; round < 3; ++round) {
        auto engine = makeEngine();
        ASSERT_TRUE(open(*engine, wav));
        engine->run();
        for (int i = 0; i < 50; ++i)
            engine->setCurrentPosition(i * 0.03);
        engine->setFileName(wav); // a load in flight too
        engine.reset();
        settle(50); // queued drains and position changes die with the engine
    }
    // And an engine deleted from its own signal, the usual Qt way.
    auto* engine = makeEngine().release();
    QSignalSpy destroyed(engine, &QObject::destroyed);
    QObject::connect(engine, &MediaEngine::openComplete, engine, [engine] {
        engine->setCurrentPosition(0.5);
        engine->deleteLater();
    });
    engine->setFileName(wav);
    EXPECT_TRUE(destroyed.wait(kOpenTimeoutMs));
}

} // namespace
