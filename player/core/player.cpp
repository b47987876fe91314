#include "player.h"

#include "file_names.h"
#include "file_signature.h"
#include "media_engine.h"
#include "pedal_devices.h"
#include "recording_converter.h"
#include "settings.h"
#include "settings_store.h"
#include "text_rules.h"
#include "volume_control.h"

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
    const auto info = statFile(path);
    return info && S_ISREG(info->st_mode);
}
} // namespace

Player::Player(MediaEngine& engine, SettingsStore& store, UserPrompts& prompts,
               SerialPedalPort& serial, GamePortPedal& gamePort, QObject* parent)
    : QObject(parent), engine_(engine), store_(store), prompts_(prompts), serial_(serial),
      gamePort_(gamePort), bookmarks_(engine), speed_(engine) {
    connect(&engine_, &MediaEngine::openComplete, this, &Player::onOpenComplete);
    connect(&engine_, &MediaEngine::openFailed, this, &Player::onOpenFailed);
    connect(&engine_, &MediaEngine::positionChange, this, &Player::onPositionChange);
    connect(&engine_, &MediaEngine::timer, this, &Player::posChange);
}

Player::~Player() {
    // Torn down without the ordinary close: the converted file is not needed.
    if (loaded_ && !unloaded_ && converter_)
        converter_->discardTemporary();
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
        // What phones and today's recorders write; the engine plays them as they are.
        {QStringLiteral("Other audio (*.flac *.ogg *.oga *.opus *.m4a *.aac *.mp4 *.amr *.3gp "
                        "*.webm)"),
         {QStringLiteral("*.flac"), QStringLiteral("*.ogg"), QStringLiteral("*.oga"),
          QStringLiteral("*.opus"), QStringLiteral("*.m4a"), QStringLiteral("*.aac"),
          QStringLiteral("*.mp4"), QStringLiteral("*.amr"), QStringLiteral("*.3gp"),
          QStringLiteral("*.webm")}},
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
    if (rememberedExists) {
        keepPlaceInHand();
        openInEngine(remembered, true);
    }

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
        volumeRestored_ = true;
        setDisplay([this](DisplayState& d) {
            if (d.barCaption.isEmpty())
                d.barCaption = kResetPercent;
            d.volumeValue = state_.volumeLevel;
            d.volumeThumbLeftTwips = VolumeControl::thumbLeftForLevel(state_.volumeLevel);
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
    if (usb_)
        usb_->setEnabled(false);

    // A slider that was never set from the store holds no choice of the
    // user's (the remembered file was missing at start): the stored volume stays.
    if (volumeRestored_)
        store_.write(keys::VolumeValue, QString::number(display_.volumeValue));
    const QString file = engine_.fileName();
    if (!state_.stoppedByUser && !file.isEmpty()) {
        if (media_ == Media::Open) {
            store_.write(keys::CurrentFile, file);
            store_.write(keys::CurrentPosition, numberText(engine_.currentPosition()));
        } else if (media_ == Media::Opening) {
            // Not open yet: the position saved is the one it is about to get.
            const bool restoring = restorePending_ && file == store_.read(keys::CurrentFile);
            store_.write(keys::CurrentFile, file);
            if (!restoring)
                store_.write(keys::CurrentPosition, QStringLiteral("0"));
        }
    }
    // With no file in hand (missing at start, or one that failed to open) the
    // remembered file and position stay as they are.
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

bool Player::openFile() {
    const QString folder = store_.read(keys::WavePath);
    const QString chosen = prompts_.chooseOpenFile(openFilters(), folder);
    const bool opened = !chosen.isEmpty() && openChosen(chosen);
    finishOpenCommand();
    return opened || chosen.isEmpty();
}

void Player::openPath(const QString& path) {
    // As the toolbar's Open command, with the path as the dialog's answer.
    const bool opened = !path.isEmpty() && openChosen(absoluteFileName(path));
    finishOpenCommand();
    // A refused recording opens nothing: an earlier conversion's flag must not
    // restart the dictation in hand.
    if (!opened && !path.isEmpty())
        return;
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
        openInEngine(state_.selectedFile, false);
}

void Player::openInEngine(const QString& path, bool restorePosition) {
    engine_.setFileName(path);
    media_ = engine_.fileName().isEmpty() ? Media::None : Media::Opening;
    restorePending_ = restorePosition && media_ == Media::Opening;
}

void Player::keepPlaceInHand() {
    if (media_ == Media::Open && !engine_.fileName().isEmpty() && !state_.stoppedByUser) {
        fallbackFile_ = engine_.fileName();
        fallbackPosition_ = numberText(engine_.currentPosition());
    } else {
        fallbackFile_ = store_.read(keys::CurrentFile);
        fallbackPosition_ = store_.read(keys::CurrentPosition);
    }
}

bool Player::openChosen(const QString& path) {
    keepPlaceInHand();
    const QString previousChoice = state_.selectedFile;
    state_.selectedFile = path;
    state_.fileSignature = readFileSignature(path);

    // Converted before the dictation in hand is closed: a recording that
    // cannot be converted leaves the typist where they were.
    QString error;
    if (!convertChosen(&error)) {
        state_.selectedFile = previousChoice;
        prompts_.showError(
            QStringLiteral("Unable to convert ") + path + QStringLiteral(" to a wave file") +
            (error.isEmpty() ? QString() : QStringLiteral(": ") + error) + QLatin1Char('.'));
        return false;
    }

    // The dictation in hand, chosen again (a double click in the file
    // manager), stays as it is, with its place and its bookmarks.
    if (media_ != Media::None && engine_.fileName() == state_.selectedFile) {
        // A converted one is played from its place: that place is the one
        // kept, not an older one in the store.
        if (media_ == Media::Open && store_.read(keys::CurrentFile) == state_.selectedFile)
            store_.write(keys::CurrentPosition, numberText(engine_.currentPosition()));
        return true;
    }
    // The remembered one comes back at its remembered place; any other
    // starts at its beginning. The store learns of it once it has opened.
    const bool remembered = state_.selectedFile == store_.read(keys::CurrentFile);
    setDisplay([](DisplayState& d) { d.caption.clear(); });
    engine_.setFileName(QString());
    media_ = Media::None;
    openInEngine(state_.selectedFile, remembered);
    pendingFile_ = state_.selectedFile;
    clearallBookmarks();
    resetDisplayForNewFile();
    engine_.setCurrentPosition(0);
    return true;
}

bool Player::convertChosen(QString* error) {
    const SignatureKind kind = classifySignature(state_.fileSignature);
    if (kind == SignatureKind::Plain || !converter_)
        return true;
    const ConversionOutcome outcome = kind == SignatureKind::Dss
                                          ? converter_->convertDss(state_.selectedFile)
                                          : converter_->convertDvi(state_.selectedFile);
    if (!outcome.ok()) {
        *error = outcome.error;
        return false;
    }
    state_.converted = true;
    state_.selectedFile = outcome.wavePath;
    if (kind == SignatureKind::Dss)
        state_.dssWaveName = QFileInfo(outcome.wavePath).fileName();
    // Told once the file is on its way to the engine, not in front of it.
    if (!outcome.notice.isEmpty()) {
        QMetaObject::invokeMethod(
            this, [this, notice = outcome.notice] { prompts_.showMessage(notice); },
            Qt::QueuedConnection);
    }
    return true;
}

void Player::readVolumeLevel() {
    // A text beyond 16 bits leaves the level as it was, and so does none at
    // all: on a first run the level is the mixer's, and un-muting restores it.
    int volume = 0;
    const QString text = store_.read(keys::VolumeValue);
    if (!text.isEmpty() && toWhole16(leadingNumber(text), volume))
        state_.volumeLevel = volume;
}

void Player::finishOpenCommand() {
    // Un-muting restores the level the sliders show: the saved volume only
    // stands in while they show none of this session's yet, and then they show it.
    if (!volumeRestored_) {
        readVolumeLevel();
        showVolume(state_.volumeLevel, VolumeControl::thumbLeftForLevel(state_.volumeLevel));
    }
    setDisplay([this](DisplayState& d) {
        d.caption = QStringLiteral("Velloran - ") + extractFileName(engine_.fileName());
    });
    // Nothing is remembered here: a chosen file becomes "CurrentFile" when it
    // has opened, so one that cannot be played never replaces the dictation
    // remembered, nor its place.
}

void Player::resetDisplayForNewFile() {
    setDisplay([](DisplayState& d) {
        d.barWidthTwips = 0;
        d.barCaption = kResetPercent;
    });
}

void Player::resetDisplayToNoFile() {
    setDisplay([](DisplayState& d) {
        d.caption = QStringLiteral("Velloran");
        d.timeText = kResetTime;
        d.percentText = kResetPercent;
        d.barCaption = kResetPercent;
        d.barWidthTwips = 0;
        d.seekValue = 0;
        d.durationText.clear();
    });
}

void Player::playVoiceFile() {
    playRequest_ = kPlay;
    state_.stoppedByUser = false;
    const QString file = pendingFile_.isEmpty() ? store_.read(keys::CurrentFile) : pendingFile_;
    // On its way already (just chosen): it plays once it has opened.
    if (media_ == Media::Opening && engine_.fileName() == file)
        return;
    // The fallback was taken when the open command began; a file still
    // opening has no place of its own to keep.
    if (media_ == Media::Open)
        keepPlaceInHand();
    openInEngine(file, true);
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
    media_ = Media::Open;
    const bool restore = restorePending_;
    restorePending_ = false;
    setDisplay([this](DisplayState& d) { d.durationText = numberText(engine_.duration()); });
    emit fileOpened();
    const QString remembered = store_.read(keys::CurrentFile);
    const double position = leadingNumber(store_.read(keys::CurrentPosition));
    if (!pendingFile_.isEmpty() && pendingFile_ == engine_.fileName()) {
        if (pendingFile_ != remembered) {
            store_.write(keys::CurrentFile, pendingFile_);
            store_.write(keys::CurrentPosition, QStringLiteral("0"));
        }
        pendingFile_.clear();
    }
    if (!restore || engine_.fileName() != remembered || position <= 0) {
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

void Player::onOpenFailed(const QString& path, const QString& reason) {
    media_ = Media::None;
    restorePending_ = false;
    pendingFile_.clear();
    if (playRequest_ == kPlay)
        playRequest_.clear();
    if (state_.selectedFile == path)
        state_.selectedFile.clear();
    store_.write(keys::CurrentFile, fallbackFile_);
    store_.write(keys::CurrentPosition, fallbackPosition_);
    resetDisplayToNoFile();
    prompts_.showError(QStringLiteral("Unable to play ") + path + QStringLiteral(": ") + reason +
                       QLatin1Char('.'));
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
        if (!openFile())
            break;
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
    // The USB pedal is let go (a keyboard pedal's grab with it) once another port is in use.
    const auto releaseUsb = [this] {
        if (usb_ && usb_->isEnabled())
            usb_->setEnabled(false);
    };
    switch (choice.kind) {
    case PortChoice::Usb:
        // Like a missing COM port at start, an absent pedal says nothing;
        // it is taken when it is plugged in.
        if (usb_) {
            usb_->setDeviceId(choice.usbId);
            usb_->setEnabled(true);
        }
        if (gamePort_.isEnabled())
            gamePort_.setEnabled(false);
        if (serial_.portOpen())
            serial_.setPortOpen(false);
        return true;
    case PortChoice::Serial:
        if (choice.devicePath.isEmpty())
            serial_.setCommPort(choice.commPort);
        else
            serial_.setDevicePath(choice.devicePath);
        if (!serial_.setPortOpen(true, error))
            return false;
        if (gamePort_.isEnabled())
            gamePort_.setEnabled(false);
        releaseUsb();
        return true;
    case PortChoice::GamePort:
        gamePort_.setEnabled(true);
        if (serial_.portOpen())
            serial_.setPortOpen(false);
        releaseUsb();
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

// ---- position bar and sliders ---------------------------------------------

void Player::barButtonDown(Qt::MouseButton button, int xTwips) {
    // The bar is disabled while the settings panel is open.
    if (!display_.controlsEnabled)
        return;
    seekOnBar(xTwips);
    if (button == Qt::RightButton)
        addBookMark();
}

void Player::barMouseMove(Qt::MouseButtons buttons, int xTwips) {
    if (display_.controlsEnabled && buttons == Qt::LeftButton)
        seekOnBar(xTwips);
}

void Player::seekOnBar(int xTwips) {
    if (xTwips <= 0 || xTwips > kFullBarTwips)
        return;
    setDisplay([xTwips](DisplayState& d) { d.barWidthTwips = xTwips; });
    // Whole percent of the dictation, as the bar's scale shows it.
    engine_.setCurrentPosition(engine_.selectionEnd() * (xTwips / 20) / 100.0);
}

void Player::seekSliderMoved(int percent) {
    engine_.setCurrentPosition(engine_.selectionEnd() * percent / 100.0);
    emit focusToSpeedSlider();
}

void Player::speedSliderMoved(int value) {
    speed_.sliderMoved(value);
    setDisplay([value](DisplayState& d) { d.speedValue = value; });
}

void Player::showVolume(int sliderValue, std::optional<int> thumbLeftTwips) {
    volumeRestored_ = true;
    setDisplay([&](DisplayState& d) {
        d.volumeValue = sliderValue;
        if (thumbLeftTwips)
            d.volumeThumbLeftTwips = *thumbLeftTwips;
    });
}

// ---- bookmarks and the settings panel --------------------------------------

void Player::addBookMark() {
    bookmarks_.add(display_.barWidthTwips);
}

void Player::moveToBookMark() {
    bookmarks_.moveToNext();
}

void Player::clearallBookmarks() {
    bookmarks_.clear();
}

void Player::fillSettingsPanel() {
    emit fillSettingsPanelRequested();
}

} // namespace velloran
