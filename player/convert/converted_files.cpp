#include "converted_files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <sys/stat.h>

#include <optional>
#include <vector>

namespace velloran {

namespace {

// Enough for years of dictations; the oldest entries go first.
constexpr int kMaxEntries = 500;
constexpr int kMaxCopies = 1000;

struct Stamp {
    qint64 size = 0;
    qint64 modifiedNs = 0;
    bool operator==(const Stamp&) const = default;
};

// lstat: a link planted at the name is never taken for the file we wrote.
std::optional<Stamp> plainFileStamp(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return Stamp{qint64(info.st_size),
                 qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

bool present(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

struct Entry {
    QByteArray wave; // file names as the system's bytes, percent-encoded on disk
    QByteArray source;
    Stamp stamp;
};

// One line per file: size, modification time in nanoseconds, wave file, source.
std::vector<Entry> readList(const QString& listPath) {
    std::vector<Entry> entries;
    QFile file(listPath);
    if (listPath.isEmpty() || !file.open(QIODevice::ReadOnly))
        return entries;
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().trimmed().split(' ');
        if (fields.size() != 4)
            continue;
        bool sizeOk = false;
        bool timeOk = false;
        Entry entry{QByteArray::fromPercentEncoding(fields[2]),
                    QByteArray::fromPercentEncoding(fields[3]),
                    {fields[0].toLongLong(&sizeOk), fields[1].toLongLong(&timeOk)}};
        if (sizeOk && timeOk)
            entries.push_back(std::move(entry));
    }
    return entries;
}

QString copyName(const QString& preferred, int n) {
    if (n == 1)
        return preferred;
    const QFileInfo info(preferred);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString ending = dot > 0 ? name.mid(dot) : QString();
    return info.dir().filePath(stem + QStringLiteral(" (%1)").arg(n) + ending);
}

} // namespace

ConvertedFiles::ConvertedFiles(QString listPath) : listPath_(std::move(listPath)) {}

QString ConvertedFiles::defaultListPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Velloran/converted-files");
}

bool ConvertedFiles::madeFrom(const QString& wave, const QString& source) const {
    const auto now = plainFileStamp(wave);
    if (!now)
        return false;
    const QByteArray waveName = QFile::encodeName(QFileInfo(wave).absoluteFilePath());
    const QByteArray sourceName = QFile::encodeName(QFileInfo(source).absoluteFilePath());
    const std::vector<Entry> entries = readList(listPath_);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->wave == waveName)
            return it->source == sourceName && it->stamp == *now;
    }
    return false;
}

bool ConvertedFiles::remember(const QString& wave, const QString& source) const {
    const auto now = plainFileStamp(wave);
    if (listPath_.isEmpty() || !now)
        return false;
    const QByteArray waveName = QFile::encodeName(QFileInfo(wave).absoluteFilePath());
    std::vector<Entry> entries = readList(listPath_);
    std::erase_if(entries, [&](const Entry& e) {
        return e.wave == waveName || !plainFileStamp(QFile::decodeName(e.wave));
    });
    entries.push_back({waveName, QFile::encodeName(QFileInfo(source).absoluteFilePath()), *now});
    if (entries.size() > size_t(kMaxEntries))
        entries.erase(entries.begin(), entries.end() - kMaxEntries);

    QDir().mkpath(QFileInfo(listPath_).absolutePath());
    QSaveFile file(listPath_);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const Entry& e : entries) {
        file.write(QByteArray::number(e.stamp.size) + ' ' + QByteArray::number(e.stamp.modifiedNs) +
                   ' ' + e.wave.toPercentEncoding("/") + ' ' + e.source.toPercentEncoding("/") +
                   '\n');
    }
    return file.commit();
}

QString ConvertedFiles::claimableName(const QString& preferred, const QString& source) const {
    for (int n = 1; n <= kMaxCopies; ++n) {
        const QString candidate = copyName(preferred, n);
        if (!present(candidate) || madeFrom(candidate, source))
            return candidate;
    }
    return {};
}

QString cacheFolderFor(const QString& cacheRoot, const QString& source) {
    if (cacheRoot.isEmpty())
        return {};
    const QByteArray folder = QFile::encodeName(QFileInfo(source).absolutePath());
    const QString key = QString::fromLatin1(
        QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(16));
    const QString path = QDir(cacheRoot).filePath(key);
    return QDir().mkpath(path) ? path : QString();
}

} // namespace velloran
