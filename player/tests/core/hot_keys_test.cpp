// The hot keys' table and what each key does, over a fake key source.
#include "player_fixture.h"

#include "core/command_gate.h"
#include "core/hot_keys.h"
#include "core/media_remote.h"
#include "core/pedal_controller.h"
#include "fakes/fake_hot_keys.h"

using namespace velloran;
using namespace velloran::testing;

namespace {

class HotKeysTest : public PlayerTest {
protected:
    HotKeysTest() : hotKeys(player, source) {}

    void bookmarkAt(double seconds) {
        engine.setCurrentPosition(seconds);
        player.posChange();
        source.press(HotKeys::kBookmark);
    }

    FakeHotKeySource source;
    HotKeys hotKeys;
};

TEST_F(HotKeysTest, RegistersTheSixKeysInOrderAndReleasesThemOnce) {
    hotKeys.registerHotKeys();
    QStringList seen;
    for (const HotKeyBinding& key : source.registered)
        seen << QString::number(key.id) +
                    (key.control ? QStringLiteral(" ctrl ") : QStringLiteral(" ")) + key.trigger;
    EXPECT_EQ(seen, (QStringList{"1110 ctrl CTRL+F10", "1111 F10", "1112 F11", "1113 ctrl CTRL+F11",
                                 "1114 F7", "1115 F8"}));
    const QList<FunctionKey> keys{FunctionKey::F10, FunctionKey::F10, FunctionKey::F11,
                                  FunctionKey::F11, FunctionKey::F7,  FunctionKey::F8};
    for (int i = 0; i < keys.size(); ++i)
        EXPECT_EQ(source.registered.at(i).key, keys.at(i)) << i;

    hotKeys.registerHotKeys();
    hotKeys.unregisterHotKeys();
    hotKeys.unregisterHotKeys();
    EXPECT_EQ(source.calls, (QStringList{"register", "unregister"}));
}

TEST_F(HotKeysTest, DestroyingReleasesTheKeysAndDetachesFromTheSource) {
    {
        HotKeys other(player, source);
        other.registerHotKeys();
    }
    EXPECT_EQ(source.calls.last(), QStringLiteral("unregister"));
    source.press(HotKeys::kBookmark); // no one listens any more
    EXPECT_EQ(player.bookmarks().count(), 1);
}

TEST_F(HotKeysTest, BookmarkReviewAndTheSmallSkips) {
    loadWithFile(100);
    player.state().smallSkip = 3;
    bookmarkAt(40);
    EXPECT_EQ(player.bookmarks().positions(), QList<double>{40});
    engine.setCurrentPosition(70);
    source.press(HotKeys::kReview);
    EXPECT_EQ(engine.currentPosition(), 40);
    source.press(HotKeys::kSmallRewind);
    EXPECT_EQ(engine.currentPosition(), 37);
    source.press(HotKeys::kSmallForward);
    source.press(HotKeys::kSmallForward);
    EXPECT_EQ(engine.currentPosition(), 43);
    EXPECT_TRUE(prompts.questions.isEmpty());
}

TEST_F(HotKeysTest, CtrlF10RunsTheOpenCommand) {
    loadWithFile(100);
    const QString other = makeFile(QStringLiteral("other.wav"));
    prompts.openFileAnswers << other;
    source.press(HotKeys::kOpen);
    pump();
    EXPECT_EQ(engine.fileName(), other);
    EXPECT_EQ(prompts.lastFilters.size(), Player::openFilters().size());
}

TEST_F(HotKeysTest, ClearAsksWithTheWindowForwardAndOnlyYesClears) {
    loadWithFile(100);
    bookmarkAt(10);
    bookmarkAt(20);
    QStringList order;
    hotKeys.activateMainWindow = [&] {
        order << QStringLiteral("activate");
    };
    prompts.whileAsking = [&] {
        order << QStringLiteral("ask");
    };

    prompts.yesNoAnswers << false;
    source.press(HotKeys::kClear);
    EXPECT_EQ(prompts.questions, QStringList{"Do you want to clear all Bookmarks"});
    EXPECT_EQ(order, (QStringList{"activate", "ask"}));
    EXPECT_EQ(player.bookmarks().positions(), (QList<double>{10, 20}));

    prompts.yesNoAnswers << true;
    source.press(HotKeys::kClear);
    EXPECT_TRUE(player.bookmarks().positions().isEmpty());
}

TEST_F(HotKeysTest, DialogsGiveTheFocusBackAndAKeyAgainBringsItsDialogForward) {
    loadWithFile(100);
    FakeFocusKeeper desktop;
    hotKeys.setFocusKeeper(&desktop);
    desktop.focused = 42; // the word processor
    prompts.whileChoosing = [&] {
        desktop.focused = 7; // the open dialog
        source.press(HotKeys::kOpen);
        hotKeys.runCommand(QStringLiteral("open"));
    };
    source.press(HotKeys::kOpen);
    EXPECT_EQ(prompts.raised, (QStringList{"open", "open"}));
    EXPECT_EQ(desktop.givenTo, QList<FocusKeeper::Window>{42});

    // Open from inside the question: each dialog hands the focus back to where it was.
    prompts.whileChoosing = nullptr;
    prompts.whileAsking = [&] {
        desktop.focused = 8;
        source.press(HotKeys::kClear);
        source.press(HotKeys::kOpen);
        source.press(HotKeys::kBookmark);
    };
    hotKeys.runCommand(QStringLiteral("clear-bookmarks"));
    EXPECT_EQ(prompts.questions.size(), 1);
    EXPECT_EQ(prompts.raised.last(), QStringLiteral("Do you want to clear all Bookmarks"));
    EXPECT_EQ(desktop.givenTo, (QList<FocusKeeper::Window>{42, 8, 42}));
}

TEST_F(HotKeysTest, KeysPressedWhileTheQuestionIsUpActAtOnce) {
    loadWithFile(100);
    prompts.whileAsking = [&] {
        bookmarkAt(30);
    };
    prompts.yesNoAnswers << false;
    source.press(HotKeys::kClear);
    EXPECT_EQ(player.bookmarks().positions(), QList<double>{30});
}

TEST_F(HotKeysTest, IdentifiersOutsideTheTableDoNothing) {
    loadWithFile(100);
    engine.setCurrentPosition(50);
    const QStringList callsBefore = engine.calls;
    for (int id : {0, 1109, 1116, -1113})
        source.press(id);
    EXPECT_EQ(engine.calls, callsBefore);
    EXPECT_EQ(engine.currentPosition(), 50);
    EXPECT_EQ(player.bookmarks().count(), 1);
    EXPECT_TRUE(prompts.questions.isEmpty());
}

TEST_F(HotKeysTest, CommandsRunTheSameActionsAsTheKeysAndTheToolbar) {
    loadWithFile(100);
    player.state().smallSkip = 2;
    player.state().largeSkip = 10;
    engine.setCurrentPosition(50);
    player.posChange();
    EXPECT_TRUE(hotKeys.runCommand(QStringLiteral("bookmark")));
    EXPECT_TRUE(hotKeys.runCommand(QStringLiteral("forward")));
    EXPECT_EQ(engine.currentPosition(), 60);
    EXPECT_TRUE(hotKeys.runCommand(QStringLiteral("small-rewind")));
    EXPECT_EQ(engine.currentPosition(), 58);
    EXPECT_TRUE(hotKeys.runCommand(QStringLiteral("rewind")));
    EXPECT_EQ(engine.currentPosition(), 48);
    EXPECT_TRUE(hotKeys.runCommand(QStringLiteral("review")));
    EXPECT_EQ(engine.currentPosition(), 50);
    EXPECT_TRUE(hotKeys.runCommand(QStringLiteral("small-forward")));
    EXPECT_EQ(engine.currentPosition(), 52);

    EXPECT_TRUE(hotKeys.runCommand(QStringLiteral("play-pause")));
    EXPECT_EQ(engine.currentState(), MediaEngine::Running);
    EXPECT_TRUE(hotKeys.runCommand(QStringLiteral("play-pause")));
    EXPECT_EQ(engine.currentState(), MediaEngine::Paused);

    prompts.yesNoAnswers << true;
    EXPECT_TRUE(hotKeys.runCommand(QStringLiteral("clear-bookmarks")));
    EXPECT_EQ(prompts.questions.size(), 1);
    EXPECT_TRUE(player.bookmarks().positions().isEmpty());

    for (const char* bad : {"", "Bookmark", "stop", "open "})
        EXPECT_FALSE(hotKeys.runCommand(QString::fromLatin1(bad))) << bad;
    QList<int> steps;
    hotKeys.openNeighbour = [&](int step) {
        steps << step;
    };
    for (const char* name : {"next-dictation", "previous-dictation"})
        EXPECT_TRUE(hotKeys.runCommand(QLatin1String(name)));
    EXPECT_EQ(steps, (QList<int>{1, -1}));
    EXPECT_EQ(HotKeys::commandNames().size(), 11);
}

} // namespace

namespace {

TEST_F(HotKeysTest, NothingRunsInsideAConversionAndTheLastFileHandedOverWins) {
    loadWithFile(100);
    engine.setCurrentPosition(40);
    CommandGate gate(prompts);
    MediaRemote remote(player);
    PedalController pedals(player);
    hotKeys.setGate(&gate);
    remote.setGate(&gate);
    pedals.setGate(&gate);
    const QString first = makeFile(QStringLiteral("first.wav"));
    const QString second = makeFile(QStringLiteral("second.wav"));
    struct : RecordingConverter {
        ConversionOutcome convertDss(const QString&) override {
            during();
            return {wave, {}, {}};
        }
        ConversionOutcome convertDvi(const QString&) override { return {}; }
        void discardTemporary() override {}
        std::function<void()> during;
        QString wave;
    } inner;
    inner.wave = makeFile(QStringLiteral("rec01.wav"));
    inner.during = [&] {
        source.press(HotKeys::kSmallForward);
        remote.openFile(first);
        remote.openFile(second);
        EXPECT_TRUE(hotKeys.runCommand(QStringLiteral("small-rewind")));
        pedals.pedalPressed(1);
        EXPECT_EQ(engine.currentPosition(), 40) << "the dictation being left stays put";
    };
    GatedConverter gated(inner, gate);
    player.setConverter(&gated);
    player.openPath(makeFile(QStringLiteral("rec01.dss"), QByteArray("\x02"
                                                                     "dss")));
    EXPECT_EQ(engine.fileName(), inner.wave);
    pump();
    player.setConverter(&converter);
    EXPECT_EQ(engine.fileName(), second);
    EXPECT_TRUE(engine.calls.filter(first).isEmpty());
    EXPECT_EQ(prompts.messages,
              QStringList{"The pedal was not used while rec01.dss was being converted."});
}

} // namespace
