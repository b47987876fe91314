// The volume frame and the compact layout as the typist uses them.
#include "core/window_place.h"
#include "gui/window_placement.h"
#include "window_rig.h"

#include <QFrame>
#include <QLabel>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

using namespace velloran;
using namespace velloran::testing;

namespace {

class VolumeFrameTest : public ::testing::Test, protected WindowRig {
protected:
    void SetUp() override {
        store.values[keys::VolumeValue] = QStringLiteral("15200");
        loadAndShow(200);
        volume.prepare();
        pump();
    }
};

TEST_F(VolumeFrameTest, ThePictureSliderSetsTheMixerAndTheVolumeSlider) {
    auto* picture = child<QWidget>("picVolume");
    auto* thumb = child<QWidget>("picSlider");
    EXPECT_EQ(thumb->x(), 434 / 15) << "placed from the saved level";
    QTest::mousePress(picture, Qt::LeftButton, {}, QPoint(36, 9)); // 540 twips
    QTest::mouseRelease(picture, Qt::LeftButton, {}, QPoint(36, 9));
    ASSERT_FALSE(mixer.values.isEmpty());
    EXPECT_EQ(mixer.values.last(), 30400);
    EXPECT_EQ(thumb->x(), 36);
    EXPECT_EQ(child<QSlider>("Volume")->value(), 15200);
    EXPECT_EQ(QApplication::focusWidget(), child<QSlider>("Slider1"));
    QTest::mousePress(picture, Qt::RightButton, {}, QPoint(20, 9));
    EXPECT_EQ(mixer.values.size(), 1);
}

TEST_F(VolumeFrameTest, TheVolumeSliderAndTheMutePicture) {
    auto* slider = child<QSlider>("Volume");
    EXPECT_EQ(slider->maximum(), 32767);
    EXPECT_EQ(slider->pageStep(), 1000);
    EXPECT_TRUE(mixer.values.isEmpty()) << "start-up does not write the mixer";
    slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(mixer.values.last(), 2 * 16200);

    auto* mute = child<QLabel>("picVol");
    const QImage on = mute->pixmap().toImage();
    EXPECT_FALSE(on.isNull());
    QTest::mouseClick(mute, Qt::LeftButton);
    EXPECT_EQ(mixer.values.last(), 0);
    EXPECT_EQ(mute->frameShape(), QFrame::Box);
    EXPECT_NE(mute->pixmap().toImage(), on) << "the muted picture";
    QTest::mouseClick(mute, Qt::LeftButton);
    EXPECT_EQ(mixer.values.last(), 2 * 15200) << "the picture slider's level";
    EXPECT_EQ(mute->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(mute->pixmap().toImage(), on);
}

TEST_F(VolumeFrameTest, TheBalanceSliderMovesTheDictation) {
    auto* balance = child<QSlider>("sldBalance");
    EXPECT_EQ(balance->toolTip(), QStringLiteral("Balance"));
    EXPECT_EQ(balance->minimum(), -5000);
    EXPECT_EQ(balance->maximum(), 5000);
    EXPECT_EQ(balance->singleStep(), 1);
    EXPECT_EQ(balance->pageStep(), 5000);
    balance->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(engine.balance, -5000);
    EXPECT_TRUE(mixer.values.isEmpty());
}

class CompactModeTest : public ::testing::Test, protected WindowRig {
protected:
    void clickZoom() {
        QTest::mouseClick(child<QLabel>("picZoom"), Qt::LeftButton);
        pump();
    }
    static constexpr const char* kHidden[] = {"tlbVelloran", "Slider1",  "shpMarker", "Frame4",
                                              "frmVolume",   "lblMinus", "lblPlus"};
};

TEST_F(CompactModeTest, InAndOutRestoresEveryControlAndTheWidth) {
    loadAndShow(200);
    EXPECT_EQ(window.width(), 11265 / 15);
    auto* zoom = child<QLabel>("picZoom");
    EXPECT_EQ(zoom->toolTip(), QStringLiteral("Toggle Minimize"));
    const QImage zoomIn = zoom->pixmap().toImage();
    clickZoom();
    EXPECT_TRUE(compact.compact());
    EXPECT_EQ(window.width(), 2530 / 15);
    for (const char* name : kHidden)
        EXPECT_TRUE(child<QWidget>(name)->isHidden()) << name;
    EXPECT_EQ(child<QWidget>("frmProgress")->geometry().left(), 0);
    EXPECT_EQ(child<QWidget>("frmProgress")->width(), 140);
    EXPECT_EQ(zoom->x(), 142);
    EXPECT_EQ(zoom->frameShape(), QFrame::Box);
    EXPECT_NE(zoom->pixmap().toImage(), zoomIn);
    EXPECT_TRUE(child<QWidget>("LBL2")->isVisible());

    clickZoom();
    EXPECT_FALSE(compact.compact());
    EXPECT_EQ(window.width(), 11265 / 15);
    for (const char* name : kHidden)
        EXPECT_TRUE(child<QWidget>(name)->isVisible()) << name;
    EXPECT_EQ(child<QWidget>("frmProgress")->x(), 279);
    EXPECT_EQ(child<QWidget>("frmProgress")->width(), 293);
    EXPECT_EQ(zoom->x(), 728);
    EXPECT_EQ(zoom->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(zoom->pixmap().toImage(), zoomIn);
}

TEST_F(CompactModeTest, ACompactWindowMovedElsewhereReturnsToItsOldLeft) {
    loadAndShow(200);
    window.move(300, 40);
    clickZoom();
    EXPECT_EQ(compact.fullLeftTwips(), 300 * 15);
    window.move(520, 90);
    // Closed now, the next start opens the full strip where it stood.
    saveWindowPlace(window, store);
    EXPECT_EQ(readWindowPlace(store), QPoint(300, 90));
    clickZoom();
    EXPECT_EQ(window.x(), 300);
}

TEST_F(CompactModeTest, EnteringWithThePanelOpenClosesItUnsaved) {
    loadAndShow(200);
    button(11)->trigger();
    panel.fill();
    const QString large = store.values.value(keys::LargeChange);
    panel.largeText = QStringLiteral("9");
    clickZoom();
    EXPECT_EQ(player.display().heightTwips, 750);
    EXPECT_TRUE(player.display().controlsEnabled);
    EXPECT_FALSE(panel.isOpen);
    EXPECT_EQ(store.values.value(keys::LargeChange), large);
    EXPECT_TRUE(child<QWidget>("fraSettings")->isHidden());
    EXPECT_TRUE(serial.portOpen() && gamePort.isEnabled()) << "Cancel's devices come on";
}

TEST_F(CompactModeTest, TheBarStillSeeksAndBookmarks) {
    loadAndShow(200);
    clickZoom();
    auto* bar = child<QWidget>("LBL2");
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(67, 8)); // 1005 twips: 50 %
    EXPECT_DOUBLE_EQ(engine.currentPosition(), 100.0);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(67, 8));
    QTest::mousePress(bar, Qt::RightButton, {}, QPoint(30, 8));
    EXPECT_EQ(player.bookmarks().markers().size(), 1);
}

} // namespace
