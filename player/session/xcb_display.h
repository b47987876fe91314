#pragma once
// One connection of our own to the X server, for the key grabs and the focus: Qt's
// connection is not ours to read events from.

#include <QByteArray>
#include <QtGlobal>

#include <memory>

struct xcb_connection_t;

namespace velloran {

struct XcbDisconnect {
    void operator()(xcb_connection_t* connection) const;
};
using XcbConnectionPtr = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

struct XcbDisplay {
    XcbConnectionPtr connection; ///< null when the display cannot be reached
    quint32 root = 0;            ///< the root window of the display's screen
};

/// Connects to @p display (the environment's DISPLAY when empty).
XcbDisplay connectXcbDisplay(const QByteArray& display);

/// Waits until the server has handled every request sent so far.
void xcbRoundTrip(xcb_connection_t* connection);

/// A reply or event, which xcb hands over to be freed with free().
struct FreeMalloced {
    void operator()(void* p) const;
};
template <typename T>
using Malloced = std::unique_ptr<T, FreeMalloced>;

} // namespace velloran
