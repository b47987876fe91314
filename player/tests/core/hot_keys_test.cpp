// The hot keys' table and what each key does, over a fake key source.
#include "player_fixture.h"

#include "core/command_gate.h"
#include "core/hot_keys.h"
#include "core/media_remote.h"
#include "core/merged_hot_key_source.h"
#include "core/pedal_controller.h"
#include "core/timestamps.h"
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

QStringList boundKeys(const QList<HotKeyBinding>& keys) {
    QStringList seen;
    for (const HotKeyBinding& key : keys)
        if (key.key)
            seen << QString::number(key.id) + QLatin1Char(' ') + key.key->text();
    return seen;
}

TEST_F(HotKeysTest, RegistersTheBoundKeysAndRebindsThemLive) {
    hotKeys.registerHotKeys();
    EXPECT_EQ(source.registered.size(), HotKeys::commandNames().size());
    EXPECT_EQ(boundKeys(source.registered),
              (QStringList{"1110 Ctrl+F10", "1116 F9", "1114 F7", "1115 F8", "1111 F10", "1112 F11",
                           "1113 Ctrl+F11", "1125 Pause", "1126 Shift+Pause"}));

    // A hand-edited file: an unbinding, new keys, a slip that keeps its
    // default, and a key two actions share, which the first of them gets.
    store.writeIn(KeyBindings::kGroup, "play-pause", "");
    store.writeIn(KeyBindings::kGroup, "bookmark", "ctrl+alt+b");
    store.writeIn(KeyBindings::kGroup, "review", "Ctrl+Nonsense");
    store.writeIn(KeyBindings::kGroup, "speed-up", "Shift+Meta+Up");
    store.writeIn(KeyBindings::kGroup, "stop", "F7");
    const KeyBindings loaded = KeyBindings::load(store);
    EXPECT_EQ(loaded.sharing(Action::SmallRewind), QList<Action>{Action::Stop});
    hotKeys.setBindings(loaded);
    EXPECT_EQ(
        boundKeys(source.registered),
        (QStringList{"1110 Ctrl+F10", "1119 F7", "1115 F8", "1111 Ctrl+Alt+B", "1112 F11",
                     "1113 Ctrl+F11", "1122 Shift+Meta+Up", "1125 Pause", "1126 Shift+Pause"}));
    hotKeys.setBindings(loaded); // the same again: nothing to do
    EXPECT_EQ(KeyBindings::defaults().toolbarTooltips(Player::toolbarTooltips()),
              Player::toolbarTooltips());
    EXPECT_EQ(loaded.toolbarTooltips(Player::toolbarTooltips()).mid(3, 6),
              (QStringList{"Stop (F7)", "Rewind", "Small Rewind", "Small Forward (F8)", "Forward",
                           "Bookmark (Ctrl+Alt+B)"}));

    // Saved back, only what differs from the defaults stays in the file.
    KeyBindings edited = loaded;
    edited.bind(Action::Stop, std::nullopt);
    edited.save(store);
    EXPECT_EQ(store.readIn(KeyBindings::kGroup, "review"), std::nullopt);
    EXPECT_EQ(store.readIn(KeyBindings::kGroup, "stop"), std::nullopt);
    EXPECT_EQ(store.readIn(KeyBindings::kGroup, "play-pause"), QString());
    EXPECT_EQ(KeyBindings::load(store), edited);

    hotKeys.registerHotKeys();
    hotKeys.unregisterHotKeys();
    hotKeys.unregisterHotKeys();
    EXPECT_EQ(source.calls, (QStringList{"register", "unregister", "register", "unregister"}));
}

TEST(KeyChordTest, ReadsAndWritesPortableTextAndThePortalsTriggers) {
    const struct {
        const char* text;
        const char* canonical;
        const char* trigger;
        quint32 keysym;
    } cases[] = {
        {"Ctrl+F10", "Ctrl+F10", "CTRL+F10", 0xffc7},
        {"ctrl+alt+p", "Ctrl+Alt+P", "CTRL+ALT+p", 'p'},
        {"Meta+Shift+,", "Shift+Meta+,", "SHIFT+LOGO+comma", ','},
        {"Ctrl++", "Ctrl++", "CTRL+plus", '+'},
        {" Media Play ", "Media Play", "XF86AudioPlay", 0x1008ff14},
        {"PgDown", "PgDown", "Next", 0xff56},
        {"F35", "F35", "F35", 0xffbe + 34},
    };
    for (const auto& c : cases) {
        const auto chord = KeyChord::fromText(QString::fromLatin1(c.text));
        ASSERT_TRUE(chord) << c.text;
        EXPECT_EQ(chord->text(), QLatin1String(c.canonical));
        EXPECT_EQ(chord->portalTrigger(), QLatin1String(c.trigger));
        EXPECT_EQ(chord->keysym(), c.keysym) << c.text;
        EXPECT_EQ(KeyChord::fromText(chord->text()), chord);
    }
    for (const char* bad : {"", "Ctrl", "Ctrl+Ctrl+A", "F36", "F0", "Hyper+A", "A+B", "F 1", "é"})
        EXPECT_FALSE(KeyChord::fromText(QString::fromUtf8(bad))) << bad;
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
    for (int id : {0, 1109, 1125, -1113})
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

    EXPECT_TRUE(hotKeys.runCommand(QStringLiteral("pause")));
    EXPECT_EQ(engine.currentState(), MediaEngine::Paused);
    EXPECT_TRUE(hotKeys.runCommand(QStringLiteral("play")));
    EXPECT_EQ(engine.currentState(), MediaEngine::Running);
    EXPECT_TRUE(hotKeys.runCommand(QStringLiteral("stop")));
    EXPECT_EQ(engine.currentState(), MediaEngine::Stopped);

    // Speed by notches of the slider, within its ends; none while the
    // settings panel has the slider disabled.
    for (int i = 0; i < 12; ++i)
        hotKeys.runCommand(QStringLiteral("speed-up"));
    EXPECT_EQ(player.display().speedValue, 10);
    hotKeys.runCommand(QStringLiteral("speed-down"));
    EXPECT_DOUBLE_EQ(engine.rate, 1.36);
    player.toolbarClick(Player::SettingsButton);
    hotKeys.runCommand(QStringLiteral("speed-normal"));
    hotKeys.runCommand(QStringLiteral("play"));
    EXPECT_EQ(player.display().speedValue, 9);
    EXPECT_EQ(engine.currentState(), MediaEngine::Paused);
    player.closeSettingsPanel(1000);
    hotKeys.runCommand(QStringLiteral("speed-normal"));
    EXPECT_EQ(engine.rate, 1.0);

    prompts.yesNoAnswers << true;
    EXPECT_TRUE(hotKeys.runCommand(QStringLiteral("clear-bookmarks")));
    EXPECT_EQ(prompts.questions.size(), 1);
    EXPECT_TRUE(player.bookmarks().positions().isEmpty());

    for (const char* bad : {"", "Bookmark", "eject", "open "})
        EXPECT_FALSE(hotKeys.runCommand(QString::fromLatin1(bad))) << bad;
    QList<int> steps;
    hotKeys.setHandler(Action::NextDictation, [&] { steps << 1; });
    hotKeys.setHandler(Action::PreviousDictation, [&] { steps << -1; });
    for (const char* name : {"next-dictation", "previous-dictation"})
        EXPECT_TRUE(hotKeys.runCommand(QLatin1String(name)));
    EXPECT_EQ(steps, (QList<int>{1, -1}));
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

namespace {

TEST(TimestampFormatTest, WritesAndFindsTimesInEachFormat) {
    const struct {
        const char* pattern;
        double offset;
        double position;
        const char* written;
    } cases[] = {
        {"", 0, 65.97, "[00:01:05]"},
        {"#h:mm:ss.d#", 0, 3723.56, "#1:02:03.5#"},
        {"(mm:ss)", 0, 3723.5, "(62:03)"},
        {"[hh:mm:ss]", 600, 5, "[00:10:05]"},
    };
    for (const auto& c : cases) {
        const TimestampFormat format(QString::fromLatin1(c.pattern), c.offset);
        const QString text = format.format(c.position);
        EXPECT_EQ(text, QLatin1String(c.written));
        const double tenth = std::floor(c.position * 10) / 10;
        EXPECT_NEAR(format.find(QStringLiteral("said ") + text).value_or(-1),
                    QString::fromLatin1(c.pattern).contains(QLatin1Char('d'))
                        ? tenth
                        : std::floor(c.position),
                    1e-9)
            << c.pattern;
    }
    const TimestampFormat plain;
    for (const auto& [text, seconds] : std::vector<std::pair<const char*, double>>{
             {"14:05", 845}, {"at 1:02:03.5 or so", 3723.5}, {"x12:34:567", -1}, {"no time", -1}})
        EXPECT_EQ(plain.find(QString::fromLatin1(text)).value_or(-1), seconds) << text;
}

TEST_F(HotKeysTest, TimestampKeysTypeThePlaceAndGoToTheSelectedOne) {
    struct : TextTyper, SelectionSource {
        void type(const QString& text) override { typed << text; }
        QString selectedText() override { return selected; }
        QStringList typed;
        QString selected;
    } desktop;
    Timestamps stamps(player, store, desktop, desktop);
    int beeps = 0;
    stamps.nothingFound = [&] {
        ++beeps;
    };
    hotKeys.setHandler(Action::Timestamp, [&] { stamps.typeStamp(); });
    hotKeys.setHandler(Action::GotoTimestamp, [&] { stamps.goToSelected(); });
    hotKeys.runCommand(QStringLiteral("timestamp")); // no dictation yet
    loadWithFile(100);
    engine.setCurrentPosition(65.4);
    store.writeIn(TimestampFormat::kGroup, "Offset", "3600");
    hotKeys.runCommand(QStringLiteral("timestamp"));
    EXPECT_EQ(desktop.typed, QStringList{"[01:01:05]"});

    for (const char* selected : {"[01:00:07]", "[02:00:00]", "nothing", "[00:00:07]"}) {
        engine.setCurrentPosition(50);
        desktop.selected = QString::fromLatin1(selected);
        hotKeys.runCommand(QStringLiteral("goto-timestamp"));
    }
    EXPECT_EQ(beeps, 2); // beyond the end, and no time at all; before the offset is 0
    EXPECT_EQ(engine.currentPosition(), 0);
}

TEST(MergedHotKeySourceTest, BothSourcesRegisterAndOnePressHeardTwiceActsOnce) {
    auto* portal = new FakeHotKeySource;
    auto* grabs = new FakeHotKeySource;
    qint64 now = 0;
    MergedHotKeySource merged(std::unique_ptr<HotKeySource>(portal),
                              std::unique_ptr<HotKeySource>(grabs), [&now] { return now; });
    QList<int> acted;
    merged.activated = [&acted](int id) {
        acted << id;
    };
    merged.registerKeys(HotKeys::table());
    EXPECT_EQ(portal->registered.size(), grabs->registered.size());
    EXPECT_FALSE(portal->registered.isEmpty());

    // {source, id, ms}: the other source's echo is dropped, quick presses of one source are not.
    const struct {
        FakeHotKeySource* from;
        int id;
        qint64 at;
    } presses[] = {{portal, 1115, 0},   {grabs, 1115, 40},  {grabs, 1114, 50},  {grabs, 1114, 90},
                   {portal, 1114, 120}, {grabs, 1115, 400}, {portal, 1115, 560}};
    for (const auto& p : presses) {
        now = p.at;
        p.from->press(p.id);
    }
    EXPECT_EQ(acted, (QList<int>{1115, 1114, 1114, 1115, 1115}));

    merged.unregisterKeys();
    EXPECT_TRUE(portal->registered.isEmpty() && grabs->registered.isEmpty());
}

} // namespace
