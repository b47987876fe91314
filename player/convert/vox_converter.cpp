#include "vox_converter.h"

#include "core/player_state.h"
#include "core/settings.h"
#include "core/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtEndian>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <limits>
#include <vector>

namespace velloran {

namespace {

const QString kTmpEnding = QStringLiteral(".TMP");
const QString kWavEnding = QStringLiteral(".WAV");

void putBytes(char* at, const char (&text)[5]) {
    for (int i = 0; i < 4; ++i)
        at[i] = text[i];
}

// The header with the two size fields still zero. Every other byte is fixed:
// format tag 0x0100 (not PCM, not the common ADPCM tag), 8000 Hz mono, 4 bits,
// 4000 bytes a second, blocks of 256 bytes holding 257 samples, and a fact
// chunk whose sample count is always 0.
QByteArray fixedWaveHeader() {
    QByteArray header(kWaveHeaderSize, '\0');
    char* p = header.data();
    putBytes(p + 0, "RIFF");
    putBytes(p + 8, "WAVE");
    putBytes(p + 12, "fmt ");
    qToLittleEndian<quint32>(20, p + 16);
    qToLittleEndian<quint16>(0x0100, p + 20);
    qToLittleEndian<quint16>(1, p + 22);
    qToLittleEndian<quint32>(8000, p + 24);
    qToLittleEndian<quint32>(4000, p + 28);
    qToLittleEndian<quint16>(256, p + 32);
    qToLittleEndian<quint16>(4, p + 34);
    qToLittleEndian<quint16>(2, p + 36);
    qToLittleEndian<quint16>(257, p + 38);
    putBytes(p + 40, "fact");
    qToLittleEndian<quint32>(4, p + 44);
    qToLittleEndian<quint32>(0, p + 48);
    putBytes(p + 52, "data");
    return header;
}

// rename(2): replaces an existing destination in one step, so a reader never
// sees the WAV path missing or half written. (QFile::rename refuses to replace.)
bool renameReplacing(const QString& from, const QString& to) {
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// Removes a path if it is there. Unlinking ignores the file's own mode, so a
// read-only leftover is replaced as well.
bool removeIfPresent(const QString& path) {
    QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    if (info.isDir() && !info.isSymLink())
        return false;
    return QFile::remove(path);
}

// Why a conversion failed; only CannotWrite is worth a second try elsewhere.
enum class Fault { None, Unreadable, TooShort, Truncated, TooLarge, CannotWrite };

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

Fault writeWave(const QString& source, const QString& destination, const ConvertProgress& progress,
                qint64 pieceSize, QString* error) {
    qint64 length = 0;
    QByteArray voxHeader;
    {
        QFile in(source);
        if (!in.open(QIODevice::ReadOnly)) {
            setError(error, QStringLiteral("the recording cannot be read"));
            return Fault::Unreadable;
        }
        length = in.size();
        voxHeader = in.read(kVoxHeaderSize);
    }
    // Refused before anything is touched: a truncated recording (shorter than
    // its own header, or than the length its recorder wrote) would otherwise
    // become a wave file that plays the wrong thing or nothing.
    if (voxHeader.size() < kVoxHeaderSize) {
        setError(error, QStringLiteral("the file is too short to be a DVI recording"));
        return Fault::TooShort;
    }
    const qint32 recorded = readRecordedLength(voxHeader);
    if (length < recorded) {
        setError(error, QStringLiteral("the recording is cut short: it holds %1 of the %2 bytes "
                                       "its header records")
                            .arg(length)
                            .arg(recorded));
        return Fault::Truncated;
    }
    const QByteArray waveHeader = composeWaveHeader(length);
    if (waveHeader.isEmpty()) {
        setError(error, QStringLiteral("the recording is too large for a wave file"));
        return Fault::TooLarge;
    }

    const QString cannotWrite = QStringLiteral("the wave file cannot be written in ") +
                                QFileInfo(destination).absolutePath();
    if (!removeIfPresent(destination)) {
        setError(error, cannotWrite);
        return Fault::CannotWrite;
    }
    {
        QFile out(destination);
        // NewOnly (O_EXCL): never write through a link planted at the name.
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            setError(error, cannotWrite);
            return Fault::CannotWrite;
        }
        const bool written = out.write(waveHeader) == waveHeader.size() && out.flush();
        out.close();
        if (!written || out.error() != QFileDevice::NoError) {
            QFile::remove(destination);
            setError(error, cannotWrite);
            return Fault::CannotWrite;
        }
    }
    const qint64 expected = kWaveHeaderSize + (length - kVoxHeaderSize);
    // The size check catches a source that grew or shrank since its length
    // went into the header.
    if (!copyFileTail(destination, source, kVoxHeaderSize, progress, pieceSize) ||
        QFileInfo(destination).size() != expected) {
        QFile::remove(destination);
        setError(error, QStringLiteral("copying the audio failed (the disk may be full, or the "
                                       "recording changed while it was read)"));
        return Fault::CannotWrite;
    }
    return Fault::None;
}

bool folderWritable(const QString& folder) {
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

} // namespace

qint32 readRecordedLength(const QByteArray& voxHeader) {
    // The recorded length of the whole file, header included, is taken from the
    // four bytes that follow the signature, as a signed value. A field left
    // unset (0, or all ones, which reads as -1) must not hold back a
    // conversion, and does not: the file's length is never below it.
    if (voxHeader.size() < kRecordedLengthOffset + 4)
        return 0;
    return qFromLittleEndian<qint32>(voxHeader.constData() + kRecordedLengthOffset);
}

QByteArray composeWaveHeader(qint64 sourceLength) {
    if (sourceLength < kVoxHeaderSize)
        return {};
    const qint64 dataSize = sourceLength - kVoxHeaderSize;
    const qint64 riffSize = dataSize + kWaveHeaderSize - 8;
    // Kept within the signed range: readers that take the sizes as signed
    // would otherwise see a negative chunk.
    if (riffSize > std::numeric_limits<qint32>::max())
        return {};
    QByteArray header = fixedWaveHeader();
    qToLittleEndian<quint32>(quint32(riffSize), header.data() + 4);
    qToLittleEndian<quint32>(quint32(dataSize), header.data() + 56);
    return header;
}

bool copyFileTail(const QString& destination, const QString& source, qint64 start,
                  const ConvertProgress& progress, qint64 pieceSize) {
    if (start < 0 || pieceSize <= 0)
        return false;
    QFile in(source);
    QFile out(destination);
    // Unbuffered: every piece goes straight from read(2) to write(2) through
    // our one buffer, with no second copy in QFile's own buffer.
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    if (!out.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    const qint64 total = in.size() - start;
    if (total < 0 || !in.seek(start))
        return false;
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(in.handle(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif

    std::vector<char> buffer(size_t(qMin(pieceSize, qMax<qint64>(total, 1))));
    qint64 done = 0;
    while (done < total) {
        const qint64 want = qMin<qint64>(qint64(buffer.size()), total - done);
        const qint64 got = in.read(buffer.data(), want);
        // A source that shrinks under us ends early: fail rather than leave a
        // data chunk shorter than its header says.
        if (got <= 0)
            return false;
        if (out.write(buffer.data(), got) != got)
            return false;
        done += got;
        if (progress)
            progress(done, total);
    }
    // On disk before the caller renames it into place: after a power cut the
    // wave file is whole or not there, never a header over missing audio.
    const bool flushed = ::fdatasync(out.handle()) == 0;
    out.close();
    return flushed && out.error() == QFileDevice::NoError;
}

bool writeVoxWave(const QString& source, const QString& destination,
                  const ConvertProgress& progress, qint64 pieceSize, QString* error) {
    return writeWave(source, destination, progress, pieceSize, error) == Fault::None;
}

QString conversionCacheFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Velloran");
}

bool voxToWave(const QString& source, SettingsStore& store, PlayerState& state,
               const ConvertProgress& progress, QString* error, const QString& fallbackFolder,
               const ConvertedFiles& owned) {
    if (source.isEmpty()) {
        setError(error, QStringLiteral("no recording was given"));
        return false;
    }
    QString base = source;
    const auto useFallback = [&] {
        const QString folder = cacheFolderFor(fallbackFolder, source);
        if (folder.isEmpty())
            return false;
        base = QDir(folder).filePath(QFileInfo(source).fileName());
        return true;
    };
    // A recording on a read-only share or in someone else's folder is still
    // playable: its wave file goes to the cache.
    bool fellBack = false;
    if (!folderWritable(QFileInfo(source).absolutePath()))
        fellBack = useFallback();
    Fault fault = writeWave(source, base + kTmpEnding, progress, kCopyPieceSize, error);
    if (fault == Fault::CannotWrite && !fellBack && useFallback()) {
        fellBack = true;
        fault = writeWave(source, base + kTmpEnding, progress, kCopyPieceSize, error);
    }
    if (fault != Fault::None)
        return false;
    const QString tmpPath = base + kTmpEnding;
    // A wave file of that name that an earlier conversion of this recording
    // did not write (the typist's own, or one changed since) is kept.
    const QString wavPath = owned.claimableName(base + kWavEnding, source);
    if (wavPath.isEmpty()) {
        QFile::remove(tmpPath);
        setError(error, QStringLiteral("there is no free name for the wave file beside ") + base);
        return false;
    }

    // A WAV file the user has made read-only is kept, not replaced.
    const QFileInfo wavInfo(wavPath);
    const bool wavReadOnly =
        wavInfo.exists() &&
        (!wavInfo.isWritable() || !(wavInfo.permissions() & QFileDevice::WriteOwner));
    if (wavReadOnly || !renameReplacing(tmpPath, wavPath)) {
        QFile::remove(tmpPath);
        setError(error, wavReadOnly ? wavPath + QStringLiteral(" is read-only")
                                    : QStringLiteral("the wave file cannot be written in ") +
                                          wavInfo.absolutePath());
        return false;
    }

    owned.remember(wavPath, source);
    state.selectedFile = wavPath;
    state.converted = true;
    store.write(keys::CurrentFile, state.selectedFile);
    store.write(keys::CurrentPosition, QStringLiteral("0"));
    return true;
}

bool convertVoxFile(SettingsStore& store, PlayerState& state, const ConvertProgress& progress,
                    QString* error, const QString& fallbackFolder, const ConvertedFiles& owned) {
    deletePendingFile(store);
    if (!voxToWave(state.selectedFile, store, state, progress, error, fallbackFolder, owned))
        return false;
    store.write(keys::FiletoDelete, state.selectedFile);
    return true;
}

void deletePendingFile(SettingsStore& store) {
    const QString pending = store.read(keys::FiletoDelete);
    store.write(keys::FiletoDelete, QString());
    if (pending.isEmpty())
        return;
    // Only a file this converter wrote goes: a name ending in ".WAV" that
    // starts like a wave file. A store edited by hand, or filled by an older
    // version that could record the recording itself, never costs the user a
    // dictation.
    if (!pending.endsWith(kWavEnding) || readFileSignature(pending) != QLatin1String("RIFF"))
        return;
    QFile::remove(pending);
}

} // namespace velloran
