#pragma once

#include "core/timestamps.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class QMimeData;

namespace velloran {

/// The text selected in another program: the X primary selection where the
/// platform has one, else the clipboard.
class QtSelectionSource final : public SelectionSource {
public:
    QString selectedText() override;
};

/// Where no keyboard can be typed on (a Wayland session): the text goes to
/// the clipboard for the typist to paste, and what the clipboard held before
/// comes back once the paste has had its moment.
class ClipboardTyper final : public QObject, public TextTyper {
    Q_OBJECT
public:
    static constexpr int kPasteWindowMs = 5000;

    /// @p tellOnce is called with a hint the first time only.
    explicit ClipboardTyper(std::function<void(const QString&)> tellOnce,
                            QObject* parent = nullptr);
    ~ClipboardTyper() override;
    void type(const QString& text) override;

private:
    void restore();

    std::function<void(const QString&)> tellOnce_;
    std::unique_ptr<QMimeData> saved_;
    QString placed_;
    QTimer restoreTimer_;
};

} // namespace velloran
