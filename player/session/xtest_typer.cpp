#include "xtest_typer.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <QThread>

#include <cstdlib>
#include <memory>
#include <vector>

namespace velloran {

namespace {

constexpr xcb_keysym_t kShiftLeft = 0xffe1;
constexpr int kPollMs = 20;
constexpr int kLongestWaitMs = 1000;
// Clients read a changed keyboard map when told of it; a key pressed before
// that would still be read with the old one.
constexpr unsigned long kRemapSettleMs = 40;

xcb_keysym_t keysymFor(char32_t ch) {
    if (ch == U'\n')
        return 0xff0d; // Return
    if (ch == U'\t')
        return 0xff09; // Tab
    if ((ch >= 0x20 && ch <= 0x7e) || (ch >= 0xa0 && ch <= 0xff))
        return ch;
    return 0x01000000u | ch;
}

} // namespace

XTestTyper::XTestTyper(const QByteArray& display, QObject* parent) : QObject(parent) {
    XcbDisplay x = connectXcbDisplay(display);
    if (!x.connection)
        return;
    connection_ = std::move(x.connection);
    root_ = x.root;
    const xcb_query_extension_reply_t* test =
        xcb_get_extension_data(connection_.get(), &xcb_test_id);
    hasExtension_ = test && test->present;
    waitForRelease_.setInterval(kPollMs);
    connect(&waitForRelease_, &QTimer::timeout, this, &XTestTyper::typeWhenReleased);
}

XTestTyper::~XTestTyper() = default;

bool XTestTyper::isConnected() const {
    return connection_ && hasExtension_ && !xcb_connection_has_error(connection_.get());
}

void XTestTyper::type(const QString& text) {
    if (!isConnected() || text.isEmpty())
        return;
    pending_ << text;
    if (!waitForRelease_.isActive()) {
        waited_ = 0;
        typeWhenReleased();
    }
}

bool XTestTyper::keysHeld() const {
    xcb_connection_t* c = connection_.get();
    const Malloced<xcb_query_keymap_reply_t> keymap(
        xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr));
    if (!keymap)
        return false;
    for (const quint8 bits : keymap->keys)
        if (bits != 0)
            return true;
    return false;
}

void XTestTyper::typeWhenReleased() {
    if (!isConnected()) {
        pending_.clear();
        waitForRelease_.stop();
        return;
    }
    if (keysHeld() && waited_ < kLongestWaitMs) {
        waited_ += kPollMs;
        waitForRelease_.start();
        return;
    }
    waitForRelease_.stop();
    const QStringList texts = std::exchange(pending_, {});
    for (const QString& text : texts)
        typeNow(text);
}

void XTestTyper::typeNow(const QString& text) {
    xcb_connection_t* c = connection_.get();
    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_keycode_t first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    const Malloced<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, first, quint8(count)), nullptr));
    if (!mapping || mapping->keysyms_per_keycode == 0)
        return;
    const int per = mapping->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const auto symAt = [&](int code, int column) {
        return syms[(code - first) * per + column];
    };

    // The key codes of the two unshifted and shifted levels of the first group.
    xcb_keycode_t shift = 0;
    xcb_keycode_t spare = 0;
    for (int code = first + count - 1; code >= first; --code) {
        bool empty = true;
        for (int column = 0; column < per; ++column)
            empty = empty && symAt(code, column) == 0;
        if (empty && spare == 0)
            spare = xcb_keycode_t(code);
        if (symAt(code, 0) == kShiftLeft)
            shift = xcb_keycode_t(code);
    }
    const auto fake = [&](quint8 type, xcb_keycode_t code) {
        xcb_test_fake_input(c, type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    };
    for (const char32_t ch : text.toUcs4()) {
        const xcb_keysym_t wanted = keysymFor(ch);
        xcb_keycode_t code = 0;
        bool shifted = false;
        for (int candidate = first; candidate < first + count && code == 0; ++candidate) {
            for (int column = 0; column < std::min(per, 2); ++column) {
                if (symAt(candidate, column) == wanted) {
                    code = xcb_keycode_t(candidate);
                    shifted = column == 1;
                    break;
                }
            }
        }
        if (shifted && shift == 0)
            code = 0; // no Shift key to reach the level with
        const bool remapped = code == 0;
        if (remapped) {
            if (spare == 0)
                continue;
            const std::vector<xcb_keysym_t> only(size_t(per), wanted);
            xcb_change_keyboard_mapping(c, 1, spare, quint8(per), only.data());
            xcbRoundTrip(c);
            QThread::msleep(kRemapSettleMs);
            code = spare;
            shifted = false;
        }
        if (shifted)
            fake(XCB_KEY_PRESS, shift);
        fake(XCB_KEY_PRESS, code);
        fake(XCB_KEY_RELEASE, code);
        if (shifted)
            fake(XCB_KEY_RELEASE, shift);
        if (remapped) {
            xcbRoundTrip(c);
            QThread::msleep(kRemapSettleMs);
            const std::vector<xcb_keysym_t> none(size_t(per), 0);
            xcb_change_keyboard_mapping(c, 1, spare, quint8(per), none.data());
        }
    }
    xcbRoundTrip(c);
}

} // namespace velloran
