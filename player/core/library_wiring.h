#pragma once

#include "dictation_library.h"

#include <QHash>
#include <QObject>

#include <memory>

namespace velloran {

class Player;
class RecordingConverter;

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
    /// @p inner's conversions, noted so that a converted recording is kept,
    /// listed and followed by its own name, not its wave file's.
    RecordingConverter* watchConversions(RecordingConverter& inner);

private:
    void onFileOpened();
    void onProgress();
    /// The engine's file, or the recording it was converted from.
    QString dictationPath() const;

    Player& player_;
    DictationLibrary library_;
    class Conversions;
    std::unique_ptr<Conversions> conversions_;
    QHash<QString, QString> sources_; ///< converted wave file -> recording
};

} // namespace velloran
