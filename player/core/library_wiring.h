#pragma once

#include "dictation_library.h"

#include <QObject>

namespace velloran {

class Player;

/// Connects the dictation library to the player: what the player does is
/// recorded, and an opened dictation gets its place, bookmarks and (when
/// chosen) speed back through the player's own controls.
class LibraryWiring : public QObject {
    Q_OBJECT
public:
    /// @p store may be null (no library): the player works as without one.
    LibraryWiring(Player& player, DictationStore* store);
    ~LibraryWiring() override;

    DictationLibrary& library() { return library_; }
    /// Records the position in hand and writes what is pending.
    void flush();
    /// Opens the audio file @p step places from the current one in its folder.
    void openNeighbour(int step);

private:
    void onFileOpened();
    void onProgress();

    Player& player_;
    DictationLibrary library_;
};

} // namespace velloran
