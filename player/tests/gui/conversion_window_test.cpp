#include "gui/conversion_window.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QLabel>
#include <QWidget>

#include <gtest/gtest.h>

using namespace velloran;

namespace {

void pumpFor(int ms) {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST(ConversionWindowTest, BusyCursorAtOnceWindowOnlyForALongConversion) {
    QWidget main;
    main.show();
    ConversionWindow feedback(&main);
    feedback.showDelayMs = 150;

    // A quick one: the cursor only.
    feedback.conversionStarted(QStringLiteral("Converting quick.dss..."));
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    pumpFor(50);
    EXPECT_EQ(feedback.window(), nullptr);
    feedback.conversionFinished();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    pumpFor(250);
    EXPECT_EQ(feedback.window(), nullptr);

    // A long one: the modal window with the text, until the end.
    feedback.conversionStarted(QStringLiteral("Converting rec01.dss..."));
    pumpFor(300);
    QDialog* window = feedback.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isModal());
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("conversionText"))->text(),
              QStringLiteral("Converting rec01.dss..."));
    // The user cannot close it; only the end of the conversion does.
    window->close();
    EXPECT_TRUE(window->isVisible());
    feedback.conversionFinished();
    EXPECT_EQ(feedback.window(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
