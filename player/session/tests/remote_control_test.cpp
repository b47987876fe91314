// The one running player on a private session bus: a later start hands its
// file or command to the first.
#include "core/file_names.h"
#include "session/remote_control.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QDir>

#include "event_pump.h"

#include <gtest/gtest.h>

#include <functional>

using namespace velloran;
using namespace velloran::testing;

namespace {

/// A connection of its own, as a second process would have.
QDBusConnection ownConnection(const QString& name) {
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
}

class RemoteControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected())
            << "needs tests/run-with.sh --dbus";
        first = std::make_unique<RemoteControl>(ownConnection(QStringLiteral("first")));
        ASSERT_EQ(first->claim(), RemoteControl::Claim::Owned);
        first->openRequested = [this](const QString& path) {
            opened << path;
        };
        first->raiseRequested = [this] {
            ++raised;
        };
        first->commandRequested = [this](const QString& name) {
            commands << name;
        };
    }
    void TearDown() override {
        first.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("first"));
        QDBusConnection::disconnectFromBus(QStringLiteral("second"));
    }

    std::unique_ptr<RemoteControl> first;
    QStringList opened, commands;
    int raised = 0;
};

TEST_F(RemoteControlTest, ASecondStartFindsTheNameTakenAndHandsItsFileOver) {
    RemoteControl second(ownConnection(QStringLiteral("second")));
    EXPECT_EQ(second.claim(), RemoteControl::Claim::Taken);

    // Relative to the later start's folder, not the first player's.
    const QString name = fileNameFromBytes("dict \xe9.wav"); // not UTF-8: sent as a file: URL
    EXPECT_TRUE(RemoteControl::handOver(name, ownConnection(QStringLiteral("second"))));
    EXPECT_TRUE(pumpUntil([&] { return !opened.isEmpty(); }));
    EXPECT_EQ(opened, QStringList{QDir::current().absoluteFilePath(name)});

    EXPECT_TRUE(RemoteControl::handOver(QString(), ownConnection(QStringLiteral("second"))));
    EXPECT_TRUE(pumpUntil([&] { return raised == 1; }));
    EXPECT_EQ(opened.size(), 1);
}

TEST_F(RemoteControlTest, CommandsRunInTheFirstAfterTheCallerHasItsAnswer) {
    QString error;
    EXPECT_TRUE(RemoteControl::sendCommand(QStringLiteral("bookmark"), &error,
                                           ownConnection(QStringLiteral("second"))))
        << error.toStdString();
    EXPECT_TRUE(pumpUntil([&] { return commands == QStringList{"bookmark"}; }));

    EXPECT_FALSE(RemoteControl::sendCommand(QStringLiteral("eject"), &error,
                                            ownConnection(QStringLiteral("second"))));
    EXPECT_TRUE(error.contains(QStringLiteral("unknown command eject"))) << error.toStdString();

    bool ready = false;
    first->ready = [&] {
        return ready;
    };
    EXPECT_FALSE(RemoteControl::sendCommand(QStringLiteral("review"), &error,
                                            ownConnection(QStringLiteral("second"))));
    EXPECT_EQ(error, QStringLiteral("the player is still starting"));
    QCoreApplication::processEvents(QEventLoop::AllEvents, 200);
    EXPECT_EQ(commands, QStringList{"bookmark"});
}

TEST_F(RemoteControlTest, WithNoPlayerRunningTheCommandFailsAndTheNameIsFree) {
    first.reset();
    QString error;
    EXPECT_FALSE(RemoteControl::sendCommand(QStringLiteral("bookmark"), &error,
                                            ownConnection(QStringLiteral("second"))));
    EXPECT_EQ(error, QStringLiteral("no player is running"));
    RemoteControl next(ownConnection(QStringLiteral("second")));
    EXPECT_EQ(next.claim(), RemoteControl::Claim::Owned);
}

TEST(RemoteControlWithoutBus, RunsAlone) {
    RemoteControl alone(QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/velloran-bus"), QStringLiteral("none")));
    EXPECT_EQ(alone.claim(), RemoteControl::Claim::NoBus);
    QString error;
    EXPECT_FALSE(RemoteControl::sendCommand(
        QStringLiteral("bookmark"), &error,
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/velloran-bus"),
                                      QStringLiteral("none"))));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
