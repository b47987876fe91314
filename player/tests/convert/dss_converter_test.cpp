// The DSS conversion over a stand-in launcher: a shell script called tolvane
// in a scratch program folder, which logs its arguments and writes (or does
// not write) the wave file.
#include "convert/dss_converter.h"
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
    const QString wave = converter.convertDssFile(folderOf(dss), QFileInfo(dss).fileName());
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
    const QString wave = converter.convertDssFile(folderOf(dss), "rec01.dss");
    EXPECT_EQ(wave, work.filePath("rec01.wav"));
    EXPECT_EQ(readAll(wave), QByteArray("RIFF late"));
    EXPECT_GE(ticks, 3);
}

TEST_F(DssConverterTest, RefusesAWaveFileThisConversionDidNotWrite) {
    const QString dss = makeDss("rec01.dss");
    const QString wave = work.filePath("rec01.wav");
    DssConverter converter(appDir.path(), {}, &feedback);

    // No launcher at all.
    EXPECT_EQ(converter.convertDssFile(folderOf(dss), "rec01.dss"), QString());
    EXPECT_EQ(feedback.events.last(), QStringLiteral("finished"));

    // A launcher that writes nothing: no wave file, then a stale one from an
    // earlier conversion, which is left alone.
    installLauncher(QStringLiteral("true"));
    EXPECT_EQ(converter.convertDssFile(folderOf(dss), "rec01.dss"), QString());
    writeAll(wave, "RIFF stale");
    backdate(wave, 3600);
    EXPECT_EQ(converter.convertDssFile(folderOf(dss), "rec01.dss"), QString());
    EXPECT_EQ(readAll(wave), QByteArray("RIFF stale"));

    // A fresh file that is not a wave file.
    installLauncher(QStringLiteral("printf 'garbage' > \"$dst\""));
    EXPECT_EQ(converter.convertDssFile(folderOf(dss), "rec01.dss"), QString());
}

// The file's own earlier status is the reference, not the clock: a wave file
// on a share whose clock runs ahead still counts as rewritten.
TEST_F(DssConverterTest, AcceptsARewrittenWaveFileWhateverItsTimeStamp) {
    installWritingLauncher();
    const QString dss = makeDss("rec01.dss");
    const QString wave = work.filePath("rec01.wav");
    writeAll(wave, "RIFF older");
    backdate(wave, -7200);
    DssConverter converter(appDir.path());
    EXPECT_EQ(converter.convertDssFile(folderOf(dss), "rec01.dss"), wave);
    EXPECT_EQ(readAll(wave), QByteArray("RIFF fresh"));
}

TEST_F(DssConverterTest, ConvertsIntoTheCacheWhenTheFolderCannotTakeTheWave) {
    installWritingLauncher();
    const QString cache = work.filePath("cache/Velloran");
    const QString dss = makeDss("rec01.dss");
    // A folder squatting on the wave file's name (reached as root too).
    ASSERT_TRUE(QDir(work.path()).mkdir("rec01.wav"));
    DssConverter converter(appDir.path(), cache);
    EXPECT_EQ(converter.convertDssFile(folderOf(dss), "rec01.dss"), cache + "/rec01.wav");
    EXPECT_EQ(launcherArguments(), QStringList{dss + '|' + cache + "/rec01.wav"});
    EXPECT_EQ(readAll(cache + "/rec01.wav"), QByteArray("RIFF fresh"));

    // Without a cache folder the conversion is tried beside it and refused.
    DssConverter noCache(appDir.path());
    EXPECT_EQ(noCache.convertDssFile(folderOf(dss), "rec01.dss"), QString());
}

TEST_F(DssConverterTest, ConvertsIntoTheCacheBesideAReadOnlyFolder) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    installWritingLauncher();
    const QString dss = makeDss("share/rec01.dss");
    const QString share = work.filePath("share");
    QFile::setPermissions(share, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    DssConverter converter(appDir.path(), work.filePath("cache"));
    const QString wave = converter.convertDssFile(share + '/', "rec01.dss");
    QFile::setPermissions(share,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(wave, work.filePath("cache/rec01.wav"));
}

// ---- through the player ----------------------------------------------------

class DssOpeningTest : public DssConverterTest, protected velloran::testing::PlayerRig {};

TEST_F(DssOpeningTest, AConvertedDictationPlaysAndIsRememberedAsItsWave) {
    installWritingLauncher();
    DssConverter converter(appDir.path());
    player.dssConverter = [&](const QString& folder, const QString& title) {
        return converter.convertDssFile(folder, title);
    };
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
}

TEST_F(DssOpeningTest, AFailedConversionKeepsTheDictationInHand) {
    installLauncher(QStringLiteral("true"));
    DssConverter converter(appDir.path());
    player.dssConverter = [&](const QString& folder, const QString& title) {
        return converter.convertDssFile(folder, title);
    };
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
              QStringList(2, QStringLiteral("Unable to convert ") + dss + " to a wave file."));
    EXPECT_EQ(engine.fileName(), inHand);
    EXPECT_EQ(engine.calls.filter(QStringLiteral("open:")).size(), opens);
    EXPECT_EQ(engine.currentPosition(), 12);
    EXPECT_NE(engine.currentState(), MediaEngine::Running);
    EXPECT_EQ(store.values[keys::CurrentFile], inHand);
    EXPECT_NE(player.state().selectedFile, dss);
}

} // namespace
