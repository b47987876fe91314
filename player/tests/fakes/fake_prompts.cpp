#include "fake_prompts.h"

namespace velloran::testing {

bool RecordingPrompts::askYesNo(const QString& text) {
    questions << text;
    if (whileAsking)
        whileAsking();
    return yesNoAnswers.isEmpty() ? false : yesNoAnswers.takeFirst();
}

QString RecordingPrompts::chooseOpenFile(const QList<FileFilter>& filters,
                                         const QString& startFolder) {
    lastFilters = filters;
    lastStartFolder = startFolder;
    return openFileAnswers.isEmpty() ? QString() : openFileAnswers.takeFirst();
}

QString RecordingPrompts::chooseFolder(const QString& prompt, const QString& startFolder) {
    lastFolderPrompt = prompt;
    lastStartFolder = startFolder;
    return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
}

} // namespace velloran::testing
