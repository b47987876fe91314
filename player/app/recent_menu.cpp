#include "recent_menu.h"

#include "core/dictation_library.h"
#include "core/file_names.h"
#include "library/sqlite_dictation_store.h"

#include <QMenu>
#include <QTextStream>
#include <QToolButton>

namespace velloran {

void attachRecentMenu(QToolButton& button, DictationLibrary& library,
                      std::function<void(const QString&)> open) {
    if (!library.enabled())
        return;
    auto* menu = new QMenu(&button);
    menu->setObjectName(QStringLiteral("mnuRecent"));
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, &library, open = std::move(open)] {
        menu->clear();
        const QList<DictationRecord> recent = library.recent();
        if (recent.isEmpty())
            menu->addAction(QStringLiteral("No dictations yet"))->setEnabled(false);
        for (const DictationRecord& record : recent) {
            QAction* action = menu->addAction(DictationLibrary::recentText(record));
            action->setToolTip(record.path);
            // Gone (deleted, or on a share not mounted now): shown, not offered.
            action->setEnabled(statFile(record.path).has_value());
            QObject::connect(action, &QAction::triggered, menu,
                             [open, path = record.path] { open(path); });
        }
    });
    // A click still opens the dialog; the list is a hold or a right click away,
    // and the strip keeps its width.
    button.setMenu(menu);
    button.setPopupMode(QToolButton::DelayedPopup);
    button.setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(&button, &QWidget::customContextMenuRequested, menu,
                     [menu, &button](const QPoint& at) { menu->popup(button.mapToGlobal(at)); });
}

int printWorkStats() {
    QTextStream out(stdout);
    QTextStream err(stderr);
    auto opening = SqliteDictationStore::open(SqliteDictationStore::defaultPath());
    if (!opening.message.isEmpty())
        err << "velloran: " << opening.message << Qt::endl;
    if (!opening.store)
        return 1;
    DictationLibrary library(opening.store.get());
    out << library.statsReport();
    return 0;
}

} // namespace velloran
