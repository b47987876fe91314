#pragma once

#include <QString>

#include <memory>
#include <optional>

class QSettings;

namespace velloran {

class UserPrompts;

/// The user's home folder: $HOME, or the password database's entry when HOME
/// is unset or not an absolute path (a service or a cron job may start us so).
QString userHomeFolder();
/// Sets HOME from the password database when it is unset, so that the cache
/// and data folders that Qt and libmpv derive from it lie in the user's home
/// rather than under "/".
void ensureHomeVariable();

/// The per-user store of named text values (application "Velloran", group
/// "Setting"). Reading a missing key gives empty text. Every write reaches the
/// disk before it returns, or is reported by the store itself.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual QString read(const QString& key) const = 0;
    virtual void write(const QString& key, const QString& value) = 0;

    /// A value of another group of the same file ("HotKeys"); none when the
    /// key is missing, which is not the same as an empty value there.
    virtual std::optional<QString> readIn(const QString& /*group*/, const QString& /*key*/) const {
        return std::nullopt;
    }
    /// Writes a key of another group; no value removes the key.
    virtual void writeIn(const QString& /*group*/, const QString& /*key*/,
                         const std::optional<QString>& /*value*/) {}
};

/// The store as an INI file, by default $XDG_CONFIG_HOME/Velloran/Velloran.conf.
/// Writes go through a temporary file and a rename, so a crash never leaves a
/// half-written file. Values are stored as the bytes of their text, so a file
/// name that is not UTF-8 reads back unchanged. The first write of a run that
/// cannot reach the file (a read-only folder, a full disk) is logged and told
/// to the user once; later ones only retry.
class IniSettingsStore final : public SettingsStore {
public:
    /// Opens the default file of the current user.
    IniSettingsStore();
    /// Opens the given file (tests, or a store kept elsewhere).
    explicit IniSettingsStore(const QString& filePath);
    ~IniSettingsStore() override;

    QString read(const QString& key) const override;
    void write(const QString& key, const QString& value) override;
    std::optional<QString> readIn(const QString& group, const QString& key) const override;
    void writeIn(const QString& group, const QString& key,
                 const std::optional<QString>& value) override;

    /// Where the failure to write is told (an error box, once the current
    /// event has been handled). Without it, the failure is only logged.
    void setPrompts(UserPrompts* prompts);
    /// Tells the user now, as a failed write would, when the file could not
    /// be written: a read-only folder is seen before the typist's work is lost.
    void checkWritable();

    QString filePath() const;
    /// $XDG_CONFIG_HOME/Velloran/Velloran.conf, with ~/.config as the default.
    static QString defaultFilePath();

private:
    QString writeProblem() const;
    void reportWriteFailure(QString reason);

    std::unique_ptr<QSettings> settings_;
    UserPrompts* prompts_ = nullptr;
    bool reported_ = false;
};

} // namespace velloran
