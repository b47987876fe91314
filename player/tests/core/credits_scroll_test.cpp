// The credits' scroll: line places, the fade, the closing tick, the file.
#include "core/credits_scroll.h"
#include "fakes/qt_printers.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velloran;
using Colour = CreditsScroll::Colour;

namespace {

TEST(CreditsScrollTest, LinesStartEighteenPixelsApartFromTheScrollPosition) {
    CreditsScroll scroll({"a", "b", "c"}, 300);
    EXPECT_EQ(scroll.lineTop(1), 318); // just below the bottom edge
    EXPECT_EQ(scroll.lineTop(3), 354);
    for (int t = 0; t < 100; ++t)
        scroll.advance();
    EXPECT_EQ(scroll.scroll(), 200);
    EXPECT_EQ(scroll.lineTop(2), 236);
}

TEST(CreditsScrollTest, LinesAreWhiteFrom245AndFadeAboveIt) {
    EXPECT_EQ(CreditsScroll::lineColour(400), (Colour{255, 255, 255}));
    EXPECT_EQ(CreditsScroll::lineColour(245), (Colour{255, 255, 255}));
    // Red and green at y·255/235, blue at y·255/25 capped at 255.
    EXPECT_EQ(CreditsScroll::lineColour(244), (Colour{255, 255, 255}));
    EXPECT_EQ(CreditsScroll::lineColour(235), (Colour{255, 255, 255}));
    EXPECT_EQ(CreditsScroll::lineColour(200), (Colour{217, 217, 255}));
    EXPECT_EQ(CreditsScroll::lineColour(47), (Colour{51, 51, 255}));
    EXPECT_EQ(CreditsScroll::lineColour(16), (Colour{17, 17, 163}));
    EXPECT_EQ(CreditsScroll::lineColour(15), (Colour{0, 0, 0}));
    EXPECT_EQ(CreditsScroll::lineColour(-30), (Colour{0, 0, 0}));
}

TEST(CreditsScrollTest, AOneLineFileClosesOnTheTickItsLinePassesMinus25) {
    const int height = 300;
    CreditsScroll scroll({"only"}, height);
    int ticks = 0;
    while (!scroll.closesNow() && ticks < 10000) {
        scroll.advance();
        ++ticks;
    }
    // 18 + scroll < -25 first holds at scroll -44.
    EXPECT_EQ(ticks, height + 44);
    EXPECT_EQ(scroll.lineTop(1), -26);
}

TEST(CreditsScrollTest, AnEmptyListNeverCloses) {
    CreditsScroll scroll({}, 10);
    for (int t = 0; t < 5000; ++t)
        scroll.advance();
    EXPECT_FALSE(scroll.closesNow());
}

TEST(CreditsScrollTest, TheGradientRunsInFiveRowBandsFromBlueToBlack) {
    const QList<CreditsScroll::Band> bands = CreditsScroll::gradient(100);
    ASSERT_EQ(bands.size(), 21); // y = 0, 5, ... 100
    EXPECT_EQ(bands.first().top, -1);
    EXPECT_EQ(bands.first().bottom, 6);
    EXPECT_EQ(bands.first().colour, (Colour{0, 0, 255}));
    EXPECT_EQ(bands.at(1).top, 4);
    EXPECT_EQ(bands.at(1).colour, (Colour{0, 0, 242})); // 255 - 12.75
    EXPECT_EQ(bands.at(10).colour, (Colour{0, 0, 128}));
    EXPECT_EQ(bands.last().colour, (Colour{0, 0, 0}));
    EXPECT_TRUE(CreditsScroll::gradient(0).isEmpty());
}

TEST(CreditsScrollTest, TheFileTakesCrLfAndLfAndAtMost3000Lines) {
    EXPECT_EQ(CreditsScroll::parseLines("one\r\ntwo\nthree\r\n"),
              (QStringList{"one", "two", "three"}));
    EXPECT_EQ(CreditsScroll::parseLines("\r\nlast"), (QStringList{"", "last"}));
    QByteArray many;
    for (int i = 0; i < 3005; ++i)
        many += "line\r\n";
    EXPECT_EQ(CreditsScroll::parseLines(many).size(), 3000);

    QTemporaryDir dir;
    EXPECT_TRUE(CreditsScroll::readFile(dir.filePath("missing.txt")).isEmpty());
    EXPECT_TRUE(CreditsScroll::readFile(dir.path()).isEmpty()); // a folder cannot be read
}

} // namespace
