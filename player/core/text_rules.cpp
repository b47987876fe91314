#include "text_rules.h"

#include "file_names.h"

#include "settings.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace velloran {

namespace {
QString twoDigits(double field) {
    // The digits of the double itself: the hours of an absurd length do not fit an integer.
    return QString::number(field, 'f', 0).rightJustified(2, QLatin1Char('0'));
}
} // namespace

QString formatHms(double seconds) {
    if (!std::isfinite(seconds))
        return QStringLiteral("00:00:00");
    if (seconds < 0)
        return QLatin1Char('-') + formatHms(-seconds);
    // Rounded once, as a whole, before it is split: rounding only the seconds
    // field would show 59.6 s as 00:00:00 and an hour less a moment as 00:59:00.
    const double whole = roundHalfEven(seconds);
    const double secs = std::fmod(whole, 60.0);
    const double mins = std::fmod(std::trunc(whole / 60.0), 60.0);
    const double hours = std::trunc(whole / 3600.0);
    return twoDigits(hours) + QLatin1Char(':') + twoDigits(mins) + QLatin1Char(':') +
           twoDigits(secs);
}

QString extractFileName(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : displayFileName(path.mid(slash + 1));
}

bool toWhole16(double value, int& out) {
    const double rounded = roundHalfEven(value);
    if (!(rounded >= std::numeric_limits<std::int16_t>::min() &&
          rounded <= std::numeric_limits<std::int16_t>::max()))
        return false;
    out = static_cast<int>(rounded);
    return true;
}

} // namespace velloran
