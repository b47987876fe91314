#include "window_rig.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

using namespace velloran;
using namespace velloran::testing;

namespace {

class PositionBarWidgetTest : public ::testing::Test, protected WindowRig {
protected:
    QFrame* dot(int index) {
        return window.findChild<QFrame*>(QStringLiteral("shpAdd%1").arg(index));
    }
    // A point on the bar @p twips from its left end.
    static QPoint at(int twips) { return {twips / 15, 8}; }
};

TEST_F(PositionBarWidgetTest, RightClickSeeksAndShowsARedDotThatReviewTurnsBlack) {
    loadAndShow(60);
    auto* bar = child<QLabel>("LBL2");
    ASSERT_NE(bar, nullptr);
    QTest::mouseClick(bar, Qt::RightButton, {}, at(1005));
    EXPECT_DOUBLE_EQ(engine.currentPosition(), 30);
    QFrame* first = dot(2);
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(first->property("reached").toBool());
    // Its middle sits 50 twips right of the click, just under the bar.
    EXPECT_EQ(first->geometry().center().x(), 1055 / 15);
    EXPECT_GE(first->y(), bar->parentWidget()->geometry().bottom());

    QTest::mouseClick(bar, Qt::RightButton, {}, at(1500));
    ASSERT_NE(dot(3), nullptr);
    button(10)->trigger(); // Review
    EXPECT_DOUBLE_EQ(engine.currentPosition(), 30);
    EXPECT_TRUE(dot(2)->property("reached").toBool());
    button(10)->trigger();
    EXPECT_EQ(dot(2), nullptr);
    EXPECT_TRUE(dot(3)->property("reached").toBool());
    button(10)->trigger();
    EXPECT_EQ(dot(3), nullptr);
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
