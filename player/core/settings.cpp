#include "settings.h"

#include "settings_store.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include <locale.h>
#include <stdlib.h>

namespace velloran {

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}
bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Length of the numeric prefix of text starting at pos, or 0.
qsizetype numberPrefix(QStringView text, qsizetype pos) {
    qsizetype i = pos;
    const qsizetype n = text.size();
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(text[i]))
        ++i, ++digits;
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && isDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return 0;
    // An exponent only counts when digits follow it.
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-')))
            ++j;
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j]))
                ++j;
            i = j;
        }
    }
    return i - pos;
}

double toDouble(QStringView number) {
    const std::string ascii = number.toLatin1().toStdString();
    const char* first = ascii.c_str();
    if (*first == '+')
        ++first;
    double value = 0;
    const auto [end, ec] = std::from_chars(first, ascii.c_str() + ascii.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: C's own reading (in the "C" locale, whose
        // decimal point is ".") gives the infinity or the zero it stands for.
        static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
        return ::strtod_l(ascii.c_str(), nullptr, cLocale);
    }
    return ec == std::errc() ? value : 0.0;
}

} // namespace

double leadingNumber(QStringView text) {
    qsizetype pos = 0;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    const qsizetype len = numberPrefix(text, pos);
    return len == 0 ? 0.0 : toDouble(text.mid(pos, len));
}

double roundHalfEven(double value) {
    return std::nearbyint(value);
}

QString numberText(double value) {
    if (value == 0)
        return QStringLiteral("0"); // also for -0
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    if (ec != std::errc())
        return QStringLiteral("0");
    return QString::fromLatin1(buf, end - buf);
}

QString boolText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

std::optional<bool> parseBool(QStringView text) {
    const QStringView t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    if (!t.isEmpty() && numberPrefix(t, 0) == t.size())
        return toDouble(t) != 0;
    return std::nullopt;
}

std::optional<int> parseWholeNumber(QStringView text) {
    const QStringView t = text.trimmed();
    if (t.isEmpty() || numberPrefix(t, 0) != t.size())
        return std::nullopt;
    const double rounded = roundHalfEven(toDouble(t));
    if (!(rounded >= std::numeric_limits<std::int16_t>::min() &&
          rounded <= std::numeric_limits<std::int16_t>::max()))
        return std::nullopt;
    return static_cast<int>(rounded);
}

std::optional<int> parsePedalCode(QStringView text) {
    const double lead = leadingNumber(text);
    if (lead == 0 || lead == -1)
        return std::nullopt;
    return parseWholeNumber(text);
}

namespace {
const QString kUsbTag = QStringLiteral("(USB ");

QString usbIdOf(const QString& text) {
    if (text.startsWith(QLatin1String("/dev/input/")) ||
        text.startsWith(QLatin1String("/dev/hidraw")))
        return text;
    if (text.startsWith(QLatin1String("USB ")))
        return text.mid(4).trimmed();
    const qsizetype tag = text.lastIndexOf(kUsbTag);
    if (tag < 0 || !text.endsWith(QLatin1Char(')')))
        return {};
    return text.mid(tag + kUsbTag.size(), text.size() - tag - kUsbTag.size() - 1).trimmed();
}
} // namespace

QString usbPortText(const QString& name, const QString& usbId) {
    return name.simplified() + QLatin1Char(' ') + kUsbTag + usbId + QLatin1Char(')');
}

PortChoice parsePortText(const QString& text) {
    PortChoice choice;
    if (text.startsWith(QLatin1String("COM"))) {
        choice.kind = PortChoice::Serial;
        choice.commPort = static_cast<int>(leadingNumber(text.right(1)));
    } else if (text == QLatin1String("Game Port")) {
        choice.kind = PortChoice::GamePort;
    } else if (const QString usb = usbIdOf(text); !usb.isEmpty()) {
        choice.kind = PortChoice::Usb;
        choice.usbId = usb;
    } else if (text.startsWith(QLatin1String("/dev/"))) {
        choice.kind = PortChoice::Serial;
        choice.devicePath = text;
    }
    return choice;
}

void writeSettingsDefaults(SettingsStore& store) {
    store.write(keys::PortId, QStringLiteral("Game Port"));
    store.write(keys::LargeChange, QStringLiteral("5"));
    store.write(keys::SmallChange, QStringLiteral("1"));
    store.write(keys::RewVal, QStringLiteral("3"));
    store.write(keys::PlayPress, boolText(true));
    store.write(keys::PlayToggle, boolText(false));
    store.write(keys::FirstPedal, QStringLiteral("2"));
    store.write(keys::SecondPedal, QStringLiteral("4"));
    store.write(keys::ThirdPedal, QStringLiteral("3"));
}

bool ensureSettingsDefaults(SettingsStore& store) {
    if (!store.read(keys::LargeChange).isEmpty() && !store.read(keys::SmallChange).isEmpty())
        return false;
    writeSettingsDefaults(store);
    return true;
}

void loadPedalActions(const SettingsStore& store, PlayerState& state) {
    for (int i = 0; i < 3; ++i) {
        if (const auto code = parsePedalCode(store.read(kPedalKeys[i])))
            state.pedalAction[i] = *code;
    }
}

void loadPlayerState(const SettingsStore& store, PlayerState& state) {
    if (const auto toggle = parseBool(store.read(keys::PlayToggle)))
        state.toggleMode = *toggle;
    loadPedalActions(store, state);
    state.largeSkip = roundHalfEven(leadingNumber(store.read(keys::LargeChange)));
    state.smallSkip = roundHalfEven(leadingNumber(store.read(keys::SmallChange)));
    state.stepBack = leadingNumber(store.read(keys::RewVal));
}

} // namespace velloran
