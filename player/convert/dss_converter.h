#pragma once

// DSS dictations: the player does not decode them itself. It starts the
// launcher (tolvane, beside the player) with one request, source "|" wave
// file, waits for it, and plays the wave file only when this run wrote it.

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
    /// that cannot take them go to @p cacheFolder (none when empty).
    explicit DssConverter(const QString& appDir, const QString& cacheFolder = {},
                          ConversionFeedback* feedback = nullptr);

    /// Converts @p folder (with trailing "/") + @p title. Returns the full path
    /// of the wave file, or empty when the launcher could not be started or did
    /// not leave a wave file written by this conversion: a stale file of the
    /// same name, one that does not start with "RIFF", or none.
    QString convertDssFile(const QString& folder, const QString& title);

    /// Where the wave file of @p source goes: beside it, or in the cache folder
    /// when the recording's folder (or an existing wave file there) is not writable.
    QString wavePathFor(const QString& source) const;

    QString launcherPath() const { return launcher_; }
    /// The text the feedback shows for @p title.
    static QString busyText(const QString& title);

private:
    QString launcher_;
    QString cacheFolder_;
    ConversionFeedback* feedback_;
};

} // namespace velloran
