#include "file_names.h"

#include <QDir>
#include <QFile>
#include <QUrl>

#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace velloran {

namespace {
constexpr char16_t kKeptByte = 0xDC00;

// The length of the valid UTF-8 sequence at @p i, 0 when there is none.
qsizetype sequenceAt(QByteArrayView bytes, qsizetype i) {
    const auto at = [&](qsizetype k) {
        return static_cast<unsigned char>(bytes[k]);
    };
    const unsigned char lead = at(i);
    qsizetype length = 0;
    char32_t lowest = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, lowest = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, lowest = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, lowest = 0x10000;
    else
        return 0;
    if (i + length > bytes.size())
        return 0;
    char32_t code = lead & (0x7F >> length);
    for (qsizetype k = 1; k < length; ++k) {
        if ((at(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (at(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and code points beyond Unicode are not UTF-8.
    if (code < lowest || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return 0;
    return length;
}
} // namespace

QString fileNameFromBytes(QByteArrayView bytes) {
    QString name;
    name.reserve(bytes.size());
    qsizetype i = 0;
    while (i < bytes.size()) {
        const qsizetype length = sequenceAt(bytes, i);
        if (length == 0) {
            name += QChar(char16_t(kKeptByte + static_cast<unsigned char>(bytes[i])));
            ++i;
            continue;
        }
        name += QString::fromUtf8(bytes.sliced(i, length));
        i += length;
    }
    return name;
}

QByteArray fileNameBytes(const QString& name) {
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype start = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        const bool paired = i > 0 && QChar::isHighSurrogate(name.at(i - 1).unicode());
        if (c >= kKeptByte + 0x80 && c <= kKeptByte + 0xFF && !paired) {
            bytes += QStringView(name).sliced(start, i - start).toUtf8();
            bytes += char(c - kKeptByte);
            start = i + 1;
        }
    }
    bytes += QStringView(name).sliced(start).toUtf8();
    return bytes;
}

QString displayFileName(const QString& name) {
    return QString::fromUtf8(fileNameBytes(name));
}

QString absoluteFileName(const QString& name) {
    if (name.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(name);
    const std::unique_ptr<char, decltype(&std::free)> folder(::getcwd(nullptr, 0), &std::free);
    const QString base = folder ? fileNameFromBytes(folder.get()) : QDir::currentPath();
    return QDir::cleanPath(base + QLatin1Char('/') + name);
}

QString fileUrl(const QString& name) {
    return QStringLiteral("file://") +
           QString::fromLatin1(fileNameBytes(name).toPercentEncoding("/"));
}

QString fileNameFromUrl(const QString& url) {
    const QUrl parsed(url);
    if (!parsed.isLocalFile() || !(parsed.host().isEmpty() || parsed.host() == u"localhost"))
        return {};
    return fileNameFromBytes(
        QByteArray::fromPercentEncoding(parsed.path(QUrl::FullyEncoded).toLatin1()));
}

std::optional<struct stat> statFile(const QString& name) {
    struct stat info {};
    if (name.isEmpty() || ::stat(fileNameBytes(name).constData(), &info) != 0)
        return std::nullopt;
    return info;
}

bool openForReading(QFile& file, const QString& name) {
    if (name.isEmpty())
        return false;
    ClosingFd opened(::open(fileNameBytes(name).constData(), O_RDONLY | O_CLOEXEC));
    if (opened.fd < 0 || !file.open(opened.fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return false;
    opened.release(); // the file closes it now
    return true;
}

} // namespace velloran
