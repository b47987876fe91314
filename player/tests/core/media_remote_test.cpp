// What a desktop remote control does to the player: the toolbar's commands and
// the rewind and forward rules, in microseconds, and reports of changes kept
// to a few a second.
#include "core/media_remote.h"
#include "core/settings.h"
#include "player_fixture.h"

#include <QSignalSpy>
#include <QTest>

using namespace velloran;
using namespace velloran::testing;

namespace {

constexpr qint64 kSecond = 1000000;

class MediaRemoteTest : public PlayerTest {
protected:
    void SetUp() override {
        loadWithFile(200);
        remote = std::make_unique<MediaRemote>(player);
    }
    void at(double seconds) {
        engine.setCurrentPosition(seconds);
        pump();
    }
    double position() const { return engine.currentPosition(); }
    std::unique_ptr<MediaRemote> remote;
};

TEST_F(MediaRemoteTest, PlayStepsBackAndPlayPauseTogglesAsTheToolbarDoes) {
    at(50);
    EXPECT_EQ(remote->playbackStatus(), QStringLiteral("Stopped"));
    remote->playPause();
    EXPECT_EQ(remote->playbackStatus(), QStringLiteral("Playing"));
    EXPECT_DOUBLE_EQ(position(), 47); // the step back of 3 seconds
    engine.playTo(60);
    remote->playPause();
    EXPECT_EQ(remote->playbackStatus(), QStringLiteral("Paused"));
    EXPECT_EQ(store.read(keys::CurrentPosition), QStringLiteral("60")); // Pause saves the place
    // Pause when not playing changes nothing.
    store.values.remove(keys::CurrentPosition);
    remote->pause();
    EXPECT_EQ(store.read(keys::CurrentPosition), QString());
    remote->stop();
    EXPECT_EQ(remote->playbackStatus(), QStringLiteral("Stopped"));
    EXPECT_TRUE(player.state().stoppedByUser);
    EXPECT_EQ(store.read(keys::CurrentPosition), QStringLiteral("0"));
}

TEST_F(MediaRemoteTest, SeekMovesByTheRulesButNeverWrapsFromTheStartToTheEnd) {
    at(50);
    remote->seek(10 * kSecond);
    EXPECT_DOUBLE_EQ(position(), 60);
    remote->seek(-15 * kSecond);
    EXPECT_DOUBLE_EQ(position(), 45);
    remote->seek(-90 * kSecond);
    EXPECT_DOUBLE_EQ(position(), 0);
    // The rewind button jumps from the start to the end; a remote's seek back does not.
    remote->seek(-5 * kSecond);
    EXPECT_DOUBLE_EQ(position(), 0);
    EXPECT_EQ(remote->positionMicroseconds(), 0);
}

TEST_F(MediaRemoteTest, SetPositionTakesOnlyTheOpenTrackAndPlacesWithinIt) {
    at(50);
    const QString track = remote->trackId();
    EXPECT_NE(track, MediaRemote::kNoTrack);
    remote->setPosition(track, 120 * kSecond);
    EXPECT_DOUBLE_EQ(position(), 120);
    remote->setPosition(track, 30 * kSecond + 500000);
    EXPECT_DOUBLE_EQ(position(), 30.5);
    remote->setPosition(track, 201 * kSecond);
    remote->setPosition(track, -1);
    remote->setPosition(QStringLiteral("/org/velloran/Velloran/track/0"), 10 * kSecond);
    EXPECT_DOUBLE_EQ(position(), 30.5);
    // Another file opened: the old track id no longer places.
    const QString other = makeFile(QStringLiteral("other.wav"));
    player.openPath(other);
    pump();
    EXPECT_NE(remote->trackId(), track);
    EXPECT_EQ(remote->title(), QStringLiteral("other.wav"));
    at(5);
    remote->setPosition(track, 80 * kSecond);
    EXPECT_DOUBLE_EQ(position(), 5);
}

TEST_F(MediaRemoteTest, RateTakesTheNearestSpeedNotchWithinTheSlider) {
    EXPECT_DOUBLE_EQ(remote->minimumRate(), 0.6);
    EXPECT_DOUBLE_EQ(remote->maximumRate(), 1.4);
    remote->setRate(1.13);
    EXPECT_NEAR(engine.rate, 1.12, 1e-9);
    EXPECT_NEAR(remote->rate(), 1.12, 1e-9);
    EXPECT_EQ(player.display().speedValue, 3);
    remote->setRate(0.1);
    EXPECT_NEAR(engine.rate, 0.6, 1e-9);
    remote->setRate(3.0);
    EXPECT_NEAR(engine.rate, 1.4, 1e-9);
    // Rate 0 is a pause, and leaves the speed alone.
    remote->play();
    remote->setRate(0);
    EXPECT_EQ(remote->playbackStatus(), QStringLiteral("Paused"));
    EXPECT_NEAR(engine.rate, 1.4, 1e-9);
}

TEST_F(MediaRemoteTest, NothingIsDoneWhileTheSettingsPanelIsOpen) {
    at(50);
    player.toolbarClick(Player::SettingsButton);
    EXPECT_FALSE(remote->canControl());
    const QStringList before = engine.calls;
    remote->play();
    remote->seek(10 * kSecond);
    remote->setRate(1.2);
    remote->stop();
    EXPECT_EQ(engine.calls, before);
    EXPECT_DOUBLE_EQ(position(), 50);
}

TEST_F(MediaRemoteTest, ChangesAreReportedTogetherAtMostEveryQuarterSecond) {
    QSignalSpy changed(remote.get(), &MediaRemote::propertiesChanged);
    QSignalSpy seeked(remote.get(), &MediaRemote::seeked);
    // A held pedal: many seeks in a row, and a change of speed and status.
    for (int i = 0; i < 20; ++i) {
        player.rewindRule(1);
        pump();
    }
    remote->setRate(0.8);
    remote->play();
    player.posChange();
    pump();
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(seeked.count(), 0);
    ASSERT_TRUE(changed.wait(MediaRemote::kReportIntervalMs * 4));
    ASSERT_EQ(changed.count(), 1);
    const QStringList names = changed.at(0).at(0).toStringList();
    EXPECT_TRUE(names.contains(QStringLiteral("Rate")));
    EXPECT_TRUE(names.contains(QStringLiteral("PlaybackStatus")));
    EXPECT_FALSE(names.contains(QStringLiteral("Metadata")));
    ASSERT_EQ(seeked.count(), 1);
    EXPECT_EQ(seeked.at(0).at(0).toLongLong(), remote->positionMicroseconds());
    // Nothing more without a change.
    QTest::qWait(MediaRemote::kReportIntervalMs * 2);
    engine.emitTimer();
    QTest::qWait(MediaRemote::kReportIntervalMs * 2);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(seeked.count(), 1);
}

} // namespace
