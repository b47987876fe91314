#include "library_wiring.h"

#include "media_engine.h"
#include "player.h"
#include "recording_converter.h"
#include "settings.h"
#include "settings_store.h"

namespace velloran {

class LibraryWiring::Conversions final : public RecordingConverter {
public:
    Conversions(RecordingConverter& inner, QHash<QString, QString>& sources)
        : inner_(inner), sources_(sources) {}
    ConversionOutcome convertDss(const QString& source) override {
        return note(source, inner_.convertDss(source));
    }
    ConversionOutcome convertDvi(const QString& source) override {
        return note(source, inner_.convertDvi(source));
    }
    void discardTemporary() override { inner_.discardTemporary(); }

private:
    ConversionOutcome note(const QString& source, ConversionOutcome outcome) {
        if (outcome.ok())
            sources_.insert(outcome.wavePath, source);
        return outcome;
    }
    RecordingConverter& inner_;
    QHash<QString, QString>& sources_;
};

LibraryWiring::LibraryWiring(Player& player, DictationStore* store)
    : player_(player), library_(store) {
    if (!library_.enabled())
        return;
    MediaEngine& engine = player_.engine();
    connect(&player_, &Player::fileOpened, this, &LibraryWiring::onFileOpened);
    connect(&engine, &MediaEngine::timer, this, &LibraryWiring::onProgress);
    connect(&engine, &MediaEngine::positionChange, this, &LibraryWiring::onProgress);
    const auto bookmarks = [this] {
        library_.bookmarksChanged(dictationPath(), player_.bookmarks().positions());
    };
    connect(&player_.bookmarks(), &Bookmarks::markerChanged, this, bookmarks);
    connect(&player_.bookmarks(), &Bookmarks::markersCleared, this, bookmarks);
}

LibraryWiring::~LibraryWiring() {
    flush();
}

void LibraryWiring::flush() {
    onProgress();
    library_.flush();
}

void LibraryWiring::onFileOpened() {
    MediaEngine& engine = player_.engine();
    const auto record = library_.opened(dictationPath(), engine.duration());
    if (!record)
        return;
    if (record->place > 0)
        engine.setCurrentPosition(record->place);
    player_.bookmarks().restore(record->bookmarks, engine.duration(), Player::kFullBarTwips);
    if (parseBool(player_.store().read(keys::RememberSpeed)).value_or(false))
        player_.speedSliderMoved(record->speedNotch);
    player_.posChange();
}

void LibraryWiring::onProgress() {
    MediaEngine& engine = player_.engine();
    library_.progress(dictationPath(), engine.currentPosition(), player_.display().speedValue,
                      engine.currentState() == MediaEngine::Running);
}

QString LibraryWiring::dictationPath() const {
    const QString file = player_.engine().fileName();
    return sources_.value(file, file);
}

RecordingConverter* LibraryWiring::watchConversions(RecordingConverter& inner) {
    conversions_ = std::make_unique<Conversions>(inner, sources_);
    return conversions_.get();
}

void LibraryWiring::openNeighbour(int step) {
    QString current = dictationPath();
    if (current.isEmpty())
        current = player_.store().read(keys::CurrentFile);
    const QString next = DictationLibrary::neighbour(current, step);
    if (!next.isEmpty())
        player_.openPath(next);
}

} // namespace velloran
