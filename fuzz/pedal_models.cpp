// The pedal-model table reader on arbitrary text: every line is either a model or one
// error naming its line, each model holds three distinct pedal signals of its kind, and
// a model written out as a line reads back as the same model.
#include "core/pedal_models.h"
#include "fuzz_support.h"

#include <linux/input-event-codes.h>

using namespace velloran;

namespace {

bool sameModel(const PedalModel& a, const PedalModel& b) {
    return a.vendor == b.vendor && a.product == b.product && a.kind == b.kind &&
           a.pedals == b.pedals && a.name == b.name;
}

void checkSignal(const PedalSignal& s, PedalModel::Kind kind) {
    if (kind == PedalModel::Hid) {
        if (s.kind != PedalSignal::Bit || s.byte < 0 || s.byte > 4095 || s.mask <= 0 ||
            s.mask > 0xff || (s.mask & (s.mask - 1)) != 0)
            fuzz::fail("a HID pedal that is not one bit of a report byte");
    } else if (s.kind != PedalSignal::Code || s.code <= 0 || s.code > KEY_MAX) {
        fuzz::fail("a pedal code outside the evdev codes");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const ModelParse parsed = parseModels(text, QStringLiteral("f"));

    qsizetype meaningful = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString t = line.trimmed();
        meaningful += !t.isEmpty() && !t.startsWith(QLatin1Char('#'));
    }
    if (qsizetype(parsed.models.size()) + parsed.errors.size() != meaningful)
        fuzz::fail("a line neither taken nor reported");
    for (const QString& error : parsed.errors)
        if (!error.startsWith(QLatin1String("f:")))
            fuzz::fail("an error that names no line");

    QString written;
    for (const PedalModel& model : parsed.models) {
        for (const PedalSignal& s : model.pedals)
            checkSignal(s, model.kind);
        for (int i = 0; i < 3; ++i)
            if (model.pedalOf(model.pedals[std::size_t(i)]) != i + 1)
                fuzz::fail("two pedals share a signal");
        if (model.name.isEmpty())
            fuzz::fail("a model without a name");
        written += modelLine(model) + QLatin1Char('\n');
    }
    const ModelParse again = parseModels(written, QStringLiteral("w"));
    if (!again.errors.isEmpty() || again.models.size() != parsed.models.size())
        fuzz::fail("a written model line does not read back");
    for (std::size_t i = 0; i < again.models.size(); ++i) {
        PedalModel expected = parsed.models[i];
        expected.name = expected.name.simplified();
        if (!sameModel(again.models[i], expected))
            fuzz::fail("a written model line reads back as another model");
    }
    return 0;
}
