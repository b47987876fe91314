#pragma once

#include <QObject>
#include <QStringList>

#include <array>

namespace velloran {

class Player;

/// The settings panel below the player strip: what its controls hold, how
/// they are filled from the store, validated, saved and closed. The widgets
/// show these fields and write the user's choices back into them.
class SettingsPanel : public QObject {
    Q_OBJECT
public:
    /// Height of the window once the panel is closed again.
    static constexpr int kClosedHeightTwips = 750;

    /// The pedal lists' items, in order, and the action code each carries.
    static QStringList pedalItems();
    static int pedalCodeOfItem(int index);
    static int pedalItemOfCode(int code);
    /// The skip lists' items: "1" to "10".
    static QStringList skipItems();
    /// "Game Port", "COM1".."COM4", then the USB serial adapters present.
    static QStringList portItems(const QString& deviceFolder = QStringLiteral("/dev"));
    /// portItems(), then the USB pedals present.
    QStringList presentPorts() const;

    /// The panel's message texts.
    static QString duplicatePedalsMessage();
    static QString badPortMessage();
    static QString folderPrompt();

    explicit SettingsPanel(Player& player, QObject* parent = nullptr);

    // ---- the controls' contents ----
    QString wavePath;                          ///< txtWavePath
    QStringList ports;                         ///< cmbPort's items
    QString portText;                          ///< cmbPort's text
    std::array<int, 3> pedalIndex{-1, -1, -1}; ///< Combo1(0..2): chosen item, -1 none
    QString largeText;                         ///< txtL
    QString smallText;                         ///< txtS
    QString stepBackText;                      ///< txtRew
    bool pressToPlay = true;                   ///< OptPP
    bool startStop = false;                    ///< OptPT
    bool testEnabled = false;                  ///< cmdTest
    bool isOpen = false;

    /// Fills the controls from the store (the Settings button does this).
    void fill();
    /// Writes every control to the store in its fixed order and reloads the
    /// player state from it (OK does this after validating).
    void apply();

    // ---- the panel's buttons ----
    /// A port was picked in the list: Test becomes available.
    void portPicked(const QString& text);
    /// OK: validates, saves, switches the pedal port and closes the panel.
    /// Returns false when the panel stays open (a message was shown).
    bool ok();
    /// Cancel: closes the panel without saving; both pedal devices come on.
    void cancel();
    /// Test: switches the player's pedal devices off and asks for the test dialog.
    void test();
    /// Browse: the folder picker; a chosen folder goes into the folder box.
    void browse();

signals:
    /// Any field changed; the widgets re-read them.
    void changed();
    /// The pedal test dialog is to open for this port text.
    void testRequested(const QString& portText);

private:
    void close();
    Player& player_;
};

} // namespace velloran
