#pragma once

#include "core/user_prompts.h"

#include <QList>
#include <QPointer>

class QDialog;
class QFileDialog;
class QMessageBox;
class QWidget;

namespace velloran {

/// The real dialogs: message boxes titled "Velloran", QFileDialog for files
/// and folders. Every dialog stays above the always-on-top main window.
class QtUserPrompts final : public UserPrompts {
public:
    explicit QtUserPrompts(QWidget* parent = nullptr) : parent_(parent) {}
    void setParentWidget(QWidget* parent) { parent_ = parent; }

    void showError(const QString& text) override;
    void showMessage(const QString& text) override;
    bool askYesNo(const QString& text) override;
    QString chooseOpenFile(const QList<FileFilter>& filters, const QString& startFolder) override;
    QString chooseFolder(const QString& prompt, const QString& startFolder) override;
    bool raiseOpenDialog() override;
    bool raiseQuestion(const QString& text) override;

    /// The filter list in QFileDialog's syntax: "Wave (*.wav);;MP3 (*.mp3 *.m3u);;...".
    static QString qtFilterText(const QList<FileFilter>& filters);

private:
    int runBox(int icon, const QString& text, int buttons);

    QWidget* parent_;
    // The dialogs up now, so that a second request for one brings it forward.
    QPointer<QFileDialog> openDialog_;
    QList<QPointer<QMessageBox>> questions_;
};

} // namespace velloran
