#include "app/WindowPlacement.h"

TWindowPlacement PlacementToStore(const TWindowPlacement &stored, const TRectI &normal,
                                  qint32 showCmd, bool positionKnown)
{
    TWindowPlacement p;
    p.length = TWindowPlacement::ByteSize;
    p.showCmd = showCmd;
    p.rcNormalPosition = normal;
    const TRectI &old = stored.rcNormalPosition;
    // Only a stored rectangle of some size has a position worth keeping.
    if (!positionKnown && old.right > old.left && old.bottom > old.top) {
        p.rcNormalPosition.left = old.left;
        p.rcNormalPosition.top = old.top;
        p.rcNormalPosition.right = old.left + (normal.right - normal.left);
        p.rcNormalPosition.bottom = old.top + (normal.bottom - normal.top);
    }
    return p;
}
