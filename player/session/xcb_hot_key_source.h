#pragma once

#include "xcb_display.h"

#include "core/hot_keys.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>

#include <xcb/xproto.h>

#include <memory>

class QSocketNotifier;

namespace velloran {

/// Hot keys on an X server: passive key grabs on the root window, over a
/// connection of its own (so it works beside any Qt platform, XWayland too).
class XcbHotKeySource final : public QObject, public HotKeySource {
    Q_OBJECT
public:
    /// Connects to @p display (empty: $DISPLAY).
    explicit XcbHotKeySource(const QByteArray& display = {}, QObject* parent = nullptr);
    ~XcbHotKeySource() override;

    bool isConnected() const;
    /// Each key is grabbed in every NumLock, CapsLock and ScrollLock state.
    /// A key of which any state is held by another client is given up whole.
    void registerKeys(const QList<HotKeyBinding>& keys) override;
    void unregisterKeys() override;
    /// Tries the key as a grab of its own, and lets it go again.
    bool isHeldElsewhere(const KeyChord& key) override;
    /// The ids whose keys this source holds now.
    QList<int> grabbedIds() const;

private:
    struct Grab {
        int id = 0;
        quint8 keycode = 0;
        quint16 modifiers = 0; // without the lock keys
    };

    void readEvents();
    void findLockMasks();
    Grab grabFor(int id, const KeyChord& key) const;
    /// Grabs @p grab in every lock state, or not at all.
    bool tryGrab(const Grab& grab);
    QList<quint16> lockVariants() const;

    XcbConnectionPtr connection_;
    quint32 root_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
    quint16 numLockMask_ = 0;
    quint16 scrollLockMask_ = 0;
    quint16 altMask_ = XCB_MOD_MASK_1;
    quint16 superMask_ = XCB_MOD_MASK_4;
    QList<Grab> grabs_;
    QSet<quint8> down_;
    QHash<quint8, quint32> releasedAt_;
};

} // namespace velloran
