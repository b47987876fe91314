#include "pedal_models.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <linux/input-event-codes.h>

#include <algorithm>

namespace velloran {

namespace {

struct CodeName {
    const char* name;
    int code;
};

#define NAMED(c)                                                                                   \
    { #c, c }
// The codes pedals are known to send, and what learning may meet; any other
// code is written as a number.
constexpr CodeName kCodeNames[] = {
    NAMED(KEY_ESC),       NAMED(KEY_1),          NAMED(KEY_2),
    NAMED(KEY_3),         NAMED(KEY_4),          NAMED(KEY_5),
    NAMED(KEY_6),         NAMED(KEY_7),          NAMED(KEY_8),
    NAMED(KEY_9),         NAMED(KEY_0),          NAMED(KEY_TAB),
    NAMED(KEY_Q),         NAMED(KEY_W),          NAMED(KEY_E),
    NAMED(KEY_R),         NAMED(KEY_T),          NAMED(KEY_Y),
    NAMED(KEY_U),         NAMED(KEY_I),          NAMED(KEY_O),
    NAMED(KEY_P),         NAMED(KEY_ENTER),      NAMED(KEY_LEFTCTRL),
    NAMED(KEY_A),         NAMED(KEY_S),          NAMED(KEY_D),
    NAMED(KEY_F),         NAMED(KEY_G),          NAMED(KEY_H),
    NAMED(KEY_J),         NAMED(KEY_K),          NAMED(KEY_L),
    NAMED(KEY_LEFTSHIFT), NAMED(KEY_Z),          NAMED(KEY_X),
    NAMED(KEY_C),         NAMED(KEY_V),          NAMED(KEY_B),
    NAMED(KEY_N),         NAMED(KEY_M),          NAMED(KEY_LEFTALT),
    NAMED(KEY_SPACE),     NAMED(KEY_F1),         NAMED(KEY_F2),
    NAMED(KEY_F3),        NAMED(KEY_F4),         NAMED(KEY_F5),
    NAMED(KEY_F6),        NAMED(KEY_F7),         NAMED(KEY_F8),
    NAMED(KEY_F9),        NAMED(KEY_F10),        NAMED(KEY_F11),
    NAMED(KEY_F12),       NAMED(KEY_UP),         NAMED(KEY_LEFT),
    NAMED(KEY_RIGHT),     NAMED(KEY_DOWN),       NAMED(KEY_PAGEUP),
    NAMED(KEY_PAGEDOWN),  NAMED(KEY_VOLUMEDOWN), NAMED(KEY_VOLUMEUP),
    NAMED(KEY_PLAYPAUSE), NAMED(KEY_NEXTSONG),   NAMED(KEY_PREVIOUSSONG),
    NAMED(KEY_STOPCD),    NAMED(KEY_F13),        NAMED(KEY_F14),
    NAMED(KEY_F15),       NAMED(KEY_F16),        NAMED(KEY_F17),
    NAMED(KEY_F18),       NAMED(KEY_F19),        NAMED(KEY_F20),
    NAMED(KEY_F21),       NAMED(KEY_F22),        NAMED(KEY_F23),
    NAMED(KEY_F24),       NAMED(BTN_0),          NAMED(BTN_1),
    NAMED(BTN_2),         NAMED(BTN_3),          NAMED(BTN_4),
    NAMED(BTN_5),         NAMED(BTN_6),          NAMED(BTN_7),
    NAMED(BTN_8),         NAMED(BTN_9),          NAMED(BTN_LEFT),
    NAMED(BTN_RIGHT),     NAMED(BTN_MIDDLE),     NAMED(BTN_SIDE),
    NAMED(BTN_EXTRA),     NAMED(BTN_TRIGGER),    NAMED(BTN_THUMB),
    NAMED(BTN_THUMB2),    NAMED(BTN_TOP),        NAMED(BTN_TOP2),
    NAMED(BTN_PINKIE),    NAMED(BTN_BASE),       NAMED(BTN_BASE2),
    NAMED(BTN_BASE3),     NAMED(BTN_BASE4),      NAMED(BTN_BASE5),
    NAMED(BTN_BASE6),
};
#undef NAMED

const char* kindWord(PedalModel::Kind kind) {
    switch (kind) {
    case PedalModel::Buttons:
        return "buttons";
    case PedalModel::Keys:
        return "keys";
    case PedalModel::Hid:
        return "hid";
    }
    return "";
}

// Marks the optional fourth pedal where the name would begin, so that lines
// without one read as before.
const QString kFourthPrefix = QStringLiteral("pedal4=");

std::optional<quint16> hex16(const QString& text) {
    bool ok = false;
    const uint value = text.toUInt(&ok, 16);
    if (!ok || text.size() > 4 || value > 0xffff)
        return std::nullopt;
    return static_cast<quint16>(value);
}

} // namespace

int PedalModel::pedalOf(const PedalSignal& signal) const {
    for (int i = 0; i < 3; ++i)
        if (pedals[static_cast<std::size_t>(i)] == signal)
            return i + 1;
    return fourth.kind != PedalSignal::None && fourth == signal ? 4 : 0;
}

QString PedalModel::usbId() const {
    return QStringLiteral("%1:%2")
        .arg(vendor, 4, 16, QLatin1Char('0'))
        .arg(product, 4, 16, QLatin1Char('0'));
}

QString signalText(const PedalSignal& signal) {
    if (signal.kind == PedalSignal::Bit)
        return QStringLiteral("%1:%2").arg(signal.byte).arg(signal.mask, 2, 16, QLatin1Char('0'));
    for (const CodeName& entry : kCodeNames)
        if (entry.code == signal.code)
            return QString::fromLatin1(entry.name);
    return QString::number(signal.code);
}

std::optional<PedalSignal> parseSignal(const QString& text, PedalModel::Kind kind) {
    PedalSignal signal;
    if (kind == PedalModel::Hid) {
        const QStringList parts = text.split(QLatin1Char(':'));
        bool byteOk = false, maskOk = false;
        if (parts.size() != 2)
            return std::nullopt;
        signal.kind = PedalSignal::Bit;
        signal.byte = parts[0].toInt(&byteOk);
        signal.mask = parts[1].toInt(&maskOk, 16);
        // One bit, so that "pressed" cannot depend on which of several bits is set.
        if (!byteOk || !maskOk || signal.byte < 0 || signal.byte > 4095 || signal.mask <= 0 ||
            signal.mask > 0xff || (signal.mask & (signal.mask - 1)) != 0)
            return std::nullopt;
        return signal;
    }
    signal.kind = PedalSignal::Code;
    const QByteArray latin = text.toLatin1();
    for (const CodeName& entry : kCodeNames)
        if (latin == entry.name) {
            signal.code = entry.code;
            return signal;
        }
    bool ok = false;
    signal.code = text.toInt(&ok, 0);
    if (!ok || signal.code <= 0 || signal.code > KEY_MAX)
        return std::nullopt;
    return signal;
}

QString modelLine(const PedalModel& model) {
    QStringList fields = {model.usbId(), QString::fromLatin1(kindWord(model.kind))};
    for (const PedalSignal& signal : model.pedals)
        fields << signalText(signal);
    if (model.fourth.kind != PedalSignal::None)
        fields << kFourthPrefix + signalText(model.fourth);
    fields << model.name.simplified();
    return fields.join(QLatin1Char(' '));
}

ModelParse parseModels(const QString& text, const QString& source) {
    ModelParse result;
    const QStringList lines = text.split(QLatin1Char('\n'));
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    for (int n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const auto fail = [&](const QString& reason) {
            result.errors << QStringLiteral("%1:%2: %3").arg(source).arg(n + 1).arg(reason);
        };
        const QStringList fields = line.split(blanks);
        if (fields.size() < 6) {
            fail(QStringLiteral("expected \"vendor:product kind left middle right name\""));
            continue;
        }
        PedalModel model;
        const QStringList id = fields[0].split(QLatin1Char(':'));
        const auto vendor = id.size() == 2 ? hex16(id[0]) : std::nullopt;
        const auto product = id.size() == 2 ? hex16(id[1]) : std::nullopt;
        if (!vendor || !product) {
            fail(QStringLiteral("\"%1\" is not a USB vendor:product").arg(fields[0]));
            continue;
        }
        model.vendor = *vendor;
        model.product = *product;
        if (fields[1] == QLatin1String("buttons"))
            model.kind = PedalModel::Buttons;
        else if (fields[1] == QLatin1String("keys"))
            model.kind = PedalModel::Keys;
        else if (fields[1] == QLatin1String("hid"))
            model.kind = PedalModel::Hid;
        else {
            fail(QStringLiteral("unknown kind \"%1\" (buttons, keys or hid)").arg(fields[1]));
            continue;
        }
        bool good = true;
        for (int i = 0; i < 3 && good; ++i) {
            const auto signal = parseSignal(fields[2 + i], model.kind);
            if (!signal) {
                fail(QStringLiteral("\"%1\" is not a pedal %2")
                         .arg(fields[2 + i], model.kind == PedalModel::Hid
                                                 ? QStringLiteral("byte:mask")
                                                 : QStringLiteral("code")));
                good = false;
            } else {
                model.pedals[static_cast<std::size_t>(i)] = *signal;
            }
        }
        if (!good)
            continue;
        qsizetype nameField = 5;
        if (fields[5].startsWith(kFourthPrefix)) {
            const QString fourthText = fields[5].mid(kFourthPrefix.size());
            const auto signal = parseSignal(fourthText, model.kind);
            if (!signal || fields.size() < 7) {
                fail(signal ? QStringLiteral("the name is missing")
                            : QStringLiteral("\"%1\" is not a fourth pedal").arg(fourthText));
                continue;
            }
            model.fourth = *signal;
            nameField = 6;
        }
        if (model.pedals[0] == model.pedals[1] || model.pedals[0] == model.pedals[2] ||
            model.pedals[1] == model.pedals[2] ||
            (model.fourth.kind != PedalSignal::None && model.pedalOf(model.fourth) != 4)) {
            fail(QStringLiteral("two pedals share one code"));
            continue;
        }
        model.name = fields.mid(nameField).join(QLatin1Char(' '));
        result.models.push_back(model);
    }
    return result;
}

PedalModelTable::PedalModelTable(QStringList files, QString userFile)
    : files_(std::move(files)), userFile_(std::move(userFile)) {}

void PedalModelTable::load() {
    models_.clear();
    errors_.clear();
    for (const QString& path : files_) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        ModelParse parsed = parseModels(QString::fromUtf8(file.readAll()), path);
        models_.insert(models_.end(), parsed.models.begin(), parsed.models.end());
        errors_ << parsed.errors;
    }
}

const PedalModel* PedalModelTable::find(quint16 vendor, quint16 product) const {
    const auto it = std::find_if(models_.rbegin(), models_.rend(), [&](const PedalModel& m) {
        return m.vendor == vendor && m.product == product;
    });
    return it == models_.rend() ? nullptr : &*it;
}

bool PedalModelTable::add(const PedalModel& model, QString* error) {
    QDir().mkpath(QFileInfo(userFile_).absolutePath());
    QFile file(userFile_);
    const bool fresh = !file.exists() || file.size() == 0;
    // A hand-edited file may lack its last line end.
    bool joined = false;
    if (!fresh && file.open(QIODevice::ReadOnly)) {
        joined = file.seek(file.size() - 1) && file.read(1) != "\n";
        file.close();
    }
    if (!file.open(QIODevice::Append)) {
        if (error)
            *error = userFile_ + QStringLiteral(": ") + file.errorString();
        return false;
    }
    QByteArray text = joined ? "\n" : "";
    if (fresh)
        text += "# Learned pedals: vendor:product kind left middle right name\n";
    text += modelLine(model).toUtf8() + '\n';
    if (file.write(text) != text.size() || !file.flush()) {
        if (error)
            *error = userFile_ + QStringLiteral(": ") + file.errorString();
        return false;
    }
    file.close();
    load();
    return true;
}

std::unique_ptr<PedalModelTable> makePedalModelTable(const QString& appDir,
                                                     const QString& settingsFile) {
    const QString user =
        QFileInfo(settingsFile).absolutePath() + QStringLiteral("/pedal-models.txt");
    auto table = std::make_unique<PedalModelTable>(
        QStringList{appDir + QStringLiteral("/pedal-models.txt"), user}, user);
    table->load();
    for (const QString& error : table->errors())
        qWarning().noquote() << "pedal model skipped:" << error;
    return table;
}

} // namespace velloran
