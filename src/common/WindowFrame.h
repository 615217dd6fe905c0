#pragma once
#include <QMargins>
#include <QPoint>
#include <QRect>

#include <optional>

class QWidget;

// The frame a window manager puts around a top-level window, read from the
// window system itself. Qt's own frame geometry is taken from the frame's
// extents once and kept; on a busy machine it can be taken while the window
// manager is still framing the window and then stays wrong (a 1x1 frame, or
// none around a framed window), so placing and saving go through here.
namespace windowframe {

// Whether a window manager runs on this display (true where it can't be told).
bool managerRuns();

// The frame's extents around `w`, or nothing while no window manager has framed it.
std::optional<QMargins> extents(const QWidget& w);

// The window's outer bounds: its client area with the frame, if it has one yet.
QRect outerBounds(const QWidget& w);

// Moves the window so that its outer bounds start at `topLeft`.
void moveOuterTo(QWidget& w, const QPoint& topLeft);

} // namespace windowframe
