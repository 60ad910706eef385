#include "app/EdgeSnap.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct SnapCase
{
    const char *name;
    TSnapWindow proposal;
    TSnapWindow expected;
};

std::ostream &operator<<(std::ostream &out, const SnapCase &c)
{
    return out << c.name;
}

// A 1280 x 770 work area below a 30-pixel panel.
constexpr TSnapArea kArea{0, 30, 1280, 800};

class EdgeSnap : public testing::TestWithParam<SnapCase>
{
};

TEST_P(EdgeSnap, PullsNearEdgesOntoTheWorkArea)
{
    const TSnapWindow got = SnapToWorkArea(kArea, GetParam().proposal);
    const TSnapWindow &want = GetParam().expected;
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.cx, want.cx);
    EXPECT_EQ(got.cy, want.cy);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EdgeSnap,
    testing::Values(
        SnapCase{"Left11Snaps", {11, 200, 600, 400}, {0, 200, 600, 400}},
        SnapCase{"Left12Stays", {12, 200, 600, 400}, {12, 200, 600, 400}},
        SnapCase{"LeftOutside11Snaps", {-11, 200, 600, 400}, {0, 200, 600, 400}},
        SnapCase{"Top11BelowPanelSnaps", {300, 41, 600, 400}, {300, 30, 600, 400}},
        SnapCase{"Top12BelowPanelStays", {300, 42, 600, 400}, {300, 42, 600, 400}},
        SnapCase{"RightEdgeNearSnaps", {669, 200, 600, 400}, {680, 200, 600, 400}},
        SnapCase{"RightEdge12Stays", {668, 200, 600, 400}, {668, 200, 600, 400}},
        SnapCase{"BottomNearSnaps", {300, 390, 600, 400}, {300, 400, 600, 400}},
        SnapCase{"FiveNarrowerAtRightBecomesFullWidth", {5, 200, 1275, 400},
                 {0, 200, 1280, 400}},
        SnapCase{"FiveNarrowerDraggedRightBecomesFullWidth", {14, 200, 1275, 400},
                 {0, 200, 1280, 400}},
        SnapCase{"FiveLowerAtBottomBecomesFullHeight", {300, 38, 600, 765},
                 {300, 30, 600, 770}},
        SnapCase{"FarFromEveryEdgeStays", {300, 200, 600, 400}, {300, 200, 600, 400}}),
    [](const testing::TestParamInfo<SnapCase> &info) { return std::string(info.param.name); });

} // namespace
