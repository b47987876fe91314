#pragma once

#include <QString>
#include <QStringList>

namespace velloran {

/// Every message box and file dialog of the player goes through this seam:
/// the program answers with real dialogs, tests with a recorder.
class UserPrompts {
public:
    virtual ~UserPrompts() = default;

    /// An error, with the critical-stop icon and an OK button.
    virtual void showError(const QString& text) = 0;
    /// A plain message with an OK button.
    virtual void showMessage(const QString& text) = 0;
    /// A question with Yes and No; true for Yes.
    virtual bool askYesNo(const QString& text) = 0;

    /// One entry of an open dialog's type list.
    struct FileFilter {
        QString text;         ///< shown to the user, e.g. "Wave (*.wav)"
        QStringList patterns; ///< e.g. {"*.wav"}
    };
    /// The open dialog; returns the chosen file's full path, empty when cancelled.
    virtual QString chooseOpenFile(const QList<FileFilter>& filters,
                                   const QString& startFolder) = 0;
    /// The folder picker; returns the chosen folder, empty when cancelled.
    virtual QString chooseFolder(const QString& prompt, const QString& startFolder) = 0;

    /// Brings the open dialog forward when one is up already; false when none is.
    virtual bool raiseOpenDialog() = 0;
    /// Brings the question @p text forward when it is being asked already;
    /// false when it is not.
    virtual bool raiseQuestion(const QString& text) = 0;
};

} // namespace velloran
