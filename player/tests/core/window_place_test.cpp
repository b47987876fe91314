#include "core/window_place.h"
#include "fakes/fake_prompts.h"

#include <gtest/gtest.h>

using namespace velloran;
using velloran::testing::MemorySettingsStore;

namespace {

const QSize kStrip(760, 53);
const QList<QRect> kTwoScreens = {QRect(0, 0, 1920, 1050), QRect(1920, 0, 1280, 1024)};

class WindowPlace : public ::testing::Test {
protected:
    std::optional<QPoint> restoredAt(int left, int top, const QList<QRect>& screens = kTwoScreens) {
        writeWindowPlace(store, QPoint(left, top));
        return placeToRestore(store, kStrip, screens);
    }
    MemorySettingsStore store;
};

TEST_F(WindowPlace, IsStoredAsPlainWholeNumbersBesideTheOtherKeys) {
    writeWindowPlace(store, QPoint(-12, 1040));
    EXPECT_EQ(store.read(keys::WindowLeft), QStringLiteral("-12"));
    EXPECT_EQ(store.read(keys::WindowTop), QStringLiteral("1040"));
    EXPECT_EQ(readWindowPlace(store), QPoint(-12, 1040));
}

TEST_F(WindowPlace, ComesBackOnAnyConnectedScreen) {
    EXPECT_EQ(restoredAt(300, 900), QPoint(300, 900));
    EXPECT_EQ(restoredAt(2500, 10), QPoint(2500, 10));
    // Half over the edge between the screens, or partly off the right end.
    EXPECT_EQ(restoredAt(1600, 500), QPoint(1600, 500));
    EXPECT_EQ(restoredAt(3100, 500), QPoint(3100, 500));
}

TEST_F(WindowPlace, IsForgottenWhenItsScreenIsGoneOrTheStripCannotBeGrabbed) {
    // The second screen was unplugged since.
    EXPECT_EQ(restoredAt(2500, 10, {QRect(0, 0, 1920, 1050)}), std::nullopt);
    // Too little of the strip left on the screen, or its top edge off it.
    EXPECT_EQ(restoredAt(3150, 500), std::nullopt);
    EXPECT_EQ(restoredAt(-700, 500), std::nullopt);
    EXPECT_EQ(restoredAt(300, -20), std::nullopt);
    EXPECT_EQ(restoredAt(300, 1040), std::nullopt);
    EXPECT_EQ(restoredAt(300, 900, {}), std::nullopt);
}

TEST_F(WindowPlace, NeedsBothKeysAsWholeNumbers) {
    EXPECT_EQ(placeToRestore(store, kStrip, kTwoScreens), std::nullopt);
    store.write(keys::WindowLeft, QStringLiteral("300"));
    EXPECT_EQ(placeToRestore(store, kStrip, kTwoScreens), std::nullopt);
    for (const char* top : {"", "abc", "12px", "99999"}) {
        store.write(keys::WindowTop, QLatin1String(top));
        EXPECT_EQ(readWindowPlace(store), std::nullopt) << top;
    }
    store.write(keys::WindowTop, QStringLiteral(" 40 "));
    EXPECT_EQ(readWindowPlace(store), QPoint(300, 40));
}

} // namespace
