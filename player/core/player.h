#pragma once

#include "bookmarks.h"
#include "dictation_speed.h"
#include "player_state.h"
#include "user_prompts.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace velloran {

class GamePortPedal;
class MediaEngine;
class RecordingConverter;
class SerialPedalPort;
class SettingsStore;
class UsbPedal;

/// What the main window shows, as the player computes it. Widths and heights
/// are twips (15 twips = 1 pixel); the view converts.
struct DisplayState {
    QString caption = QStringLiteral("Velloran");
    QString timeText;               ///< txtCp: the position as hh:mm:ss
    QString percentText;            ///< txtPer: "42 %", or "0%" when reset
    QString barCaption;             ///< LBL2: "[ 00:01:23 ]            42 %"
    int barWidthTwips = 0;          ///< LBL1: the filled part, 2000 at 100 %
    int seekValue = 0;              ///< sldMov, 0..100
    QString durationText;           ///< lblDuration
    int heightTwips = 800;          ///< the window's height
    int speedValue = 0;             ///< Slider1
    int volumeValue = 0;            ///< the volume slider
    int volumeThumbLeftTwips = 140; ///< picSlider
    bool controlsEnabled = true;    ///< toolbar, bar caption, speed and volume sliders
    bool minimised = false;
};

/// The main window's logic: start-up and shut-down, opening files, the
/// engine's events, the toolbar, the small skips and the position display.
/// The window itself only shows DisplayState and forwards user input here.
class Player : public QObject {
    Q_OBJECT
public:
    static constexpr int kCollapsedHeightTwips = 800;
    static constexpr int kPanelHeightTwips = 2370;
    static constexpr int kFullBarTwips = 2000;

    /// Toolbar buttons, 1-based as on the toolbar.
    enum Button {
        OpenButton = 1,
        PlayButton,
        PauseButton,
        StopButton,
        RewindButton,
        SmallRewindButton,
        SmallForwardButton,
        ForwardButton,
        BookmarkButton,
        ReviewButton,
        SettingsButton,
        HelpButton
    };

    Player(MediaEngine& engine, SettingsStore& store, UserPrompts& prompts, SerialPedalPort& serial,
           GamePortPedal& gamePort, QObject* parent = nullptr);
    ~Player() override;

    /// The open dialog's file types.
    static QList<UserPrompts::FileFilter> openFilters();
    /// The toolbar's tooltips, button 1 first.
    static QStringList toolbarTooltips();

    // ---- lifecycle ----
    /// The load steps. @p appDir is the program's folder (bitmap/, Help/ beside it).
    void load(const QString& appDir);
    /// The unload steps: closes the pedal devices and saves volume, file and position.
    void unload();
    bool isLoaded() const { return loaded_; }
    /// The window was minimised or restored (or resized): rewrites the caption.
    void windowResized(bool minimised);
    /// A key was released in the main window (Qt key code or the comma/full-stop codes).
    void keyUp(int nativeKeyCode);
    QString appDir() const { return appDir_; }
    QString helpFilePath() const { return helpFile_; }

    // ---- opening and playing ----
    /// The open command: asks for a file and opens it. False when the chosen
    /// file could not be converted (nothing was opened).
    bool openFile();
    /// Opens @p path as the toolbar's Open command would if the dialog had
    /// returned it (command line, file manager): a converted recording plays.
    void openPath(const QString& path);
    /// Reopens the remembered file and plays it with the step back.
    void playVoiceFile();
    /// Waits @p seconds while window events keep running.
    static void delay(double seconds);

    // ---- transport ----
    void toolbarClick(int index);
    void smallRewind();
    void smallForward();
    /// Back by @p skip seconds when past the start (unclamped); from exactly the
    /// start to the end.
    void rewindRule(double skip);
    /// On by @p skip seconds when before the end (unclamped); at or past the end nothing.
    void forwardRule(double skip);

    // ---- display ----
    /// Refreshes the time, percentage, bar, seek thumb and caption from the engine.
    void posChange();
    const DisplayState& display() const { return display_; }

    // ---- position bar and sliders ----
    /// A mouse button went down on the bar (LBL2) at @p xTwips from its left
    /// end: seeks in whole percent; the right button also sets a bookmark.
    void barButtonDown(Qt::MouseButton button, int xTwips);
    /// The mouse moved over the bar with @p buttons held: dragging with the
    /// left button alone scrubs.
    void barMouseMove(Qt::MouseButtons buttons, int xTwips);
    /// The user moved the seek slider (sldMov) to @p percent.
    void seekSliderMoved(int percent);
    /// The user moved the speed slider (Slider1) to @p value, -10..10.
    void speedSliderMoved(int value);
    /// Shows @p sliderValue on the Volume slider, and moves the picture
    /// slider's thumb when @p thumbLeftTwips is given. The exit saves it.
    void showVolume(int sliderValue, std::optional<int> thumbLeftTwips = std::nullopt);

    Bookmarks& bookmarks() { return bookmarks_; }
    const Bookmarks& bookmarks() const { return bookmarks_; }
    const DictationSpeed& speed() const { return speed_; }

    // ---- pedal devices ----
    /// Selects the pedal device from a "PortID" text. Returns false and fills
    /// @p error when a serial port cannot be opened.
    bool selectPedalDevice(const QString& portText, QString* error = nullptr);

    /// Closes the settings panel: the window shrinks to @p heightTwips and the
    /// controls the Settings button disabled are enabled again.
    void closeSettingsPanel(int heightTwips);

    // ---- bookmarks and the settings panel ----
    void addBookMark();
    void moveToBookMark();
    void clearallBookmarks();
    void fillSettingsPanel();

    PlayerState& state() { return state_; }
    const PlayerState& state() const { return state_; }
    QString playRequest() const { return playRequest_; }
    MediaEngine& engine() { return engine_; }
    SettingsStore& store() { return store_; }
    UserPrompts& prompts() { return prompts_; }
    SerialPedalPort& serialPort() { return serial_; }
    GamePortPedal& gamePort() { return gamePort_; }
    /// The third pedal device, a USB pedal; set before the pedal controller
    /// is made. Null when there is none.
    void setUsbPedal(UsbPedal* usb) { usb_ = usb; }
    UsbPedal* usbPedal() { return usb_; }

    /// The conversions of DSS and DVI recordings (the composition root sets
    /// them; without any, every file goes to the engine as it is). A
    /// recording that cannot be converted leaves the dictation in hand.
    void setConverter(RecordingConverter* converter) { converter_ = converter; }

signals:
    void displayChanged();
    /// The keyboard focus belongs on the speed slider now.
    void focusToSpeedSlider();
    /// The Help button: pop up the Help menu.
    void helpMenuRequested();
    /// The settings panel slides open (the window grows to kPanelHeightTwips).
    void settingsPanelOpened();
    /// The Settings button asks the panel to fill its controls from the store.
    void fillSettingsPanelRequested();
    /// The window is to stay on top (load step).
    void topmostRequested();
    /// The engine's file has opened. A listener may move the position now:
    /// the remembered file's saved place and a play request's step back
    /// follow from where it then stands.
    void fileOpened();

private:
    /// Where the engine's media stands, for the restore and for the exit.
    enum class Media { None, Opening, Open };

    void onOpenComplete();
    void onOpenFailed(const QString& path, const QString& reason);
    void onPositionChange(double oldPosition, double newPosition);
    bool openChosen(const QString& path);
    bool convertChosen(QString* error);
    void openInEngine(const QString& path, bool restorePosition);
    void keepPlaceInHand();
    void finishOpenCommand();
    void resetDisplayToNoFile();
    void readVolumeLevel();
    void reassignSelectedFile();
    void resetDisplayForNewFile();
    void setDisplay(const std::function<void(DisplayState&)>& change);
    void seekOnBar(int xTwips);
    QString fileCaption() const;

    MediaEngine& engine_;
    SettingsStore& store_;
    UserPrompts& prompts_;
    SerialPedalPort& serial_;
    GamePortPedal& gamePort_;
    UsbPedal* usb_ = nullptr;
    RecordingConverter* converter_ = nullptr;
    PlayerState state_;
    DisplayState display_;
    Bookmarks bookmarks_;
    DictationSpeed speed_;
    QString playRequest_;
    QString appDir_;
    QString helpFile_;
    bool loaded_ = false;
    bool unloaded_ = false;

    Media media_ = Media::None;
    // The opening file is the remembered one (start-up, PlayVoiceFile): its
    // saved position comes back. Any other file starts at 0.
    bool restorePending_ = false;
    // The remembered file and position from before the current opening; an
    // opening that fails puts them back, so nothing of the typist's place is lost.
    /// Chosen by an open command and opening: remembered once it has opened.
    QString pendingFile_;
    QString fallbackFile_;
    QString fallbackPosition_;
    // The volume slider was set from the store, the mixer or the user; only
    // then does the exit save it.
    bool volumeRestored_ = false;
};

} // namespace velloran
