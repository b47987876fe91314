#include "media_source.h"

#include "core/file_names.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velloran::engine {

namespace {

quint32 le32(QByteArrayView b, qsizetype at) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.data()) + at;
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

quint16 le16(QByteArrayView b, qsizetype at) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.data()) + at;
    return quint16(p[0] | p[1] << 8);
}

bool idAt(QByteArrayView b, qsizetype at, const char (&id)[5]) {
    return at + 4 <= b.size() && std::memcmp(b.data() + at, id, 4) == 0;
}

constexpr quint16 kDialogicTag = 0x0100;
constexpr quint32 kSizeToTheEnd = 0xFFFFFFFF;
constexpr qsizetype kProbeBytes = 64 * 1024;

} // namespace

SourceProbe probeSource(QByteArrayView head, qint64 fileSize) {
    SourceProbe probe;
    if (idAt(head, 0, "MThd")) {
        probe.kind = SourceKind::Midi;
        return probe;
    }
    if (!idAt(head, 0, "RIFF") || !idAt(head, 8, "WAVE"))
        return probe;
    // A size that promises more than the file holds (a missing pad byte
    // aside), or one never filled in, is a file that stopped being written.
    const auto promisesTooMuch = [fileSize](qint64 end, quint32 size) {
        return fileSize >= 0 && size != kSizeToTheEnd && (size == 0 || end + size > fileSize + 1);
    };
    if (promisesTooMuch(8, le32(head, 4))) {
        probe.kind = SourceKind::IncompleteWav;
        return probe;
    }
    // Walk the chunks up to the data chunk; sizes come from the file, so the
    // walk is bounded by what was read, never by what the header claims.
    qint64 pos = 12;
    bool fmtSeen = false; // the first fmt chunk is the one that counts
    while (pos + 8 <= head.size()) {
        const quint32 size = le32(head, pos + 4);
        if (idAt(head, pos, "fmt ") && !fmtSeen) {
            fmtSeen = true;
            if (size >= 2 && pos + 10 <= head.size() && le16(head, pos + 8) == kDialogicTag) {
                probe.kind = SourceKind::DialogicWav;
                probe.formatTagOffset = pos + 8;
            }
        } else if (idAt(head, pos, "data")) {
            if (promisesTooMuch(pos + 8, size)) {
                probe.kind = SourceKind::IncompleteWav;
                probe.formatTagOffset = -1;
            }
            return probe;
        }
        pos += 8 + qint64(size) + (size & 1);
    }
    return probe;
}

SourceProbe probeFile(const QString& path) {
    QFile file;
    if (!openForReading(file, path))
        return {};
    return probeSource(file.read(kProbeBytes), file.size());
}

bool writeRetaggedCopy(const QString& source, qint64 tagOffset, const QString& dest) {
    QFile in;
    QFile out(dest);
    if (tagOffset < 0 || !openForReading(in, source) ||
        !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray chunk;
    qint64 done = 0;
    while (!(chunk = in.read(256 * 1024)).isEmpty()) {
        // The tag may straddle two reads only in theory (it sits in the first
        // hundred bytes), but patch byte by byte so it never matters.
        for (qint64 i = 0; i < 2; ++i) {
            const qint64 at = tagOffset + i - done;
            if (at >= 0 && at < chunk.size())
                chunk[at] = char(i == 0 ? 0x17 : 0x00);
        }
        if (out.write(chunk) != chunk.size())
            return false;
        done += chunk.size();
    }
    return in.error() == QFileDevice::NoError && done >= tagOffset + 2 && out.flush();
}

namespace {

const QString kScratchPrefix = QStringLiteral("velloran-play-");

// An exclusive lock on a file of this user's; -1 when it is held elsewhere or the path
// is not a plain file of ours (links are not followed).
int lockOwnFile(const QString& path) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid() ||
        ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

ScratchFile ScratchFile::create(const QString& suffix) {
    ScratchFile scratch;
    QTemporaryFile file(QDir::tempPath() + QLatin1Char('/') + kScratchPrefix +
                        QStringLiteral("XXXXXX") + suffix);
    file.setAutoRemove(false);
    if (!file.open())
        return scratch;
    scratch.path_ = file.fileName();
    scratch.lockFd_ = lockOwnFile(scratch.path_);
    return scratch;
}

ScratchFile::~ScratchFile() {
    reset();
}

ScratchFile::ScratchFile(ScratchFile&& other) noexcept
    : path_(std::move(other.path_)), lockFd_(other.lockFd_) {
    other.path_.clear();
    other.lockFd_ = -1;
}

ScratchFile& ScratchFile::operator=(ScratchFile&& other) noexcept {
    if (this != &other) {
        reset();
        path_ = std::move(other.path_);
        lockFd_ = other.lockFd_;
        other.path_.clear();
        other.lockFd_ = -1;
    }
    return *this;
}

void ScratchFile::reset() {
    if (!path_.isEmpty())
        QFile::remove(path_);
    path_.clear();
    if (lockFd_ >= 0)
        ::close(lockFd_);
    lockFd_ = -1;
}

int sweepScratchFiles() {
    const QDir folder(QDir::tempPath());
    int removed = 0;
    for (const QString& name :
         folder.entryList({kScratchPrefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden)) {
        const QString path = folder.filePath(name);
        const int fd = lockOwnFile(path);
        if (fd < 0)
            continue;
        if (QFile::remove(path))
            ++removed;
        ::close(fd);
    }
    return removed;
}

} // namespace velloran::engine
