#include "xcb_focus_keeper.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace velloran {

namespace {

// The X protocol's PointerRoot focus: no window to give back.
constexpr xcb_window_t kPointerRoot = 1;
} // namespace

XcbFocusKeeper::XcbFocusKeeper(const QByteArray& display) {
    XcbDisplay x = connectXcbDisplay(display);
    if (!x.connection)
        return;
    connection_ = std::move(x.connection);
    root_ = x.root;
}

XcbFocusKeeper::~XcbFocusKeeper() = default;

bool XcbFocusKeeper::isConnected() const {
    return connection_ && !xcb_connection_has_error(connection_.get());
}

FocusKeeper::Window XcbFocusKeeper::focusedWindow() {
    if (!isConnected())
        return 0;
    xcb_connection_t* c = connection_.get();
    const Malloced<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    if (!reply || reply->focus == XCB_NONE || reply->focus == kPointerRoot)
        return 0;
    return reply->focus;
}

quint32 XcbFocusKeeper::atom(const char* name) {
    xcb_connection_t* c = connection_.get();
    const Malloced<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<quint16>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : XCB_NONE;
}

bool XcbFocusKeeper::windowManagerActivates() {
    const xcb_atom_t supported = atom("_NET_SUPPORTED");
    const xcb_atom_t active = atom("_NET_ACTIVE_WINDOW");
    if (supported == XCB_NONE || active == XCB_NONE)
        return false;
    xcb_connection_t* c = connection_.get();
    const Malloced<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, root_, supported, XCB_ATOM_ATOM, 0, 4096), nullptr));
    if (!reply || reply->format != 32)
        return false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    const int n = xcb_get_property_value_length(reply.get()) / 4;
    for (int i = 0; i < n; ++i)
        if (atoms[i] == active)
            return true;
    return false;
}

// The window manager activates clients: the window with WM_STATE at or above
// the focused one (which may be a child of the client, or of its frame).
quint32 XcbFocusKeeper::clientWindowOf(quint32 window) {
    xcb_connection_t* c = connection_.get();
    const xcb_atom_t wmState = atom("WM_STATE");
    for (int depth = 0; depth < 32 && window != XCB_NONE && window != root_; ++depth) {
        const Malloced<xcb_get_property_reply_t> state(xcb_get_property_reply(
            c, xcb_get_property(c, 0, window, wmState, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr));
        if (state && state->type != XCB_NONE)
            return window;
        const Malloced<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree)
            return XCB_NONE;
        window = tree->parent;
    }
    return XCB_NONE;
}

void XcbFocusKeeper::giveFocusTo(Window window) {
    if (!isConnected() || window == 0)
        return;
    xcb_connection_t* c = connection_.get();
    const auto target = static_cast<xcb_window_t>(window);
    // A window closed meanwhile keeps the focus where it is now.
    const Malloced<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, target), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
        return;
    if (windowManagerActivates()) {
        // A window manager may refuse a bare SetInputFocus, or undo it.
        if (const xcb_window_t client = clientWindowOf(target)) {
            xcb_client_message_event_t message{};
            message.response_type = XCB_CLIENT_MESSAGE;
            message.format = 32;
            message.window = client;
            message.type = atom("_NET_ACTIVE_WINDOW");
            message.data.data32[0] = 2; // from a pager: the user asked for it
            message.data.data32[1] = XCB_CURRENT_TIME;
            xcb_send_event(c, 0, root_,
                           XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT |
                               XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                           reinterpret_cast<const char*>(&message));
        }
    }
    const Malloced<xcb_generic_error_t> error(xcb_request_check(
        c, xcb_set_input_focus_checked(c, XCB_INPUT_FOCUS_PARENT, target, XCB_CURRENT_TIME)));
}

} // namespace velloran
