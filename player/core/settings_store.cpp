#include "settings_store.h"

#include "file_names.h"
#include "user_prompts.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QSettings>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // A file name's bytes go to the file as they are, UTF-8 or not.
    const QByteArray text = fileNameBytes(value);
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
    return fileNameFromBytes(out);
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

// Why a file could not be written, as the system words it: the folders up to
// it, the file itself, and a trial copy of @p content beside it, the way a save
// goes (a temporary file, written, flushed to disk). Empty when all of that works.
QString writeProblem(const QString& filePath, const QByteArray& content) {
    const auto failed = [](int error) {
        return QString::fromLocal8Bit(std::strerror(error));
    };
    const QByteArray path = fileNameBytes(filePath);
    const QByteArray folder = fileNameBytes(QFileInfo(filePath).absolutePath());
    for (qsizetype slash = 1; slash <= folder.size(); ++slash) {
        if (slash < folder.size() && folder[slash] != '/')
            continue;
        const QByteArray step = folder.left(slash);
        struct stat info {};
        if (::stat(step.constData(), &info) == 0) {
            if (!S_ISDIR(info.st_mode))
                return failed(ENOTDIR);
        } else if (::mkdir(step.constData(), 0700) != 0 && errno != EEXIST) {
            return failed(errno);
        }
    }
    if (::access(path.constData(), F_OK) == 0) {
        const ClosingFd existing(::open(path.constData(), O_RDWR | O_CLOEXEC));
        if (existing.fd < 0)
            return failed(errno);
    }
    QByteArray trial = path + ".XXXXXX";
    ClosingFd copy(::mkstemp(trial.data()));
    if (copy.fd < 0)
        return failed(errno);
    int error = 0;
    for (qsizetype done = 0; done < content.size() && error == 0;) {
        const ssize_t n =
            ::write(copy.fd, content.constData() + done, size_t(content.size() - done));
        if (n < 0 && errno != EINTR)
            error = errno;
        else if (n > 0)
            done += n;
    }
    if (error == 0 && ::fsync(copy.fd) != 0)
        error = errno;
    if (::close(copy.release()) != 0 && error == 0)
        error = errno;
    ::unlink(trial.constData());
    return error == 0 ? QString() : failed(error);
}

QString homeFromPasswordDatabase() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    for (;;) {
        passwd entry{};
        passwd* found = nullptr;
        const int error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || !found || !found->pw_dir || found->pw_dir[0] != '/')
            return {};
        return fileNameFromBytes(found->pw_dir);
    }
}
} // namespace

QString userHomeFolder() {
    const QString home = fileNameFromBytes(qgetenv("HOME"));
    if (home.startsWith(QLatin1Char('/')))
        return home;
    const QString fromDatabase = homeFromPasswordDatabase();
    return fromDatabase.isEmpty() ? QDir::rootPath() : fromDatabase;
}

void ensureHomeVariable() {
    if (qgetenv("HOME").startsWith('/'))
        return;
    const QString home = homeFromPasswordDatabase();
    if (!home.isEmpty())
        ::setenv("HOME", fileNameBytes(home).constData(), 1);
}

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
    // QSettings keeps what it could not write and tries again at the next
    // sync, so a folder that becomes writable later still gets it all.
    if (settings_->status() == QSettings::AccessError && !reported_)
        reportWriteFailure(writeProblem());
}

std::optional<QString> IniSettingsStore::readIn(const QString& group, const QString& key) const {
    settings_->sync();
    const QVariant value = settings_->value(group + QLatin1Char('/') + key);
    return value.isValid() ? std::optional(value.toString()) : std::nullopt;
}

void IniSettingsStore::writeIn(const QString& group, const QString& key,
                               const std::optional<QString>& value) {
    const QString whole = group + QLatin1Char('/') + key;
    if (value)
        settings_->setValue(whole, *value);
    else
        settings_->remove(whole);
    settings_->sync();
    if (settings_->status() == QSettings::AccessError && !reported_)
        reportWriteFailure(writeProblem());
}

void IniSettingsStore::setPrompts(UserPrompts* prompts) {
    prompts_ = prompts;
}

void IniSettingsStore::checkWritable() {
    if (const QString problem = writeProblem(); !problem.isEmpty())
        reportWriteFailure(problem);
}

QString IniSettingsStore::writeProblem() const {
    QSettings::SettingsMap map;
    for (const QString& key : settings_->allKeys())
        map.insert(key, settings_->value(key));
    QBuffer content;
    content.open(QIODevice::WriteOnly);
    writeIni(content, map);
    return velloran::writeProblem(filePath(), content.data());
}

void IniSettingsStore::reportWriteFailure(QString reason) {
    if (reported_)
        return;
    reported_ = true;
    if (reason.isEmpty())
        reason = QStringLiteral("the file could not be written");
    qWarning("velloran: cannot write the settings file %s: %s",
             fileNameBytes(filePath()).constData(), qUtf8Printable(reason));
    if (!prompts_)
        return;
    // Shown once the current action has run its course: a box opened from
    // inside a write would run the player's events in the middle of it.
    QTimer::singleShot(0, QCoreApplication::instance(), [prompts = prompts_, reason] {
        prompts->showError(QStringLiteral("Unable to save the settings: ") + reason +
                           QStringLiteral(". The place in the dictation will not be remembered."));
    });
}

QString IniSettingsStore::filePath() const {
    return settings_->fileName();
}

QString IniSettingsStore::defaultFilePath() {
    QString base = fileNameFromBytes(qgetenv("XDG_CONFIG_HOME"));
    if (!base.startsWith(QLatin1Char('/')))
        base = userHomeFolder() + QStringLiteral("/.config");
    return base + QStringLiteral("/Velloran/Velloran.conf");
}

} // namespace velloran
