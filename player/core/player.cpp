#include "player.h"

#include "convert/vox_converter.h"
#include "media_engine.h"
#include "pedal_devices.h"
#include "settings.h"
#include "settings_store.h"
#include "text_rules.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <cmath>

namespace velloran {

namespace {
const QString kPlay = QStringLiteral("PLAY");
const QString kNew = QStringLiteral("NEW");
const QString kResetTime = QStringLiteral("00:00:00");
const QString kResetPercent = QStringLiteral("0%");

bool fileExists(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}
} // namespace

Player::Player(MediaEngine& engine, SettingsStore& store, UserPrompts& prompts,
               SerialPedalPort& serial, GamePortPedal& gamePort, QObject* parent)
    : QObject(parent), engine_(engine), store_(store), prompts_(prompts), serial_(serial),
      gamePort_(gamePort) {
    connect(&engine_, &MediaEngine::openComplete, this, &Player::onOpenComplete);
    connect(&engine_, &MediaEngine::positionChange, this, &Player::onPositionChange);
    connect(&engine_, &MediaEngine::timer, this, &Player::posChange);
}

Player::~Player() {
    // Torn down without the ordinary close: the converted file is not needed.
    if (loaded_ && !unloaded_)
        deletePendingFile(store_);
}

QList<UserPrompts::FileFilter> Player::openFilters() {
    // "Windows Media Files" lists *.wma (not "*.wm", which would hide every
    // .wma file), and no pattern carries a stray blank.
    return {
        {QStringLiteral("Wave (*.wav)"), {QStringLiteral("*.wav")}},
        {QStringLiteral("MP3 (*.mp3;*.m3u)"), {QStringLiteral("*.mp3"), QStringLiteral("*.m3u")}},
        {QStringLiteral("MIDI Files (*.mid;*.midi;*.rmi)"),
         {QStringLiteral("*.mid"), QStringLiteral("*.midi"), QStringLiteral("*.rmi")}},
        {QStringLiteral("CD Tracks (*.cda)"), {QStringLiteral("*.cda")}},
        {QStringLiteral("Windows Media Files (*.asf;*.wma)"),
         {QStringLiteral("*.asf"), QStringLiteral("*.wma")}},
        {QStringLiteral("DSS Files (*.dss)"), {QStringLiteral("*.dss")}},
        {QStringLiteral("All Files(*.*)"), {QStringLiteral("*")}},
    };
}

QStringList Player::toolbarTooltips() {
    return {QStringLiteral("Open file (Ctrl+F10)"),
            QStringLiteral("Play"),
            QStringLiteral("Pause"),
            QStringLiteral("Stop"),
            QStringLiteral("Rewind"),
            QStringLiteral("Small Rewind (F7)"),
            QStringLiteral("Small Forward (F8)"),
            QStringLiteral("Forward"),
            QStringLiteral("Bookmark (F10)"),
            QStringLiteral("Review BookMarks (F11)"),
            QStringLiteral("Settings"),
            QStringLiteral("Help")};
}

// ---- lifecycle -------------------------------------------------------------

void Player::load(const QString& appDir) {
    helpFile_ = appDir + QStringLiteral("/Help/index.html");
    playRequest_ = kNew;
    // Pictures are found at AppDir + "/bitmap/..."; a trailing slash (the
    // root folder) would double it.
    appDir_ = appDir;
    while (appDir_.endsWith(QLatin1Char('/')))
        appDir_.chop(1);

    ensureSettingsDefaults(store_);

    const QString remembered = store_.read(keys::CurrentFile);
    const bool rememberedExists = !remembered.isEmpty() && fileExists(remembered);
    if (rememberedExists)
        engine_.setFileName(remembered);

    setDisplay([](DisplayState& d) {
        d.minimised = false;
        d.heightTwips = kCollapsedHeightTwips;
    });
    emit topmostRequested();

    loadPlayerState(store_, state_);
    selectPedalDevice(store_.read(keys::PortId));

    setDisplay([](DisplayState& d) { d.speedValue = 0; });

    if (rememberedExists) {
        readVolumeLevel();
        setDisplay([this](DisplayState& d) {
            if (d.barCaption.isEmpty())
                d.barCaption = kResetPercent;
            d.volumeValue = state_.volumeLevel;
            const double t = state_.volumeLevel / 35.0;
            d.volumeThumbLeftTwips = t <= 140 ? 140 : (t < 940 ? static_cast<int>(t) : 1000);
        });
    }

    // Start at the beginning; the open-complete event puts the remembered
    // position back (a write before the file has opened is dropped).
    engine_.setCurrentPosition(engine_.selectionEnd() - 1);
    engine_.setCurrentPosition(engine_.selectionEnd());
    engine_.setCurrentPosition(engine_.selectionStart());

    loaded_ = true;
}

void Player::unload() {
    if (unloaded_)
        return;
    gamePort_.setEnabled(false);
    serial_.setPortOpen(false);

    store_.write(keys::VolumeValue, QString::number(display_.volumeValue));
    if (!state_.stoppedByUser) {
        store_.write(keys::CurrentFile, engine_.fileName());
        store_.write(keys::CurrentPosition, numberText(engine_.currentPosition()));
    }
    unloaded_ = true;
}

void Player::windowResized(bool minimised) {
    setDisplay([&](DisplayState& d) {
        d.minimised = minimised;
        if (minimised)
            d.caption = QStringLiteral("Velloran - ") + d.percentText;
        else if (!extractFileName(engine_.fileName()).isEmpty())
            d.caption = fileCaption();
        else
            d.caption = QStringLiteral("Velloran");
    });
}

QString Player::fileCaption() const {
    return QStringLiteral("Velloran - ") + extractFileName(engine_.fileName()) +
           QStringLiteral(" - Length : ") + formatHms(engine_.selectionEnd());
}

void Player::keyUp(int key) {
    if (key == Qt::Key_Comma)
        smallRewind();
    else if (key == Qt::Key_Period)
        smallForward();
}

// ---- opening and playing ---------------------------------------------------

void Player::openFile() {
    const QString folder = store_.read(keys::WavePath);
    const QString chosen = prompts_.chooseOpenFile(openFilters(), folder);
    if (!chosen.isEmpty())
        openChosen(chosen);
    finishOpenCommand();
}

void Player::openPath(const QString& path) {
    // As the toolbar's Open command, with the path as the dialog's answer.
    if (!path.isEmpty())
        openChosen(QFileInfo(path).absoluteFilePath());
    finishOpenCommand();
    reassignSelectedFile();
    if (state_.converted)
        playVoiceFile();
}

void Player::reassignSelectedFile() {
    // The Open command hands the chosen file to the engine once more. Not when
    // it is open already (that would load it twice), and never an empty name:
    // a dialog cancelled before any file was chosen in this run would close
    // the dictation in hand and lose it at exit.
    if (!state_.selectedFile.isEmpty() && engine_.fileName() != state_.selectedFile)
        engine_.setFileName(state_.selectedFile);
}

void Player::openChosen(const QString& path) {
    setDisplay([](DisplayState& d) { d.caption.clear(); });
    engine_.setFileName(QString());
    state_.selectedFile = path;
    state_.fileSignature = readFileSignature(path);

    switch (classifySignature(state_.fileSignature)) {
    case SignatureKind::Dss:
        if (dssConverter) {
            const QFileInfo info(path);
            const QString folder = info.absolutePath() + QLatin1Char('/');
            state_.dssWaveName = dssConverter(folder, info.fileName());
            if (!state_.dssWaveName.isEmpty())
                state_.converted = true;
            state_.selectedFile = folder + state_.dssWaveName;
            delay(0.3);
        }
        break;
    case SignatureKind::Dvi:
        convertVoxFile(store_, state_);
        break;
    case SignatureKind::Plain:
        break;
    }

    engine_.setFileName(state_.selectedFile);
    clearallBookmarks();
    resetDisplayForNewFile();
    engine_.setCurrentPosition(0);
}

void Player::readVolumeLevel() {
    // A text beyond 16 bits leaves the level as it was.
    int volume = 0;
    if (toWhole16(leadingNumber(store_.read(keys::VolumeValue)), volume))
        state_.volumeLevel = volume;
}

void Player::finishOpenCommand() {
    readVolumeLevel();
    setDisplay([this](DisplayState& d) {
        d.caption = QStringLiteral("Velloran - ") + extractFileName(engine_.fileName());
    });
    // A cancelled dialog before any file was chosen in this run must not wipe
    // the remembered file.
    if (!state_.selectedFile.isEmpty())
        store_.write(keys::CurrentFile, state_.selectedFile);
}

void Player::resetDisplayForNewFile() {
    setDisplay([](DisplayState& d) {
        d.barWidthTwips = 0;
        d.barCaption = kResetPercent;
    });
}

void Player::playVoiceFile() {
    playRequest_ = kPlay;
    state_.stoppedByUser = false;
    engine_.setFileName(store_.read(keys::CurrentFile));
    const double position = engine_.currentPosition();
    engine_.setCurrentPosition(position < state_.stepBack ? 0.0 : position - state_.stepBack);
    engine_.run();
}

void Player::delay(double seconds) {
    if (!(seconds > 0))
        return;
    // A nested event loop with a deadline: events keep flowing, no core spins.
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(std::lround(seconds * 1000.0)), Qt::PreciseTimer, &loop,
                       &QEventLoop::quit);
    loop.exec();
}

void Player::onOpenComplete() {
    setDisplay([this](DisplayState& d) { d.durationText = numberText(engine_.duration()); });
    const QString remembered = store_.read(keys::CurrentFile);
    const double position = leadingNumber(store_.read(keys::CurrentPosition));
    if (engine_.fileName() != remembered || position <= 0) {
        setDisplay([](DisplayState& d) {
            d.percentText = kResetPercent;
            d.timeText = kResetTime;
        });
    } else {
        engine_.setCurrentPosition(position);
    }
    if (playRequest_ == kPlay) {
        const double back = engine_.currentPosition() - state_.stepBack;
        engine_.setCurrentPosition(back < 0 ? 0.0 : back);
        engine_.run();
        playRequest_.clear();
    }
}

void Player::onPositionChange(double /*oldPosition*/, double newPosition) {
    if (engine_.selectionEnd() == newPosition)
        engine_.pause();
    posChange();
}

// ---- transport -------------------------------------------------------------

void Player::toolbarClick(int index) {
    switch (index) {
    case OpenButton:
        openFile();
        reassignSelectedFile();
        if (state_.converted)
            playVoiceFile();
        break;
    case PlayButton:
        state_.stoppedByUser = false;
        engine_.setCurrentPosition(engine_.currentPosition() - state_.stepBack);
        engine_.run();
        break;
    case PauseButton:
        store_.write(keys::CurrentPosition, numberText(engine_.currentPosition()));
        engine_.pause();
        break;
    case StopButton:
        state_.stoppedByUser = true;
        store_.write(keys::CurrentFile, engine_.fileName());
        store_.write(keys::CurrentPosition, QStringLiteral("0"));
        engine_.setCurrentPosition(0);
        setDisplay([](DisplayState& d) {
            d.timeText = kResetTime;
            d.barWidthTwips = 0;
            d.barCaption = kResetPercent;
        });
        engine_.stop();
        break;
    case RewindButton:
        rewindRule(state_.largeSkip);
        break;
    case SmallRewindButton:
        smallRewind();
        break;
    case SmallForwardButton:
        smallForward();
        break;
    case ForwardButton:
        forwardRule(state_.largeSkip);
        break;
    case BookmarkButton:
        addBookMark();
        break;
    case ReviewButton:
        moveToBookMark();
        break;
    case SettingsButton:
        engine_.pause();
        setDisplay(
            [](DisplayState& d) { d.heightTwips = std::max(d.heightTwips, kPanelHeightTwips); });
        fillSettingsPanel();
        setDisplay([](DisplayState& d) { d.controlsEnabled = false; });
        serial_.setPortOpen(false);
        emit settingsPanelOpened();
        break;
    case HelpButton:
        emit helpMenuRequested();
        break;
    default:
        break;
    }
    // The speed slider is disabled while the settings panel is open, and a
    // disabled control cannot take the focus.
    if (display_.controlsEnabled)
        emit focusToSpeedSlider();
}

void Player::smallRewind() {
    rewindRule(state_.smallSkip);
}
void Player::smallForward() {
    forwardRule(state_.smallSkip);
}

void Player::rewindRule(double skip) {
    const double start = engine_.selectionStart();
    const double position = engine_.currentPosition();
    if (start < position)
        engine_.setCurrentPosition(position - skip);
    else if (start == position)
        engine_.setCurrentPosition(engine_.selectionEnd());
}

void Player::forwardRule(double skip) {
    const double end = engine_.selectionEnd();
    const double position = engine_.currentPosition();
    if (end > position)
        engine_.setCurrentPosition(position + skip);
}

// ---- display ---------------------------------------------------------------

void Player::posChange() {
    const double p = engine_.currentPosition();
    const double e = engine_.selectionEnd();
    setDisplay([&](DisplayState& d) {
        int percent = 0;
        if (e != 0 && toWhole16(p * 100.0 / e, percent))
            d.percentText = QString::number(percent) + QStringLiteral(" %");
        // The seek slider only takes values in its range; others are skipped.
        const double seek = leadingNumber(d.percentText);
        if (seek >= 0 && seek <= 100)
            d.seekValue = static_cast<int>(seek);
        if (d.barWidthTwips <= kFullBarTwips)
            d.barWidthTwips = d.seekValue * 20;
        d.timeText = formatHms(p);
        d.barCaption =
            QStringLiteral("[ ") + d.timeText + QStringLiteral(" ]            ") + d.percentText;
        d.caption = QStringLiteral("Velloran - ") +
                    (d.minimised ? d.percentText : extractFileName(engine_.fileName())) +
                    QStringLiteral(" - Length : ") + formatHms(e);
    });
}

void Player::setDisplay(const std::function<void(DisplayState&)>& change) {
    change(display_);
    emit displayChanged();
}

// ---- pedal devices ---------------------------------------------------------

bool Player::selectPedalDevice(const QString& portText, QString* error) {
    const PortChoice choice = parsePortText(portText);
    switch (choice.kind) {
    case PortChoice::Serial:
        if (choice.devicePath.isEmpty())
            serial_.setCommPort(choice.commPort);
        else
            serial_.setDevicePath(choice.devicePath);
        if (!serial_.setPortOpen(true, error))
            return false;
        if (gamePort_.isEnabled())
            gamePort_.setEnabled(false);
        return true;
    case PortChoice::GamePort:
        gamePort_.setEnabled(true);
        if (serial_.portOpen())
            serial_.setPortOpen(false);
        return true;
    case PortChoice::None:
        return true;
    }
    return true;
}

void Player::closeSettingsPanel(int heightTwips) {
    setDisplay([heightTwips](DisplayState& d) {
        d.heightTwips = heightTwips;
        d.controlsEnabled = true;
    });
}

// ---- later features --------------------------------------------------------

void Player::addBookMark() {}
void Player::moveToBookMark() {}
void Player::clearallBookmarks() {}
void Player::fillSettingsPanel() {
    emit fillSettingsPanelRequested();
}

} // namespace velloran
