#include "file_converter.h"

#include "core/player_state.h"
#include "vox_converter.h"

#include <QFileInfo>

namespace velloran {

FileConverter::FileConverter(const QString& appDir, SettingsStore& store, const QString& cacheRoot,
                             ConvertedFiles owned, ConversionFeedback* feedback)
    : store_(store), cacheRoot_(cacheRoot), owned_(owned),
      dss_(appDir, cacheRoot, feedback, std::move(owned)) {}

ConversionOutcome FileConverter::convertDss(const QString& source) {
    const QFileInfo info(source);
    return dss_.convertDssFile(info.absolutePath() + QLatin1Char('/'), info.fileName());
}

ConversionOutcome FileConverter::convertDvi(const QString& source) {
    PlayerState state;
    state.selectedFile = source;
    ConversionOutcome outcome;
    if (convertVoxFile(store_, state, {}, &outcome.error, cacheRoot_, owned_))
        outcome.wavePath = state.selectedFile;
    return outcome;
}

void FileConverter::discardTemporary() {
    deletePendingFile(store_);
}

} // namespace velloran
