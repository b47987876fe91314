#pragma once

#include "pedal_devices.h"

#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace velloran {

/// What the USB pedals are: one line a model, from the file shipped beside
/// the program and the user's own file of learned models.
///
/// A line is "vendor:product kind left middle right [pedal4=signal] name", e.g.
///   05f3:00ff buttons BTN_0 BTN_1 BTN_2 VEC USB Footpedal
///   1234:5678 keys    KEY_B KEY_A KEY_C Three-key pedal
///   1234:5679 hid     0:01  0:02  0:04  pedal4=3:02 Raw pedal
/// Codes are evdev names or numbers; a HID pedal is a report byte and a
/// hexadecimal bit mask. The three pedals are the settings' first, second and
/// third; a fourth is read (pedal 4) but has no action. Blank lines and lines
/// starting with "#" are skipped.
struct PedalModel {
    enum Kind { Buttons, Keys, Hid };
    quint16 vendor = 0;
    quint16 product = 0;
    Kind kind = Buttons;
    std::array<PedalSignal, 3> pedals{}; ///< left, middle, right
    QString name;
    PedalSignal fourth; ///< kind None: the model has no fourth pedal

    /// The pedal (1..4) a signal stands for, 0 when it is none of them.
    int pedalOf(const PedalSignal& signal) const;
    /// "05f3:00ff", the id the port text carries.
    QString usbId() const;
};

/// The text of a signal in a model line: "BTN_0", "KEY_F13", "300" for a
/// code without a name, "2:40" for byte 2, mask 0x40.
QString signalText(const PedalSignal& signal);
/// Reads a signal of a model line of @p kind.
std::optional<PedalSignal> parseSignal(const QString& text, PedalModel::Kind kind);

/// One model line (no line end).
QString modelLine(const PedalModel& model);

struct ModelParse {
    std::vector<PedalModel> models;
    /// One text per broken line: "<source>:<line>: <reason>".
    QStringList errors;
};
/// Reads the lines of a model file; broken lines are reported and skipped.
ModelParse parseModels(const QString& text, const QString& source);

/// The models known: the shipped file's, then the user's, where a later
/// line for the same vendor and product wins.
class PedalModelTable {
public:
    /// @p files are read in order; learned models are added to @p userFile
    /// (which should be the last of @p files).
    PedalModelTable(QStringList files, QString userFile);

    /// Reads the files again; missing files count as empty.
    void load();
    const std::vector<PedalModel>& models() const { return models_; }
    QStringList errors() const { return errors_; }
    const PedalModel* find(quint16 vendor, quint16 product) const;

    /// Appends @p model to the user's file (made when missing) and reloads.
    bool add(const PedalModel& model, QString* error);
    QString userFile() const { return userFile_; }

private:
    QStringList files_;
    QString userFile_;
    std::vector<PedalModel> models_;
    QStringList errors_;
};

/// The shipped table, @p appDir/pedal-models.txt, and the user's,
/// pedal-models.txt beside the settings file; loaded, broken lines logged.
std::unique_ptr<PedalModelTable> makePedalModelTable(const QString& appDir,
                                                     const QString& settingsFile);

} // namespace velloran
