#include "qt_user_prompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace velloran {

namespace {
const QString kTitle = QStringLiteral("Velloran");

int runBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
           QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, kTitle, text, buttons, parent);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    return box.exec();
}
} // namespace

void QtUserPrompts::showError(const QString& text) {
    runBox(parent_, QMessageBox::Critical, text, QMessageBox::Ok);
}

void QtUserPrompts::showMessage(const QString& text) {
    runBox(parent_, QMessageBox::NoIcon, text, QMessageBox::Ok);
}

bool QtUserPrompts::askYesNo(const QString& text) {
    return runBox(parent_, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
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
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
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
