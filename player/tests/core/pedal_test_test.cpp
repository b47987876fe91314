#include "core/pedal_test.h"
#include "fakes/fake_devices.h"
#include "fakes/fake_prompts.h"
#include "fakes/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace velloran;
using namespace velloran::testing;

namespace {

constexpr int kLeftButton = 2, kMiddleButton = 4, kRightButton = 3;

/// The test dialog's logic over its own pair of fake devices, with the six
/// pictures in a scratch program folder.
class PedalTestTest : public ::testing::Test {
protected:
    PedalTestTest() {
        QDir(app.path()).mkdir(QStringLiteral("bitmap"));
        for (int pedal = 1; pedal <= 3; ++pedal)
            for (const char* state : {"up", "down"})
                touch(QStringLiteral("pedal%1%2.bmp").arg(pedal).arg(QLatin1String(state)));
        dialog = std::make_unique<PedalTest>(serial, gamePort, prompts, app.path());
    }

    void touch(const QString& picture) {
        QFile file(app.filePath(QStringLiteral("bitmap/") + picture));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QString picture(const char* name) const {
        return app.path() + QStringLiteral("/bitmap/") + QLatin1String(name);
    }
    QStringList shown() const {
        return {dialog->picturePath(1), dialog->picturePath(2), dialog->picturePath(3)};
    }
    QStringList pictures(const char* left, const char* middle, const char* right) const {
        return {picture(left), picture(middle), picture(right)};
    }

    QTemporaryDir app;
    FakeSerialPort serial;
    FakeGamePort gamePort;
    RecordingPrompts prompts;
    std::unique_ptr<PedalTest> dialog;
};

const char* const kAllUp[] = {"pedal1up.bmp", "pedal2up.bmp", "pedal3up.bmp"};

TEST_F(PedalTestTest, SerialMiddlePedalTurnsItsPictureDownWhileHeld) {
    ASSERT_TRUE(dialog->checkPort(QStringLiteral("COM2")));
    EXPECT_EQ(serial.calls, QStringList({"open:/dev/ttyS1"}));
    EXPECT_EQ(shown(), pictures(kAllUp[0], kAllUp[1], kAllUp[2]));
    EXPECT_TRUE(prompts.errors.isEmpty());

    serial.setLines(false, true, false);
    EXPECT_EQ(shown(), pictures("pedal1up.bmp", "pedal2down.bmp", "pedal3up.bmp"));
    serial.setLines(false, false, false);
    EXPECT_EQ(shown(), pictures(kAllUp[0], kAllUp[1], kAllUp[2]));
}

TEST_F(PedalTestTest, SerialShowsOnePedalAtATime) {
    ASSERT_TRUE(dialog->checkPort(QStringLiteral("COM1")));
    serial.setLines(true, false, false);
    serial.setLines(true, true, false);
    EXPECT_EQ(shown(), pictures("pedal1down.bmp", "pedal2up.bmp", "pedal3up.bmp"));
    // Letting go of the left pedal shows it up; the middle one waits for the
    // next change.
    serial.setLines(false, true, false);
    EXPECT_EQ(shown(), pictures(kAllUp[0], kAllUp[1], kAllUp[2]));
    EXPECT_EQ(dialog->pedalDown(), 0);
    serial.setLines(false, true, true);
    EXPECT_EQ(shown(), pictures("pedal1up.bmp", "pedal2down.bmp", "pedal3up.bmp"));
}

TEST_F(PedalTestTest, GamePortShowsEveryPedalHeld) {
    ASSERT_TRUE(dialog->checkPort(QStringLiteral("Game Port")));
    EXPECT_TRUE(gamePort.isEnabled());
    EXPECT_TRUE(serial.calls.isEmpty());
    gamePort.press(kLeftButton);
    gamePort.press(kRightButton);
    EXPECT_EQ(shown(), pictures("pedal1down.bmp", "pedal2up.bmp", "pedal3down.bmp"));
    for (const int other : {1, 5})
        gamePort.press(other);
    EXPECT_EQ(shown(), pictures("pedal1down.bmp", "pedal2up.bmp", "pedal3down.bmp"));
    gamePort.release(kLeftButton);
    gamePort.press(kMiddleButton);
    EXPECT_EQ(shown(), pictures("pedal1up.bmp", "pedal2down.bmp", "pedal3down.bmp"));
}

TEST_F(PedalTestTest, PortThatFailsIsReportedAndTheDialogCloses) {
    const QString message = QStringLiteral("Inavalid Port or Port not responding");
    serial.failingDevices << QStringLiteral("/dev/ttyS1");
    EXPECT_FALSE(dialog->checkPort(QStringLiteral("COM2")));
    EXPECT_EQ(prompts.errors, QStringList({message}));
    EXPECT_FALSE(serial.portOpen());
    EXPECT_FALSE(gamePort.isEnabled());

    // Texts that give no port number fail the same way, without touching a
    // device: COM10 reads as port 0.
    for (const char* text : {"COM10", "COMx", "LPT1", ""}) {
        SCOPED_TRACE(text);
        PedalTest other(serial, gamePort, prompts, app.path());
        prompts.errors.clear();
        serial.calls.clear();
        EXPECT_FALSE(other.checkPort(QString::fromLatin1(text)));
        EXPECT_EQ(prompts.errors, QStringList({message}));
        EXPECT_FALSE(serial.portOpen());
        EXPECT_FALSE(serial.calls.contains(QStringLiteral("open:/dev/ttyS-1")));
    }
}

TEST_F(PedalTestTest, MissingPictureIsReportedAsABadPort) {
    ASSERT_TRUE(QFile::remove(app.filePath(QStringLiteral("bitmap/pedal3up.bmp"))));
    EXPECT_FALSE(dialog->checkPort(QStringLiteral("Game Port")));
    EXPECT_EQ(prompts.errors, QStringList({"Inavalid Port or Port not responding"}));
    EXPECT_FALSE(gamePort.isEnabled());
}

TEST_F(PedalTestTest, ExitClosesThePortSoOthersCanOpenIt) {
    ASSERT_TRUE(dialog->checkPort(QStringLiteral("/dev/ttyUSB0")));
    EXPECT_EQ(serial.devicePath(), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_TRUE(serial.portOpen());
    dialog->close();
    EXPECT_FALSE(serial.portOpen());
    EXPECT_FALSE(gamePort.isEnabled());

    // Events after Exit change nothing.
    serial.cd = true;
    emit serial.commEvent();
    EXPECT_EQ(shown(), pictures(kAllUp[0], kAllUp[1], kAllUp[2]));

    // A dialog that goes away without Exit closes its devices as well.
    auto again = std::make_unique<PedalTest>(serial, gamePort, prompts, app.path() + "/");
    ASSERT_TRUE(again->checkPort(QStringLiteral("Game Port")));
    EXPECT_EQ(again->picturePath(1), picture("pedal1up.bmp")) << "no doubled slash";
    again.reset();
    EXPECT_FALSE(gamePort.isEnabled());
}

} // namespace
