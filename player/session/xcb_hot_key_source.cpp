#include "xcb_hot_key_source.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>

namespace velloran {

namespace {

constexpr xcb_keysym_t kNumLock = 0xff7f;
constexpr xcb_keysym_t kScrollLock = 0xff14;

constexpr xcb_keysym_t kAltLeft = 0xffe9;
constexpr xcb_keysym_t kSuperLeft = 0xffeb;

struct FreeKeySymbols {
    void operator()(xcb_key_symbols_t* symbols) const { xcb_key_symbols_free(symbols); }
};
using KeySymbols = std::unique_ptr<xcb_key_symbols_t, FreeKeySymbols>;

} // namespace

XcbHotKeySource::XcbHotKeySource(const QByteArray& display, QObject* parent) : QObject(parent) {
    XcbDisplay x = connectXcbDisplay(display);
    if (!x.connection)
        return;
    connection_ = std::move(x.connection);
    root_ = x.root;
    findLockMasks();
    notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_.get()),
                                                  QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &XcbHotKeySource::readEvents);
}

XcbHotKeySource::~XcbHotKeySource() {
    unregisterKeys();
}

bool XcbHotKeySource::isConnected() const {
    return connection_ && !xcb_connection_has_error(connection_.get());
}

void XcbHotKeySource::findLockMasks() {
    xcb_connection_t* c = connection_.get();
    const KeySymbols symbols(xcb_key_symbols_alloc(c));
    const Malloced<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
    if (!symbols || !mapping)
        return;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int k = 0; k < perModifier; ++k) {
            const xcb_keycode_t code = codes[modifier * perModifier + k];
            if (code == 0)
                continue;
            const xcb_keysym_t sym = xcb_key_symbols_get_keysym(symbols.get(), code, 0);
            if (sym == kNumLock)
                numLockMask_ = quint16(1u << modifier);
            else if (sym == kScrollLock)
                scrollLockMask_ = quint16(1u << modifier);
            else if (sym == kAltLeft)
                altMask_ = quint16(1u << modifier);
            else if (sym == kSuperLeft)
                superMask_ = quint16(1u << modifier);
        }
    }
}

QList<quint16> XcbHotKeySource::lockVariants() const {
    const quint16 locks[] = {numLockMask_, XCB_MOD_MASK_LOCK, scrollLockMask_};
    QList<quint16> variants{0};
    for (const quint16 lock : locks) {
        if (lock == 0)
            continue;
        const qsizetype n = variants.size();
        for (qsizetype i = 0; i < n; ++i)
            variants << quint16(variants.at(i) | lock);
    }
    return variants;
}

XcbHotKeySource::Grab XcbHotKeySource::grabFor(int id, const KeyChord& key) const {
    Grab grab{id, 0, 0};
    const KeySymbols symbols(xcb_key_symbols_alloc(connection_.get()));
    const xcb_keysym_t keysym = key.keysym();
    if (!symbols || keysym == 0)
        return grab;
    const Malloced<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(symbols.get(), keysym));
    grab.keycode = codes ? codes.get()[0] : 0;
    if (key.modifiers & Qt::ControlModifier)
        grab.modifiers |= XCB_MOD_MASK_CONTROL;
    if (key.modifiers & Qt::ShiftModifier)
        grab.modifiers |= XCB_MOD_MASK_SHIFT;
    if (key.modifiers & Qt::AltModifier)
        grab.modifiers |= altMask_;
    if (key.modifiers & Qt::MetaModifier)
        grab.modifiers |= superMask_;
    return grab;
}

bool XcbHotKeySource::tryGrab(const Grab& grab) {
    xcb_connection_t* c = connection_.get();
    const QList<quint16> variants = lockVariants();
    QList<xcb_void_cookie_t> cookies;
    for (const quint16 locks : variants)
        cookies << xcb_grab_key_checked(c, 1, root_, grab.modifiers | locks, grab.keycode,
                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    bool refused = false;
    for (const xcb_void_cookie_t cookie : cookies) {
        const Malloced<xcb_generic_error_t> error(xcb_request_check(c, cookie));
        refused = refused || error;
    }
    if (refused) {
        // Half a key would fire in some lock states only; it belongs to
        // the client that holds it.
        for (const quint16 locks : variants)
            xcb_ungrab_key(c, grab.keycode, root_, grab.modifiers | locks);
    }
    return !refused;
}

bool XcbHotKeySource::isHeldElsewhere(const KeyChord& key) {
    if (!isConnected())
        return false;
    const Grab grab = grabFor(0, key);
    if (grab.keycode == 0)
        return false;
    for (const Grab& held : std::as_const(grabs_))
        if (held.keycode == grab.keycode && held.modifiers == grab.modifiers)
            return false; // ours
    if (!tryGrab(grab))
        return true;
    for (const quint16 locks : lockVariants())
        xcb_ungrab_key(connection_.get(), grab.keycode, root_, grab.modifiers | locks);
    // Released before we answer: a program taking the key just after the look must get it.
    xcbRoundTrip(connection_.get());
    return false;
}

void XcbHotKeySource::registerKeys(const QList<HotKeyBinding>& keys) {
    if (!isConnected())
        return;
    for (const HotKeyBinding& key : keys) {
        if (!key.key)
            continue;
        const Grab grab = grabFor(key.id, *key.key);
        if (grab.keycode != 0 && tryGrab(grab))
            grabs_ << grab;
    }
    xcb_flush(connection_.get());
    // Checking the grabs may have queued events the socket will not announce.
    QTimer::singleShot(0, this, &XcbHotKeySource::readEvents);
}

void XcbHotKeySource::unregisterKeys() {
    if (!isConnected() || grabs_.isEmpty()) {
        grabs_.clear();
        return;
    }
    const QList<quint16> variants = lockVariants();
    for (const Grab& grab : std::as_const(grabs_))
        for (const quint16 locks : variants)
            xcb_ungrab_key(connection_.get(), grab.keycode, root_, grab.modifiers | locks);
    grabs_.clear();
    down_.clear();
    // Round trip, so the keys are free for others when this returns.
    xcbRoundTrip(connection_.get());
}

QList<int> XcbHotKeySource::grabbedIds() const {
    QList<int> ids;
    for (const Grab& grab : grabs_)
        ids << grab.id;
    return ids;
}

void XcbHotKeySource::readEvents() {
    if (!isConnected()) {
        if (notifier_)
            notifier_->setEnabled(false);
        return;
    }
    const quint16 ignored = numLockMask_ | XCB_MOD_MASK_LOCK | scrollLockMask_;
    const QPointer<XcbHotKeySource> self(this);
    while (true) {
        const Malloced<xcb_generic_event_t> event(xcb_poll_for_event(connection_.get()));
        if (!event)
            break;
        const quint8 type = event->response_type & 0x7f;
        if (type == XCB_KEY_RELEASE) {
            const auto* release = reinterpret_cast<const xcb_key_release_event_t*>(event.get());
            down_.remove(release->detail);
            releasedAt_[release->detail] = release->time;
            continue;
        }
        if (type != XCB_KEY_PRESS)
            continue;
        const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event.get());
        // Auto-repeat: a press while the key is down, or one stamped with the
        // time of the release just before it.
        const bool repeat =
            down_.contains(press->detail) || releasedAt_.value(press->detail, 0) == press->time;
        down_.insert(press->detail);
        if (repeat)
            continue;
        const quint16 modifiers = press->state & ~ignored & 0xff;
        for (const Grab& grab : std::as_const(grabs_)) {
            if (grab.keycode == press->detail && grab.modifiers == modifiers) {
                // The action may run a dialog's event loop; presses already
                // read from the socket must still reach it there.
                QTimer::singleShot(0, this, &XcbHotKeySource::readEvents);
                if (activated)
                    activated(grab.id);
                break;
            }
        }
        // An action runs nested event loops (dialogs); this source may be gone after it.
        if (!self || !isConnected())
            return;
    }
}

} // namespace velloran
