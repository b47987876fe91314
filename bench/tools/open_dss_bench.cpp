// open-dss-bench APPDIR DICTATION.dss [RUNS]
// The typist's road for a DSS dictation: the player's Open (command line) over
// the real libmpv engine and the real converter (tolvane, quillmere), timed
// from openPath() to the engine's openComplete for the wave file. The 300 ms
// pause of the player is included. Prints the best of RUNS in seconds.
#include "convert/file_converter.h"
#include "convert/vox_converter.h"
#include "core/player.h"
#include "core/settings.h"
#include "engine/mpv_engine.h"
#include "fakes/fake_devices.h"
#include "fakes/fake_prompts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

using namespace velloran;

namespace {

// Milliseconds to the open of the wave file, -1 when it did not open.
double timeOneOpen(const QString& appDir, const QString& dss) {
    MpvEngineOptions options;
    options.audioOutput = "null";
    MpvEngine engine(options);
    velloran::testing::MemorySettingsStore store;
    velloran::testing::RecordingPrompts prompts;
    velloran::testing::FakeSerialPort serial;
    velloran::testing::FakeGamePort gamePort;
    FileConverter files(appDir, store, conversionCacheFolder(), ConvertedFiles(QString()));
    DssConverter& converter = files.dss();
    Player player(engine, store, prompts, serial, gamePort);
    player.setConverter(&files);
    QTemporaryDir programDir;
    player.load(programDir.path());

    const QString wave = converter.wavePathFor(dss);
    QFile::remove(wave);
    QEventLoop loop;
    bool opened = false;
    QObject::connect(&engine, &MediaEngine::openComplete, &loop, [&] {
        if (engine.fileName() == wave) {
            opened = true;
            loop.quit();
        }
    });
    QObject::connect(&engine, &MediaEngine::openFailed, &loop, &QEventLoop::quit);
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    player.openPath(dss);
    if (!opened)
        loop.exec();
    const double ms = clock.nsecsElapsed() / 1e6;
    engine.pause();
    if (!opened || !prompts.errors.isEmpty()) {
        for (const QString& error : prompts.errors)
            std::fprintf(stderr, "open-dss-bench: %s\n", qPrintable(error));
        return -1;
    }
    std::fprintf(stderr, "open-dss-bench: %.0f ms, wave %.1f s long\n", ms, engine.duration());
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: open-dss-bench APPDIR DICTATION.dss [RUNS]\n");
        return 2;
    }
    const QString appDir = QString::fromLocal8Bit(argv[1]);
    const QString dss = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
    const int runs = argc > 3 ? std::atoi(argv[3]) : 1;
    double best = -1;
    for (int i = 0; i < runs; ++i) {
        const double ms = timeOneOpen(appDir, dss);
        if (ms < 0)
            return 1;
        if (best < 0 || ms < best)
            best = ms;
    }
    std::printf("%.2f\n", best / 1000.0);
    return 0;
}
