// Where the main window stands: on a reachable screen, and in display mode
// on the whole of its screen.
#include "console/Disp.h"

#include "common/Placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <cstdlib>
#include <xcb/xcb.h>

namespace {
// Whether a window manager runs on this X display: one that does announces
// itself on the root window. Elsewhere the platform handles full screen.
bool windowManagerRuns() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return true;
    xcb_connection_t* c = x11->connection();
    static const char kName[] = "_NET_SUPPORTING_WM_CHECK";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof kName - 1, kName), nullptr);
    if (!atom)
        return true;
    bool runs = false;
    if (atom->atom != XCB_ATOM_NONE) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        if (xcb_get_property_reply_t* prop = xcb_get_property_reply(
                c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr)) {
            runs = xcb_get_property_value_length(prop) > 0;
            free(prop);
        }
    }
    free(atom);
    return runs;
}
} // namespace

void Tdisplay::coverScreen() {
    // A window manager makes a full-screen window cover its screen; on a bare
    // X server (a kiosk) nobody does, so the window takes the screen itself.
    if (windowManagerRuns())
        return;
    if (const QScreen* s = screen())
        setGeometry(s->geometry());
}

void Tdisplay::keepOnScreen() {
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    QList<QRect> screens;
    for (const QScreen* s : QGuiApplication::screens())
        screens << s->availableGeometry();
    const bool framed = frameGeometry() != geometry();
    QRect frame = frameGeometry().contains(geometry()) ? frameGeometry() : geometry();
    const QRect fits = placement::fitted(frame, screens);
    if (fits.size() != frame.size()) {
        // Larger than its screen (a laptop's, a projector's): the window
        // shrinks and its content scrolls, so every control can be reached.
        resize(geometry().size() - (frame.size() - fits.size()));
        frame.setSize(fits.size());
    }
    QPoint p = fits.topLeft();
    if (framed && placementCorrected_) {
        // A window brought back before it had its frame: the frame's border
        // must not stick out of the screen it was brought onto.
        const int i = placement::screenOf(frame, screens);
        if (i >= 0)
            p = placement::fullyInside(QRect(p, frame.size()), screens[i]).topLeft();
        placementCorrected_ = false;
    }
    if (p != pos()) {
        if (!framed)
            placementCorrected_ = true;
        move(p);
    }
    // Before the window manager has put its frame around the window, the frame's
    // border is unknown and may end up just off the screen: look again shortly.
    if (!framed && isVisible() && windowManagerRuns() && unframedChecks_ < 10) {
        ++unframedChecks_;
        QTimer::singleShot(100, this, [this] { keepOnScreen(); });
    }
}
