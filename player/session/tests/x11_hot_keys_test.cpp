// The hot keys through real key grabs on a private X server, pressed with
// xdotool while another client has the focus.
#include "core/hot_keys.h"
#include "fakes/player_rig.h"
#include "session/xcb_hot_key_source.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

#include "event_pump.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <functional>
#include <memory>

using namespace velloran;
using namespace velloran::testing;

namespace {

QString xdotool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(5000))
        return QStringLiteral("timeout");
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

/// Another X client that grabs keys itself, as a second program would.
class OtherClient {
public:
    OtherClient() : c_(xcb_connect(nullptr, nullptr)) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    }
    ~OtherClient() { xcb_disconnect(c_); }
    OtherClient(const OtherClient&) = delete;
    OtherClient& operator=(const OtherClient&) = delete;

    /// Grabs the key of @p keysym with @p modifiers; false on BadAccess.
    bool grab(xcb_keysym_t keysym, quint16 modifiers) {
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c_);
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
        const xcb_keycode_t code = codes ? codes[0] : 0;
        std::free(codes);
        xcb_key_symbols_free(symbols);
        xcb_generic_error_t* error =
            xcb_request_check(c_, xcb_grab_key_checked(c_, 1, root_, modifiers, code,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return error == nullptr;
    }
    /// Presses seen by this client so far.
    int presses() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
            if ((event->response_type & 0x7f) == XCB_KEY_PRESS)
                ++presses_;
            std::free(event);
        }
        return presses_;
    }

private:
    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
    int presses_ = 0;
};

constexpr xcb_keysym_t kF9 = 0xffc6;
constexpr xcb_keysym_t kF10 = 0xffc7;
constexpr xcb_keysym_t kF11 = 0xffc8;

class X11HotKeysTest : public ::testing::Test, protected PlayerRig {
protected:
    void SetUp() override {
        ASSERT_FALSE(qgetenv("DISPLAY").isEmpty()) << "needs tests/run-with.sh --xvfb";
        focusClient.start(QStringLiteral("xmessage"),
                          {QStringLiteral("-title"), QStringLiteral("WordProcessor"),
                           QStringLiteral("typing here")});
        ASSERT_TRUE(focusClient.waitForStarted(5000));
        pumpUntil(
            [&] {
                focusWindow = xdotool({QStringLiteral("search"), QStringLiteral("--name"),
                                       QStringLiteral("^WordProcessor$")})
                                  .section(QLatin1Char('\n'), 0, 0);
                return !focusWindow.isEmpty() || focusClient.state() == QProcess::NotRunning;
            },
            15000);
        ASSERT_FALSE(focusWindow.isEmpty()) << "xmessage never showed its window: "
                                            << focusClient.readAllStandardError().toStdString();
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), focusWindow});
        loadWithFile(100);
        player.state().smallSkip = 4;
    }
    void TearDown() override {
        hotKeys.reset();
        source.reset();
        focusClient.kill();
        focusClient.waitForFinished(5000);
    }

    void startHotKeys() {
        source = std::make_unique<XcbHotKeySource>();
        ASSERT_TRUE(source->isConnected());
        hotKeys = std::make_unique<HotKeys>(player, *source);
        hotKeys->registerHotKeys();
    }
    static void press(const QString& keys) { xdotool({QStringLiteral("key"), keys}); }
    QString focused() const { return xdotool({QStringLiteral("getwindowfocus")}); }
    bool positionBecomes(double seconds) {
        return pumpUntil([&] { return engine.currentPosition() == seconds; });
    }

    QProcess focusClient;
    QString focusWindow;
    std::unique_ptr<XcbHotKeySource> source;
    std::unique_ptr<HotKeys> hotKeys;
};

TEST_F(X11HotKeysTest, KeysActWhileAnotherClientKeepsTheFocus) {
    startHotKeys();
    EXPECT_EQ(source->grabbedIds(),
              (QList<int>{1110, 1116, 1114, 1115, 1111, 1112, 1113, 1125, 1126}));

    engine.setCurrentPosition(30);
    player.posChange();
    press(QStringLiteral("F10"));
    EXPECT_TRUE(pumpUntil([&] { return player.bookmarks().positions().size() == 1; }));
    EXPECT_EQ(player.bookmarks().positions(), QList<double>{30});
    EXPECT_EQ(focused(), focusWindow);

    engine.setCurrentPosition(80);
    press(QStringLiteral("F11"));
    EXPECT_TRUE(positionBecomes(30));
    press(QStringLiteral("F7"));
    EXPECT_TRUE(positionBecomes(26));
    press(QStringLiteral("F8"));
    press(QStringLiteral("F8"));
    EXPECT_TRUE(positionBecomes(34));

    prompts.yesNoAnswers << false;
    press(QStringLiteral("ctrl+F11"));
    EXPECT_TRUE(pumpUntil([&] { return prompts.questions.size() == 1; }));
    EXPECT_EQ(player.bookmarks().positions(), QList<double>{30});
    prompts.yesNoAnswers << true;
    press(QStringLiteral("ctrl+F11"));
    EXPECT_TRUE(pumpUntil([&] { return player.bookmarks().positions().isEmpty(); }));
    EXPECT_EQ(prompts.questions.size(), 2);

    press(QStringLiteral("F9"));
    EXPECT_TRUE(pumpUntil([&] { return engine.currentState() == MediaEngine::Running; }));
    // Rebound while running: F9 goes back to the other programs at once.
    KeyBindings bindings = hotKeys->bindings();
    bindings.bind(Action::PlayPause, KeyChord::fromText(QStringLiteral("Ctrl+Alt+P")));
    hotKeys->setBindings(bindings);
    press(QStringLiteral("ctrl+alt+p"));
    EXPECT_TRUE(pumpUntil([&] { return engine.currentState() == MediaEngine::Paused; }));
    OtherClient other;
    EXPECT_TRUE(other.grab(kF9, 0));
    press(QStringLiteral("F9"));
    EXPECT_TRUE(pumpUntil([&] { return other.presses() == 1; }));
    EXPECT_EQ(engine.currentState(), MediaEngine::Paused);
    EXPECT_EQ(focused(), focusWindow);
}

TEST_F(X11HotKeysTest, KeysWorkWhateverTheLockKeys) {
    startHotKeys();
    for (const QString& lock : {QStringLiteral("Num_Lock"), QStringLiteral("Caps_Lock")}) {
        press(lock);
        engine.setCurrentPosition(50);
        press(QStringLiteral("F7"));
        EXPECT_TRUE(positionBecomes(46)) << lock.toStdString() << " on";
    }
    // Both locks on at once, then off again.
    engine.setCurrentPosition(50);
    press(QStringLiteral("F8"));
    EXPECT_TRUE(positionBecomes(54));
    press(QStringLiteral("Num_Lock"));
    press(QStringLiteral("Caps_Lock"));
    press(QStringLiteral("F8"));
    EXPECT_TRUE(positionBecomes(58));
}

TEST_F(X11HotKeysTest, CtrlF10OpensAndPlainF10DoesNot) {
    startHotKeys();
    const QString other = makeFile(QStringLiteral("second.wav"));
    prompts.openFileAnswers << other;
    press(QStringLiteral("ctrl+F10"));
    EXPECT_TRUE(pumpUntil([&] { return engine.fileName() == other; }));
    EXPECT_TRUE(player.bookmarks().positions().isEmpty());
    EXPECT_TRUE(prompts.openFileAnswers.isEmpty());
}

TEST_F(X11HotKeysTest, KeysPressedWhileTheQuestionIsUpActAtOnce) {
    startHotKeys();
    engine.setCurrentPosition(12);
    player.posChange();
    bool actedInside = false;
    prompts.whileAsking = [&] {
        press(QStringLiteral("F10"));
        press(QStringLiteral("F8"));
        actedInside = pumpUntil([&] { return engine.currentPosition() == 16; });
    };
    prompts.yesNoAnswers << false;
    press(QStringLiteral("ctrl+F11"));
    EXPECT_TRUE(pumpUntil([&] { return prompts.questions.size() == 1; }));
    EXPECT_TRUE(actedInside);
    EXPECT_EQ(player.bookmarks().positions(), QList<double>{12});
}

TEST_F(X11HotKeysTest, AHeldKeyActsOnceNotOnEveryRepeat) {
    startHotKeys();
    engine.setCurrentPosition(60);
    xdotool({QStringLiteral("keydown"), QStringLiteral("F7")});
    pumpFor(1200); // well past the server's repeat delay
    xdotool({QStringLiteral("keyup"), QStringLiteral("F7")});
    pumpFor(200);
    EXPECT_EQ(engine.currentPosition(), 56);
}

TEST_F(X11HotKeysTest, AKeyAnotherClientHoldsStaysWithItAndTheOthersWork) {
    OtherClient other;
    ASSERT_TRUE(other.grab(kF10, 0));
    startHotKeys();
    EXPECT_EQ(source->grabbedIds(), (QList<int>{1110, 1116, 1114, 1115, 1112, 1113, 1125, 1126}));
    // What the Keys dialog shows: F10 is the other client's, F9 ours, F12 free
    // and still free after the look.
    EXPECT_TRUE(source->isHeldElsewhere(*KeyChord::fromText(QStringLiteral("F10"))));
    EXPECT_FALSE(source->isHeldElsewhere(*KeyChord::fromText(QStringLiteral("F9"))));
    EXPECT_FALSE(source->isHeldElsewhere(*KeyChord::fromText(QStringLiteral("F12"))));
    EXPECT_TRUE(other.grab(0xffc9, 0));

    engine.setCurrentPosition(20);
    player.posChange();
    press(QStringLiteral("F10"));
    EXPECT_TRUE(pumpUntil([&] { return other.presses() == 1; }));
    EXPECT_TRUE(player.bookmarks().positions().isEmpty());
    press(QStringLiteral("F7"));
    EXPECT_TRUE(positionBecomes(16));
    // Given up whole: with NumLock on, F10 does not come to the player either.
    press(QStringLiteral("Num_Lock"));
    press(QStringLiteral("F10"));
    pumpFor(300);
    press(QStringLiteral("Num_Lock"));
    EXPECT_TRUE(player.bookmarks().positions().isEmpty());
}

TEST_F(X11HotKeysTest, ReleasedKeysCanBeGrabbedByOthersAgain) {
    startHotKeys();
    {
        OtherClient other;
        EXPECT_FALSE(other.grab(kF10, 0)); // held by the player
    }
    hotKeys->unregisterHotKeys();
    OtherClient other;
    EXPECT_TRUE(other.grab(kF10, 0));
    EXPECT_TRUE(other.grab(kF11, XCB_MOD_MASK_CONTROL));
    EXPECT_TRUE(other.grab(kF10, XCB_MOD_MASK_LOCK));
    press(QStringLiteral("F11"));
    pumpFor(200);
    EXPECT_EQ(source->grabbedIds(), QList<int>{});
}

} // namespace
