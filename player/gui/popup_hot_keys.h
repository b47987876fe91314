#pragma once

#include "core/hot_keys.h"

#include <QList>
#include <QObject>

#include <functional>
#include <utility>

namespace velloran {

/// The hot keys while one of the player's pop-ups (the Help menu, a list's
/// drop-down) is up. A pop-up holds the whole keyboard, so the system-wide
/// grabs see nothing; this filter recognises a bound key in the pop-up,
/// closes it and runs the key's action once it has gone.
class PopupHotKeys : public QObject {
    Q_OBJECT
public:
    /// Watches the whole application for @p keys; @p run gets the key's id.
    PopupHotKeys(QList<HotKeyBinding> keys, std::function<void(int id)> run,
                 QObject* parent = nullptr);
    ~PopupHotKeys() override;
    /// The keys after a rebinding.
    void setKeys(QList<HotKeyBinding> keys) { keys_ = std::move(keys); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<HotKeyBinding> keys_;
    std::function<void(int id)> run_;
};

} // namespace velloran
