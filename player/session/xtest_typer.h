#pragma once

#include "xcb_display.h"

#include "core/timestamps.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTimer>

namespace velloran {

/// Types text into whatever window has the keyboard, as key presses through
/// the X server's test extension: the clipboard and the selection stay as
/// they are, and the focus stays where it is. Each character is typed with
/// the key the keyboard map has for it; one it lacks gets a spare key code
/// for the moment, given back afterwards.
class XTestTyper final : public QObject, public TextTyper {
    Q_OBJECT
public:
    /// Connects to @p display (empty: $DISPLAY).
    explicit XTestTyper(const QByteArray& display = {}, QObject* parent = nullptr);
    ~XTestTyper() override;

    /// Whether the display is reached and offers the test extension.
    bool isConnected() const;
    /// Types @p text once the typist has let go of every key (a second at
    /// most): a held modifier would turn the characters into shortcuts of the
    /// window typed into, and while a hot key is down its grab would take them.
    void type(const QString& text) override;

private:
    void typeWhenReleased();
    bool keysHeld() const;
    void typeNow(const QString& text);

    XcbConnectionPtr connection_;
    quint32 root_ = 0;
    bool hasExtension_ = false;
    QStringList pending_;
    QTimer waitForRelease_;
    int waited_ = 0;
};

} // namespace velloran
