#include "credits_scroll.h"

#include <QFile>

#include <algorithm>
#include <cmath>

namespace velloran {

QStringList CreditsScroll::parseLines(const QByteArray& text) {
    QStringList lines;
    if (text.isEmpty())
        return lines;
    qsizetype start = 0;
    while (start < text.size() && lines.size() < kMaxLines) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        qsizetype length = end - start;
        if (length > 0 && text.at(end - 1) == '\r')
            --length;
        // A UTF-8 character takes at most four bytes; decoding more is waste.
        QString line = QString::fromUtf8(text.constData() + start,
                                         std::min<qsizetype>(length, kMaxLineChars * 4));
        if (line.size() > kMaxLineChars) {
            line.truncate(kMaxLineChars);
            if (line.back().isHighSurrogate())
                line.chop(1);
        }
        lines << line;
        start = end + 1;
    }
    return lines;
}

QStringList CreditsScroll::readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseLines(file.readAll());
}

CreditsScroll::CreditsScroll(QStringList lines, int canvasHeight)
    : lines_(std::move(lines)), scroll_(canvasHeight) {}

CreditsScroll::Colour CreditsScroll::lineColour(int y) {
    if (y >= 245)
        return {255, 255, 255};
    if (y <= 15)
        return {0, 0, 0};
    const auto part = [y](double divisor) {
        return std::min(255, static_cast<int>(std::lround(y * 255.0 / divisor)));
    };
    return {part(235), part(235), part(25)};
}

bool CreditsScroll::closesNow() const {
    return !lines_.isEmpty() && lineTop(int(lines_.size())) < kCloseAbove;
}

QList<CreditsScroll::Band> CreditsScroll::gradient(int height) {
    QList<Band> bands;
    if (height <= 0)
        return bands;
    double blue = 255;
    const double step = -1275.0 / height;
    for (int y = 0; y <= height; y += kBandHeight) {
        const int b = std::clamp(static_cast<int>(std::lround(blue)), 0, 255);
        // Each box reaches a row past its band; the next one paints over it.
        bands << Band{y - 1, y + kBandHeight + 1, {0, 0, b}};
        blue += step;
    }
    return bands;
}

} // namespace velloran
