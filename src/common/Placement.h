#pragma once
#include <QList>
#include <QPoint>
#include <QRect>

// Where windows may stand so that the operator can reach them. Pure
// geometry: rectangles in desktop coordinates, frames included.
namespace placement {

// The screen (index into screens) a window belongs to: the one it overlaps
// most, else the nearest one. -1 without screens.
int screenOf(const QRect& frame, const QList<QRect>& screens);

// The top-left corner for a window whose outer bounds are `frame`: where it
// is while its top edge (the title bar) lies on its screen, otherwise each
// coordinate that is off that screen goes to the screen's edge. A window
// reaching below its screen moves up until its bottom is on the screen or
// its top is at the screen's top.
QPoint ontoScreen(const QRect& frame, const QList<QRect>& screens);

// Where a window whose outer bounds are `frame` goes at start: no larger than
// its screen (the content scrolls), filling the screen in a direction it was
// shrunk in, otherwise placed by ontoScreen.
QRect fitted(const QRect& frame, const QList<QRect>& screens);

// `window` moved fully inside `area` (centred when it sticks out), shrunk
// first where it is larger than the area.
QRect fullyInside(const QRect& window, const QRect& area);

} // namespace placement
