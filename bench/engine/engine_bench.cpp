// engine_bench hold WAV     - a pedal hold (3200 write+read passes) through the
//                            engine and through raw libmpv seeks, same file
// engine_bench open FILE [--repeat N] - time from setFileName() to openComplete(),
//                            the median of N opens, each by a fresh engine
// engine_bench seek-end FILE - right after opening, a seek to a second before
//                            the end, to playback from there
// engine_bench make-wav PATH SECONDS / make-vox PATH SECONDS / make-midi PATH SECONDS
//                          - fixtures (make-midi: one-second chords)
#include "engine/mpv_engine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QtEndian>

#include <mpv/client.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using velloran::MediaEngine;
using velloran::MpvEngine;
using velloran::MpvEngineOptions;

namespace {

constexpr int kPasses = 3200;

QByteArray le32(quint32 v) {
    char raw[4];
    qToLittleEndian(v, raw);
    return QByteArray(raw, 4);
}
QByteArray le16(quint16 v) {
    char raw[2];
    qToLittleEndian(v, raw);
    return QByteArray(raw, 2);
}

int makeWav(const char* path, double seconds) {
    const quint32 bytes = quint32(seconds * 8000) * 2;
    QFile f(QString::fromLocal8Bit(path));
    if (!f.open(QIODevice::WriteOnly))
        return 1;
    f.write("RIFF" + le32(36 + bytes) + "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(8000) +
            le32(16000) + le16(2) + le16(16) + "data" + le32(bytes));
    const QByteArray block(1 << 20, '\0');
    for (quint32 left = bytes; left > 0;) {
        const quint32 n = std::min<quint32>(left, quint32(block.size()));
        f.write(block.constData(), n);
        left -= n;
    }
    return 0;
}

int makeVox(const char* path, double seconds) {
    const quint32 bytes = quint32(seconds * 4000);
    QFile f(QString::fromLocal8Bit(path));
    if (!f.open(QIODevice::WriteOnly))
        return 1;
    f.write("RIFF" + le32(bytes + 52) + "WAVEfmt " + le32(20) + le16(0x0100) + le16(1) +
            le32(8000) + le32(4000) + le16(256) + le16(4) + le16(2) + le16(257) + "fact" + le32(4) +
            le32(0) + "data" + le32(bytes));
    const QByteArray block(1 << 20, '\x17');
    for (quint32 left = bytes; left > 0;) {
        const quint32 n = std::min<quint32>(left, quint32(block.size()));
        f.write(block.constData(), n);
        left -= n;
    }
    return 0;
}

bool openAndWait(MpvEngine& engine, const QString& path, qint64* ns) {
    QEventLoop loop;
    bool opened = false;
    QObject::connect(&engine, &MediaEngine::openComplete, &loop, [&] {
        opened = true;
        loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    engine.setFileName(path);
    loop.exec();
    *ns = clock.nsecsElapsed();
    return opened;
}

MpvEngineOptions quiet() {
    MpvEngineOptions o;
    o.audioOutput = "null";
    return o;
}

int hold(const QString& path) {
    MpvEngine engine(quiet());
    qint64 ns = 0;
    if (!openAndWait(engine, path, &ns))
        return 1;
    engine.pause();
    const double step = std::nearbyint(engine.selectionEnd()) * 0.01 / 32;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kPasses; ++i)
        engine.setCurrentPosition(engine.currentPosition() + step);
    const qint64 engineNs = clock.nsecsElapsed();
    const double reached = engine.currentPosition();
    clock.restart();
    while (clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (std::abs(engine.currentPosition() - reached) < 0.01 && clock.elapsed() > 100)
            break;
    }
    std::printf("engine   hold: %d passes %.2f ms (%.2f us/pass), position %.3f s of %.3f\n",
                kPasses, engineNs / 1e6, engineNs / 1e3 / kPasses, reached, engine.selectionEnd());

    // The peer: libmpv driven directly, one synchronous seek and one
    // time-pos read per pass (what a naive adapter would do).
    mpv_handle* h = mpv_create();
    mpv_set_option_string(h, "ao", "null");
    mpv_set_option_string(h, "vid", "no");
    mpv_set_option_string(h, "config", "no");
    mpv_set_option_string(h, "pause", "yes");
    mpv_set_option_string(h, "keep-open", "yes");
    mpv_initialize(h);
    const QByteArray file = QFile::encodeName(path);
    const char* load[] = {"loadfile", file.constData(), nullptr};
    mpv_command(h, load);
    for (;;) {
        mpv_event* e = mpv_wait_event(h, 10);
        if (e->event_id == MPV_EVENT_PLAYBACK_RESTART || e->event_id == MPV_EVENT_NONE)
            break;
    }
    clock.restart();
    double pos = 0;
    int stale = 0;
    for (int i = 0; i < kPasses; ++i) {
        double now = 0;
        mpv_get_property(h, "time-pos", MPV_FORMAT_DOUBLE, &now);
        if (i > 0 && std::abs(now - pos) > 1e-6)
            ++stale;
        pos = now + step;
        const QByteArray value = QByteArray::number(pos, 'f', 6);
        const char* seek[] = {"seek", value.constData(), "absolute+exact", nullptr};
        mpv_command(h, seek);
    }
    const qint64 rawNs = clock.nsecsElapsed();
    std::printf("raw mpv  hold: %d passes %.2f ms (%.2f us/pass), %d reads not yet at the "
                "written position\n",
                kPasses, rawNs / 1e6, rawNs / 1e3 / kPasses, stale);
    mpv_terminate_destroy(h);
    return 0;
}

int open(const QString& path, int repeat) {
    std::vector<qint64> times;
    double duration = 0;
    for (int i = 0; i < std::max(1, repeat); ++i) {
        MpvEngine engine(quiet());
        qint64 ns = 0;
        if (!openAndWait(engine, path, &ns))
            return 1;
        times.push_back(ns);
        duration = engine.duration();
    }
    std::sort(times.begin(), times.end());
    std::printf("engine   open: %.1f ms (median of %zu, %.1f to %.1f), duration %.3f s\n",
                times[times.size() / 2] / 1e6, times.size(), times.front() / 1e6,
                times.back() / 1e6, duration);
    return 0;
}

int seekToEnd(const QString& path) {
    MpvEngine engine(quiet());
    qint64 ns = 0;
    if (!openAndWait(engine, path, &ns))
        return 1;
    const double target = std::max(0.0, engine.duration() - 1.0);
    QElapsedTimer clock;
    clock.start();
    engine.setCurrentPosition(target);
    engine.run();
    // Playing from there: the position read back moves past the target. Looked
    // at every 5 ms, so that the rendering has the cores.
    // The longest gap between two looks is how long the event loop was held up.
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer sinceLook;
    sinceLook.start();
    qint64 longestGap = 0;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        longestGap = std::max(longestGap, sinceLook.nsecsElapsed());
        const bool playing = engine.currentPosition() > target + 0.01;
        sinceLook.restart();
        if (clock.elapsed() > 30000 || playing)
            loop.quit();
    });
    poll.start(5);
    loop.exec();
    std::printf("engine   seek to the end after opening: %.1f ms to play from %.1f s; event loop "
                "held up at most %.1f ms (looking every 5 ms)\n",
                clock.nsecsElapsed() / 1e6, target, longestGap / 1e6);
    return 0;
}

// A MIDI file of one-second C major chords at 120 bpm.
int makeMidi(const char* path, int seconds) {
    QByteArray track = QByteArray::fromHex("00c000");
    for (int i = 0; i < seconds; ++i)
        track += QByteArray::fromHex("00903c64"
                                     "00904064"
                                     "00904364"
                                     "8740803c00"
                                     "00804000"
                                     "00804300");
    track += QByteArray::fromHex("00ff2f00");
    QByteArray be(4, '\0');
    qToBigEndian(quint32(track.size()), be.data());
    QFile f(QString::fromLocal8Bit(path));
    if (!f.open(QIODevice::WriteOnly))
        return 1;
    f.write("MThd" +
            QByteArray::fromHex("0000000600000001"
                                "01e0") +
            "MTrk" + be + track);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QByteArray mode = argc > 2 ? argv[1] : "";
    if (mode == "make-wav" && argc > 3)
        return makeWav(argv[2], std::atof(argv[3]));
    if (mode == "make-vox" && argc > 3)
        return makeVox(argv[2], std::atof(argv[3]));
    if (mode == "hold")
        return hold(QString::fromLocal8Bit(argv[2]));
    if (mode == "make-midi" && argc > 3)
        return makeMidi(argv[2], std::atoi(argv[3]));
    if (mode == "open")
        return open(QString::fromLocal8Bit(argv[2]),
                    argc > 4 && qstrcmp(argv[3], "--repeat") == 0 ? std::atoi(argv[4]) : 1);
    if (mode == "seek-end")
        return seekToEnd(QString::fromLocal8Bit(argv[2]));
    std::fprintf(stderr, "usage: engine_bench hold|open [--repeat N]|seek-end FILE | "
                         "make-wav|make-vox|make-midi PATH SECONDS\n");
    return 2;
}
