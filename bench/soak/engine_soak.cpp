// engine_soak CYCLES EVERY WARMUP FILE...
// Opens the files in turn through the real engine, seeks into each, plays it for a
// moment and goes on to the next (which closes the one before); a fresh engine every 50
// cycles, so that closing an engine is part of the run. Resident memory and open
// descriptors are sampled every EVERY cycles. Fails when memory grows by more than 3 %
// from the first sample at or after WARMUP cycles (the allocator's arenas fill up over the
// first few hundred cycles, and stay so), or descriptors grow at all, or an open fails.
#include "engine/allocator.h"
#include "engine/mpv_engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <memory>

#include <malloc.h>
#include <unistd.h>

using velloran::MediaEngine;
using velloran::MpvEngine;

namespace {

// ENGINE_SOAK_PER_ENGINE overrides it, to tell growth per engine from growth per file.
constexpr int kCyclesPerEngine = 50;
constexpr int kPlayMs = 15;

// Freed memory that the allocator's per-thread arenas still hold (mpv starts threads for
// every file) is handed back first: what is left is what the process really keeps.
long residentKib() {
    ::malloc_trim(0);
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

int openDescriptors() {
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

bool openAndWait(MediaEngine& engine, const QString& path) {
    QEventLoop loop;
    bool opened = false;
    auto done = QObject::connect(&engine, &MediaEngine::openComplete, &loop, [&] {
        opened = true;
        loop.quit();
    });
    auto failed = QObject::connect(&engine, &MediaEngine::openFailed, &loop, [&] { loop.quit(); });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    engine.setFileName(path);
    if (!opened)
        loop.exec();
    QObject::disconnect(done);
    QObject::disconnect(failed);
    return opened;
}

void runEvents(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, ms);
}

} // namespace

int main(int argc, char** argv) {
    // As the player does: the soak is the player's engine over a long day.
    velloran::engine::returnLargeBuffersToTheSystem();
    QCoreApplication app(argc, argv);
    if (argc < 5) {
        std::fprintf(stderr, "usage: engine_soak CYCLES EVERY WARMUP FILE...\n");
        return 2;
    }
    const int cycles = std::atoi(argv[1]);
    const int every = std::max(1, std::atoi(argv[2]));
    const int warmup = std::atoi(argv[3]);
    QStringList files;
    for (int i = 4; i < argc; ++i)
        files << QString::fromLocal8Bit(argv[i]);

    velloran::MpvEngineOptions options;
    options.audioOutput = "null";
    const int perEngine = qEnvironmentVariableIntValue("ENGINE_SOAK_PER_ENGINE") > 0
                              ? qEnvironmentVariableIntValue("ENGINE_SOAK_PER_ENGINE")
                              : kCyclesPerEngine;
    std::unique_ptr<MpvEngine> engine;
    long firstKib = 0, peakKib = 0, lastKib = 0;
    int firstFds = 0, lastFds = 0, baselineCycle = 0;
    QElapsedTimer clock;
    clock.start();
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        if (!engine || cycle % perEngine == 0)
            engine = std::make_unique<MpvEngine>(options);
        const QString& file = files[(cycle - 1) % files.size()];
        if (!openAndWait(*engine, file)) {
            std::fprintf(stderr, "cycle %d: %s did not open\n", cycle, qPrintable(file));
            return 1;
        }
        engine->setCurrentPosition(engine->duration() * ((cycle * 37) % 100) / 100.0);
        engine->run();
        runEvents(kPlayMs);
        engine->pause();
        if (cycle % every == 0) {
            // Samples are taken with an engine open, as in every other cycle.
            lastKib = residentKib();
            lastFds = openDescriptors();
            if (firstKib == 0 && cycle >= warmup) {
                baselineCycle = cycle;
                firstKib = lastKib;
                firstFds = lastFds;
            }
            if (firstKib)
                peakKib = std::max(peakKib, lastKib);
            std::printf("cycle %6d  rss %7ld KiB  fds %3d  %.1f s\n", cycle, lastKib, lastFds,
                        clock.elapsed() / 1000.0);
            std::fflush(stdout);
        }
    }
    engine.reset();
    const double growth = firstKib ? 100.0 * double(lastKib - firstKib) / double(firstKib) : 0;
    std::printf("engine soak: %d cycles over %lld files in %.1f s; rss at cycle %d %ld, last %ld, "
                "peak %ld KiB (%+.1f %%); fds first %d, last %d\n",
                cycles, qsizetype(files.size()) * 1LL, clock.elapsed() / 1000.0, baselineCycle,
                firstKib, lastKib, peakKib, growth, firstFds, lastFds);
    // ENGINE_SOAK_MAX_GROWTH (percent) moves the memory bound. A leak of a few hundred
    // bytes a file (fluidsynth's library reopened for every MIDI file did that) shows
    // as several per cent over 10,000 cycles.
    const double limit = qEnvironmentVariableIsSet("ENGINE_SOAK_MAX_GROWTH")
                             ? qEnvironmentVariable("ENGINE_SOAK_MAX_GROWTH").toDouble()
                             : 3.0;
    const bool flat = growth <= limit && lastFds <= firstFds;
    if (!flat)
        std::printf("engine soak: FAILED, memory or descriptors grew\n");
    return flat ? 0 : 1;
}
