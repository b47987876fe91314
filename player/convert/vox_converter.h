#pragma once

// DVI voice recordings: telling them apart by their first bytes, and turning
// one into a wave file the engine can play by putting a fixed 60-byte wave
// header in front of its audio. Nothing is decoded; the audio is copied as it
// is, in pieces, never whole in memory.

#include "converted_files.h"
#include "core/file_signature.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>

namespace velloran {

class SettingsStore;
struct PlayerState;

/// Called after each piece of audio has been copied, so that a caller on the
/// user-interface thread can keep its windows alive during a long conversion.
using ConvertProgress = std::function<void(qint64 done, qint64 total)>;

/// Bytes of recorder header in front of the audio of a DVI recording.
inline constexpr qint64 kVoxHeaderSize = 972;
/// Bytes of the wave header written in front of the audio.
inline constexpr qint64 kWaveHeaderSize = 60;
/// Offset, in the recorder header, of the recorded file length (32-bit signed,
/// little-endian). See readRecordedLength().
inline constexpr qint64 kRecordedLengthOffset = 4;
/// Size of the pieces in which the audio is moved.
inline constexpr qint64 kCopyPieceSize = 32768;

/// The recorded file length kept in a recorder header of kVoxHeaderSize bytes.
qint32 readRecordedLength(const QByteArray& voxHeader);

/// The 60-byte wave header for a source of sourceLength bytes (header
/// included). Empty when the sizes do not fit the header's 32-bit fields or
/// the source is shorter than its recorder header.
QByteArray composeWaveHeader(qint64 sourceLength);

/// Appends the source's bytes from the 0-based offset `start` to its end to the
/// end of the destination, in pieces of at most `pieceSize` bytes. Returns
/// false on the first failure (missing files, a short read, a failed write);
/// the destination may then hold part of the tail.
bool copyFileTail(const QString& destination, const QString& source, qint64 start,
                  const ConvertProgress& progress = {}, qint64 pieceSize = kCopyPieceSize);

/// Writes a fresh destination: the wave header, then the source's audio.
/// Refuses, writing nothing and leaving an existing destination in place, a
/// source shorter than its recorder header or than its recorded length.
/// Returns false on any failure, with a reason for the user in @p error; a
/// destination it has begun is removed again.
bool writeVoxWave(const QString& source, const QString& destination,
                  const ConvertProgress& progress = {}, qint64 pieceSize = kCopyPieceSize,
                  QString* error = nullptr);

/// The folder for converted files whose recording lies in a folder the user
/// cannot write: $XDG_CACHE_HOME/Velloran (~/.cache/Velloran).
QString conversionCacheFolder();

/// Converts source into source + ".WAV" through source + ".TMP" (both endings
/// appended to the whole path) and an atomic rename. When the recording's
/// folder cannot take them, both go to a folder of that recording folder's
/// own under @p fallbackFolder (named after the recording's file name), if one
/// is given. An existing WAV file is replaced only when @p owned knows it as
/// converted from this recording; otherwise the wave file takes a free name
/// ("rec.vox (2).WAV"). On success sets selectedFile
/// to the WAV path and the converted flag, and writes "CurrentFile" (the WAV
/// path) and "CurrentPosition" ("0"). On failure leaves state, settings and any
/// existing WAV file as they were, puts a reason for the user in @p error and
/// returns false.
bool voxToWave(const QString& source, SettingsStore& store, PlayerState& state,
               const ConvertProgress& progress = {}, QString* error = nullptr,
               const QString& fallbackFolder = {},
               const ConvertedFiles& owned = ConvertedFiles(QString()));

/// Deletes the converted file of the previous conversion, converts
/// state.selectedFile, and records the new WAV file under "FiletoDelete". After
/// a failed conversion nothing is recorded: selectedFile still names the
/// user's recording, which must never be deleted as a temporary file.
bool convertVoxFile(SettingsStore& store, PlayerState& state, const ConvertProgress& progress = {},
                    QString* error = nullptr, const QString& fallbackFolder = {},
                    const ConvertedFiles& owned = ConvertedFiles(QString()));

/// Reads "FiletoDelete", clears it, and deletes the file it named, ignoring a
/// failure. Only a converted file (a name ending in ".WAV") is deleted.
void deletePendingFile(SettingsStore& store);

} // namespace velloran
