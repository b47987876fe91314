#include "qt_user_prompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace velloran {

namespace {
const QString kTitle = QStringLiteral("Velloran");

void bringForward(QDialog* dialog) {
    dialog->raise();
    dialog->activateWindow();
}
} // namespace

int QtUserPrompts::runBox(int icon, const QString& text, int buttons) {
    QMessageBox box(QMessageBox::Icon(icon), kTitle, text, QMessageBox::StandardButtons(buttons),
                    parent_);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    questions_ << QPointer<QMessageBox>(&box);
    const int answer = box.exec();
    questions_.removeAll(QPointer<QMessageBox>(&box));
    return answer;
}

void QtUserPrompts::showError(const QString& text) {
    runBox(QMessageBox::Critical, text, QMessageBox::Ok);
}

void QtUserPrompts::showMessage(const QString& text) {
    runBox(QMessageBox::NoIcon, text, QMessageBox::Ok);
}

bool QtUserPrompts::askYesNo(const QString& text) {
    return runBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

bool QtUserPrompts::raiseOpenDialog() {
    if (!openDialog_)
        return false;
    bringForward(openDialog_);
    return true;
}

bool QtUserPrompts::raiseQuestion(const QString& text) {
    for (const QPointer<QMessageBox>& box : std::as_const(questions_)) {
        if (box && box->icon() == QMessageBox::Question && box->text() == text) {
            bringForward(box);
            return true;
        }
    }
    return false;
}

QString QtUserPrompts::qtFilterText(const QList<FileFilter>& filters) {
    QStringList entries;
    for (const FileFilter& filter : filters) {
        // Qt reads the patterns from the parentheses; the entry's own text may
        // name them with ";" (as "MP3 (*.mp3;*.m3u)"), so give Qt its own list.
        QString label = filter.text;
        const qsizetype paren = label.indexOf(QLatin1Char('('));
        if (paren >= 0)
            label = label.left(paren).trimmed();
        entries << label + QStringLiteral(" (") + filter.patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

QString QtUserPrompts::chooseOpenFile(const QList<FileFilter>& filters,
                                      const QString& startFolder) {
    QFileDialog dialog(parent_, QStringLiteral("Open"), startFolder, qtFilterText(filters));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    const QPointer<QFileDialog> outer = openDialog_;
    openDialog_ = &dialog;
    const bool accepted = dialog.exec() == QDialog::Accepted;
    openDialog_ = outer;
    if (!accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString QtUserPrompts::chooseFolder(const QString& prompt, const QString& startFolder) {
    QFileDialog dialog(parent_, prompt, startFolder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace velloran
