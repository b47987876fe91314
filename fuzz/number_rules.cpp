// The store's number rules on arbitrary text and on arbitrary doubles: a number written
// reads back as the same value, the whole-number and pedal-code rules agree with the
// leading number they are built on and stay in 16 bits, and hh:mm:ss texts add up to the
// rounded seconds.
#include "core/settings.h"
#include "core/text_rules.h"
#include "fuzz_support.h"

#include <QStringList>

#include <cmath>
#include <cstring>
#include <limits>

using namespace velloran;

namespace {

void checkWritten(double value) {
    if (!std::isfinite(value))
        return;
    const QString text = numberText(value);
    if (leadingNumber(text) != value ||
        parseWholeNumber(text).has_value() !=
            (roundHalfEven(value) >= -32768 && roundHalfEven(value) <= 32767))
        fuzz::fail("a written number does not read back as itself");
    if (text.contains(QLatin1Char(',')))
        fuzz::fail("a written number holds a comma");
}

void checkHms(double seconds) {
    const QString text = formatHms(seconds);
    if (!std::isfinite(seconds)) {
        if (text != QLatin1String("00:00:00"))
            fuzz::fail("hh:mm:ss of a value that is no number");
        return;
    }
    // Beyond 2^53 whole seconds a double cannot hold every second; the text need only be
    // well formed there.
    const bool exact = std::fabs(seconds) < 9e15;
    const QStringList fields =
        text.mid(text.startsWith(QLatin1Char('-')) ? 1 : 0).split(QLatin1Char(':'));
    if (fields.size() != 3 || fields[1].size() != 2 || fields[2].size() != 2 ||
        fields[0].size() < 2)
        fuzz::fail("hh:mm:ss shape");
    for (const QString& f : fields)
        for (QChar c : f)
            if (!c.isDigit())
                fuzz::fail("hh:mm:ss holds other than digits");
    if (fields[1].toInt() > 59 || fields[2].toInt() > 59)
        fuzz::fail("minutes or seconds beyond 59");
    if (exact) {
        const double total =
            fields[0].toDouble() * 3600 + fields[1].toDouble() * 60 + fields[2].toDouble();
        if (total != roundHalfEven(std::fabs(seconds)))
            fuzz::fail("hh:mm:ss does not add up to the rounded seconds");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));

    const double lead = leadingNumber(text);
    if (std::isnan(lead))
        fuzz::fail("a leading number that is no number");
    checkWritten(lead);
    checkHms(lead);

    const std::optional<int> whole = parseWholeNumber(text);
    if (whole) {
        if (*whole < -32768 || *whole > 32767)
            fuzz::fail("a whole number beyond 16 bits");
        if (*whole != roundHalfEven(leadingNumber(text.trimmed())))
            fuzz::fail("a whole number other than its rounded text");
    }
    const std::optional<int> code = parsePedalCode(text);
    if (code && (code != whole || lead == 0 || lead == -1))
        fuzz::fail("a pedal code taken against its rule");
    int whole16 = 0;
    if (toWhole16(lead, whole16) && (whole16 < -32768 || whole16 > 32767))
        fuzz::fail("toWhole16 beyond 16 bits");

    if (const std::optional<bool> flag = parseBool(text)) {
        const QString t = text.trimmed();
        const bool word = t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0 ||
                          t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0;
        if (!word && *flag != (leadingNumber(t) != 0))
            fuzz::fail("a Boolean number other than its value");
    }
    if (parseBool(boolText(true)) != true || parseBool(boolText(false)) != false)
        fuzz::fail("Boolean texts");

    const PortChoice port = parsePortText(text);
    if (port.kind == PortChoice::Serial && port.devicePath.isEmpty() &&
        (port.commPort < 0 || port.commPort > 9))
        fuzz::fail("a COM port number beyond one digit");
    if (port.kind == PortChoice::Usb && port.usbId.isEmpty())
        fuzz::fail("a USB port without an id");

    // The raw bytes as doubles too: every bit pattern, infinities and NaNs included.
    for (std::size_t at = 0; at + sizeof(double) <= size; at += sizeof(double)) {
        double value;
        std::memcpy(&value, data + at, sizeof value);
        checkWritten(value);
        checkHms(value);
        int out = 0;
        if (toWhole16(value, out) && (out < -32768 || out > 32767))
            fuzz::fail("toWhole16 beyond 16 bits");
    }
    return 0;
}
