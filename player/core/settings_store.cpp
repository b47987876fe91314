#include "settings_store.h"

#include <QDir>
#include <QIODevice>
#include <QSettings>

namespace velloran {

namespace {
const QString kGroup = QStringLiteral("Setting");

QString groupKey(const QString& key) {
    return kGroup + QLatin1Char('/') + key;
}

// Qt's own INI format writes a key such as "Large Change" as "Large%20Change".
// This one keeps the keys as they are spelled, blanks included, so the file
// reads (and can be edited by hand) the way the settings are named. Blanks
// around a value are not part of it, as people expect when they edit the file;
// a value's own blanks at its edges, backslashes, line breaks and the other control
// characters that count as blanks (form feed, vertical tab) are escaped.
QByteArray escapeValue(const QString& value) {
    const QByteArray text = value.toUtf8();
    qsizetype lead = 0;
    while (lead < text.size() && text[lead] == ' ')
        ++lead;
    qsizetype trail = text.size();
    while (trail > lead && text[trail - 1] == ' ')
        --trail;
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\f')
            out += "\\f";
        else if (c == '\v')
            out += "\\v";
        else if (c == ' ' && (i < lead || i >= trail))
            out += "\\s";
        else
            out += c;
    }
    return out;
}

QString unescapeValue(const QByteArray& text) {
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            c = text[++i];
            if (c == 'n')
                c = '\n';
            else if (c == 'r')
                c = '\r';
            else if (c == 't')
                c = '\t';
            else if (c == 'f')
                c = '\f';
            else if (c == 'v')
                c = '\v';
            else if (c == 's')
                c = ' ';
        }
        out += c;
    }
    return QString::fromUtf8(out);
}

bool readIni(QIODevice& device, QSettings::SettingsMap& map) {
    QString group;
    while (!device.atEnd()) {
        QByteArray line = device.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(';') || trimmed.startsWith('#'))
            continue;
        if (trimmed.startsWith('[') && trimmed.endsWith(']')) {
            group = QString::fromUtf8(
                QByteArray::fromPercentEncoding(trimmed.mid(1, trimmed.size() - 2)));
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        // A file written by Qt's INI format carries %20 in its keys: read those too.
        const QString key =
            QString::fromUtf8(QByteArray::fromPercentEncoding(line.left(eq).trimmed()));
        map.insert(group.isEmpty() ? key : group + QLatin1Char('/') + key,
                   unescapeValue(line.mid(eq + 1).trimmed()));
    }
    return true;
}

bool writeIni(QIODevice& device, const QSettings::SettingsMap& map) {
    // Keys outside any group (a hand-edited file may have some) come first: after a
    // group's header the file has no way back to them.
    QStringList order;
    for (const QString& key : map.keys())
        if (!key.contains(QLatin1Char('/')))
            order << key;
    for (const QString& key : map.keys())
        if (key.contains(QLatin1Char('/')))
            order << key;
    QString currentGroup;
    bool first = true;
    for (const QString& whole : order) {
        const qsizetype slash = whole.indexOf(QLatin1Char('/'));
        const QString group = slash < 0 ? QString() : whole.left(slash);
        const QString key = slash < 0 ? whole : whole.mid(slash + 1);
        if (first || group != currentGroup) {
            if (!first)
                device.write("\n");
            if (!group.isEmpty())
                device.write("[" + group.toUtf8() + "]\n");
            currentGroup = group;
            first = false;
        }
        if (device.write(key.toUtf8() + '=' + escapeValue(map.value(whole).toString()) + '\n') < 0)
            return false;
    }
    return true;
}

QSettings::Format settingsFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("conf"), readIni, writeIni, Qt::CaseSensitive);
    return format;
}
} // namespace

IniSettingsStore::IniSettingsStore() : IniSettingsStore(defaultFilePath()) {}

IniSettingsStore::IniSettingsStore(const QString& filePath)
    : settings_(std::make_unique<QSettings>(filePath, settingsFormat())) {
    // QSettings writes the file through QSaveFile (temporary file + rename)
    // only while atomic sync is required; say so rather than rely on the default.
    settings_->setAtomicSyncRequired(true);
}

IniSettingsStore::~IniSettingsStore() = default;

QString IniSettingsStore::read(const QString& key) const {
    // Another process (or the user) may have changed the file since we last looked.
    settings_->sync();
    const QVariant value = settings_->value(groupKey(key));
    return value.isValid() ? value.toString() : QString();
}

void IniSettingsStore::write(const QString& key, const QString& value) {
    settings_->setValue(groupKey(key), value);
    settings_->sync();
}

QString IniSettingsStore::filePath() const {
    return settings_->fileName();
}

QString IniSettingsStore::defaultFilePath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Velloran/Velloran.conf");
}

} // namespace velloran
