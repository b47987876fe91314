#pragma once

// The player's conversions, as the composition root wires them in: DSS
// dictations through the launcher, DVI recordings in-process, both keeping to
// the wave files the player itself wrote.

#include "converted_files.h"
#include "core/recording_converter.h"
#include "dss_converter.h"

namespace velloran {

class SettingsStore;

class FileConverter final : public RecordingConverter {
public:
    /// @p appDir holds the launcher; @p store keeps the DVI conversion's
    /// temporary file under "FiletoDelete"; @p cacheRoot takes the wave files
    /// of recordings in folders that cannot.
    FileConverter(const QString& appDir, SettingsStore& store, const QString& cacheRoot,
                  ConvertedFiles owned = ConvertedFiles(), ConversionFeedback* feedback = nullptr);

    ConversionOutcome convertDss(const QString& source) override;
    ConversionOutcome convertDvi(const QString& source) override;
    void discardTemporary() override;

    DssConverter& dss() { return dss_; }

private:
    SettingsStore& store_;
    QString cacheRoot_;
    ConvertedFiles owned_;
    DssConverter dss_;
};

} // namespace velloran
