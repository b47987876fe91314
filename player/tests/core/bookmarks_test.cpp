#include "player_fixture.h"

#include "core/bookmarks.h"
#include "core/dictation_speed.h"

using namespace velloran;
using namespace velloran::testing;

namespace {

using Marker = Bookmarks::Marker;

class BookmarksTest : public PlayerTest {
protected:
    void setAt(double seconds) {
        engine.setCurrentPosition(seconds);
        player.posChange();
        player.addBookMark();
    }
    QList<Marker> dots() const { return player.bookmarks().markers(); }
};

TEST_F(BookmarksTest, ReviewFollowsTheSettingOrderAndCycles) {
    loadWithFile(100);
    player.moveToBookMark(); // none yet: nothing moves
    EXPECT_EQ(engine.currentPosition(), 0);

    setAt(10);
    setAt(5);
    setAt(20);
    EXPECT_EQ(player.bookmarks().count(), 4);
    // Dots sit 50 twips right of the filled bar: 10 %, 5 %, 20 % of 2000 twips.
    EXPECT_EQ(dots(), (QList<Marker>{{2, 250, false}, {3, 150, false}, {4, 450, false}}));

    engine.setCurrentPosition(50);
    player.moveToBookMark();
    EXPECT_EQ(engine.currentPosition(), 10);
    EXPECT_EQ(dots(), (QList<Marker>{{2, 250, true}, {3, 150, false}, {4, 450, false}}));
    player.moveToBookMark();
    EXPECT_EQ(engine.currentPosition(), 5);
    EXPECT_EQ(dots(), (QList<Marker>{{3, 150, true}, {4, 450, false}}));
    player.moveToBookMark();
    EXPECT_EQ(engine.currentPosition(), 20);
    EXPECT_EQ(dots(), (QList<Marker>{{4, 450, true}}));
    player.moveToBookMark();
    EXPECT_EQ(engine.currentPosition(), 10);
    EXPECT_TRUE(dots().isEmpty());
    player.moveToBookMark();
    EXPECT_EQ(engine.currentPosition(), 5);
    EXPECT_EQ(player.bookmarks().reviewIndex(), 2);
    EXPECT_EQ(engine.currentState(), MediaEngine::Stopped); // review never starts playback
}

TEST_F(BookmarksTest, DuplicatesAndBookmarksSetDuringAPassJoinTheEnd) {
    loadWithFile(100);
    setAt(30);
    setAt(30);
    player.moveToBookMark();
    setAt(60); // set while the pass is under way
    player.moveToBookMark();
    player.moveToBookMark();
    EXPECT_EQ(engine.currentPosition(), 60);
    EXPECT_EQ(player.bookmarks().positions(), (QList<double>{30, 30, 60}));
}

TEST_F(BookmarksTest, OpeningAFileClearsThemAndTheNextOneIsTheFirstAgain) {
    loadWithFile(100);
    setAt(10);
    setAt(20);
    player.moveToBookMark();
    prompts.openFileAnswers << makeFile(QStringLiteral("next.wav"));
    player.openFile();
    pump();
    EXPECT_TRUE(dots().isEmpty());
    EXPECT_EQ(player.bookmarks().count(), 1);
    EXPECT_EQ(player.bookmarks().reviewIndex(), 0);
    engine.setCurrentPosition(40);
    player.addBookMark();
    EXPECT_EQ(dots().size(), 1);
    EXPECT_EQ(dots()[0].index, 2);
    engine.setCurrentPosition(0);
    player.moveToBookMark();
    EXPECT_EQ(engine.currentPosition(), 40);
}

TEST_F(BookmarksTest, TheCountStopsAtItsLimitWithoutLosingTheLastBookmark) {
    loadWithFile(100);
    Bookmarks& marks = player.bookmarks();
    for (int i = 0; i < Bookmarks::kMostBookmarks; ++i)
        marks.add(0);
    engine.setCurrentPosition(77);
    marks.add(0);
    EXPECT_EQ(marks.count(), 32767);
    EXPECT_EQ(marks.positions().last(), 0);
}

// ---- the position bar ------------------------------------------------------

TEST_F(BookmarksTest, RightClickOnTheBarSeeksAndSetsABookmarkThere) {
    loadWithFile(60);
    player.barButtonDown(Qt::RightButton, 1000);
    EXPECT_DOUBLE_EQ(engine.currentPosition(), 30);
    EXPECT_EQ(player.bookmarks().positions(), QList<double>{30});
    EXPECT_EQ(dots(), (QList<Marker>{{2, 1050, false}}));
}

TEST_F(BookmarksTest, BarSeeksInWholePercentAndOnlyWithinItsLength) {
    loadWithFile(200);
    player.barButtonDown(Qt::LeftButton, 39); // floor(39 / 20) = 1 %
    EXPECT_DOUBLE_EQ(engine.currentPosition(), 2);
    EXPECT_EQ(player.display().barWidthTwips, 39);

    player.barMouseMove(Qt::LeftButton, 1990); // dragging scrubs
    EXPECT_DOUBLE_EQ(engine.currentPosition(), 198);
    player.barMouseMove(Qt::LeftButton | Qt::RightButton, 500); // not the left button alone
    player.barMouseMove(Qt::NoButton, 500);
    EXPECT_DOUBLE_EQ(engine.currentPosition(), 198);

    const int writes = engine.positionWrites;
    player.barButtonDown(Qt::LeftButton, 0);
    player.barButtonDown(Qt::LeftButton, 2001);
    EXPECT_EQ(engine.positionWrites, writes);
    player.barButtonDown(Qt::RightButton, 2500); // outside: only the bookmark
    EXPECT_EQ(player.bookmarks().positions(), QList<double>{198});
}

TEST_F(BookmarksTest, BarIgnoresTheMouseWhileTheSettingsPanelIsOpen) {
    loadWithFile(100);
    player.toolbarClick(Player::SettingsButton);
    player.barButtonDown(Qt::RightButton, 1000);
    EXPECT_EQ(engine.currentPosition(), 0);
    EXPECT_TRUE(dots().isEmpty());
    player.toolbarClick(Player::BookmarkButton); // the toolbar is disabled in the window; the
    EXPECT_EQ(dots().size(), 1);                 // action itself still works (hot keys)
}

// ---- speed and seek sliders ------------------------------------------------

TEST(DictationSpeed, EveryNotchIsFourHundredthsAroundExactlyOne) {
    for (int value = -10; value <= 10; ++value)
        EXPECT_NEAR(DictationSpeed::rateFor(value), 1.0 + value * 0.04, 1e-12) << value;
    EXPECT_EQ(DictationSpeed::rateFor(0), 1.0);
    EXPECT_NEAR(DictationSpeed::rateFor(-10), 0.6, 1e-12);
    EXPECT_NEAR(DictationSpeed::rateFor(10), 1.4, 1e-12);
    EXPECT_NEAR(DictationSpeed::rateFor(99), 1.4, 1e-12);
}

TEST_F(BookmarksTest, SpeedAppliesAtOnceAndIsNotAppliedAgainOnOpening) {
    loadWithFile(100);
    EXPECT_TRUE(engine.calls.filter(QStringLiteral("rate:")).isEmpty()); // load writes no rate
    player.toolbarClick(Player::PlayButton);
    player.speedSliderMoved(-5);
    EXPECT_NEAR(engine.rate, 0.8, 1e-12);
    EXPECT_EQ(engine.currentState(), MediaEngine::Running);
    EXPECT_EQ(player.display().speedValue, -5);
    EXPECT_EQ(player.speed().speedStep(), 5);
    player.speedSliderMoved(0);
    EXPECT_EQ(engine.rate, 1.0);

    player.speedSliderMoved(3);
    const int rates = engine.calls.filter(QStringLiteral("rate:")).size();
    player.openPath(makeFile(QStringLiteral("other.wav")));
    pump();
    EXPECT_EQ(engine.calls.filter(QStringLiteral("rate:")).size(), rates);
    EXPECT_EQ(player.display().speedValue, 3);
}

TEST_F(BookmarksTest, SeekSliderMovesToItsPercentageAndParksTheFocus) {
    loadWithFile(120);
    int focusMoves = 0;
    QObject::connect(&player, &Player::focusToSpeedSlider, [&] { ++focusMoves; });
    player.toolbarClick(Player::PlayButton);
    player.seekSliderMoved(25);
    EXPECT_DOUBLE_EQ(engine.currentPosition(), 30);
    EXPECT_EQ(engine.currentState(), MediaEngine::Running);
    EXPECT_EQ(focusMoves, 2);
}

} // namespace
