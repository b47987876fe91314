// The real program under a private X server: start-up, first-run defaults,
// reopening the remembered file, and saving on close and on SIGTERM.
#include "core/settings.h"
#include "core/settings_store.h"
#include "fakes/qt_printers.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <functional>

using namespace velloran;

namespace {

/// A short silent 16-bit mono WAV file.
void writeWav(const QString& path, double seconds) {
    const quint32 rate = 8000;
    const quint32 dataBytes = static_cast<quint32>(seconds * rate) * 2;
    QByteArray h;
    auto u32 = [&](quint32 v) {
        h.append(reinterpret_cast<const char*>(&v), 4);
    };
    auto u16 = [&](quint16 v) {
        h.append(reinterpret_cast<const char*>(&v), 2);
    };
    h.append("RIFF");
    u32(36 + dataBytes);
    h.append("WAVEfmt ");
    u32(16), u16(1), u16(1), u32(rate), u32(rate * 2), u16(2), u16(16);
    h.append("data");
    u32(dataBytes);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(h);
    file.write(QByteArray(dataBytes, '\0'));
}

bool waitFor(const std::function<bool()>& condition, int ms = 20000) {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (condition())
            return true;
        QThread::msleep(50);
    }
    return condition();
}

/// Whether a window whose title matches @p pattern is on the test's X server
/// (shown on the screen, with @p visible).
bool windowTitled(const QString& pattern, bool visible = false) {
    QProcess search;
    QStringList args{QStringLiteral("search"), QStringLiteral("--name"), pattern};
    if (visible)
        args.insert(1, QStringLiteral("--onlyvisible"));
    search.start(QStringLiteral("xdotool"), args);
    return search.waitForFinished(5000) && search.exitCode() == 0 &&
           !search.readAllStandardOutput().trimmed().isEmpty();
}

class AppProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        env.insert(QStringLiteral("VELLORAN_MPV_AO"), QStringLiteral("null"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
    }
    void TearDown() override {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    QString settingsPath() const {
        return config.filePath(QStringLiteral("Velloran/Velloran.conf"));
    }
    QString setting(const QString& key) const { return IniSettingsStore(settingsPath()).read(key); }

    /// waitFor(), but gives up at once when the program has ended.
    bool waitWhileRunning(const std::function<bool()>& condition) {
        return waitFor([&] {
                   if (process.state() == QProcess::NotRunning) {
                       ADD_FAILURE() << "velloran ended early, exit code " << process.exitCode();
                       return true;
                   }
                   return condition();
               }) &&
               process.state() != QProcess::NotRunning;
    }

    void start(const QStringList& args = {}) {
        process.start(QStringLiteral(VELLORAN_EXE), args);
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    /// The window is up once the load has run: it writes nothing then, so wait
    /// for a marker that the load produces in the store.
    void stopWith(int signal) {
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(20000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
    }

    QTemporaryDir config;
    QTemporaryDir work;
    QProcess process;
};

TEST_F(AppProcess, FirstRunWritesTheDefaultsAndSigtermSavesTheState) {
    start();
    ASSERT_TRUE(waitWhileRunning([&] { return setting(keys::ThirdPedal) == QStringLiteral("3"); }));
    EXPECT_EQ(setting(keys::PortId), QStringLiteral("Game Port"));
    EXPECT_EQ(setting(keys::LargeChange), QStringLiteral("5"));
    EXPECT_EQ(setting(keys::PlayPress), QStringLiteral("True"));
    // The window is up and loaded: give it a moment, then end it as a session would.
    QThread::msleep(500);
    stopWith(SIGTERM);
    // No file was in hand and the volume never set: the exit invents nothing.
    EXPECT_EQ(setting(keys::VolumeValue), QString());
    EXPECT_EQ(setting(keys::CurrentFile), QString());
    EXPECT_EQ(setting(keys::CurrentPosition), QString());
    EXPECT_TRUE(QFile::exists(settingsPath()));
}

TEST_F(AppProcess, ReopensTheRememberedFileAtItsPositionAndSavesItOnSigint) {
    const QString wav = work.filePath(QStringLiteral("letter.wav"));
    writeWav(wav, 6.0);
    {
        IniSettingsStore store(settingsPath());
        writeSettingsDefaults(store);
        store.write(keys::CurrentFile, wav);
        store.write(keys::CurrentPosition, QStringLiteral("2.75"));
        store.write(keys::VolumeValue, QStringLiteral("1234"));
    }
    start();
    // The caption shows the length once the file has opened and its position
    // has been restored.
    ASSERT_TRUE(waitWhileRunning(
        [] { return windowTitled(QStringLiteral("letter.wav - Length : 00:00:06")); }));
    QThread::msleep(300);
    stopWith(SIGINT);
    EXPECT_EQ(setting(keys::CurrentFile), wav);
    EXPECT_NEAR(leadingNumber(setting(keys::CurrentPosition)), 2.75, 0.05);
    EXPECT_EQ(setting(keys::VolumeValue), QStringLiteral("1234"));
}

// An unmounted share or a USB stick left at home: the next start opens nothing,
// and closing keeps the place for the start after.
TEST_F(AppProcess, ARememberedFileMissingAtStartIsStillRememberedAfterClosing) {
    const QString gone = work.filePath(QStringLiteral("stick/letter.wav"));
    {
        IniSettingsStore store(settingsPath());
        writeSettingsDefaults(store);
        store.write(keys::CurrentFile, gone);
        store.write(keys::CurrentPosition, QStringLiteral("42.5"));
        store.write(keys::VolumeValue, QStringLiteral("2100"));
    }
    start();
    ASSERT_TRUE(waitWhileRunning([] { return windowTitled(QStringLiteral("^Velloran$"), true); }));
    QThread::msleep(300);
    stopWith(SIGTERM);
    EXPECT_EQ(setting(keys::CurrentFile), gone);
    EXPECT_EQ(setting(keys::CurrentPosition), QStringLiteral("42.5"));
    EXPECT_EQ(setting(keys::VolumeValue), QStringLiteral("2100"));
}

TEST_F(AppProcess, AFileOnTheCommandLineIsOpenedAndRemembered) {
    const QString wav = work.filePath(QStringLiteral("from-file-manager.wav"));
    writeWav(wav, 3.0);
    start({wav});
    ASSERT_TRUE(waitWhileRunning([&] { return setting(keys::CurrentFile) == wav; }));
    stopWith(SIGTERM);
    EXPECT_EQ(setting(keys::CurrentFile), wav);
}

} // namespace

namespace {

TEST_F(AppProcess, ADviRecordingIsConvertedAndPlays) {
    const QString dvi = work.filePath(QStringLiteral("rec.dvi"));
    QByteArray header(972, '\0');
    header.replace(0, 3, "dvi");
    QByteArray audio;
    for (int i = 0; i < 16000; ++i) // four seconds of 4-bit ADPCM at 8000 Hz
        audio.append(static_cast<char>((i * 37) & 0x77));
    {
        QFile file(dvi);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(header + audio);
    }
    start({dvi});
    const QString wav = dvi + QStringLiteral(".WAV");
    ASSERT_TRUE(waitWhileRunning([&] { return setting(keys::FiletoDelete) == wav; }));
    EXPECT_EQ(setting(keys::CurrentFile), wav);
    QFile file(wav);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray converted = file.readAll();
    ASSERT_EQ(converted.size(), 60 + audio.size());
    EXPECT_EQ(converted.left(4), QByteArray("RIFF"));
    EXPECT_EQ(converted.mid(20, 2), QByteArray("\x00\x01", 2)); // format tag 0x0100
    EXPECT_EQ(converted.mid(60), audio);
    // It plays: once open, the position saved at the end moves on.
    ASSERT_TRUE(waitWhileRunning(
        [] { return windowTitled(QStringLiteral("rec.dvi.WAV - Length : 00:00:04")); }));
    QThread::msleep(1500);
    stopWith(SIGTERM);
    EXPECT_EQ(setting(keys::CurrentFile), wav);
    EXPECT_GT(leadingNumber(setting(keys::CurrentPosition)), 0.3);
}

} // namespace

#ifdef VELLORAN_HAVE_TOOLS
#include "test_support.h"

namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The whole road: velloran starts tolvane, which starts quillmere; the wave
// file lands beside the recording and plays.
TEST_F(AppProcess, ADssDictationIsConvertedBesideItselfAndPlays) {
    namespace vt = velloran::testing;
    const QString folder = work.filePath(QStringLiteral("dir with blanks"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString dss = folder + QStringLiteral("/Smith.2026-12-01.dss");
    vt::TempDir scratch;
    vt::DssRecording recording;
    recording.frames = vt::encodeLpFrames(scratch, 3.0);
    vt::writeDss(dss.toStdString(), recording);
    // Quillmere's own output on a copy, as the reference.
    const QString copy = work.filePath(QStringLiteral("copy.dss"));
    const QString reference = work.filePath(QStringLiteral("reference.wav"));
    ASSERT_TRUE(QFile::copy(dss, copy));
    vt::runProgram(vt::appDir() / "quillmere", {(copy + '|' + reference).toStdString()},
                   work.path().toStdString());
    ASSERT_GT(fileBytes(reference).size(), 44);

    start({dss});
    const QString wave = folder + QStringLiteral("/Smith.2026-12-01.wav");
    ASSERT_TRUE(waitWhileRunning([&] { return setting(keys::CurrentFile) == wave; }));
    EXPECT_EQ(fileBytes(wave), fileBytes(reference));
    ASSERT_TRUE(waitWhileRunning(
        [] { return windowTitled(QStringLiteral("Smith.2026-12-01.wav - Length : 00:00:03")); }));
    QThread::msleep(1500);
    stopWith(SIGTERM);
    EXPECT_EQ(setting(keys::CurrentFile), wave);
    EXPECT_GT(leadingNumber(setting(keys::CurrentPosition)), 0.3);
    EXPECT_EQ(setting(keys::FiletoDelete), QString());
}

// A recording the decoder cannot read, beside a wave file from long ago: the
// old wave file is not played, the user is told, and the dictation in hand stays.
TEST_F(AppProcess, AnUndecodableDssBesideAStaleWaveOpensNothing) {
    const QString letter = work.filePath(QStringLiteral("letter.wav"));
    writeWav(letter, 6.0);
    {
        IniSettingsStore store(settingsPath());
        writeSettingsDefaults(store);
        store.write(keys::CurrentFile, letter);
        store.write(keys::CurrentPosition, QStringLiteral("2.5"));
    }
    const QString dss = work.filePath(QStringLiteral("rec.dss"));
    {
        QFile file(dss);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\x02"
                              "dss",
                              4) +
                   QByteArray(2000, '\x7f'));
    }
    const QString stale = work.filePath(QStringLiteral("rec.wav"));
    writeWav(stale, 2.0);
    {
        QFile file(stale);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(QDateTime::currentDateTime().addDays(-2),
                         QFileDevice::FileModificationTime);
    }
    const QByteArray staleBytes = fileBytes(stale);

    start({dss});
    // The message box is the one window called just "Velloran": the main
    // window's caption still names the letter.
    ASSERT_TRUE(waitWhileRunning([] { return windowTitled(QStringLiteral("^Velloran$"), true); }));
    EXPECT_TRUE(windowTitled(QStringLiteral("letter.wav - Length : 00:00:06")));
    QThread::msleep(1000);
    EXPECT_TRUE(windowTitled(QStringLiteral("^Velloran$"), true));
    EXPECT_FALSE(windowTitled(QStringLiteral("rec.wav")));
    EXPECT_EQ(setting(keys::CurrentFile), letter);
    stopWith(SIGTERM);
    EXPECT_EQ(setting(keys::CurrentFile), letter);
    EXPECT_EQ(fileBytes(stale), staleBytes);
}

} // namespace
#endif

// One player per desktop session, on the test's private session bus.
namespace {

class OnePlayer : public AppProcess {
protected:
    /// Runs a later start of velloran to its end; returns its exit code.
    int runLater(const QStringList& args, QString* errorText = nullptr) {
        QProcess later;
        later.setProcessEnvironment(process.processEnvironment());
        later.start(QStringLiteral(VELLORAN_EXE), args);
        if (!later.waitForFinished(20000)) {
            later.kill();
            later.waitForFinished(5000);
            return -1;
        }
        if (errorText)
            *errorText = QString::fromLocal8Bit(later.readAllStandardError());
        return later.exitStatus() == QProcess::NormalExit ? later.exitCode() : -1;
    }
    int command(const QString& name) { return runLater({QStringLiteral("--command"), name}); }
    void startWith(const QString& wav) {
        start({wav});
        ASSERT_TRUE(waitWhileRunning(
            [&] { return windowTitled(QFileInfo(wav).fileName() + QStringLiteral(" - Length")); }));
    }
};

TEST_F(OnePlayer, ALaterStartHandsItsFileToTheRunningPlayerAndEnds) {
    ASSERT_FALSE(qgetenv("DBUS_SESSION_BUS_ADDRESS").isEmpty());
    const QString first = work.filePath(QStringLiteral("first.wav"));
    const QString second = work.filePath(QStringLiteral("second letter.wav"));
    writeWav(first, 4.0);
    writeWav(second, 3.0);
    startWith(first);

    EXPECT_EQ(runLater({second}), 0);
    ASSERT_TRUE(waitWhileRunning([&] { return setting(keys::CurrentFile) == second; }));
    EXPECT_TRUE(waitWhileRunning(
        [] { return windowTitled(QStringLiteral("second letter.wav - Length : 00:00:03")); }));
    // Without a file a later start only brings the window up.
    EXPECT_EQ(runLater({}), 0);
    QThread::msleep(300);
    EXPECT_EQ(setting(keys::CurrentFile), second);
    stopWith(SIGTERM);
}

TEST_F(OnePlayer, CommandsRunTheirActionsInTheRunningPlayer) {
    const QString wav = work.filePath(QStringLiteral("dictation.wav"));
    writeWav(wav, 20.0);
    startWith(wav);
    QThread::msleep(300);
    // Large skip 5 s: a bookmark at 5 s, back to the start, then review it.
    EXPECT_EQ(command(QStringLiteral("forward")), 0);
    QThread::msleep(300);
    EXPECT_EQ(command(QStringLiteral("bookmark")), 0);
    QThread::msleep(300);
    EXPECT_EQ(command(QStringLiteral("rewind")), 0);
    QThread::msleep(300);
    EXPECT_EQ(command(QStringLiteral("review")), 0);
    QThread::msleep(300);
    stopWith(SIGTERM);
    EXPECT_NEAR(leadingNumber(setting(keys::CurrentPosition)), 5.0, 0.05);
}

TEST_F(OnePlayer, ACommandWithNoPlayerRunningFails) {
    QString error;
    EXPECT_EQ(runLater({QStringLiteral("--command"), QStringLiteral("bookmark")}, &error), 1);
    EXPECT_TRUE(error.contains(QStringLiteral("no player is running"))) << error.toStdString();
    EXPECT_EQ(runLater({QStringLiteral("--command"), QStringLiteral("eject")}, &error), 2);
    EXPECT_TRUE(error.contains(QStringLiteral("usage: velloran --command open|bookmark")))
        << error.toStdString();
}

} // namespace

// The hot keys of the real program, pressed while another program has the focus.
namespace {

/// Whether another X client could grab F10 (no modifiers) on the root window now.
bool f10IsFree() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_setup_t* setup = xcb_get_setup(c);
    xcb_get_keyboard_mapping_reply_t* mapping = xcb_get_keyboard_mapping_reply(
        c,
        xcb_get_keyboard_mapping(c, setup->min_keycode,
                                 setup->max_keycode - setup->min_keycode + 1),
        nullptr);
    xcb_keycode_t f10 = 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping);
    const int per = mapping->keysyms_per_keycode;
    for (int code = setup->min_keycode; code <= setup->max_keycode && !f10; ++code)
        if (syms[(code - setup->min_keycode) * per] == 0xffc7)
            f10 = xcb_keycode_t(code);
    std::free(mapping);
    xcb_generic_error_t* error = xcb_request_check(
        c, xcb_grab_key_checked(c, 1, root, 0, f10, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    const bool free = error == nullptr && f10 != 0;
    std::free(error);
    xcb_disconnect(c);
    return free;
}

QString xdotool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

TEST_F(OnePlayer, HotKeysActWhileTheWordProcessorKeepsTheFocus) {
    const QString wav = work.filePath(QStringLiteral("hot.wav"));
    writeWav(wav, 20.0);
    EXPECT_TRUE(f10IsFree());
    startWith(wav);
    EXPECT_FALSE(f10IsFree());

    QProcess typing;
    typing.start(
        QStringLiteral("xmessage"),
        {QStringLiteral("-title"), QStringLiteral("WordProcessor"), QStringLiteral("text")});
    ASSERT_TRUE(waitFor([] { return windowTitled(QStringLiteral("^WordProcessor$")); }));
    const QString typist = xdotool({QStringLiteral("search"), QStringLiteral("--name"),
                                    QStringLiteral("^WordProcessor$")})
                               .section(QLatin1Char('\n'), 0, 0);
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), typist});

    // Small skip 1 s: on to 4 s, bookmark there (20 %), on to 7 s, back to the
    // bookmark, and one back from it.
    const auto press = [](const QString& key, int times = 1) {
        for (int i = 0; i < times; ++i) {
            xdotool({QStringLiteral("key"), key});
            QThread::msleep(250);
        }
    };
    press(QStringLiteral("F8"), 4);
    press(QStringLiteral("F10"));
    press(QStringLiteral("F8"), 3);
    press(QStringLiteral("F11"));
    press(QStringLiteral("F7"));
    EXPECT_EQ(xdotool({QStringLiteral("getwindowfocus")}), typist);
    stopWith(SIGTERM);
    EXPECT_NEAR(leadingNumber(setting(keys::CurrentPosition)), 3.0, 0.05);
    EXPECT_TRUE(f10IsFree()); // given back when the player closed
    typing.kill();
    typing.waitForFinished(5000);
}

} // namespace
