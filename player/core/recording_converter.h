#pragma once

// Recordings the engine cannot play as they are (DSS dictations, DVI voice
// recordings) are turned into wave files first. The player asks through this
// interface; the conversions themselves live apart from the player's rules and
// are wired in by the composition root.

#include <QString>

namespace velloran {

/// What a conversion left for the player to play, or why it left nothing.
struct ConversionOutcome {
    /// The wave file to play; empty when the conversion failed.
    QString wavePath;
    /// Why it failed, worded to follow "Unable to convert X to a wave file: ".
    QString error;
    /// Something the typist should hear about a conversion that succeeded
    /// (parts of a damaged recording that play as silence); empty when none.
    QString notice;

    bool ok() const { return !wavePath.isEmpty(); }
};

class RecordingConverter {
public:
    virtual ~RecordingConverter() = default;
    /// Converts a DSS dictation. Blocks until done, keeping windows painted
    /// but taking no user input.
    virtual ConversionOutcome convertDss(const QString& source) = 0;
    /// Converts a DVI voice recording; its wave file is temporary (deleted at
    /// the next DVI conversion).
    virtual ConversionOutcome convertDvi(const QString& source) = 0;
    /// Deletes the temporary wave file of the last DVI conversion, if any.
    virtual void discardTemporary() = 0;
};

} // namespace velloran
