#include "window_rig.h"

#include "gui/bookmark_dots.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPaintEvent>
#include <QSlider>
#include <QTest>

#include <functional>

#include <gtest/gtest.h>

using namespace velloran;
using namespace velloran::testing;

namespace {

class PositionBarWidgetTest : public ::testing::Test, protected WindowRig {
protected:
    BookmarkDots* dots() { return window.findChild<BookmarkDots*>(); }
    QRect dot(int index) { return dots()->dotRect(index); }
    // A point on the bar @p twips from its left end.
    static QPoint at(int twips) { return {twips / 15, 8}; }
    // Collects the areas a widget paints.
    struct PaintSpy : QObject {
        PaintSpy(QWidget* w, QRegion& painted) : painted_(painted) { w->installEventFilter(this); }
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint)
                painted_ |= static_cast<QPaintEvent*>(e)->region();
            return false;
        }
        QRegion& painted_;
    };
};

TEST_F(PositionBarWidgetTest, RightClickSeeksAndShowsARedDotThatReviewTurnsBlack) {
    loadAndShow(60);
    auto* bar = child<QLabel>("LBL2");
    ASSERT_NE(bar, nullptr);
    QTest::mouseClick(bar, Qt::RightButton, {}, at(1005));
    EXPECT_DOUBLE_EQ(engine.currentPosition(), 30);
    ASSERT_FALSE(dot(2).isEmpty());
    EXPECT_FALSE(dots()->isReached(2));
    // Its middle sits 50 twips right of the click, just under the bar.
    EXPECT_EQ(dot(2).center().x(), 1055 / 15);
    EXPECT_GE(dots()->mapTo(&window, dot(2).topLeft()).y(),
              bar->parentWidget()->mapTo(&window, QPoint(0, bar->parentWidget()->height())).y());

    QTest::mouseClick(bar, Qt::RightButton, {}, at(1500));
    ASSERT_FALSE(dot(3).isEmpty());
    button(10)->trigger(); // Review
    EXPECT_DOUBLE_EQ(engine.currentPosition(), 30);
    EXPECT_TRUE(dots()->isReached(2));
    button(10)->trigger();
    EXPECT_TRUE(dot(2).isEmpty());
    EXPECT_TRUE(dots()->isReached(3));
    button(10)->trigger();
    EXPECT_TRUE(dot(3).isEmpty());
}

TEST_F(PositionBarWidgetTest, ABookmarkActionRepaintsItsOwnDotsWhateverTheCount) {
    loadAndShow(1000);
    for (int i = 0; i < 1000; ++i) {
        engine.setCurrentPosition(i);
        player.posChange();
        player.addBookMark();
    }
    pump();
    QRegion painted;
    PaintSpy spy(dots(), painted);
    const int widgets = int(window.findChildren<QWidget*>().size());
    using Step = std::pair<const char*, std::function<void()>>;
    for (const auto& [name, action] : std::initializer_list<Step>{{"add",
                                                                   [&] {
                                                                       button(9)->trigger();
                                                                   }},
                                                                  {"review",
                                                                   [&] {
                                                                       button(10)->trigger();
                                                                   }},
                                                                  {"review again", [&] {
                                                                       button(10)->trigger();
                                                                   }}}) {
        painted = {};
        action();
        pump();
        // One dot added, or one turned black and the one before it gone.
        int area = 0;
        for (const QRect& r : painted)
            area += r.width() * r.height();
        EXPECT_GT(area, 0) << name;
        EXPECT_LE(area, 2 * BookmarkDots::kDotPx * BookmarkDots::kDotPx) << name;
        EXPECT_EQ(window.findChildren<QWidget*>().size(), widgets) << name;
    }
    EXPECT_EQ(dots()->dotCount(), 1000);
}

TEST_F(PositionBarWidgetTest, LeftDragScrubsAndTheOpenPanelStopsIt) {
    loadAndShow(200);
    auto* bar = child<QLabel>("LBL2");
    QTest::mousePress(bar, Qt::LeftButton, {}, at(390));
    EXPECT_DOUBLE_EQ(engine.currentPosition(), 38); // 19 %
    QMouseEvent move(QEvent::MouseMove, QPointF(at(1200)), bar->mapToGlobal(QPointF(at(1200))),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &move);
    EXPECT_DOUBLE_EQ(engine.currentPosition(), 120);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, at(1200));

    button(11)->trigger(); // the settings panel disables the bar
    EXPECT_FALSE(bar->isEnabled());
}

TEST_F(PositionBarWidgetTest, OnlyTheUsersMovesOfTheSlidersAct) {
    loadAndShow(120);
    auto* seek = child<QSlider>("sldMov");
    auto* speed = child<QSlider>("Slider1");
    ASSERT_NE(seek, nullptr);
    ASSERT_NE(speed, nullptr);
    EXPECT_EQ(speed->toolTip(), QStringLiteral("Speed of dictation"));

    // The display moves the thumb while playing: no seek.
    const int writes = engine.positionWrites;
    engine.playTo(60);
    pump();
    EXPECT_EQ(seek->value(), 50);
    EXPECT_EQ(engine.positionWrites, writes);

    // The user's move seeks, and the focus goes back to the speed slider.
    window.activateWindow();
    seek->setFocus();
    QTest::keyClick(seek, Qt::Key_End);
    EXPECT_DOUBLE_EQ(engine.currentPosition(), 120);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), speed);

    speed->setFocus();
    QTest::keyClick(speed, Qt::Key_Home);
    EXPECT_NEAR(engine.rate, 0.6, 1e-12);
    QTest::keyClick(speed, Qt::Key_Right);
    EXPECT_NEAR(engine.rate, 0.64, 1e-12);
    player.posChange(); // a refresh writes the value back without a rate
    const int rates = engine.calls.filter(QStringLiteral("rate:")).size();
    player.posChange();
    EXPECT_EQ(engine.calls.filter(QStringLiteral("rate:")).size(), rates);
    EXPECT_EQ(speed->value(), -9);
}

} // namespace
