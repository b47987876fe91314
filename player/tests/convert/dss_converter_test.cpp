// The DSS conversion over a stand-in launcher: a shell script called tolvane
// in a scratch program folder, which logs its arguments and writes (or does
// not write) the wave file.
#include "convert/dss_converter.h"
#include "convert/file_converter.h"
#include "core/settings.h"
#include "fakes/player_rig.h"
#include "fakes/qt_printers.h"
#include "file_bytes.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace velloran;

using velloran::testing::readAll;
using velloran::testing::writeAll;

namespace {

void backdate(const QString& path, int seconds) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-seconds),
                                 QFileDevice::FileModificationTime));
}

struct RecordedFeedback final : ConversionFeedback {
    void conversionStarted(const QString& text) override { events << "started:" + text; }
    void conversionFinished() override { events << QStringLiteral("finished"); }
    QStringList events;
};

class DssConverterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(appDir.isValid() && work.isValid());
        log = work.filePath(QStringLiteral("launcher.log"));
    }

    /// Installs a tolvane that logs each argument on a line of its own, then
    /// runs @p body with the destination in $dst.
    void installLauncher(const QString& body) {
        const QString script = appDir.filePath(QStringLiteral("tolvane"));
        writeAll(script, ("#!/bin/sh\n"
                          "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" +
                          log +
                          "'; done\n"
                          "dst=\"${1#*|}\"\n" +
                          body + "\n")
                             .toUtf8());
        QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    }
    void installWritingLauncher() {
        installLauncher(QStringLiteral("printf 'RIFF fresh' > \"$dst\""));
    }

    QString makeDss(const QString& relative) {
        const QString path = work.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        writeAll(path, QByteArray("\x02"
                                  "dss",
                                  4) +
                           QByteArray(1020, '\0'));
        return path;
    }
    QString folderOf(const QString& path) { return QFileInfo(path).absolutePath() + '/'; }
    QStringList launcherArguments() {
        return QString::fromUtf8(readAll(log)).split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir appDir;
    QTemporaryDir work;
    QString log;
    RecordedFeedback feedback;
};

TEST(DssWaveName, ReplacesTheLastExtension) {
    EXPECT_EQ(dssWaveName("Smith.2026-12-01.dss"), QStringLiteral("Smith.2026-12-01.wav"));
    EXPECT_EQ(dssWaveName("rec01.dss"), QStringLiteral("rec01.wav"));
    EXPECT_EQ(dssWaveName("rec01.DSS"), QStringLiteral("rec01.wav"));
    EXPECT_EQ(dssWaveName("noext"), QStringLiteral("noext.wav"));
    EXPECT_EQ(dssWaveName("letter.mp3"), QStringLiteral("letter.wav"));
    EXPECT_EQ(dssWaveName("trailing."), QStringLiteral("trailing.wav"));
    // A hidden name's only dot is not an extension.
    EXPECT_EQ(dssWaveName(".dss"), QStringLiteral(".dss.wav"));
}

TEST_F(DssConverterTest, StartsTheLauncherWithOneRequestAndReturnsTheFreshWave) {
    installWritingLauncher();
    // Blanks, a quote and shell syntax reach the launcher untouched: no shell in between.
    const QString dss = makeDss("dir with blanks/it's $(x); Smith.2026-12-01.dss");
    DssConverter converter(appDir.path(), {}, &feedback);
    const QString wave =
        converter.convertDssFile(folderOf(dss), QFileInfo(dss).fileName()).wavePath;
    const QString expected = folderOf(dss) + "it's $(x); Smith.2026-12-01.wav";
    EXPECT_EQ(wave, expected);
    EXPECT_EQ(launcherArguments(), QStringList{dss + '|' + expected});
    EXPECT_EQ(readAll(expected), QByteArray("RIFF fresh"));
    EXPECT_EQ(feedback.events,
              (QStringList{"started:Converting it's $(x); Smith.2026-12-01.dss...", "finished"}));
}

TEST_F(DssConverterTest, WaitsForTheLauncherWhileTimersKeepRunning) {
    installLauncher(QStringLiteral("sleep 0.4; printf 'RIFF late' > \"$dst\""));
    const QString dss = makeDss("rec01.dss");
    // A window's repaint stands for every non-input event the wait must let through.
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(50);
    DssConverter converter(appDir.path());
    const QString wave = converter.convertDssFile(folderOf(dss), "rec01.dss").wavePath;
    EXPECT_EQ(wave, work.filePath("rec01.wav"));
    EXPECT_EQ(readAll(wave), QByteArray("RIFF late"));
    EXPECT_GE(ticks, 3);
}

TEST_F(DssConverterTest, SaysWhyNoWaveFileCameOfIt) {
    const QString dss = makeDss("rec01.dss");
    DssConverter converter(appDir.path(), {}, &feedback);
    const auto errorOf = [&] {
        const ConversionOutcome outcome = converter.convertDssFile(folderOf(dss), "rec01.dss");
        EXPECT_FALSE(outcome.ok());
        return outcome.error;
    };
    EXPECT_EQ(errorOf(),
              "the converter " + appDir.filePath("tolvane") + " is missing or cannot start");
    EXPECT_EQ(feedback.events.last(), QStringLiteral("finished"));

    const struct {
        const char* launcher;
        QString error;
    } cases[] = {
        {"true", "the converter did not write a wave file"},
        {"printf 'garbage' > \"$dst\"", "the converter did not write a wave file"},
        {"exit 2", "the recording cannot be read, or it is not a DSS recording"},
        {"exit 4", "there is no room left for the wave file in " + work.path()},
        {"exit 5", "reading the recording failed (an input/output error: the disk or the share "
                   "may be failing)"},
        {"exit 6", "the decoder (quillmere) is missing or cannot start"},
        {"exit 7", "the recording is too long for a wave file"},
        {"exit 42", "the converter failed (exit code 42)"},
        {"kill -9 $$", "the converter stopped unexpectedly"},
    };
    for (const auto& c : cases) {
        installLauncher(QString::fromUtf8(c.launcher));
        EXPECT_EQ(errorOf(), c.error) << c.launcher;
    }
}

TEST_F(DssConverterTest, OverwritesOnlyWaveFilesItsOwnConversionsWrote) {
    // The launcher stamps its file two hours ahead, as a share whose clock runs
    // ahead would: the file's own earlier status is the reference, not our clock.
    installLauncher(QStringLiteral("printf 'RIFF fresh' > \"$dst\"; touch -d '+2 hours' \"$dst\""));
    const QString dss = makeDss("bursts.dss");
    writeAll(work.filePath("notes.txt"), "notes");
    writeAll(work.filePath("bursts.wav"), "RIFF the typist's own recording");
    ASSERT_TRUE(QFile::link(work.filePath("notes.txt"), work.filePath("bursts (2).wav")));
    DssConverter converter(appDir.path(), {}, nullptr,
                           ConvertedFiles(work.filePath("data/converted-files")));
    const QString mine = work.filePath("bursts (3).wav");
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(converter.convertDssFile(folderOf(dss), "bursts.dss").wavePath, mine) << run;
        EXPECT_EQ(readAll(mine), QByteArray("RIFF fresh"));
    }
    EXPECT_EQ(readAll(work.filePath("bursts.wav")), "RIFF the typist's own recording");
    EXPECT_EQ(readAll(work.filePath("notes.txt")), "notes");

    // Once changed by someone else, it is no longer ours to overwrite.
    writeAll(mine, "RIFF edited");
    EXPECT_EQ(converter.convertDssFile(folderOf(dss), "bursts.dss").wavePath,
              work.filePath("bursts (4).wav"));
    EXPECT_EQ(readAll(mine), "RIFF edited");
}

TEST_F(DssConverterTest, ConvertsIntoTheCacheWhenTheRecordingCarriesTheWaveName) {
    installWritingLauncher();
    const QString cache = work.filePath("cache/Velloran");
    // DSS recordings named *.wav, in two folders: each is its own destination
    // beside itself, and the two must not meet in the cache.
    const QString first = makeDss("a/rec01.wav");
    const QString second = makeDss("b/rec01.wav");
    DssConverter converter(appDir.path(), cache);
    const QString one = converter.convertDssFile(folderOf(first), "rec01.wav").wavePath;
    const QString two = converter.convertDssFile(folderOf(second), "rec01.wav").wavePath;
    EXPECT_TRUE(one.startsWith(cache + '/') && two.startsWith(cache + '/'))
        << one.toStdString() << two.toStdString();
    EXPECT_NE(one, two);
    EXPECT_EQ(QFileInfo(one).fileName(), "rec01.wav");
    EXPECT_EQ(readAll(one), QByteArray("RIFF fresh"));
    EXPECT_EQ(readAll(first).left(4), QByteArray("\x02"
                                                 "dss",
                                                 4));

    // Without a cache folder it is refused rather than converted onto itself.
    DssConverter noCache(appDir.path());
    EXPECT_FALSE(noCache.convertDssFile(folderOf(first), "rec01.wav").ok());
    EXPECT_EQ(readAll(first).left(4), QByteArray("\x02"
                                                 "dss",
                                                 4));
}

TEST_F(DssConverterTest, ConvertsIntoTheCacheBesideAReadOnlyFolder) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    installWritingLauncher();
    const QString dss = makeDss("share/rec01.dss");
    const QString share = work.filePath("share");
    QFile::setPermissions(share, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    DssConverter converter(appDir.path(), work.filePath("cache"));
    const QString wave = converter.convertDssFile(share + '/', "rec01.dss").wavePath;
    QFile::setPermissions(share,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_TRUE(wave.startsWith(work.filePath("cache/"))) << wave.toStdString();
    EXPECT_TRUE(wave.endsWith("/rec01.wav")) << wave.toStdString();
}

// ---- through the player ----------------------------------------------------

class DssOpeningTest : public DssConverterTest, protected velloran::testing::PlayerRig {
protected:
    // Taken back before it goes, as the player would otherwise reach for it.
    ~DssOpeningTest() override { player.setConverter(nullptr); }
    FileConverter fileConverter{appDir.path(), store, {}, ConvertedFiles(QString())};
};

TEST_F(DssOpeningTest, AConvertedDictationPlaysAndIsRememberedAsItsWave) {
    // A damaged recording converts, and the typist hears where once.
    installLauncher(QStringLiteral("printf 'RIFF fresh' > \"$dst\"; echo 'damaged 3 8.2 61.5'"));
    player.setConverter(&fileConverter);
    player.load(dir.path());
    const QString dss = makeDss("Smith.2026-12-01.dss");
    player.openPath(dss);
    pump();
    const QString wave = work.filePath("Smith.2026-12-01.wav");
    EXPECT_EQ(engine.fileName(), wave);
    EXPECT_EQ(engine.currentState(), MediaEngine::Running);
    EXPECT_EQ(store.values[keys::CurrentFile], wave);
    EXPECT_TRUE(store.values.value(keys::FiletoDelete).isEmpty());
    EXPECT_TRUE(prompts.errors.isEmpty());
    EXPECT_EQ(prompts.messages,
              QStringList{"The recording Smith.2026-12-01.dss is damaged: 3 of its frames could "
                          "not be decoded and play as silence, starting at 00:00:08, 00:01:02."});
}

TEST_F(DssOpeningTest, AFailedConversionKeepsTheDictationInHand) {
    installLauncher(QStringLiteral("true"));
    player.setConverter(&fileConverter);
    const QString inHand = loadWithFile(200);
    engine.setCurrentPosition(12);
    // An earlier conversion in this run left the converted flag set.
    player.state().converted = true;
    const QString dss = makeDss("rec01.dss");
    writeAll(work.filePath("rec01.wav"), "RIFF stale");
    backdate(work.filePath("rec01.wav"), 60);
    const int opens = engine.calls.filter(QStringLiteral("open:")).size();

    prompts.openFileAnswers << dss;
    player.toolbarClick(Player::OpenButton);
    pump();
    player.openPath(dss);
    pump();
    EXPECT_EQ(prompts.errors,
              QStringList(2, QStringLiteral("Unable to convert ") + dss +
                                 " to a wave file: the converter did not write a wave file."));
    EXPECT_EQ(engine.fileName(), inHand);
    EXPECT_EQ(engine.calls.filter(QStringLiteral("open:")).size(), opens);
    EXPECT_EQ(engine.currentPosition(), 12);
    EXPECT_NE(engine.currentState(), MediaEngine::Running);
    EXPECT_EQ(store.values[keys::CurrentFile], inHand);
    EXPECT_NE(player.state().selectedFile, dss);
}

} // namespace
