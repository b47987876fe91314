#pragma once

#include "player_state.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace velloran {

class SettingsStore;

/// The keys of the store, spelled as they are stored (blanks included).
namespace keys {
inline const QString PortId = QStringLiteral("PortID");
inline const QString LargeChange = QStringLiteral("Large Change");
inline const QString SmallChange = QStringLiteral("Small Change");
inline const QString RewVal = QStringLiteral("RewVal");
inline const QString PlayPress = QStringLiteral("Play Press");
inline const QString PlayToggle = QStringLiteral("Play Toggle");
inline const QString FirstPedal = QStringLiteral("First Pedal");
inline const QString SecondPedal = QStringLiteral("Second Pedal");
inline const QString ThirdPedal = QStringLiteral("Third Pedal");
inline const QString WavePath = QStringLiteral("WavePath");
inline const QString VolumeValue = QStringLiteral("VolumeValue");
inline const QString CurrentFile = QStringLiteral("CurrentFile");
inline const QString CurrentPosition = QStringLiteral("CurrentPosition");
inline const QString FiletoDelete = QStringLiteral("FiletoDelete");
/// Ours: the joystick device of the game-port pedal, empty for the first one found.
inline const QString GamePortDevice = QStringLiteral("GamePortDevice");
/// Ours: "True" when each dictation's speed comes back with it (off when missing).
inline const QString RememberSpeed = QStringLiteral("RememberSpeed");
/// Ours: "True" once the typist has been told the strip cannot stay on top on this desktop.
inline const QString NotOnTopTold = QStringLiteral("NotOnTopTold");
} // namespace keys

/// The three pedal keys, pedal 1 first.
inline const QString kPedalKeys[3] = {keys::FirstPedal, keys::SecondPedal, keys::ThirdPedal};

// ---- Text rules -------------------------------------------------------------

/// The leading decimal number of a text: leading blanks skipped, an optional
/// sign, digits with "." as the decimal point whatever the locale, an optional
/// exponent. Empty or non-numeric text gives 0.
double leadingNumber(QStringView text);

/// Rounds to the nearest whole number, halves to the even neighbour.
double roundHalfEven(double value);

/// The number form written to the store: the shortest text that reads back as
/// the same value, always with "." as the decimal point. (A locale comma would
/// be cut off by leadingNumber() when read back, losing the fraction.)
QString numberText(double value);

/// "True" / "False".
QString boolText(bool value);

/// A Boolean key's text: the words True and False (any case), or a number
/// (non-zero is true). Anything else gives no value.
std::optional<bool> parseBool(QStringView text);

/// A whole 16-bit number from a text that is a number as a whole (blanks
/// around it allowed), rounded halves to even. Anything else gives no value.
std::optional<int> parseWholeNumber(QStringView text);

/// A pedal key's action code: taken only when the text's leading number is
/// neither 0 nor -1 and the text converts to a whole number.
std::optional<int> parsePedalCode(QStringView text);

/// Where the "PortID" text sends the pedal.
struct PortChoice {
    enum Kind { None, Serial, GamePort, Usb } kind = None;
    int commPort = 0;   ///< Serial: COMn's n
    QString devicePath; ///< Serial: a device path given instead of COMn
    QString usbId;      ///< Usb: "vvvv:pppp", "vvvv:pppp serial" or an input device path
};
/// "COM" followed by a digit selects serial port n (the last character);
/// "Game Port" the game port; a USB pedal's text ("Name (USB vvvv:pppp)",
/// "USB vvvv:pppp", with a serial number after a blank, or a path under
/// /dev/input/ or /dev/hidraw) that USB pedal; any other device path
/// (/dev/...) that serial device; any other text no device.
PortChoice parsePortText(const QString& text);
/// The port text of a USB pedal as the Port list shows it.
QString usbPortText(const QString& name, const QString& usbId);

// ---- Store procedures -------------------------------------------------------

/// Writes the nine first-run defaults, in their fixed order, replacing any
/// that already exist.
void writeSettingsDefaults(SettingsStore& store);

/// Runs writeSettingsDefaults() when "Large Change" or "Small Change" reads
/// empty. Returns whether it did.
bool ensureSettingsDefaults(SettingsStore& store);

/// Loads ToggleMode, PedalAction 1..3, LargeSkip, SmallSkip and StepBack, in
/// that order, by the rules of each key. Texts that do not convert leave the
/// previous value.
void loadPlayerState(const SettingsStore& store, PlayerState& state);

/// Reads the three pedal keys into PedalAction.
void loadPedalActions(const SettingsStore& store, PlayerState& state);

} // namespace velloran
