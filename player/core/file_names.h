#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

class QFile;

namespace velloran {

// File names on Linux are bytes, not text. Qt decodes them as UTF-8 and turns
// bytes that are not UTF-8 (a name written under a Latin-1 locale, from an old
// archive or a Windows share) into U+FFFD, after which the file can neither be
// opened nor found again. The player keeps such bytes in its text as lone
// surrogates U+DC80..U+DCFF, one per byte, so that a name read from the system
// goes back to it unchanged; every name it hands to the system goes through
// fileNameBytes().

/// The name as text; valid UTF-8 reads as usual, other bytes are kept.
QString fileNameFromBytes(QByteArrayView bytes);
/// The bytes of a name made by fileNameFromBytes() (UTF-8 for ordinary text).
QByteArray fileNameBytes(const QString& name);
/// The name as it is shown: kept bytes become U+FFFD.
QString displayFileName(const QString& name);

/// @p name made absolute against the current folder and cleaned of "." and
/// "..", by text: QFileInfo would pass it through the system's encoding.
QString absoluteFileName(const QString& name);

/// A file: URL of @p name whose percent-encoding keeps every byte.
QString fileUrl(const QString& name);
/// The name in a file: URL (made by fileUrl() or anyone else); empty when
/// @p url is not a local file's.
QString fileNameFromUrl(const QString& url);

/// Sole owner of a descriptor; closes it when dropped.
struct ClosingFd {
    int fd = -1;
    explicit ClosingFd(int descriptor) : fd(descriptor) {}
    ClosingFd(const ClosingFd&) = delete;
    ClosingFd& operator=(const ClosingFd&) = delete;
    ~ClosingFd() {
        if (fd >= 0)
            ::close(fd);
    }
    int release() { return std::exchange(fd, -1); }
};

/// The file's status (links followed), or nothing when it cannot be reached.
std::optional<struct stat> statFile(const QString& name);
/// Opens @p file on @p name for reading, whatever bytes the name holds.
bool openForReading(QFile& file, const QString& name);

} // namespace velloran
