#include "app/WindowPlacement.h"

#include <gtest/gtest.h>

namespace {

TWindowPlacement storedAt(qint32 left, qint32 top, qint32 right, qint32 bottom)
{
    TWindowPlacement p;
    p.length = TWindowPlacement::ByteSize;
    p.showCmd = 1;
    p.rcNormalPosition = {left, top, right, bottom};
    return p;
}

// X11 reports where the window is: all of it is stored.
TEST(WindowPlacement, KnownPositionIsStoredWhole)
{
    const TWindowPlacement p
        = PlacementToStore(storedAt(10, 20, 610, 420), {300, 200, 1100, 800}, 3, true);
    EXPECT_EQ(p.length, TWindowPlacement::ByteSize);
    EXPECT_EQ(p.showCmd, 3);
    EXPECT_EQ(p.rcNormalPosition, (TRectI{300, 200, 1100, 800}));
}

// Wayland reports a size but no position (Qt says 0,0): the position an X11 session
// stored must survive a Wayland session, with the new size and show state.
TEST(WindowPlacement, UnknownPositionKeepsTheStoredOneAndTakesTheNewSize)
{
    const TWindowPlacement p
        = PlacementToStore(storedAt(150, 90, 750, 490), {0, 0, 800, 500}, 2, false);
    EXPECT_EQ(p.showCmd, 2);
    EXPECT_EQ(p.rcNormalPosition, (TRectI{150, 90, 950, 590}));
    // A second Wayland session changes nothing more.
    EXPECT_EQ(PlacementToStore(p, {0, 0, 800, 500}, 2, false), p);
}

// Nothing usable stored yet: there is no position to keep.
TEST(WindowPlacement, UnknownPositionWithNothingStoredTakesWhatThereIs)
{
    EXPECT_EQ(PlacementToStore(TWindowPlacement{}, {0, 0, 800, 500}, 1, false).rcNormalPosition,
              (TRectI{0, 0, 800, 500}));
    EXPECT_EQ(PlacementToStore(storedAt(40, 40, 40, 300), {0, 0, 640, 480}, 1, false)
                  .rcNormalPosition,
              (TRectI{0, 0, 640, 480}));
}

} // namespace
