#include "Placement.h"

#include <algorithm>
#include <climits>

namespace placement {

namespace {
// Distance between two rectangles (0 when they touch or overlap), squared.
long long gap(const QRect& a, const QRect& b) {
    const long long dx = std::max({0, b.left() - a.right(), a.left() - b.right()});
    const long long dy = std::max({0, b.top() - a.bottom(), a.top() - b.bottom()});
    return dx * dx + dy * dy;
}
// The part of the title bar that must lie on the screen to grab the window.
constexpr int kGrip = 32;
} // namespace

int screenOf(const QRect& frame, const QList<QRect>& screens) {
    int best = -1;
    long long bestArea = 0, bestGap = LLONG_MAX;
    for (int i = 0; i < screens.size(); ++i) {
        const QRect common = frame.intersected(screens[i]);
        const long long area = common.isEmpty() ? 0 : 1LL * common.width() * common.height();
        if (area > bestArea) {
            best = i;
            bestArea = area;
        }
    }
    if (best >= 0)
        return best;
    for (int i = 0; i < screens.size(); ++i)
        if (const long long g = gap(frame, screens[i]); g < bestGap) {
            best = i;
            bestGap = g;
        }
    return best;
}

QPoint ontoScreen(const QRect& frame, const QList<QRect>& screens) {
    const int i = screenOf(frame, screens);
    if (i < 0)
        return frame.topLeft();
    const QRect s = screens[i];
    const int grip = std::min(kGrip, std::max(1, frame.width()));
    QPoint p = frame.topLeft();
    if (p.y() < s.top() || p.y() > s.bottom() - std::min(kGrip, frame.height()) + 1)
        p.setY(s.top());
    if (p.x() + frame.width() - 1 < s.left() + grip - 1 || p.x() > s.right() - grip + 1)
        p.setX(s.left());
    // The setup panel's buttons and status line are at its bottom: a window
    // reaching below the screen comes up as far as it can, its top staying on.
    if (p.y() + frame.height() - 1 > s.bottom())
        p.setY(std::max(s.top(), s.bottom() - frame.height() + 1));
    return p;
}

QRect fitted(const QRect& frame, const QList<QRect>& screens) {
    const int i = screenOf(frame, screens);
    if (i < 0)
        return frame;
    const QRect s = screens[i];
    const QRect bounded(frame.topLeft(), frame.size().boundedTo(s.size()));
    QPoint p = ontoScreen(bounded, screens);
    // Shrunk to the screen in a direction: it fills the screen that way.
    if (bounded.width() < frame.width())
        p.setX(s.left());
    if (bounded.height() < frame.height())
        p.setY(s.top());
    return QRect(p, bounded.size());
}

QRect fullyInside(const QRect& window, const QRect& area) {
    QRect r(window.topLeft(), window.size().boundedTo(area.size()));
    if (area.contains(r))
        return r;
    r.moveCenter(area.center());
    return r;
}

} // namespace placement
