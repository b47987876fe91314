#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace velloran {

/// The per-user store of named text values (application "Velloran", group
/// "Setting"). Reading a missing key gives empty text. Every write reaches the
/// disk before it returns; write failures are not reported.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual QString read(const QString& key) const = 0;
    virtual void write(const QString& key, const QString& value) = 0;
};

/// The store as an INI file, by default $XDG_CONFIG_HOME/Velloran/Velloran.conf.
/// Writes go through a temporary file and a rename, so a crash never leaves a
/// half-written file.
class IniSettingsStore final : public SettingsStore {
public:
    /// Opens the default file of the current user.
    IniSettingsStore();
    /// Opens the given file (tests, or a store kept elsewhere).
    explicit IniSettingsStore(const QString& filePath);
    ~IniSettingsStore() override;

    QString read(const QString& key) const override;
    void write(const QString& key, const QString& value) override;

    QString filePath() const;
    /// $XDG_CONFIG_HOME/Velloran/Velloran.conf, with ~/.config as the default.
    static QString defaultFilePath();

private:
    std::unique_ptr<QSettings> settings_;
};

} // namespace velloran
