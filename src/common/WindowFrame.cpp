#include "WindowFrame.h"

#include <QGuiApplication>
#include <QWidget>

#include <cstdlib>
#include <cstring>
#include <vector>
#include <xcb/xcb.h>

namespace windowframe {
namespace {

xcb_connection_t* connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, uint16_t(strlen(name)), name), nullptr);
    if (!r)
        return XCB_ATOM_NONE;
    const xcb_atom_t a = r->atom;
    free(r);
    return a;
}

// The CARDINAL/WINDOW values of a property, empty when it is not set.
std::vector<uint32_t> property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t a, xcb_atom_t type, uint32_t n) {
    std::vector<uint32_t> v;
    if (a == XCB_ATOM_NONE)
        return v;
    xcb_get_property_reply_t* r = xcb_get_property_reply(c, xcb_get_property(c, 0, w, a, type, 0, n), nullptr);
    if (!r)
        return v;
    if (r->format == 32) {
        const auto* p = static_cast<const uint32_t*>(xcb_get_property_value(r));
        v.assign(p, p + xcb_get_property_value_length(r) / 4);
    }
    free(r);
    return v;
}

} // namespace

bool managerRuns() {
    xcb_connection_t* c = connection();
    if (!c)
        return true;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    // A window manager announces itself on the root window.
    return !property(c, root, atom(c, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 1).empty();
}

std::optional<QMargins> extents(const QWidget& w) {
    if (!w.isWindow() || !w.testAttribute(Qt::WA_WState_Created))
        return std::nullopt;
    if (xcb_connection_t* c = connection()) {
        // Set by the window manager once it has framed the window: left, right, top, bottom.
        const std::vector<uint32_t> e =
            property(c, xcb_window_t(w.winId()), atom(c, "_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 4);
        if (e.size() != 4)
            return std::nullopt;
        return QMargins(int(e[0]), int(e[2]), int(e[1]), int(e[3]));
    }
    // Elsewhere the platform's own account is all there is.
    const QRect frame = w.frameGeometry(), client = w.geometry();
    if (frame == client || !frame.contains(client))
        return std::nullopt;
    return QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                    frame.bottom() - client.bottom());
}

QRect outerBounds(const QWidget& w) {
    return w.geometry().marginsAdded(extents(w).value_or(QMargins()));
}

void moveOuterTo(QWidget& w, const QPoint& topLeft) {
    const QMargins m = extents(w).value_or(QMargins());
    // The client's own place: the window manager keeps it as asked for.
    const QPoint client = topLeft + QPoint(m.left(), m.top());
    if (client != w.geometry().topLeft())
        w.setGeometry(QRect(client, w.geometry().size()));
}

} // namespace windowframe
