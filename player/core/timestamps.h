#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace velloran {

class Player;
class SettingsStore;

/// How a place in the dictation is written into a transcript and read back
/// out of it: group "Timestamp" of the settings, "Format=" and "Offset=".
///
/// The format's fields are hh (hours, two digits), h (hours), mm (minutes),
/// ss (seconds) and d (tenths); anything else is copied as it stands. Without
/// an hours field the minutes count on past 59.
class TimestampFormat {
public:
    static inline const QString kGroup = QStringLiteral("Timestamp");
    static inline const QString kDefaultPattern = QStringLiteral("[hh:mm:ss]");

    explicit TimestampFormat(QString pattern = kDefaultPattern, double offsetSeconds = 0);
    /// The format of @p store; a missing or empty format is the default one.
    static TimestampFormat load(const SettingsStore& store);

    /// @p position (seconds into the dictation) with the offset added, as text.
    QString format(double position) const;
    /// The position of the first time in @p text ("[00:14:05]", "#0:14:05.3#",
    /// "14:05", "1:02:03.5"), the offset taken off; none when it holds no time.
    std::optional<double> find(const QString& text) const;

private:
    QString pattern_;
    double offset_ = 0;
};

/// Puts text where the typist is typing, without taking the focus: typed on
/// the keyboard of the focused window, or left on the clipboard to paste.
class TextTyper {
public:
    virtual ~TextTyper() = default;
    virtual void type(const QString& text) = 0;
};

/// The text the typist has selected in another program.
class SelectionSource {
public:
    virtual ~SelectionSource() = default;
    virtual QString selectedText() = 0;
};

/// The timestamp actions: one types the place the typist hears into the
/// document, the other moves the dictation to the time the typist selected there.
class Timestamps {
public:
    Timestamps(Player& player, const SettingsStore& store, TextTyper& typer,
               SelectionSource& selection);

    /// Types the position of this moment, in the settings' format.
    void typeStamp();
    /// Moves to the first time in the selection. False, with nothing moved,
    /// when there is none, it lies beyond the dictation or no dictation is open.
    bool goToSelected();

    /// Called when goToSelected() found nothing to go to (a beep, say; never a dialog).
    std::function<void()> nothingFound;

private:
    Player& player_;
    const SettingsStore& store_;
    TextTyper& typer_;
    SelectionSource& selection_;
};

} // namespace velloran
