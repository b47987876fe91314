#include "settings_store.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace velloran {

namespace {
const QString kGroup = QStringLiteral("Setting");

QString groupKey(const QString& key) {
    return kGroup + QLatin1Char('/') + key;
}
} // namespace

IniSettingsStore::IniSettingsStore() : IniSettingsStore(defaultFilePath()) {}

IniSettingsStore::IniSettingsStore(const QString& filePath)
    : settings_(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {
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
