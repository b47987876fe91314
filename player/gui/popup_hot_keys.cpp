#include "popup_hot_keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace velloran {

namespace {
int qtKey(FunctionKey key) {
    switch (key) {
    case FunctionKey::F7:
        return Qt::Key_F7;
    case FunctionKey::F8:
        return Qt::Key_F8;
    case FunctionKey::F10:
        return Qt::Key_F10;
    case FunctionKey::F11:
        return Qt::Key_F11;
    }
    return 0;
}
} // namespace

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
    // As the grabs do: Control or nothing, whatever the lock keys.
    const Qt::KeyboardModifiers modifiers =
        key->modifiers() &
        (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    for (const HotKeyBinding& binding : std::as_const(keys_)) {
        if (key->key() != qtKey(binding.key) ||
            modifiers != (binding.control ? Qt::ControlModifier : Qt::NoModifier))
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
