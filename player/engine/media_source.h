#pragma once

#include <QByteArrayView>
#include <QString>

namespace velloran::engine {

/// How a file has to be prepared before libmpv can play it.
enum class SourceKind {
    Plain,         ///< FFmpeg plays it as it is.
    Midi,          ///< Standard MIDI file: rendered to a WAV file first.
    DialogicWav,   ///< WAV file with format tag 0x0100 (4-bit Dialogic/OKI ADPCM).
    IncompleteWav, ///< WAV file whose header sizes the file does not hold: cut short, or
                   ///< left with zero sizes by a writer that never finished.
};

struct SourceProbe {
    SourceKind kind = SourceKind::Plain;
    /// For DialogicWav: byte offset of the format tag inside the file.
    qint64 formatTagOffset = -1;
};

/// Classifies a file by its first bytes. Pass at least the first few KiB; a
/// fmt chunk that lies beyond @p head is not found and the file counts as Plain.
/// With the file's length in @p fileSize, a wave file whose RIFF or data size
/// is 0 or reaches past the end counts as IncompleteWav (the all-ones size of a
/// stream written without seeking back means "to the end" and passes).
SourceProbe probeSource(QByteArrayView head, qint64 fileSize = -1);

/// Reads the first bytes of @p path and classifies them (Plain when unreadable).
SourceProbe probeFile(const QString& path);

/// Copies @p source to @p dest with the format tag at @p tagOffset set to 0x0017,
/// the tag under which FFmpeg decodes Dialogic (OKI) ADPCM. Everything else,
/// the sample rate included, is copied unchanged. Returns false on any I/O error.
bool writeRetaggedCopy(const QString& source, qint64 tagOffset, const QString& dest);

/// A file made only for playback, removed when this object goes away. While it
/// lives it holds a lock on its file, so that a sweep can tell it from one left
/// behind by a process that crashed.
class ScratchFile {
public:
    ScratchFile() = default;
    /// Reserves a fresh, empty file in the temporary folder; check path().
    static ScratchFile create(const QString& suffix);
    ~ScratchFile();
    ScratchFile(ScratchFile&& other) noexcept;
    ScratchFile& operator=(ScratchFile&& other) noexcept;
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const QString& path() const { return path_; }
    bool isNull() const { return path_.isEmpty(); }
    /// Deletes the file now.
    void reset();

private:
    QString path_;
    int lockFd_ = -1;
};

/// Removes the playback files in the temporary folder that no living
/// ScratchFile holds: those a crashed process left. Returns how many.
int sweepScratchFiles();

} // namespace velloran::engine
