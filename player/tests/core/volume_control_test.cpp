#include "core/volume_control.h"
#include "fakes/fake_mixer.h"
#include "fakes/player_rig.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace velloran::testing {
namespace {

struct VolumeControlTest : PlayerRig, ::testing::Test {
    VolumeControlTest() : volume(player, mixer) {}

    /// Start-up as the window's load runs it, the remembered file present.
    void start(const QString& savedVolume = QStringLiteral("15200")) {
        if (!savedVolume.isNull())
            store.values[keys::VolumeValue] = savedVolume;
        loadWithFile();
        volume.prepare();
        pump();
    }

    /// Start-up with a saved volume of 2100 and the remembered file gone.
    void startWithTheFileMissing() {
        store.values[keys::VolumeValue] = QStringLiteral("2100");
        store.values[keys::CurrentFile] = dir.filePath(QStringLiteral("gone.wav"));
        player.load(dir.path());
        volume.prepare();
        pump();
    }

    FakeMixer mixer;
    VolumeControl volume;
};

TEST_F(VolumeControlTest, StartPlacesTheControlsFromTheSavedLevelAndLeavesTheMixerAlone) {
    start();
    EXPECT_EQ(player.display().volumeValue, 15200);
    EXPECT_EQ(player.display().volumeThumbLeftTwips, 434) << "15200 / 35, not 540";
    EXPECT_TRUE(mixer.values.isEmpty());
    EXPECT_EQ(volume.sliderMaximum(), 32767);
    EXPECT_FALSE(volume.muted());
    EXPECT_EQ(volume.pictureName(), QStringLiteral("wavebalance.bmp"));
}

TEST_F(VolumeControlTest, ThePictureSliderMapsTwipsOntoLevels) {
    start();
    QSignalSpy focus(&player, &Player::focusToSpeedSlider);
    struct Case {
        int x, left, level;
    };
    for (const Case& c : {Case{540, 540, 15200}, Case{939, 939, 30362}, Case{940, 1000, 32767},
                          Case{5000, 1000, 32767}, Case{141, 141, 38}, Case{140, 140, 0},
                          Case{100, 140, 0}, Case{982, 1000, 32767}}) {
        volume.pictureSliderInput(Qt::LeftButton, c.x);
        EXPECT_EQ(player.display().volumeThumbLeftTwips, c.left) << c.x;
        EXPECT_EQ(player.state().volumeLevel, c.level) << c.x;
        EXPECT_EQ(player.display().volumeValue, c.level) << c.x;
        EXPECT_EQ(mixer.values.last(), c.level * 2) << c.x;
    }
    EXPECT_EQ(focus.size(), 8);
    const auto before = mixer.values.size();
    volume.pictureSliderInput(Qt::RightButton, 300);
    volume.pictureSliderInput(Qt::LeftButton | Qt::RightButton, 300);
    volume.pictureSliderInput(Qt::NoButton, 300);
    EXPECT_EQ(mixer.values.size(), before);
    EXPECT_EQ(player.state().volumeLevel, 32767);
}

TEST_F(VolumeControlTest, MuteAndUnmute) {
    start();
    volume.pictureSliderInput(Qt::LeftButton, 540);
    volume.muteClicked();
    EXPECT_TRUE(volume.muted());
    EXPECT_EQ(volume.pictureName(), QStringLiteral("wavebalance1.bmp"));
    EXPECT_EQ(mixer.values.last(), 0);
    EXPECT_EQ(player.display().volumeValue, 15200) << "the sliders stay";
    volume.muteClicked();
    EXPECT_FALSE(volume.muted());
    EXPECT_EQ(mixer.values.last(), 30400);

    // The Volume slider sets the mixer but not the level un-muting restores.
    volume.volumeSliderScrolled(1000);
    EXPECT_EQ(mixer.values.last(), 2000);
    EXPECT_EQ(player.display().volumeThumbLeftTwips, 540);
    volume.muteClicked();
    volume.muteClicked();
    EXPECT_EQ(mixer.values.last(), 30400);
    volume.pictureSliderInput(Qt::LeftButton, 300);
    prompts.openFileAnswers << makeFile(QStringLiteral("b.wav"));
    player.toolbarClick(Player::OpenButton);
    volume.muteClicked();
    volume.muteClicked();
    EXPECT_EQ(mixer.values.last(), 12160) << "the sliders' level, not the saved one";
}

TEST_F(VolumeControlTest, MovingAVolumeControlWhileMutedShowsTheSoundOn) {
    start();
    volume.muteClicked();
    volume.volumeSliderScrolled(1000);
    EXPECT_FALSE(volume.muted()) << "sound plays, so the picture must not say muted";
    volume.muteClicked();
    volume.pictureSliderInput(Qt::LeftButton, 540);
    EXPECT_FALSE(volume.muted());
    volume.muteClicked();
    EXPECT_EQ(mixer.values.last(), 0) << "the next click mutes again";
}

TEST_F(VolumeControlTest, TheExitSavesTheVolumeSlider) {
    start();
    volume.pictureSliderInput(Qt::LeftButton, 540);
    volume.volumeSliderScrolled(1234);
    player.unload();
    EXPECT_EQ(store.values[keys::VolumeValue], QStringLiteral("1234"));
}

TEST_F(VolumeControlTest, AFirstRunShowsTheMixersLevelAndKeepsItAcrossAnOpen) {
    mixer.presentValue = 40000;
    player.load(dir.path());
    volume.prepare();
    pump();
    EXPECT_EQ(player.display().volumeValue, 20000);
    EXPECT_EQ(player.display().volumeThumbLeftTwips, VolumeControl::thumbLeftForLevel(20000));
    EXPECT_TRUE(mixer.values.isEmpty()) << "read, not written";
    // Opening a file reads the (still empty) saved volume: the level stays.
    prompts.openFileAnswers << makeFile(QStringLiteral("a.wav"));
    player.toolbarClick(Player::OpenButton);
    volume.muteClicked();
    volume.muteClicked();
    EXPECT_EQ(mixer.values.last(), 40000) << "un-muting does not fall silent";
    player.unload();
    EXPECT_EQ(store.values[keys::VolumeValue], QStringLiteral("20000"));
}

TEST_F(VolumeControlTest, ASavedVolumeWithTheFileMissingIsNeitherShownNorReplaced) {
    startWithTheFileMissing();
    EXPECT_EQ(player.display().volumeValue, 0);
    player.unload();
    EXPECT_EQ(store.values[keys::VolumeValue], QStringLiteral("2100"));
}

TEST_F(VolumeControlTest, AVolumeTheUserSetsIsSavedEvenWithTheFileMissing) {
    startWithTheFileMissing();
    volume.volumeSliderScrolled(5000);
    player.unload();
    EXPECT_EQ(store.values[keys::VolumeValue], QStringLiteral("5000"));
}

TEST_F(VolumeControlTest, NoMixerIsReportedOnceAndPlaybackGoesOn) {
    mixer.reachable = false;
    start();
    mixer.open(); // the adapter keeps looking and may fail again
    pump();
    EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("Unable to open the sound mixer.")});
    volume.pictureSliderInput(Qt::LeftButton, 540);
    volume.muteClicked();
    EXPECT_TRUE(mixer.values.isEmpty());
    player.toolbarClick(Player::PlayButton);
    EXPECT_EQ(engine.currentState(), MediaEngine::Running);
}

TEST_F(VolumeControlTest, BalanceGoesToTheEngine) {
    start();
    QSignalSpy focus(&player, &Player::focusToSpeedSlider);
    volume.balanceChanged(-5000);
    EXPECT_EQ(engine.balance, -5000);
    volume.balanceChanged(7000);
    EXPECT_EQ(engine.balance, 5000);
    EXPECT_EQ(focus.size(), 2);
    EXPECT_TRUE(mixer.values.isEmpty());
}

} // namespace
} // namespace velloran::testing
