#include "desktop_text.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <utility>

namespace velloran {

QString QtSelectionSource::selectedText() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard->supportsSelection() ? clipboard->text(QClipboard::Selection)
                                          : clipboard->text(QClipboard::Clipboard);
}

ClipboardTyper::ClipboardTyper(std::function<void(const QString&)> tellOnce, QObject* parent)
    : QObject(parent), tellOnce_(std::move(tellOnce)) {
    restoreTimer_.setSingleShot(true);
    restoreTimer_.setInterval(kPasteWindowMs);
    connect(&restoreTimer_, &QTimer::timeout, this, &ClipboardTyper::restore);
}

ClipboardTyper::~ClipboardTyper() {
    if (restoreTimer_.isActive())
        restore();
}

void ClipboardTyper::type(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    // A second stamp inside the paste window keeps the first one's saved clipboard.
    if (!restoreTimer_.isActive()) {
        saved_ = std::make_unique<QMimeData>();
        if (const QMimeData* now = clipboard->mimeData())
            for (const QString& format : now->formats())
                saved_->setData(format, now->data(format));
    }
    placed_ = text;
    clipboard->setText(text);
    restoreTimer_.start();
    if (auto tell = std::exchange(tellOnce_, nullptr))
        tell(QStringLiteral("The timestamp is on the clipboard: paste it with Ctrl+V."));
}

void ClipboardTyper::restore() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    // Something copied meanwhile is the typist's, not ours to replace.
    if (saved_ && clipboard->text() == placed_)
        clipboard->setMimeData(saved_.release());
    saved_.reset();
}

} // namespace velloran
