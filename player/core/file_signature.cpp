#include "file_signature.h"

#include "file_names.h"

#include <QFile>

namespace velloran {

namespace {

// The letters may sit between blanks (" dvi", "DVI "); only blanks are
// trimmed, so a binary file with a tab or a newline before "dvi" stays plain.
QString trimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

} // namespace

QString readFileSignature(const QString& path) {
    QFile file;
    if (!openForReading(file, path))
        return {};
    return QString::fromLatin1(file.read(4));
}

SignatureKind classifySignature(const QString& signature) {
    const QString text = trimBlanks(signature.toLower());
    if (text.contains(QLatin1String("dss")))
        return SignatureKind::Dss;
    if (text.left(3) == QLatin1String("dvi"))
        return SignatureKind::Dvi;
    return SignatureKind::Plain;
}

} // namespace velloran
