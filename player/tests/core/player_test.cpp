#include "player_fixture.h"

#include "core/file_names.h"
#include "core/text_rules.h"

using namespace velloran;
using namespace velloran::testing;

TEST(TextRules, FormatHmsRoundsTheWholeValueBeforeSplittingIt) {
    EXPECT_EQ(formatHms(83.4), QStringLiteral("00:01:23"));
    EXPECT_EQ(formatHms(3725), QStringLiteral("01:02:05"));
    // Every minute and hour boundary carries over instead of showing :00 early.
    EXPECT_EQ(formatHms(59.6), QStringLiteral("00:01:00"));
    EXPECT_EQ(formatHms(59.5), QStringLiteral("00:01:00")); // 60, halves to even
    EXPECT_EQ(formatHms(58.5), QStringLiteral("00:00:58"));
    EXPECT_EQ(formatHms(60.5), QStringLiteral("00:01:00"));
    EXPECT_EQ(formatHms(3599.6), QStringLiteral("01:00:00"));
    EXPECT_EQ(formatHms(3599.4), QStringLiteral("00:59:59"));
    EXPECT_EQ(formatHms(0), QStringLiteral("00:00:00"));
    EXPECT_EQ(formatHms(360000), QStringLiteral("100:00:00"));
    EXPECT_EQ(formatHms(0x1p80), QStringLiteral("335812727670730326016:56:16"));
}

TEST(TextRules, ExtractFileName) {
    EXPECT_EQ(extractFileName(QStringLiteral("/home/t/rec01.wav")), QStringLiteral("rec01.wav"));
    EXPECT_EQ(extractFileName(QStringLiteral("rec01.wav")), QString());
    EXPECT_EQ(extractFileName(QStringLiteral("/home/t/")), QString());
    EXPECT_EQ(extractFileName(fileNameFromBytes("/t/caf\xe9.wav")),
              QStringLiteral("caf\uFFFD.wav"));
}

TEST_F(PlayerTest, FirstRunWritesDefaultsBeforeReadingAnything) {
    player.load(dir.path());
    ASSERT_GE(store.writes.size(), 9);
    EXPECT_EQ(store.writes.first(), QStringLiteral("PortID=Game Port"));
    EXPECT_EQ(player.state().pedalAction, (std::array<int, 3>{2, 4, 3}));
    EXPECT_EQ(player.state().largeSkip, 5);
    EXPECT_EQ(player.state().smallSkip, 1);
    EXPECT_EQ(player.state().stepBack, 3);
    EXPECT_FALSE(player.state().toggleMode);
    EXPECT_TRUE(gamePort.isEnabled());
    EXPECT_FALSE(serial.portOpen());
    EXPECT_EQ(player.display().heightTwips, Player::kCollapsedHeightTwips);
    EXPECT_EQ(player.playRequest(), QStringLiteral("NEW"));
    EXPECT_EQ(player.helpFilePath(), dir.path() + QStringLiteral("/Help/index.html"));
}

TEST_F(PlayerTest, StartUpReopensTheRememberedFileAndRestoresItsPosition) {
    const QString path = makeFile(QStringLiteral("dict.wav"));
    store.values[keys::CurrentFile] = path;
    store.values[keys::CurrentPosition] = QStringLiteral("83.52");
    store.values[keys::VolumeValue] = QStringLiteral("2100");
    writeSettingsDefaults(store);
    player.load(dir.path());
    // The three start-up seeks come before the file has opened, so they are lost.
    EXPECT_EQ(engine.calls.mid(0, 4), QStringList({"open:" + path, "seek:-1", "seek:0", "seek:0"}));
    EXPECT_EQ(player.display().volumeValue, 2100);
    EXPECT_EQ(player.display().volumeThumbLeftTwips, 140);
    EXPECT_EQ(player.display().barCaption, QStringLiteral("0%"));
    pump();
    EXPECT_DOUBLE_EQ(engine.currentPosition(), 83.52);
    EXPECT_EQ(player.display().durationText, QStringLiteral("100"));
    EXPECT_EQ(player.display().timeText, QStringLiteral("00:01:24"));
    EXPECT_EQ(engine.currentState(), MediaEngine::Stopped);

    // Opened again by name (the file manager, the command line), at start or
    // while in hand, it keeps its place.
    player.unload();
    PlayerRig again;
    again.store.values = store.values;
    again.player.load(dir.path());
    again.player.openPath(path);
    pump();
    EXPECT_DOUBLE_EQ(again.engine.currentPosition(), 83.52);
    again.engine.setCurrentPosition(90.25);
    again.player.openPath(path);
    pump();
    EXPECT_DOUBLE_EQ(again.engine.currentPosition(), 90.25);
    EXPECT_EQ(again.engine.calls.filter(QStringLiteral("open:")).size(), 1);
    again.player.unload();
    EXPECT_EQ(again.store.values[keys::CurrentPosition], QStringLiteral("90.25"));
}

TEST_F(PlayerTest, MissingRememberedFileOpensNothingAndKeepsTheVolume) {
    store.values[keys::CurrentFile] = dir.filePath(QStringLiteral("gone.wav"));
    store.values[keys::VolumeValue] = QStringLiteral("2100");
    player.load(dir.path());
    pump();
    EXPECT_TRUE(engine.fileName().isEmpty());
    EXPECT_EQ(player.display().volumeValue, 0);
    player.windowResized(false);
    EXPECT_EQ(player.display().caption, QStringLiteral("Velloran"));
    EXPECT_TRUE(prompts.errors.isEmpty());
}

TEST_F(PlayerTest, ThumbOfTheVolumeSliderFollowsTheStoredLevel) {
    const QString path = makeFile(QStringLiteral("dict.wav"));
    store.values[keys::CurrentFile] = path;
    store.values[keys::VolumeValue] = QStringLiteral("32000");
    player.load(dir.path());
    EXPECT_EQ(player.display().volumeThumbLeftTwips, 914);
    store.values[keys::VolumeValue] = QStringLiteral("70000"); // beyond 16 bits: kept as it was
    player.openFile();
    EXPECT_EQ(player.state().volumeLevel, 32000);
}

TEST_F(PlayerTest, ClosingSavesVolumeFileAndPosition) {
    const QString path = loadWithFile();
    engine.setCurrentPosition(42.25);
    player.unload();
    EXPECT_EQ(store.values[keys::CurrentFile], path);
    EXPECT_EQ(store.values[keys::CurrentPosition], QStringLiteral("42.25"));
    EXPECT_EQ(store.values[keys::VolumeValue], QStringLiteral("0"));
    EXPECT_FALSE(gamePort.isEnabled());
    EXPECT_FALSE(serial.portOpen());
}

TEST_F(PlayerTest, ClosingAfterStopKeepsStopsPosition) {
    const QString path = loadWithFile();
    engine.setCurrentPosition(50);
    player.toolbarClick(Player::StopButton);
    engine.setCurrentPosition(60);
    player.unload();
    EXPECT_EQ(store.values[keys::CurrentFile], path);
    EXPECT_EQ(store.values[keys::CurrentPosition], QStringLiteral("0"));
}

TEST_F(PlayerTest, OpenCompleteRestoresOnlyTheRememberedFilesPosition) {
    const QString other = makeFile(QStringLiteral("other.wav"));
    loadWithFile();
    store.values[keys::CurrentPosition] = QStringLiteral("30");
    engine.setFileName(other);
    pump();
    EXPECT_EQ(engine.currentPosition(), 0);
    EXPECT_EQ(player.display().percentText, QStringLiteral("0%"));
    EXPECT_EQ(player.display().timeText, QStringLiteral("00:00:00"));

    // Position 0 is not restored either.
    store.values[keys::CurrentFile] = other;
    store.values[keys::CurrentPosition] = QStringLiteral("0");
    const int writes = engine.positionWrites;
    engine.setFileName(other);
    pump();
    EXPECT_EQ(engine.positionWrites, writes);
}

TEST_F(PlayerTest, PlayVoiceFileRestartsWithTheStepBack) {
    const QString path = loadWithFile();
    store.values[keys::CurrentPosition] = QStringLiteral("10");
    player.playVoiceFile();
    pump();
    EXPECT_EQ(engine.currentState(), MediaEngine::Running);
    EXPECT_DOUBLE_EQ(engine.currentPosition(), 7);
    EXPECT_TRUE(player.playRequest().isEmpty());

    // Near the start the step back stops at 0.
    store.values[keys::CurrentPosition] = QStringLiteral("2");
    player.playVoiceFile();
    pump();
    EXPECT_DOUBLE_EQ(engine.currentPosition(), 0);
    EXPECT_EQ(engine.fileName(), path);
}

TEST_F(PlayerTest, ArrivingAtTheEndPausesAndShowsAHundredPercent) {
    loadWithFile(300);
    player.toolbarClick(Player::PlayButton);
    engine.playTo(300);
    pump();
    EXPECT_EQ(engine.currentState(), MediaEngine::Paused);
    EXPECT_EQ(player.display().percentText, QStringLiteral("100 %"));
    EXPECT_EQ(player.display().barWidthTwips, 2000);
}

TEST_F(PlayerTest, PositionDisplayTextsAndBar) {
    const QString path = loadWithFile(200);
    engine.setCurrentPosition(83.4);
    player.posChange();
    const DisplayState& d = player.display();
    EXPECT_EQ(d.percentText, QStringLiteral("42 %"));
    EXPECT_EQ(d.seekValue, 42);
    EXPECT_EQ(d.barWidthTwips, 840);
    EXPECT_EQ(d.timeText, QStringLiteral("00:01:23"));
    EXPECT_EQ(d.barCaption, QStringLiteral("[ 00:01:23 ]            42 %"));
    EXPECT_EQ(d.caption, QStringLiteral("Velloran - dict.wav - Length : 00:03:20"));

    engine.setCurrentPosition(1.5); // 0.75 % shows as 1 %
    player.posChange();
    EXPECT_EQ(d.percentText, QStringLiteral("1 %"));

    player.windowResized(true);
    EXPECT_EQ(d.caption, QStringLiteral("Velloran - 1 %"));
    engine.setCurrentPosition(100);
    player.posChange();
    EXPECT_EQ(d.caption, QStringLiteral("Velloran - 50 % - Length : 00:03:20"));
    player.windowResized(false);
    EXPECT_EQ(d.caption, QStringLiteral("Velloran - dict.wav - Length : 00:03:20"));
}

TEST_F(PlayerTest, PercentageKeepsItsTextWithoutALength) {
    player.load(dir.path());
    player.posChange();
    EXPECT_TRUE(player.display().percentText.isEmpty());
    EXPECT_EQ(player.display().timeText, QStringLiteral("00:00:00"));
    EXPECT_EQ(player.display().caption, QStringLiteral("Velloran -  - Length : 00:00:00"));
}

TEST_F(PlayerTest, RewindAndForwardRules) {
    loadWithFile(100);
    engine.clampPositions = false;
    engine.setCurrentPosition(2);
    player.rewindRule(5);
    EXPECT_EQ(engine.currentPosition(), -3); // not clamped by the rule
    engine.setCurrentPosition(0);
    player.rewindRule(5);
    EXPECT_EQ(engine.currentPosition(), 100); // from the very start to the end
    engine.setCurrentPosition(97);
    player.forwardRule(5);
    EXPECT_EQ(engine.currentPosition(), 102);
    const int writes = engine.positionWrites;
    player.forwardRule(5); // past the end: nothing
    engine.setCurrentPosition(100);
    player.forwardRule(5); // exactly at the end: nothing
    EXPECT_EQ(engine.positionWrites, writes + 1);
    EXPECT_EQ(engine.currentState(), MediaEngine::Stopped); // skips never start playback
}

TEST_F(PlayerTest, ToolbarTransport) {
    loadWithFile(100);
    player.toolbarClick(Player::SmallForwardButton);
    EXPECT_EQ(engine.currentPosition(), 1);
    player.toolbarClick(Player::ForwardButton);
    EXPECT_EQ(engine.currentPosition(), 6);
    player.toolbarClick(Player::RewindButton);
    EXPECT_EQ(engine.currentPosition(), 1);
    player.toolbarClick(Player::SmallRewindButton);
    EXPECT_EQ(engine.currentPosition(), 0);
    player.keyUp(Qt::Key_Period);
    EXPECT_EQ(engine.currentPosition(), 1);
    player.keyUp(Qt::Key_Comma);
    EXPECT_EQ(engine.currentPosition(), 0);

    engine.setCurrentPosition(10);
    player.toolbarClick(Player::PlayButton);
    EXPECT_EQ(engine.currentPosition(), 7);
    EXPECT_EQ(engine.currentState(), MediaEngine::Running);
    player.toolbarClick(Player::PauseButton);
    EXPECT_EQ(store.values[keys::CurrentPosition], QStringLiteral("7"));
    EXPECT_EQ(engine.currentState(), MediaEngine::Paused);
}

TEST_F(PlayerTest, StopSavesTheFileAndResetsThePosition) {
    const QString path = loadWithFile(100);
    engine.setCurrentPosition(50);
    player.posChange();
    store.writes.clear();
    player.toolbarClick(Player::StopButton);
    EXPECT_EQ(store.writes,
              QStringList({"CurrentFile=" + path, QStringLiteral("CurrentPosition=0")}));
    EXPECT_EQ(engine.currentPosition(), 0);
    EXPECT_EQ(engine.currentState(), MediaEngine::Stopped);
    EXPECT_EQ(engine.fileName(), path); // the file stays open
    EXPECT_EQ(player.display().timeText, QStringLiteral("00:00:00"));
    EXPECT_EQ(player.display().barWidthTwips, 0);
    EXPECT_EQ(player.display().barCaption, QStringLiteral("0%"));
    EXPECT_TRUE(player.state().stoppedByUser);

    // Play right after Stop asks for -3 s; the engine keeps it at the start.
    engine.clampPositions = false;
    player.toolbarClick(Player::PlayButton);
    EXPECT_EQ(engine.calls.mid(engine.calls.size() - 2),
              QStringList({QStringLiteral("seek:-3"), QStringLiteral("run")}));
    EXPECT_FALSE(player.state().stoppedByUser);
}

TEST_F(PlayerTest, SettingsButtonOpensThePanelAndKeepsTheFocusWhereItIs) {
    loadWithFile();
    serial.setPortOpen(true);
    int focusMoves = 0;
    QObject::connect(&player, &Player::focusToSpeedSlider, [&] { ++focusMoves; });
    player.toolbarClick(Player::PlayButton);
    EXPECT_EQ(focusMoves, 1);
    player.toolbarClick(Player::SettingsButton);
    EXPECT_EQ(focusMoves, 1);
    EXPECT_EQ(engine.currentState(), MediaEngine::Paused);
    EXPECT_EQ(player.display().heightTwips, Player::kPanelHeightTwips);
    EXPECT_FALSE(player.display().controlsEnabled);
    EXPECT_FALSE(serial.portOpen());
    EXPECT_TRUE(gamePort.isEnabled()); // a game-port pedal stays live
    player.toolbarClick(99);           // no action
}

TEST_F(PlayerTest, OpenCommandOpensTheChosenFileAndRemembersIt) {
    loadWithFile();
    const QString chosen = makeFile(QStringLiteral("letter.mp3"), "ID3\x03....");
    store.values[keys::WavePath] = dir.path();
    prompts.openFileAnswers << chosen;
    player.toolbarClick(Player::OpenButton);
    EXPECT_EQ(prompts.lastStartFolder, dir.path());
    ASSERT_EQ(prompts.lastFilters.size(), 8);
    EXPECT_EQ(prompts.lastFilters[4].patterns, QStringList({"*.asf", "*.wma"}));
    EXPECT_EQ(engine.fileName(), chosen);
    pump();
    EXPECT_EQ(store.values[keys::CurrentFile], chosen);
    EXPECT_EQ(player.display().caption, QStringLiteral("Velloran - letter.mp3"));
    EXPECT_EQ(player.display().barCaption, QStringLiteral("0%"));
    EXPECT_FALSE(player.state().converted);
}

TEST_F(PlayerTest, CancelledOpenKeepsTheRememberedFile) {
    const QString path = loadWithFile();
    player.openFile();
    EXPECT_EQ(store.values[keys::CurrentFile], path);
    EXPECT_EQ(engine.fileName(), path);

    // Nor does the toolbar's Open close the dictation in hand, or load it twice.
    const int opens = engine.calls.filter(QStringLiteral("open:")).size();
    player.toolbarClick(Player::OpenButton);
    EXPECT_EQ(engine.fileName(), path);
    EXPECT_EQ(engine.calls.filter(QStringLiteral("open:")).size(), opens);
    player.unload();
    EXPECT_EQ(store.values[keys::CurrentFile], path);
}

TEST_F(PlayerTest, DssFilesGoThroughTheConverter) {
    player.load(dir.path());
    const QString dss = makeFile(QStringLiteral("rec01.dss"), QByteArray("\x02"
                                                                         "dss",
                                                                         4) +
                                                                  QByteArray(600, 0));
    struct : RecordingConverter {
        ConversionOutcome convertDss(const QString& source) override {
            seen = source;
            // Wherever the converter put it (the cache, for a read-only folder).
            return {wave, {}, {}};
        }
        ConversionOutcome convertDvi(const QString&) override { return {}; }
        void discardTemporary() override {}
        QString seen, wave;
    } fake;
    fake.wave = dir.filePath(QStringLiteral("cache/rec01.wav"));
    player.setConverter(&fake);
    player.openPath(dss);
    player.setConverter(&converter);
    EXPECT_EQ(fake.seen, dss);
    EXPECT_EQ(player.state().selectedFile, dir.filePath(QStringLiteral("cache/rec01.wav")));
    EXPECT_EQ(player.state().dssWaveName, QStringLiteral("rec01.wav"));
    pump();
    EXPECT_EQ(store.values[keys::CurrentFile], dir.filePath(QStringLiteral("cache/rec01.wav")));
    EXPECT_TRUE(player.state().converted);
}

// ---- the typist's place ----------------------------------------------------

TEST_F(PlayerTest, NewlyChosenFileStartsAtItsBeginning) {
    loadWithFile(200);
    engine.setCurrentPosition(6);
    player.toolbarClick(Player::PauseButton); // remembers 6 s of dict.wav
    const QString next = makeFile(QStringLiteral("short20.wav"));
    engine.setDurationFor(next, 20);
    prompts.openFileAnswers << next;
    player.toolbarClick(Player::OpenButton);
    pump();
    EXPECT_EQ(engine.fileName(), next);
    EXPECT_EQ(engine.currentPosition(), 0);
    EXPECT_EQ(player.display().timeText, QStringLiteral("00:00:00"));
    EXPECT_EQ(store.values[keys::CurrentFile], next);
    EXPECT_EQ(store.values[keys::CurrentPosition], QStringLiteral("0"));

    // A file from the command line too, even one the old position lies beyond.
    engine.setCurrentPosition(15);
    player.toolbarClick(Player::PauseButton);
    const QString other = makeFile(QStringLiteral("other.wav"));
    engine.setDurationFor(other, 10);
    player.openPath(other);
    pump();
    EXPECT_EQ(engine.currentPosition(), 0);
    EXPECT_EQ(engine.currentState(), MediaEngine::Stopped);

    // The file remembered at exit comes back at its place at the next start.
    engine.setCurrentPosition(4.5);
    player.unload();
    EXPECT_EQ(store.values[keys::CurrentPosition], QStringLiteral("4.5"));
}

TEST_F(PlayerTest, ExitKeepsTheRememberedPlaceWhenTheFileWasMissingAtStart) {
    const QString gone = dir.filePath(QStringLiteral("share/gone.wav"));
    store.values[keys::CurrentFile] = gone;
    store.values[keys::CurrentPosition] = QStringLiteral("42.5");
    store.values[keys::VolumeValue] = QStringLiteral("2100");
    writeSettingsDefaults(store);
    store.values[keys::CurrentFile] = gone;
    player.load(dir.path());
    pump();
    player.unload();
    EXPECT_EQ(store.values[keys::CurrentFile], gone);
    EXPECT_EQ(store.values[keys::CurrentPosition], QStringLiteral("42.5"));
    EXPECT_EQ(store.values[keys::VolumeValue], QStringLiteral("2100"));
}

TEST_F(PlayerTest, ClosingWhileAFileOpensSavesThePositionItIsAboutToGet) {
    const QString path = makeFile(QStringLiteral("dict.wav"));
    store.values[keys::CurrentFile] = path;
    store.values[keys::CurrentPosition] = QStringLiteral("30");
    player.load(dir.path());
    player.unload(); // before openComplete
    EXPECT_EQ(store.values[keys::CurrentFile], path);
    EXPECT_EQ(store.values[keys::CurrentPosition], QStringLiteral("30"));
}

TEST_F(PlayerTest, ClosingWhileANewlyChosenFileOpensSavesItsBeginning) {
    loadWithFile();
    engine.setCurrentPosition(50);
    const QString next = makeFile(QStringLiteral("next.wav"));
    prompts.openFileAnswers << next;
    player.toolbarClick(Player::OpenButton);
    player.unload();
    EXPECT_EQ(store.values[keys::CurrentFile], next);
    EXPECT_EQ(store.values[keys::CurrentPosition], QStringLiteral("0"));
}

TEST_F(PlayerTest, FileThatCannotBePlayedIsReportedAndTheRememberedPlaceKept) {
    const QString path = loadWithFile(200);
    engine.setCurrentPosition(83);
    player.posChange();
    const QString bad = makeFile(QStringLiteral("notes.wav"), "just some text");
    engine.unopenable << bad;
    prompts.openFileAnswers << bad;
    player.toolbarClick(Player::OpenButton);
    pump();
    EXPECT_EQ(prompts.errors,
              QStringList{QStringLiteral("Unable to play ") + bad + ": not an audio file."});
    const DisplayState& d = player.display();
    EXPECT_EQ(d.caption, QStringLiteral("Velloran"));
    EXPECT_EQ(d.timeText, QStringLiteral("00:00:00"));
    EXPECT_EQ(d.percentText, QStringLiteral("0%"));
    EXPECT_EQ(d.barWidthTwips, 0);
    EXPECT_TRUE(d.durationText.isEmpty());
    EXPECT_EQ(store.values[keys::CurrentFile], path);
    EXPECT_EQ(store.values[keys::CurrentPosition], QStringLiteral("83"));

    // A cancelled Open afterwards does not retry the bad file, and the exit
    // keeps the place too.
    player.toolbarClick(Player::OpenButton);
    pump();
    EXPECT_EQ(prompts.errors.size(), 1);
    player.unload();
    EXPECT_EQ(store.values[keys::CurrentFile], path);
    EXPECT_EQ(store.values[keys::CurrentPosition], QStringLiteral("83"));
}

TEST_F(PlayerTest, AfterAConversionAFileThatCannotBePlayedKeepsTheRememberedPlace) {
    const QString path = loadWithFile(200);
    engine.setCurrentPosition(10.75);
    player.state().converted = true; // a DSS recording was converted earlier in this run
    const QString zero = makeFile(QStringLiteral("zero.wav"), QByteArray());
    engine.unopenable << zero;
    player.openPath(zero);
    EXPECT_EQ(store.values[keys::CurrentFile], path) << "nothing is written before it opens";
    pump();
    EXPECT_EQ(prompts.errors.size(), 1);
    EXPECT_EQ(store.values[keys::CurrentFile], path);
    EXPECT_EQ(store.values[keys::CurrentPosition], QStringLiteral("10.75"));
}

TEST_F(PlayerTest, PlayVoiceFileThatCannotBePlayedStartsNothingLater) {
    const QString path = loadWithFile(200);
    engine.unopenable << path;
    player.playVoiceFile();
    pump();
    EXPECT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(player.playRequest().isEmpty());
    engine.unopenable.clear();
    engine.setFileName(path);
    pump();
    EXPECT_NE(engine.currentState(), MediaEngine::Running);
}

TEST_F(PlayerTest, RecordingThatCannotBeConvertedLeavesTheDictationInHand) {
    const QString path = loadWithFile(200);
    engine.setCurrentPosition(12);
    // A DVI recording whose header records more bytes than the file holds.
    QByteArray header(972, 'x');
    header.replace(0, 4, "DVI ");
    const qint32 recorded = 972 + 5000;
    header.replace(4, 4, QByteArray(reinterpret_cast<const char*>(&recorded), 4));
    const QString cut = makeFile(QStringLiteral("cut.dvi"), header + QByteArray(100, 'a'));
    prompts.openFileAnswers << cut;
    player.toolbarClick(Player::OpenButton);
    pump();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_EQ(prompts.errors[0], QStringLiteral("Unable to convert ") + cut +
                                     " to a wave file: the recording is cut short: it holds "
                                     "1072 of the 5972 bytes its header records.");
    EXPECT_EQ(engine.fileName(), path);
    EXPECT_EQ(engine.currentPosition(), 12);
    EXPECT_EQ(store.values[keys::CurrentFile], path);
    EXPECT_FALSE(QFileInfo::exists(cut + ".WAV"));
}
