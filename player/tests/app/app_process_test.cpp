// The real program under private X and sound servers: start-up, first-run
// defaults, reopening the remembered file, saving on close and on SIGTERM, the
// window's place, and the remote control on the session bus.
#include "bus_signals.h"
#include "core/file_names.h"
#include "core/settings.h"
#include "core/settings_store.h"
#include "core/window_place.h"
#include "fakes/qt_printers.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>

#include <unistd.h>

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

/// The default sink's volume, as the raw value of its first channel.
int sinkVolume() {
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"),
                {QStringLiteral("get-sink-volume"), QStringLiteral("@DEFAULT_SINK@")});
    pactl.waitForFinished(5000);
    static const QRegularExpression channel(QStringLiteral(":\\s*(\\d+)\\s*/"));
    return channel.match(QString::fromLocal8Bit(pactl.readAllStandardOutput())).captured(1).toInt();
}

/// The raw sink volume for @p value of the player's 0..65535 mixer scale.
int rawSinkVolume(int value) {
    return static_cast<int>((qint64(value) * 65536 + 32767) / 65535);
}

void setSinkVolume(int value) {
    QProcess::execute(QStringLiteral("pactl"),
                      {QStringLiteral("set-sink-volume"), QStringLiteral("@DEFAULT_SINK@"),
                       QString::number(rawSinkVolume(value))});
}

/// Clicks at @p x, @p y in the first window titled @p pattern.
void clickInWindow(const QString& pattern, int x, int y) {
    QProcess search;
    search.start(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--name"), pattern});
    search.waitForFinished(5000);
    const QString id = QString::fromLocal8Bit(search.readAllStandardOutput()).split('\n').value(0);
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("mousemove"), QStringLiteral("--window"), id,
                       QString::number(x), QString::number(y), QStringLiteral("click"),
                       QStringLiteral("1")});
}

class AppProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        // Each test's dictation library starts empty, as its settings do.
        env.insert(QStringLiteral("XDG_DATA_HOME"), config.filePath(QStringLiteral("data")));
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

    /// Writes a 6-second "letter.wav" and the settings of a run that left it
    /// at @p position with @p volume.
    QString rememberLetter(const QString& position, const QString& volume) {
        const QString wav = work.filePath(QStringLiteral("letter.wav"));
        writeWav(wav, 6.0);
        IniSettingsStore store(settingsPath());
        writeSettingsDefaults(store);
        store.write(keys::CurrentFile, wav);
        store.write(keys::CurrentPosition, position);
        store.write(keys::VolumeValue, volume);
        return wav;
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
    setSinkVolume(40000);
    start();
    ASSERT_TRUE(waitWhileRunning([&] { return setting(keys::ThirdPedal) == QStringLiteral("3"); }));
    EXPECT_EQ(setting(keys::PortId), QStringLiteral("Game Port"));
    EXPECT_EQ(setting(keys::LargeChange), QStringLiteral("5"));
    EXPECT_EQ(setting(keys::PlayPress), QStringLiteral("True"));
    // The window is up and loaded: give it a moment, then end it as a session would.
    QThread::msleep(500);
    stopWith(SIGTERM);
    // No file was in hand: the exit invents none. The volume controls show
    // the mixer's level, which is saved.
    EXPECT_EQ(setting(keys::VolumeValue), QStringLiteral("20000"));
    EXPECT_EQ(sinkVolume(), rawSinkVolume(40000)) << "read, not written";
    EXPECT_EQ(setting(keys::CurrentFile), QString());
    EXPECT_EQ(setting(keys::CurrentPosition), QString());
    EXPECT_TRUE(QFile::exists(settingsPath()));
}

TEST_F(AppProcess, ReopensTheRememberedFileAtItsPositionAndSavesItOnSigint) {
    const QString wav = rememberLetter(QStringLiteral("2.75"), QStringLiteral("1234"));
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

// The strip's volume frame stands at 572 pixels, its picture slider two in.
TEST_F(AppProcess, ThePictureSliderSetsTheSystemVolumeAndTheExitSavesTheVolumeSlider) {
    rememberLetter(QStringLiteral("0"), QStringLiteral("2100"));
    setSinkVolume(50000);
    start();
    const QString title = QStringLiteral("letter.wav - Length");
    ASSERT_TRUE(waitWhileRunning([&] { return windowTitled(title, true); }));
    QThread::msleep(500);
    EXPECT_EQ(sinkVolume(), rawSinkVolume(50000)) << "start-up leaves the system volume alone";
    clickInWindow(title, 574 + 36, 10); // 540 twips: level 15200
    EXPECT_TRUE(waitWhileRunning([] { return sinkVolume() == rawSinkVolume(30400); }));
    QThread::msleep(200);
    stopWith(SIGTERM);
    EXPECT_EQ(setting(keys::VolumeValue), QStringLiteral("15200"));
}

// A name in Latin-1, which is not UTF-8, reaches the player as its bytes.
TEST_F(AppProcess, AFileOnTheCommandLineIsOpenedAndRemembered) {
    const QByteArray raw = QFile::encodeName(work.path()) + "/caf\xe9.wav";
    writeWav(work.filePath(QStringLiteral("made.wav")), 3.0);
    ::rename(QFile::encodeName(work.filePath(QStringLiteral("made.wav"))).constData(), raw.data());
    QString octal; // QProcess would pass the name as UTF-8 text; the shell passes bytes
    for (const char c : raw)
        octal += QStringLiteral("\\0%1").arg(uchar(c), 3, 8, QLatin1Char('0'));
    process.start(QStringLiteral("sh"),
                  {QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$(printf '%b' \"$1\")\""),
                   QStringLiteral(VELLORAN_EXE), octal});
    ASSERT_TRUE(waitWhileRunning([&] { return fileNameBytes(setting(keys::CurrentFile)) == raw; }));
    stopWith(SIGTERM);
    ::unlink(raw.constData()); // QTemporaryDir reads names as UTF-8
}

// A file where the settings folder should be: a box titled "Velloran" at start.
TEST_F(AppProcess, ASettingsFolderThatCannotBeWrittenIsToldAtStart) {
    QFile(config.filePath(QStringLiteral("Velloran"))).open(QIODevice::WriteOnly);
    writeWav(work.filePath(QStringLiteral("letter.wav")), 3.0);
    start({work.filePath(QStringLiteral("letter.wav"))});
    ASSERT_TRUE(waitWhileRunning([] { return windowTitled(QStringLiteral("letter.wav - ")); }));
    EXPECT_TRUE(waitWhileRunning([] { return windowTitled(QStringLiteral("^Velloran$"), true); }));
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
    // Remembered once it has opened.
    ASSERT_TRUE(waitWhileRunning([&] { return setting(keys::CurrentFile) == wav; }));
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
namespace {

/// The place of the visible window titled @p pattern, from the X server.
std::optional<QPoint> windowPlace(const QString& pattern) {
    QProcess query;
    query.start(
        QStringLiteral("sh"),
        {QStringLiteral("-c"),
         QStringLiteral("xdotool search --onlyvisible --name '%1' getwindowgeometry --shell")
             .arg(pattern)});
    if (!query.waitForFinished(5000) || query.exitCode() != 0)
        return std::nullopt;
    std::optional<int> x, y;
    for (const QByteArray& line : query.readAllStandardOutput().split('\n')) {
        if (line.startsWith("X="))
            x = line.mid(2).toInt();
        else if (line.startsWith("Y="))
            y = line.mid(2).toInt();
    }
    if (!x || !y)
        return std::nullopt;
    return QPoint(*x, *y);
}

void moveWindow(const QString& pattern, QPoint to) {
    QProcess::execute(QStringLiteral("sh"),
                      {QStringLiteral("-c"),
                       QStringLiteral("xdotool search --onlyvisible --name '%1' windowmove %2 %3")
                           .arg(pattern)
                           .arg(to.x())
                           .arg(to.y())});
}

TEST_F(AppProcess, TheStripComesBackWhereItWasPutIfThatIsStillOnTheScreen) {
    const QString title = QStringLiteral("^Velloran$");
    {
        IniSettingsStore store(settingsPath());
        writeSettingsDefaults(store);
        store.write(keys::WindowLeft, QStringLiteral("300"));
        store.write(keys::WindowTop, QStringLiteral("250"));
    }
    start();
    ASSERT_TRUE(waitWhileRunning([&] { return windowTitled(title, true); }));
    EXPECT_EQ(windowPlace(title), QPoint(300, 250));
    moveWindow(title, QPoint(120, 600));
    ASSERT_TRUE(waitFor([&] { return windowPlace(title) == QPoint(120, 600); }));
    QThread::msleep(300);
    stopWith(SIGTERM);
    EXPECT_EQ(setting(keys::WindowLeft), QStringLiteral("120"));
    EXPECT_EQ(setting(keys::WindowTop), QStringLiteral("600"));

    // A place on a screen that is no longer there (the test's is 1280x800).
    IniSettingsStore(settingsPath()).write(keys::WindowLeft, QStringLiteral("2400"));
    start();
    ASSERT_TRUE(waitWhileRunning([&] { return windowTitled(title, true); }));
    const std::optional<QPoint> placed = windowPlace(title);
    ASSERT_TRUE(placed.has_value());
    EXPECT_LT(placed->x(), 1280 - 100);
    stopWith(SIGTERM);
    EXPECT_EQ(setting(keys::WindowLeft), QString::number(placed->x()));
}

} // namespace

namespace {

/// A session bus of the test's own, so that the player's name and signals
/// meet nobody else's.
class PrivateSessionBus {
public:
    PrivateSessionBus() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (daemon_.waitForStarted(10000) && daemon_.waitForReadyRead(10000))
            address = QString::fromUtf8(daemon_.readLine().trimmed());
    }
    ~PrivateSessionBus() {
        QDBusConnection::disconnectFromBus(QStringLiteral("test-client"));
        daemon_.terminate();
        daemon_.waitForFinished(5000);
    }
    QDBusConnection client() const {
        return QDBusConnection::connectToBus(address, QStringLiteral("test-client"));
    }
    QString address;

private:
    QProcess daemon_;
};

const QString kMprisName = QStringLiteral("org.mpris.MediaPlayer2.velloran");
const QString kMprisPath = QStringLiteral("/org/mpris/MediaPlayer2");

/// Waits for @p condition while the test's own events (bus signals) run.
bool waitWithEvents(const std::function<bool()>& condition, int ms = 10000) {
    QDeadlineTimer deadline(ms);
    while (!condition() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return condition();
}

TEST_F(AppProcess, ARemoteOnTheSessionBusPlaysPausesAndSeeks) {
    PrivateSessionBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    QProcessEnvironment env = process.processEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address);
    process.setProcessEnvironment(env);
    const QString wav = work.filePath(QStringLiteral("letter.wav"));
    writeWav(wav, 30.0);
    start({wav});

    QDBusConnection client = bus.client();
    ASSERT_TRUE(client.isConnected());
    ASSERT_TRUE(waitWhileRunning(
        [&] { return client.interface()->isServiceRegistered(kMprisName).value(); }));
    BusSignals heard;
    client.connect(kMprisName, kMprisPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                   QStringLiteral("PropertiesChanged"), &heard, SLOT(take(QDBusMessage)));
    client.connect(kMprisName, kMprisPath, QStringLiteral("org.mpris.MediaPlayer2.Player"),
                   QStringLiteral("Seeked"), &heard, SLOT(take(QDBusMessage)));
    QDBusInterface root(kMprisName, kMprisPath, QStringLiteral("org.mpris.MediaPlayer2"), client);
    QDBusInterface player(kMprisName, kMprisPath, QStringLiteral("org.mpris.MediaPlayer2.Player"),
                          client);
    const auto status = [&] {
        return player.property("PlaybackStatus").toString();
    };
    const auto seconds = [&] {
        return player.property("Position").toLongLong() / 1e6;
    };
    EXPECT_EQ(root.property("Identity").toString(), QStringLiteral("Velloran"));
    EXPECT_EQ(root.property("DesktopEntry").toString(), QStringLiteral("velloran"));
    EXPECT_TRUE(player.property("CanSeek").toBool());
    EXPECT_FALSE(player.property("CanGoNext").toBool());
    EXPECT_DOUBLE_EQ(player.property("MaximumRate").toDouble(), 1.4);
    ASSERT_TRUE(waitWhileRunning([&] {
        const QVariantMap meta = qdbus_cast<QVariantMap>(player.property("Metadata"));
        // The title comes with the file's name, the length once it has opened.
        return meta.value(QStringLiteral("xesam:title")).toString() ==
                   QStringLiteral("letter.wav") &&
               meta.value(QStringLiteral("mpris:length")).toLongLong() > 0;
    }));
    const QVariantMap meta = qdbus_cast<QVariantMap>(player.property("Metadata"));
    EXPECT_NEAR(meta.value(QStringLiteral("mpris:length")).toLongLong() / 1e6, 30.0, 0.1);
    const QDBusObjectPath track =
        qvariant_cast<QDBusObjectPath>(meta.value(QStringLiteral("mpris:trackid")));
    EXPECT_EQ(status(), QStringLiteral("Stopped"));

    EXPECT_TRUE(player.call(QStringLiteral("PlayPause")).type() != QDBusMessage::ErrorMessage);
    ASSERT_TRUE(waitWhileRunning([&] { return status() == QStringLiteral("Playing"); }));
    // The change is announced, not only there to be read.
    EXPECT_TRUE(waitWithEvents([&] {
        for (const QDBusMessage& m : heard.received)
            if (m.member() == QStringLiteral("PropertiesChanged") &&
                qdbus_cast<QVariantMap>(m.arguments().value(1))
                        .value(QStringLiteral("PlaybackStatus"))
                        .toString() == QStringLiteral("Playing"))
                return true;
        return false;
    }));

    player.call(QStringLiteral("Seek"), qlonglong(8000000));
    ASSERT_TRUE(waitWhileRunning([&] { return seconds() > 7.5; }));
    EXPECT_LT(seconds(), 10.5);
    EXPECT_TRUE(waitWithEvents([&] {
        for (const QDBusMessage& m : heard.received)
            if (m.member() == QStringLiteral("Seeked") &&
                m.arguments().value(0).toLongLong() > 7500000)
                return true;
        return false;
    }));

    player.call(QStringLiteral("SetPosition"), QVariant::fromValue(track), qlonglong(20000000));
    ASSERT_TRUE(waitWhileRunning([&] { return seconds() > 19.5; }));
    EXPECT_LT(seconds(), 22.0);
    player.call(QStringLiteral("PlayPause"));
    ASSERT_TRUE(waitWhileRunning([&] { return status() == QStringLiteral("Paused"); }));
    const double pausedAt = seconds();
    QThread::msleep(500);
    EXPECT_NEAR(seconds(), pausedAt, 0.05);
    // Pause saved the place, as the toolbar's does.
    EXPECT_NEAR(leadingNumber(setting(keys::CurrentPosition)), pausedAt, 0.3);

    // Quit closes the window as the user would.
    root.call(QStringLiteral("Quit"));
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(setting(keys::CurrentFile), wav);
}

} // namespace

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

TEST_F(OnePlayer, ATimestampIsTypedIntoTheFocusedWindowAndTheSelectedOneIsGoneTo) {
    const QString wav = work.filePath(QStringLiteral("interview.wav"));
    const QString typed = work.filePath(QStringLiteral("typed.txt"));
    writeWav(wav, 100.0);
    startWith(wav);
    QProcess terminal;
    terminal.start(QStringLiteral("xterm"),
                   {QStringLiteral("-title"), QStringLiteral("Transcript"), QStringLiteral("-e"),
                    QStringLiteral("sh"), QStringLiteral("-c"),
                    QStringLiteral("stty -icanon -echo; exec cat > '%1'").arg(typed)});
    ASSERT_TRUE(waitFor([] { return windowTitled(QStringLiteral("^Transcript$")); }));
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("search"), QStringLiteral("--name"),
                       QStringLiteral("^Transcript$"), QStringLiteral("windowfocus"),
                       QStringLiteral("--sync")});
    const auto xclip = [](const char* selection, const QByteArray& text) {
        QProcess p;
        p.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QLatin1String(selection)});
        p.write(text);
        p.closeWriteChannel();
        p.waitForFinished(5000);
    };
    xclip("clipboard", "kept");
    for (int i = 0; i < 13; ++i) // Large Change 5 s: at 65 s
        EXPECT_EQ(command(QStringLiteral("forward")), 0);
    EXPECT_EQ(command(QStringLiteral("timestamp")), 0);
    EXPECT_TRUE(waitFor([&] { return fileBytes(typed) == "[00:01:05]"; }))
        << fileBytes(typed).data();
    QProcess paste;
    paste.start(QStringLiteral("xclip"),
                {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
    paste.waitForFinished(5000);
    EXPECT_EQ(paste.readAllStandardOutput(), "kept");

    xclip("primary", "unclear at [00:00:07] here");
    EXPECT_EQ(command(QStringLiteral("goto-timestamp")), 0);
    QThread::msleep(500);
    stopWith(SIGTERM);
    EXPECT_NEAR(leadingNumber(setting(keys::CurrentPosition)), 7.0, 0.05);
    terminal.kill();
    terminal.waitForFinished(5000);
}

TEST_F(OnePlayer, ACommandWithNoPlayerRunningFails) {
    QString error;
    EXPECT_EQ(runLater({QStringLiteral("--command"), QStringLiteral("bookmark")}, &error), 1);
    EXPECT_TRUE(error.contains(QStringLiteral("no player is running"))) << error.toStdString();
    EXPECT_EQ(runLater({QStringLiteral("--command"), QStringLiteral("eject")}, &error), 2);
    EXPECT_TRUE(error.contains(QStringLiteral("unknown action: eject")) &&
                error.contains(QStringLiteral("  speed-normal ")))
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
    press(QStringLiteral("F9")); // plays from 3 s less the step back: 0 s
    press(QStringLiteral("F9"));
    EXPECT_EQ(xdotool({QStringLiteral("getwindowfocus")}), typist);

    // The clear question takes the keyboard, a second Ctrl+F11 finds the same
    // box, and once it is answered the typist's window has the keyboard again.
    const auto boxes = [] {
        return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                        QStringLiteral("--name"), QStringLiteral("^Velloran$")})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
            .size();
    };
    press(QStringLiteral("ctrl+F11"));
    ASSERT_TRUE(waitFor([] { return windowTitled(QStringLiteral("^Velloran$"), true); }));
    press(QStringLiteral("ctrl+F11"));
    EXPECT_EQ(boxes(), 1);
    press(QStringLiteral("Escape"));
    EXPECT_TRUE(
        waitFor([&] { return xdotool({QStringLiteral("getwindowfocus")}) == typist; }, 3000));
    EXPECT_FALSE(windowTitled(QStringLiteral("^Velloran$"), true));
    stopWith(SIGTERM);
    // Played a moment from 0 s and paused there.
    const double position = leadingNumber(setting(keys::CurrentPosition));
    EXPECT_TRUE(position > 0.05 && position < 1.5) << position;
    EXPECT_TRUE(f10IsFree()); // given back when the player closed
    typing.kill();
    typing.waitForFinished(5000);
}

} // namespace
