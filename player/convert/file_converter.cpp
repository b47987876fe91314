#include "file_converter.h"

#include "core/player_state.h"
#include "core/settings.h"
#include "core/settings_store.h"
#include "vox_converter.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

namespace velloran {

FileConverter::FileConverter(const QString& appDir, SettingsStore& store, const QString& cacheRoot,
                             ConvertedFiles owned, ConversionFeedback* feedback)
    : store_(store), cacheRoot_(cacheRoot), owned_(owned),
      dss_(appDir, cacheRoot, feedback, std::move(owned)) {}

ConversionOutcome FileConverter::convertDss(const QString& source) {
    const QFileInfo info(source);
    ConversionOutcome outcome =
        dss_.convertDssFile(info.absolutePath() + QLatin1Char('/'), info.fileName());
    // A short pause before the wave file goes to the engine, windows painting
    // meanwhile; inside the conversion, so no command runs in it either.
    if (outcome.ok()) {
        QEventLoop loop;
        QTimer::singleShot(300, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return outcome;
}

ConversionOutcome FileConverter::convertDvi(const QString& source) {
    // The player remembers the wave file as the current dictation once it has
    // opened; the conversion itself records only the file to delete later.
    struct : SettingsStore {
        QString read(const QString&) const override { return {}; }
        void write(const QString&, const QString&) override {}
    } notYet;
    deletePendingFile(store_);
    PlayerState state;
    ConversionOutcome outcome;
    if (voxToWave(source, notYet, state, {}, &outcome.error, cacheRoot_, owned_)) {
        outcome.wavePath = state.selectedFile;
        store_.write(keys::FiletoDelete, outcome.wavePath);
    }
    return outcome;
}

void FileConverter::discardTemporary() {
    deletePendingFile(store_);
}

} // namespace velloran
