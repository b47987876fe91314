#include "xcb_display.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace velloran {

void XcbDisconnect::operator()(xcb_connection_t* connection) const {
    xcb_disconnect(connection);
}

void FreeMalloced::operator()(void* p) const {
    std::free(p);
}

void xcbRoundTrip(xcb_connection_t* connection) {
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

XcbDisplay connectXcbDisplay(const QByteArray& display) {
    XcbDisplay result;
    int screenNumber = 0;
    XcbConnectionPtr connection(
        xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber));
    if (xcb_connection_has_error(connection.get()))
        return result;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem)
        return result;
    result.root = screens.data->root;
    result.connection = std::move(connection);
    return result;
}

} // namespace velloran
