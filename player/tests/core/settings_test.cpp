#include "core/file_names.h"
#include "core/settings.h"
#include "core/settings_store.h"
#include "fakes/fake_prompts.h"
#include "fakes/qt_printers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <random>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace velloran;
using velloran::testing::MemorySettingsStore;

TEST(SettingsText, LeadingNumberTakesOnlyTheLeadingDecimalWithDot) {
    EXPECT_DOUBLE_EQ(leadingNumber(u"  2.5 seconds"), 2.5);
    EXPECT_DOUBLE_EQ(leadingNumber(u"83,52"), 83.0); // a locale comma ends the number
    EXPECT_DOUBLE_EQ(leadingNumber(u"-1"), -1.0);
    EXPECT_DOUBLE_EQ(leadingNumber(u"1e3x"), 1000.0);
    EXPECT_DOUBLE_EQ(leadingNumber(u"1e"), 1.0);
    EXPECT_EQ(leadingNumber(u"1e-400"), 0.0); // too small for a double, not too large
    EXPECT_DOUBLE_EQ(leadingNumber(u".5"), 0.5);
    EXPECT_DOUBLE_EQ(leadingNumber(u""), 0.0);
    EXPECT_DOUBLE_EQ(leadingNumber(u"abc"), 0.0);
    EXPECT_DOUBLE_EQ(leadingNumber(u"-"), 0.0);
}

TEST(SettingsText, NumberTextIsShortestWithDotAndReadsBackExactly) {
    for (double v : {83.52, 2.5, 0.1, 1e-7, 123456789.125, -3.0}) {
        const QString text = numberText(v);
        EXPECT_FALSE(text.contains(QLatin1Char(','))) << text.toStdString();
        EXPECT_EQ(leadingNumber(text), v) << text.toStdString();
    }
    EXPECT_EQ(numberText(83.52), QStringLiteral("83.52"));
    EXPECT_EQ(numberText(5), QStringLiteral("5"));
    EXPECT_EQ(numberText(-0.0), QStringLiteral("0"));
}

TEST(SettingsText, RoundingIsHalvesToEven) {
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(2.51), 3);
}

TEST(SettingsText, BooleansAndPedalCodes) {
    EXPECT_EQ(parseBool(u"True"), true);
    EXPECT_EQ(parseBool(u"false"), false);
    EXPECT_EQ(parseBool(u"-1"), true);
    EXPECT_EQ(parseBool(u"0"), false);
    EXPECT_EQ(parseBool(u"yes"), std::nullopt);
    EXPECT_EQ(parseBool(u""), std::nullopt);

    EXPECT_EQ(parsePedalCode(u"3"), 3);
    EXPECT_EQ(parsePedalCode(u" 4 "), 4);
    EXPECT_EQ(parsePedalCode(u"0"), std::nullopt);
    EXPECT_EQ(parsePedalCode(u"-1"), std::nullopt);
    EXPECT_EQ(parsePedalCode(u"Play"), std::nullopt);
    EXPECT_EQ(parsePedalCode(u"2abc"), std::nullopt);  // not a number as a whole
    EXPECT_EQ(parsePedalCode(u"99999"), std::nullopt); // beyond 16 bits
    EXPECT_EQ(parsePedalCode(u"2.5"), 2);
}

TEST(SettingsText, PortTextRule) {
    EXPECT_EQ(parsePortText(QStringLiteral("COM7")).kind, PortChoice::Serial);
    EXPECT_EQ(parsePortText(QStringLiteral("COM7")).commPort, 7);
    EXPECT_EQ(parsePortText(QStringLiteral("Game Port")).kind, PortChoice::GamePort);
    EXPECT_EQ(parsePortText(QStringLiteral("game port")).kind, PortChoice::None);
    EXPECT_EQ(parsePortText(QString()).kind, PortChoice::None);
    const PortChoice usb = parsePortText(QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(usb.kind, PortChoice::Serial);
    EXPECT_EQ(usb.devicePath, QStringLiteral("/dev/ttyUSB0"));
}

TEST(SettingsDefaults, FirstRunWritesTheNineInOrderAndKeepsOtherKeys) {
    MemorySettingsStore store;
    store.values[keys::SmallChange] = QStringLiteral("2");
    store.values[keys::FirstPedal] = QStringLiteral("3");
    store.values[keys::WavePath] = QStringLiteral("/home/t/dict");
    store.values[keys::CurrentPosition] = QStringLiteral("12.5");

    EXPECT_TRUE(ensureSettingsDefaults(store));
    EXPECT_EQ(store.writes, QStringList({"PortID=Game Port", "Large Change=5", "Small Change=1",
                                         "RewVal=3", "Play Press=True", "Play Toggle=False",
                                         "First Pedal=2", "Second Pedal=4", "Third Pedal=3"}));
    EXPECT_EQ(store.values[keys::WavePath], QStringLiteral("/home/t/dict"));
    EXPECT_EQ(store.values[keys::CurrentPosition], QStringLiteral("12.5"));

    store.writes.clear();
    EXPECT_FALSE(ensureSettingsDefaults(store));
    EXPECT_TRUE(store.writes.isEmpty());
}

TEST(SettingsLoad, ConvertsEachKeyByItsRule) {
    MemorySettingsStore store;
    writeSettingsDefaults(store);
    store.values[keys::LargeChange] = QStringLiteral("2.5");
    store.values[keys::SmallChange] = QStringLiteral("3.5");
    store.values[keys::RewVal] = QStringLiteral("1.5 s");
    store.values[keys::FirstPedal] = QStringLiteral("0");
    store.values[keys::SecondPedal] = QStringLiteral("letters");
    store.values[keys::PlayToggle] = QStringLiteral("maybe");

    PlayerState state;
    state.toggleMode = true;
    state.pedalAction = {7, 8, 0};
    loadPlayerState(store, state);
    EXPECT_EQ(state.largeSkip, 2); // halves to even
    EXPECT_EQ(state.smallSkip, 4);
    EXPECT_EQ(state.stepBack, 1.5); // the leading number, fraction kept
    EXPECT_TRUE(state.toggleMode);  // unreadable text leaves it
    EXPECT_EQ(state.pedalAction, (std::array<int, 3>{7, 8, 3}));
}

TEST(IniSettingsStore, WritesReachTheFileAndKeysKeepTheirBlanks) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Velloran/Velloran.conf"));
    {
        IniSettingsStore store(path);
        EXPECT_EQ(store.read(keys::LargeChange), QString());
        store.write(keys::LargeChange, QStringLiteral("5"));
        store.write(keys::CurrentFile, QStringLiteral("/home/t/a b.wav"));
        // On disk at once, before the store goes away.
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        EXPECT_TRUE(text.startsWith("[Setting]\n")) << text.constData();
        EXPECT_TRUE(text.contains("\nLarge Change=5\n")) << text.constData();
        IniSettingsStore other(path);
        EXPECT_EQ(other.read(keys::LargeChange), QStringLiteral("5"));
        EXPECT_EQ(other.read(keys::CurrentFile), QStringLiteral("/home/t/a b.wav"));
        store.checkWritable(); // a trial that leaves nothing behind
    }
    // Only the settings file is left behind: no temporary files.
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("Velloran"))).entryList(QDir::Files),
              QStringList{QStringLiteral("Velloran.conf")});
}

// A writer killed at any moment of a burst of writes leaves the file as one of its
// complete versions: never empty, cut short or missing.
TEST(IniSettingsStore, AKillDuringABurstOfWritesNeverLeavesABrokenFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Velloran/Velloran.conf"));
    const QStringList names = {keys::LargeChange, keys::CurrentFile, keys::PortId,
                               QStringLiteral("Burst A"), QStringLiteral("Burst B")};
    auto valueFor = [](int round, int key) {
        return QStringLiteral("v%1-%2").arg(round).arg(QString((round * 7 + key) % 300, 'x'));
    };
    {
        IniSettingsStore store(path);
        for (int k = 0; k < names.size(); ++k)
            store.write(names[k], valueFor(0, k));
    }
    const QRegularExpression wellFormed(QStringLiteral("^v(\\d+)-x*$"));
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> delayUs(0, 15000);
    for (int kill = 0; kill < 300; ++kill) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            IniSettingsStore store(path);
            for (int round = 1;; ++round)
                for (int k = 0; k < names.size(); ++k)
                    store.write(names[k], valueFor(round, k));
        }
        ::usleep(useconds_t(delayUs(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        QFile file(path);
        ASSERT_TRUE(file.exists()) << "after kill " << kill;
        ASSERT_GT(file.size(), 0) << "after kill " << kill;
        IniSettingsStore store(path);
        for (int k = 0; k < names.size(); ++k) {
            const QString value = store.read(names[k]);
            const auto match = wellFormed.match(value);
            ASSERT_TRUE(match.hasMatch() && value == valueFor(match.captured(1).toInt(), k))
                << "after kill " << kill << ": " << names[k].toStdString() << "="
                << value.toStdString();
        }
    }
}

TEST(IniSettingsStore, ReadsHandEditedAndQtWrittenFilesAndKeepsOddValues) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Velloran.conf"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("; a comment\r\nSmall Change=9\r\n[Setting]\r\nLarge%20Change=7\r\n  PortID = "
                   "/dev/ttyUSB0\r\n"
                   "[Other]\nPortID=COM9\n");
    }
    IniSettingsStore store(path);
    EXPECT_EQ(store.read(keys::LargeChange), QStringLiteral("7"));
    EXPECT_EQ(store.read(keys::PortId), QStringLiteral("/dev/ttyUSB0"));
    const QString odd = QStringLiteral("\f C:\\dict\\new\nline=x\r\t \v");
    store.write(keys::CurrentFile, odd);
    // Read from a copy: QSettings answers a path it has read before from memory.
    ASSERT_TRUE(QFile::copy(path, path + QStringLiteral("2")));
    EXPECT_EQ(IniSettingsStore(path + QStringLiteral("2")).read(keys::CurrentFile), odd);
    EXPECT_EQ(IniSettingsStore(path + QStringLiteral("2")).read(keys::SmallChange), QString());
    EXPECT_EQ(IniSettingsStore(path).read(keys::LargeChange), QStringLiteral("7"));
}

// A name made under a Latin-1 locale is not UTF-8: it is stored and read back as its bytes.
TEST(IniSettingsStore, AFileNameThatIsNotUtf8IsKeptAsItsBytes) {
    QTemporaryDir dir;
    const QByteArray raw =
        QFile::encodeName(dir.path()) + "/caf\xe9 \xff\xc3(\xed\xa0\x80\xf0\x9f\x8e\xa4.wav";
    ::close(::open(raw.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
    const QString name = fileNameFromBytes(raw);
    const QString path = dir.filePath(QStringLiteral("Velloran.conf"));
    IniSettingsStore(path).write(keys::CurrentFile, name);
    const QString back = IniSettingsStore(path).read(keys::CurrentFile);
    EXPECT_EQ(fileNameBytes(back), raw);
    QFile ini(path);
    ini.open(QIODevice::ReadOnly);
    EXPECT_TRUE(ini.readAll().contains("\nCurrentFile=" + raw + "\n"));
    ::unlink(raw.constData()); // beyond QTemporaryDir, which reads names as UTF-8
}

// A read-only folder, a file as folder (stops root too), a full disk: told once, with the reason.
TEST(IniSettingsStore, AWriteThatCannotReachTheFileIsToldOnceWithTheReason) {
    const QString told = QStringLiteral(
        "Unable to save the settings: %1. The place in the dictation will not be remembered.");
    QTemporaryDir dir;
    const QString readOnly = dir.filePath(QStringLiteral("read-only/Velloran.conf"));
    IniSettingsStore(readOnly).write(keys::CurrentPosition, QStringLiteral("1"));
    ASSERT_TRUE(QFile(dir.filePath(QStringLiteral("plain"))).open(QIODevice::WriteOnly));
    const QPair<QString, const char*> cases[] = {
        {readOnly, "Permission denied"},
        {dir.filePath(QStringLiteral("plain/Velloran/Velloran.conf")), "Not a directory"},
    };
    ::chmod(QFile::encodeName(dir.filePath(QStringLiteral("read-only"))).constData(), 0555);
    for (const auto& [path, reason] : cases) {
        if (::geteuid() == 0 && path == readOnly)
            continue; // root writes anywhere
        velloran::testing::RecordingPrompts prompts;
        IniSettingsStore store(path);
        store.setPrompts(&prompts);
        store.write(keys::CurrentPosition, QStringLiteral("12.5"));
        store.checkWritable();
        QCoreApplication::processEvents();
        EXPECT_EQ(prompts.errors, QStringList{told.arg(QLatin1String(reason))});
    }
    ::chmod(QFile::encodeName(dir.filePath(QStringLiteral("read-only"))).constData(), 0755);

    // A disk that fills up: the child may write files of 64 bytes at most.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        static QString logged;
        qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { logged += text; });
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        IniSettingsStore store(readOnly);
        store.write(keys::CurrentFile, QString(100, QLatin1Char('x')));
        store.write(keys::CurrentPosition, QStringLiteral("3"));
        ::_exit(logged.count(QStringLiteral(": File too large")) == 1 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(IniSettingsStore, DefaultPathFollowsXdgConfigHome) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/velloran-xdg");
    EXPECT_EQ(IniSettingsStore::defaultFilePath(),
              QStringLiteral("/tmp/velloran-xdg/Velloran/Velloran.conf"));
    qputenv("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_TRUE(IniSettingsStore::defaultFilePath().endsWith(
        QStringLiteral("/.config/Velloran/Velloran.conf")));

    // Started with neither set: the home from the password database, for the
    // settings and for the cache and data folders the conversions use.
    const QByteArray home0 = qgetenv("HOME");
    const QString home = QFile::decodeName(::getpwuid(::getuid())->pw_dir);
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
        qunsetenv(name);
    EXPECT_EQ(IniSettingsStore::defaultFilePath(),
              home + QStringLiteral("/.config/Velloran/Velloran.conf"));
    ensureHomeVariable();
    EXPECT_EQ(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation),
              home + QStringLiteral("/.cache"));
    EXPECT_EQ(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
              home + QStringLiteral("/.local/share"));
    qputenv("HOME", home0);
    qputenv("XDG_CONFIG_HOME", saved);
}
