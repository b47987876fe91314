#include "fake_prompts.h"

namespace velloran::testing {

bool RecordingPrompts::askYesNo(const QString& text) {
    questions << text;
    asking_ << text;
    if (whileAsking)
        whileAsking();
    asking_.removeLast();
    return yesNoAnswers.isEmpty() ? false : yesNoAnswers.takeFirst();
}

QString RecordingPrompts::chooseOpenFile(const QList<FileFilter>& filters,
                                         const QString& startFolder) {
    lastFilters = filters;
    lastStartFolder = startFolder;
    if (whileChoosing) {
        choosing_ = true;
        whileChoosing();
        choosing_ = false;
    }
    return openFileAnswers.isEmpty() ? QString() : openFileAnswers.takeFirst();
}

QString RecordingPrompts::chooseFolder(const QString& prompt, const QString& startFolder) {
    lastFolderPrompt = prompt;
    lastStartFolder = startFolder;
    return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
}

bool RecordingPrompts::raiseOpenDialog() {
    if (choosing_)
        raised << QStringLiteral("open");
    return choosing_;
}

bool RecordingPrompts::raiseQuestion(const QString& text) {
    if (asking_.contains(text))
        raised << text;
    return asking_.contains(text);
}

} // namespace velloran::testing
