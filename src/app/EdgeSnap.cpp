#include "app/EdgeSnap.h"

#include <cstdlib>

namespace {

bool near(int a, int b)
{
    return std::abs(a - b) < SnapDistance;
}

} // namespace

TSnapWindow SnapToWorkArea(const TSnapArea &area, TSnapWindow w)
{
    if (near(w.x, area.left))
        w.x = area.left;
    if (near(w.y, area.top))
        w.y = area.top;
    if (near(w.x + w.cx, area.right)) {
        w.x = area.right - w.cx;
        if (near(w.x, area.left)) {
            w.cx = area.right - area.left;
            w.x = area.left;
        }
    }
    if (near(w.y + w.cy, area.bottom)) {
        w.y = area.bottom - w.cy;
        if (near(w.y, area.top)) {
            w.cy = area.bottom - area.top;
            w.y = area.top;
        }
    }
    return w;
}
