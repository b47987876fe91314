#include "gui/popup_hot_keys.h"
#include "gui/qt_user_prompts.h"
#include "gui/splash_window.h"
#include "window_rig.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <vector>

using namespace velloran;
using namespace velloran::testing;

namespace {

class MainWindowTest : public ::testing::Test, protected WindowRig {
protected:
    MainWindowTest() {
        window.openHelp = [this](const QString& path) {
            helpOpened << path;
        };
    }

    QStringList helpOpened;
};

TEST_F(MainWindowTest, ToolbarHasTwelveButtonsWithTheirTooltips) {
    auto* toolbar = child<QToolBar>("tlbVelloran");
    ASSERT_NE(toolbar, nullptr);
    ASSERT_EQ(toolbar->actions().size(), 12);
    EXPECT_EQ(toolbar->actions()[0]->toolTip(), QStringLiteral("Open file (Ctrl+F10)"));
    EXPECT_EQ(toolbar->actions()[9]->toolTip(), QStringLiteral("Review BookMarks (F11)"));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(MainWindowTest, StripStartsCollapsedAndFollowsThePlayer) {
    loadAndShow(200);
    EXPECT_EQ(window.height(), 800 / 15);
    engine.setCurrentPosition(83.4);
    player.posChange();
    EXPECT_EQ(child<QLineEdit>("txtCp")->text(), QStringLiteral("00:01:23"));
    EXPECT_EQ(child<QLineEdit>("txtPer")->text(), QStringLiteral("42 %"));
    EXPECT_EQ(child<QLabel>("LBL1")->width(), 840 / 15);
    EXPECT_EQ(child<QLabel>("LBL2")->text(), QStringLiteral("[ 00:01:23 ]            42 %"));
    EXPECT_EQ(child<QSlider>("sldMov")->value(), 42);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Velloran - dict.wav - Length : 00:03:20"));
}

TEST_F(MainWindowTest, ButtonsDriveTheEngineAndTheFocusEndsOnTheSpeedSlider) {
    loadAndShow(100);
    engine.setCurrentPosition(10);
    button(2)->trigger();
    EXPECT_EQ(engine.currentState(), MediaEngine::Running);
    EXPECT_EQ(engine.currentPosition(), 7);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), child<QSlider>("Slider1"));
    button(4)->trigger();
    EXPECT_EQ(engine.currentState(), MediaEngine::Stopped);
    EXPECT_EQ(child<QLineEdit>("txtCp")->text(), QStringLiteral("00:00:00"));
}

TEST_F(MainWindowTest, CommaAndFullStopSkipWhereverTheFocusIs) {
    loadAndShow(100);
    engine.setCurrentPosition(10);
    auto* speed = child<QSlider>("Slider1");
    speed->setFocus();
    QTest::keyClick(speed, Qt::Key_Period);
    EXPECT_EQ(engine.currentPosition(), 11);
    QTest::keyClick(&window, Qt::Key_Comma);
    EXPECT_EQ(engine.currentPosition(), 10);
    QTest::keyClick(speed, Qt::Key_A);
    EXPECT_EQ(engine.currentPosition(), 10);
}

TEST_F(MainWindowTest, PositionBoxesPassTheFocusOn) {
    loadAndShow(100);
    window.activateWindow();
    child<QLineEdit>("txtCp")->setFocus();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), child<QSlider>("Slider1"));
}

TEST_F(MainWindowTest, SettingsButtonGrowsTheWindowAndDisablesTheControls) {
    loadAndShow(100);
    button(11)->trigger();
    EXPECT_EQ(window.height(), 2370 / 15);
    EXPECT_FALSE(child<QToolBar>("tlbVelloran")->isEnabled());
    EXPECT_FALSE(child<QSlider>("Slider1")->isEnabled());
    EXPECT_FALSE(child<QSlider>("Volume")->isEnabled());
}

TEST_F(MainWindowTest, HelpMenuHoldsHelpAndAbout) {
    QMenu* menu = window.helpMenu();
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("&Help"));
    EXPECT_TRUE(menu->actions()[1]->isSeparator());
    EXPECT_EQ(menu->actions()[2]->text(), QStringLiteral("&About Velloran"));
    player.load(dir.path());
    menu->actions()[0]->trigger();
    EXPECT_EQ(helpOpened, QStringList{dir.path() + QStringLiteral("/Help/index.html")});
    QSignalSpy about(&window, &MainWindow::aboutRequested);
    menu->actions()[2]->trigger();
    EXPECT_EQ(about.count(), 1);
}

TEST_F(MainWindowTest, HotKeysPressedInTheOpenHelpMenuCloseItAndAct) {
    loadAndShow(100);
    QList<int> ran;
    PopupHotKeys keys(HotKeys::table(), [&](int id) { ran << id; });
    QTest::keyClick(child<QSlider>("Slider1"), Qt::Key_F10); // the grabs' own work
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::vector<int> ran;
    } cases[] = {{Qt::Key_F10, Qt::NoModifier, {1111}},
                 {Qt::Key_F11, Qt::ControlModifier, {1113}},
                 {Qt::Key_F8, Qt::NoModifier, {1115}},
                 {Qt::Key_F10, Qt::ShiftModifier, {}},
                 {Qt::Key_Down, Qt::NoModifier, {}}};
    for (const auto& c : cases) {
        ran.clear();
        button(12)->trigger();
        ASSERT_EQ(QApplication::activePopupWidget(), window.helpMenu());
        QTest::keyClick(window.helpMenu(), c.key, c.modifiers);
        pump();
        // As std::vector: QList compares two empty lists by memcmp on null pointers.
        EXPECT_EQ(std::vector<int>(ran.cbegin(), ran.cend()), c.ran) << c.key;
        EXPECT_EQ(window.helpMenu()->isVisible(), c.ran.empty()) << c.key;
        window.helpMenu()->close();
    }
}

TEST_F(MainWindowTest, MinimisingShowsThePercentageInTheCaption) {
    loadAndShow(200);
    engine.setCurrentPosition(100);
    player.posChange();
    window.showMinimized();
    QCoreApplication::processEvents();
    player.windowResized(true); // the offscreen platform may not report the state change
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Velloran - 50 %"));
}

TEST_F(MainWindowTest, ClosingSavesOnceAndRunsTheEnding) {
    loadAndShow(100);
    engine.setCurrentPosition(12.5);
    int endings = 0;
    window.afterUnload = [&] {
        ++endings;
    };
    window.close();
    EXPECT_EQ(store.values[keys::CurrentPosition], QStringLiteral("12.5"));
    EXPECT_EQ(endings, 1);
}

/// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

TEST_F(MainWindowTest, PositionDisplayPaintsAtOnceWithoutTheEventLoop) {
    loadAndShow(200);
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(); // no paint left pending
    auto* txtCp = child<QLineEdit>("txtCp");
    PaintCounter time(txtCp), percent(child<QLineEdit>("txtPer")), bar(child<QFrame>("picBar")),
        seek(child<QSlider>("sldMov"));
    PaintCounter* counters[] = {&time, &percent, &bar, &seek};

    bool queuedRan = false;
    QMetaObject::invokeMethod(
        &window, [&] { queuedRan = true; }, Qt::QueuedConnection);
    engine.setCurrentPosition(83.4);
    player.posChange();
    for (PaintCounter* c : counters)
        EXPECT_EQ(c->paints, 0) << "a refresh alone paints only from the event loop";

    window.repaintPosition();
    for (PaintCounter* c : counters)
        EXPECT_GE(c->paints, 1);
    EXPECT_EQ(txtCp->text(), QStringLiteral("00:01:23"));
    EXPECT_FALSE(queuedRan);
}

TEST(QtUserPrompts, FilterTextIsInQtSyntax) {
    const QString text = QtUserPrompts::qtFilterText(Player::openFilters());
    const QStringList entries = text.split(QStringLiteral(";;"));
    ASSERT_EQ(entries.size(), 8);
    EXPECT_EQ(entries[1], QStringLiteral("MP3 (*.mp3 *.m3u)"));
    EXPECT_EQ(entries[4], QStringLiteral("Windows Media Files (*.asf *.wma)"));
    EXPECT_EQ(entries[6], QStringLiteral("All Files (*)"));
    EXPECT_EQ(entries[7], QStringLiteral("Other audio (*.flac *.ogg *.oga *.opus *.m4a *.aac "
                                         "*.mp4 *.amr *.3gp *.webm)"));
}

TEST(SplashWindow, AClickHandsOverAtOnceAndTheTimerNeverFiresAfter) {
    SplashWindow splash(QStringLiteral("/nonexistent/splash.png"));
    QSignalSpy handOver(&splash, &SplashWindow::handOver);
    splash.start();
    EXPECT_TRUE(splash.isVisible());
    EXPECT_EQ(splash.timer().interval(), 1500);
    QTest::mouseClick(&splash, Qt::LeftButton);
    EXPECT_EQ(handOver.count(), 1);
    EXPECT_FALSE(splash.isVisible());
    EXPECT_FALSE(splash.timer().isActive());
    QTest::mouseClick(&splash, Qt::LeftButton);
    EXPECT_EQ(handOver.count(), 1);
}

TEST(SplashWindow, TheTimerHandsOver) {
    SplashWindow splash(QStringLiteral("/nonexistent/splash.png"));
    QSignalSpy handOver(&splash, &SplashWindow::handOver);
    splash.start();
    splash.timer().setInterval(10);
    splash.timer().start();
    EXPECT_TRUE(handOver.wait(2000));
    EXPECT_FALSE(splash.isVisible());
}

} // namespace
