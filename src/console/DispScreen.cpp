// Where the main window stands: on a reachable screen, and in display mode
// on the whole of its screen.
#include "console/Disp.h"

#include "common/Placement.h"
#include "common/WindowFrame.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

void Tdisplay::coverScreen() {
    // A window manager makes a full-screen window cover its screen; on a bare
    // X server (a kiosk) nobody does, so the window takes the screen itself.
    if (windowframe::managerRuns())
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
    const bool framed = windowframe::extents(*this).has_value();
    QRect frame = windowframe::outerBounds(*this);
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
    if (p != frame.topLeft()) {
        if (!framed)
            placementCorrected_ = true;
        windowframe::moveOuterTo(*this, p);
    }
    // Before the window manager has put its frame around the window, the frame's
    // border is unknown and may end up just off the screen: look again shortly,
    // for as long as a window manager on a busy machine may take to frame it
    // (seconds, not the tenth of a second it takes on an idle one).
    constexpr int kUnframedChecks = 300;  // 30 s
    if (!framed && isVisible() && windowframe::managerRuns() && unframedChecks_ < kUnframedChecks) {
        ++unframedChecks_;
        QTimer::singleShot(100, this, [this] { keepOnScreen(); });
    }
}
