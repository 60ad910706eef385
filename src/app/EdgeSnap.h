#pragma once

// Edge snapping of the main window: a proposed window rectangle is pulled onto the
// edges of the desktop's work area when it comes near them. Pure, so the rule is
// tested without a window; the main window applies it where the platform lets it.

struct TSnapArea
{
    int left = 0;
    int top = 0;
    int right = 0; // exclusive, as the work area's right and bottom are
    int bottom = 0;
};

struct TSnapWindow
{
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
};

// Near means closer than this many pixels.
constexpr int SnapDistance = 12;

// The proposal adjusted to the work area: an edge near the area's edge is put on it;
// a window that touches both opposite edges that way becomes exactly as wide (or high)
// as the area.
TSnapWindow SnapToWorkArea(const TSnapArea &area, TSnapWindow proposal);
