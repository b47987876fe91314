#include "key_chord.h"

#include <QStringList>

#include <array>

namespace velloran {

namespace {

struct NamedKey {
    int key;
    const char* portable; // Qt's portable name
    const char* xkb;      // the keysym's name, as shortcut portals want it
    quint32 keysym;
};

// Keys with names; the printable ASCII keys and F1..F35 are worked out.
constexpr std::array<NamedKey, 24> kNamedKeys{{
    {Qt::Key_Space, "Space", "space", 0x20},
    {Qt::Key_Escape, "Esc", "Escape", 0xff1b},
    {Qt::Key_Tab, "Tab", "Tab", 0xff09},
    {Qt::Key_Backspace, "Backspace", "BackSpace", 0xff08},
    {Qt::Key_Return, "Return", "Return", 0xff0d},
    {Qt::Key_Enter, "Enter", "KP_Enter", 0xff8d},
    {Qt::Key_Insert, "Ins", "Insert", 0xff63},
    {Qt::Key_Delete, "Del", "Delete", 0xffff},
    {Qt::Key_Pause, "Pause", "Pause", 0xff13},
    {Qt::Key_Print, "Print", "Print", 0xff61},
    {Qt::Key_Home, "Home", "Home", 0xff50},
    {Qt::Key_End, "End", "End", 0xff57},
    {Qt::Key_Left, "Left", "Left", 0xff51},
    {Qt::Key_Up, "Up", "Up", 0xff52},
    {Qt::Key_Right, "Right", "Right", 0xff53},
    {Qt::Key_Down, "Down", "Down", 0xff54},
    {Qt::Key_PageUp, "PgUp", "Prior", 0xff55},
    {Qt::Key_PageDown, "PgDown", "Next", 0xff56},
    {Qt::Key_Menu, "Menu", "Menu", 0xff67},
    {Qt::Key_MediaPlay, "Media Play", "XF86AudioPlay", 0x1008ff14},
    {Qt::Key_MediaStop, "Media Stop", "XF86AudioStop", 0x1008ff15},
    {Qt::Key_MediaPrevious, "Media Previous", "XF86AudioPrev", 0x1008ff16},
    {Qt::Key_MediaNext, "Media Next", "XF86AudioNext", 0x1008ff17},
    {Qt::Key_MediaPause, "Media Pause", "XF86AudioPause", 0x1008ff31},
}};

struct Punctuation {
    char key;
    const char* xkb;
};

// xkb names of the punctuation keys; letters and digits are named by themselves.
constexpr std::array<Punctuation, 32> kPunctuation{{
    {'!', "exclam"},       {'"', "quotedbl"},    {'#', "numbersign"},  {'$', "dollar"},
    {'%', "percent"},      {'&', "ampersand"},   {'\'', "apostrophe"}, {'(', "parenleft"},
    {')', "parenright"},   {'*', "asterisk"},    {'+', "plus"},        {',', "comma"},
    {'-', "minus"},        {'.', "period"},      {'/', "slash"},       {':', "colon"},
    {';', "semicolon"},    {'<', "less"},        {'=', "equal"},       {'>', "greater"},
    {'?', "question"},     {'@', "at"},          {'[', "bracketleft"}, {'\\', "backslash"},
    {']', "bracketright"}, {'^', "asciicircum"}, {'_', "underscore"},  {'`', "grave"},
    {'{', "braceleft"},    {'|', "bar"},         {'}', "braceright"},  {'~', "asciitilde"},
}};

constexpr int kLastFunctionKey = 35;
constexpr quint32 kKeysymF1 = 0xffbe;

bool isPrintable(int key) {
    return key > 0x20 && key < 0x7f && !(key >= 'a' && key <= 'z');
}

bool isFunctionKey(int key) {
    return key >= Qt::Key_F1 && key < Qt::Key_F1 + kLastFunctionKey;
}

// Ctrl, Alt, Shift and Meta, in that order, as @p names spell them.
QString modifierPrefix(Qt::KeyboardModifiers modifiers, const std::array<const char*, 4>& names) {
    constexpr std::array<Qt::KeyboardModifier, 4> kOrder{Qt::ControlModifier, Qt::AltModifier,
                                                         Qt::ShiftModifier, Qt::MetaModifier};
    QString prefix;
    for (size_t i = 0; i < kOrder.size(); ++i)
        if (modifiers & kOrder[i])
            prefix += QLatin1String(names[i]);
    return prefix;
}

std::optional<int> keyNamed(const QString& name) {
    if (name.size() == 1) {
        const int key = name.at(0).toUpper().unicode();
        if (isPrintable(key))
            return key;
    }
    for (const NamedKey& named : kNamedKeys)
        if (name.compare(QLatin1String(named.portable), Qt::CaseInsensitive) == 0)
            return named.key;
    if (name.size() >= 2 && (name.at(0) == QLatin1Char('F') || name.at(0) == QLatin1Char('f'))) {
        bool ok = false;
        const int n = name.mid(1).toInt(&ok);
        if (ok && n >= 1 && n <= kLastFunctionKey && !name.at(1).isSpace() &&
            name.at(1) != QLatin1Char('+'))
            return Qt::Key_F1 + n - 1;
    }
    return std::nullopt;
}

std::optional<Qt::KeyboardModifier> modifierNamed(const QString& name) {
    const auto is = [&](const char* word) {
        return name.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    };
    if (is("Ctrl") || is("Control"))
        return Qt::ControlModifier;
    if (is("Alt"))
        return Qt::AltModifier;
    if (is("Shift"))
        return Qt::ShiftModifier;
    if (is("Meta") || is("Super"))
        return Qt::MetaModifier;
    return std::nullopt;
}

} // namespace

bool KeyChord::isBindableKey(int key) {
    if (isFunctionKey(key))
        return true;
    if (isPrintable(key))
        return true;
    for (const NamedKey& named : kNamedKeys)
        if (named.key == key)
            return true;
    return false;
}

std::optional<KeyChord> KeyChord::fromText(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    // "Ctrl++" binds the plus key: the last '+' is a key, not a separator.
    QStringList parts = trimmed.split(QLatin1Char('+'));
    if (trimmed.endsWith(QLatin1String("++"))) {
        parts.removeLast();
        parts.last() = QStringLiteral("+");
    }
    KeyChord chord;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const auto modifier = modifierNamed(parts.at(i).trimmed());
        if (!modifier || chord.modifiers.testFlag(*modifier))
            return std::nullopt;
        chord.modifiers |= *modifier;
    }
    const auto key = keyNamed(parts.last().trimmed());
    if (!key)
        return std::nullopt;
    chord.key = *key;
    return chord;
}

QString KeyChord::text() const {
    const QString text = modifierPrefix(modifiers, {"Ctrl+", "Alt+", "Shift+", "Meta+"});
    if (isFunctionKey(key))
        return text + QLatin1Char('F') + QString::number(key - Qt::Key_F1 + 1);
    if (isPrintable(key))
        return text + QChar(key);
    for (const NamedKey& named : kNamedKeys)
        if (named.key == key)
            return text + QLatin1String(named.portable);
    return {};
}

quint32 KeyChord::keysym() const {
    if (isFunctionKey(key))
        return kKeysymF1 + quint32(key - Qt::Key_F1);
    // Latin keysyms are the characters themselves, letters in lower case.
    if (isPrintable(key))
        return QChar(key).toLower().unicode();
    for (const NamedKey& named : kNamedKeys)
        if (named.key == key)
            return named.keysym;
    return 0;
}

QString KeyChord::portalTrigger() const {
    const QString trigger = modifierPrefix(modifiers, {"CTRL+", "ALT+", "SHIFT+", "LOGO+"});
    if (isFunctionKey(key))
        return trigger + QLatin1Char('F') + QString::number(key - Qt::Key_F1 + 1);
    if (isPrintable(key)) {
        for (const Punctuation& mark : kPunctuation)
            if (mark.key == key)
                return trigger + QLatin1String(mark.xkb);
        return trigger + QChar(key).toLower();
    }
    for (const NamedKey& named : kNamedKeys)
        if (named.key == key)
            return trigger + QLatin1String(named.xkb);
    return {};
}

} // namespace velloran
