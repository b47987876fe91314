// The About box, the credits window it opens, and the splash's busy pointer.
#include "gui/about_dialog.h"
#include "gui/credits_window.h"
#include "gui/splash_window.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace velloran;

namespace {

QString appDir() {
    return qEnvironmentVariable("VELLORAN_APPDIR");
}

TEST(AboutDialog, ShowsTheVersionAndClosesOnOk) {
    AboutDialog about(appDir());
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Velloran"));
    EXPECT_TRUE(about.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(about.isModal());
    EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("Label1"))->text(),
              QStringLiteral("Velloran ver 3.4"));
    EXPECT_FALSE(about.findChild<QLabel*>(QStringLiteral("Label2"))->text().isEmpty());
    EXPECT_FALSE(about.findChild<QLabel*>(QStringLiteral("Label3"))->text().isEmpty());
    EXPECT_FALSE(about.findChild<QLabel*>(QStringLiteral("Picture1"))->pixmap().isNull());
    auto* ok = about.findChild<QPushButton*>(QStringLiteral("cmdOK"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("&OK"));
    about.show();
    EXPECT_EQ(about.minimumSize(), about.maximumSize()); // no resizing, so no maximising
    EXPECT_EQ(about.size(), about.minimumSize());
    ok->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(AboutDialog, ADoubleClickOnThePictureOpensTheCredits) {
    AboutDialog about(appDir());
    int opened = 0;
    about.openCredits = [&] {
        ++opened;
    };
    about.show();
    auto* picture = about.findChild<QLabel*>(QStringLiteral("Picture1"));
    QTest::mouseClick(picture, Qt::LeftButton);
    EXPECT_EQ(opened, 0);
    QTest::mouseDClick(picture, Qt::LeftButton);
    EXPECT_EQ(opened, 1);
}

TEST(CreditsWindow, ScrollsTheFileOverTheGradientAndClosesAfterTheLastLine) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("credits.txt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("WWWWWWWW\r\n");
    file.close();

    CreditsWindow credits(path);
    EXPECT_EQ(credits.windowTitle(), QStringLiteral("Credits"));
    EXPECT_TRUE(credits.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(credits.timer().interval(), 15);
    EXPECT_TRUE(credits.timer().isActive());
    credits.timer().stop(); // ticked by hand below
    credits.show();

    // Line 1 starts at 18 + scroll: white while at 245 or below, faded above.
    // A tick paints, then moves up: the frame shows the line one pixel lower.
    const auto climbTo = [&](int y) {
        while (credits.scroll().lineTop(1) > y)
            credits.tick();
        return credits.grab().toImage();
    };
    const auto hasPixel = [](const QImage& frame, int top, const QColor& colour) {
        for (int y = top; y < top + 18; ++y)
            for (int x = 0; x < frame.width(); ++x)
                if (frame.pixelColor(x, y) == colour)
                    return true;
        return false;
    };
    QImage frame = climbTo(260);
    EXPECT_TRUE(hasPixel(frame, 260, Qt::white));
    EXPECT_EQ(frame.pixelColor(2, 2), QColor(0, 0, 255));                  // top band
    EXPECT_LT(frame.pixelColor(2, CreditsWindow::kHeight - 2).blue(), 10); // bottom band
    frame = climbTo(150);
    EXPECT_FALSE(hasPixel(frame, 151, Qt::white));
    EXPECT_TRUE(hasPixel(frame, 151, QColor(164, 164, 255))); // 151 x 255 / 235

    int ticks = 0;
    while (credits.isVisible() && ticks < 1000) {
        credits.tick();
        ++ticks;
    }
    EXPECT_FALSE(credits.isVisible());
    EXPECT_EQ(credits.scroll().lineTop(1), -26); // closed on the first tick below -25
    EXPECT_FALSE(credits.timer().isActive());
}

TEST(CreditsWindow, IsFixedAndDrawsOnlyWhatFitsOfAHugeLine) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("credits.txt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(10'000'000, 'W'));
    file.close();
    CreditsWindow credits(path);
    credits.timer().stop();
    EXPECT_EQ(credits.minimumSize(), credits.maximumSize());
    EXPECT_FALSE(credits.windowFlags() & Qt::WindowMaximizeButtonHint);
    ASSERT_EQ(credits.scroll().lines().size(), 1);
    EXPECT_GT(QFontMetrics(QFont()).horizontalAdvance(credits.scroll().lines().first()),
              CreditsWindow::kWidth);
    EXPECT_LE(credits.scroll().lines().first().size(), 200);
}

TEST(CreditsWindow, WithoutTheFileTheGradientStaysUntilClosed) {
    CreditsWindow credits(QStringLiteral("/nonexistent/credits.txt"));
    credits.show();
    for (int t = 0; t < 2000; ++t)
        credits.tick();
    EXPECT_TRUE(credits.isVisible());
    EXPECT_TRUE(credits.timer().isActive());
    credits.close();
}

TEST(SplashWindow, ShowsTheBusyPointerUntilItHandsOver) {
    SplashWindow splash(QStringLiteral("/nonexistent/splash.png"));
    splash.start();
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QTest::mouseClick(&splash, Qt::LeftButton);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
