#pragma once

// The placement the main window stores when it closes. A Wayland compositor places
// every window itself and never tells the program where: there, only the size and the
// show state are the window's own, and the position stored by an X11 session stays
// for the next X11 session.

#include "settings/SettingsTypes.h"

// stored: the placement in the settings; normal: the window's normal rectangle (right
// and bottom exclusive); positionKnown: whether normal's left and top are real.
TWindowPlacement PlacementToStore(const TWindowPlacement &stored, const TRectI &normal,
                                  qint32 showCmd, bool positionKnown);
