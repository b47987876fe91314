#include "popup_hot_keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace velloran {

PopupHotKeys::PopupHotKeys(QList<HotKeyBinding> keys, std::function<void(int id)> run,
                           QObject* parent)
    : QObject(parent), keys_(std::move(keys)), run_(std::move(run)) {
    qApp->installEventFilter(this);
}

PopupHotKeys::~PopupHotKeys() {
    qApp->removeEventFilter(this);
}

bool PopupHotKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() ||
        !QApplication::activePopupWidget())
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    // As the grabs do: whatever the lock keys.
    const KeyChord pressed{key->key(), key->modifiers() & KeyChord::kBindable};
    for (const HotKeyBinding& binding : std::as_const(keys_)) {
        if (binding.key != pressed)
            continue;
        if (key->isAutoRepeat())
            return true;
        for (QWidget* popup = QApplication::activePopupWidget(); popup;) {
            popup->close();
            QWidget* next = QApplication::activePopupWidget();
            popup = next == popup ? nullptr : next;
        }
        // The action may open a dialog: the menu is gone first.
        QTimer::singleShot(0, this, [this, id = binding.id] {
            if (run_)
                run_(id);
        });
        return true;
    }
    return false;
}

} // namespace velloran
