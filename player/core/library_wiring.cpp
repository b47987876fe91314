#include "library_wiring.h"

#include "media_engine.h"
#include "player.h"
#include "settings.h"
#include "settings_store.h"

namespace velloran {

LibraryWiring::LibraryWiring(Player& player, DictationStore* store)
    : player_(player), library_(store) {
    if (!library_.enabled())
        return;
    MediaEngine& engine = player_.engine();
    connect(&player_, &Player::fileOpened, this, &LibraryWiring::onFileOpened);
    connect(&engine, &MediaEngine::timer, this, &LibraryWiring::onProgress);
    connect(&engine, &MediaEngine::positionChange, this, &LibraryWiring::onProgress);
    const auto bookmarks = [this] {
        library_.bookmarksChanged(player_.engine().fileName(), player_.bookmarks().positions());
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
    const auto record = library_.opened(engine.fileName(), engine.duration());
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
    library_.progress(engine.fileName(), engine.currentPosition(), player_.display().speedValue,
                      engine.currentState() == MediaEngine::Running);
}

void LibraryWiring::openNeighbour(int step) {
    QString current = player_.engine().fileName();
    if (current.isEmpty())
        current = player_.store().read(keys::CurrentFile);
    const QString next = DictationLibrary::neighbour(current, step);
    if (!next.isEmpty())
        player_.openPath(next);
}

} // namespace velloran
