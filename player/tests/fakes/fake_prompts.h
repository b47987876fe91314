#pragma once

#include "core/settings_store.h"
#include "core/user_prompts.h"

#include <QMap>
#include <QStringList>

#include <functional>

namespace velloran::testing {

/// Answers dialogs from queues and records every message shown.
class RecordingPrompts final : public UserPrompts {
public:
    void showError(const QString& text) override { errors << text; }
    void showMessage(const QString& text) override { messages << text; }
    bool askYesNo(const QString& text) override;
    QString chooseOpenFile(const QList<FileFilter>& filters, const QString& startFolder) override;
    QString chooseFolder(const QString& prompt, const QString& startFolder) override;
    bool raiseOpenDialog() override;
    bool raiseQuestion(const QString& text) override;

    QStringList errors, messages, questions;
    QList<bool> yesNoAnswers;    ///< taken front first; No when empty
    QStringList openFileAnswers; ///< taken front first; cancel when empty
    QStringList folderAnswers;   ///< taken front first; cancel when empty
    QList<FileFilter> lastFilters;
    QString lastStartFolder;
    QString lastFolderPrompt;
    /// Runs while a question is up, before it is answered (nested events).
    std::function<void()> whileAsking;
    /// Runs while the open dialog is up, before it is answered.
    std::function<void()> whileChoosing;
    /// The dialogs brought forward: "open" or the question's text.
    QStringList raised;

private:
    QStringList asking_;
    bool choosing_ = false;
};

/// The settings store in memory, with a log of every write in order.
class MemorySettingsStore final : public SettingsStore {
public:
    QString read(const QString& key) const override { return values.value(key); }
    void write(const QString& key, const QString& value) override {
        values[key] = value;
        writes << key + QLatin1Char('=') + value;
    }
    std::optional<QString> readIn(const QString& group, const QString& key) const override {
        const auto found = values.constFind(group + QLatin1Char('/') + key);
        return found == values.cend() ? std::nullopt : std::optional(*found);
    }
    void writeIn(const QString& group, const QString& key,
                 const std::optional<QString>& value) override {
        if (value)
            write(group + QLatin1Char('/') + key, *value);
        else
            values.remove(group + QLatin1Char('/') + key);
    }
    QMap<QString, QString> values;
    QStringList writes;
};

} // namespace velloran::testing
