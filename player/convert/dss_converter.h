#pragma once

// DSS dictations: the player does not decode them itself. It starts the
// launcher (tolvane, beside the player) with one request, source "|" wave
// file, waits for it, and plays the wave file only when this run wrote it.

#include "converted_files.h"
#include "core/recording_converter.h"

#include <QString>

namespace velloran {

/// The wave file's name for a DSS recording named @p title: its last extension
/// becomes ".wav" ("Smith.2026-12-01.dss" gives "Smith.2026-12-01.wav"), and a
/// name without one gets ".wav" added ("noext" gives "noext.wav"). Cutting at
/// the first dot instead would convert a whole dated series onto one file.
QString dssWaveName(const QString& title);

/// The launcher's one argument: source, "|", destination, with no blanks or quotes.
QString dssConversionRequest(const QString& source, const QString& destination);

/// Shown while a conversion runs. The player takes no commands meanwhile; an
/// implementation only shows that work is going on (a busy cursor, a window).
class ConversionFeedback {
public:
    virtual ~ConversionFeedback() = default;
    /// A conversion begins; @p text says what, e.g. "Converting rec01.dss...".
    virtual void conversionStarted(const QString& text) = 0;
    /// The conversion started last has ended, whatever its outcome.
    virtual void conversionFinished() = 0;
};

/// Runs the launcher for one recording at a time, on the calling (user
/// interface) thread: it waits in a nested event loop that takes no user input,
/// so windows keep repainting while no command can start.
class DssConverter {
public:
    /// @p appDir holds the launcher. Wave files whose recording lies in a folder
    /// that cannot take them go to a folder of their own under @p cacheFolder
    /// (none when empty). Only files that @p owned knows as converted from the
    /// same recording are overwritten; by default none are.
    explicit DssConverter(const QString& appDir, const QString& cacheFolder = {},
                          ConversionFeedback* feedback = nullptr,
                          ConvertedFiles owned = ConvertedFiles(QString()));

    /// Converts @p folder (with trailing "/") + @p title. On success the wave
    /// file's full path, and a notice when parts of the recording were damaged;
    /// otherwise why not: the launcher could not be started or failed, or it
    /// did not leave a wave file written by this conversion.
    ConversionOutcome convertDssFile(const QString& folder, const QString& title);

    /// Where the wave file of @p source goes: beside it under the first name
    /// that is free or already ours, or in the cache when the recording's
    /// folder cannot take it or the recording itself carries the wave name.
    /// Empty when neither has a name free for it.
    QString wavePathFor(const QString& source) const;

    QString launcherPath() const { return launcher_; }
    /// The text the feedback shows for @p title.
    static QString busyText(const QString& title);

private:
    QString launcher_;
    QString cacheFolder_;
    ConversionFeedback* feedback_;
    ConvertedFiles owned_;
};

/// The typist's notice for a damage report line from the decoder
/// ("damaged <count> <seconds>..."); empty when @p line is not one.
QString damageNotice(const QString& title, const QByteArray& line);

} // namespace velloran
