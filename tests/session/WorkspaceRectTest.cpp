// Frame placements from the workspace file, at the ends of the 32-bit range:
// worked out before they are clamped, never wrapped on the way.
#include "session/Workspace.h"

#include <QRect>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

struct CPlacementCase
{
    const char* name;
    int32_t left, top, right, bottom;
    QRect restored;
};

class RestoredPlacement : public ::testing::TestWithParam<CPlacementCase>
{
};

TEST_P(RestoredPlacement, IsClampedFromTheTrueSpan)
{
    const CPlacementCase& c = GetParam();
    CWorkspaceRecord record;
    record.left = c.left;
    record.top = c.top;
    record.right = c.right;
    record.bottom = c.bottom;
    EXPECT_EQ(Workspace::RestoredNormalRect(record), c.restored);
}

INSTANTIATE_TEST_SUITE_P(
    Corners, RestoredPlacement,
    ::testing::Values(
        CPlacementCase{"Ordinary", 10, 20, 1110, 420, QRect(10, 20, 1100, 400)},
        CPlacementCase{"WholeRange", kMin, kMin, kMax, kMax, QRect(-5000, -5000, 10000, 10000)},
        CPlacementCase{"Inverted", kMax, kMax, kMin, kMin, QRect(10000, 10000, 100, 60)},
        CPlacementCase{"FromTheLowEnd", kMin, kMin, 0, 0, QRect(-5000, -5000, 10000, 10000)},
        CPlacementCase{"ToTheHighEnd", 0, 0, kMax, kMax, QRect(0, 0, 10000, 10000)},
        CPlacementCase{"BackToTheLowEnd", 0, 0, kMin, kMin, QRect(0, 0, 100, 60)},
        CPlacementCase{"AllAtTheTop", kMax, kMax, kMax, kMax, QRect(10000, 10000, 100, 60)}),
    [](const ::testing::TestParamInfo<CPlacementCase>& info) { return info.param.name; });

// A frame placed against the top of the range is stored with its far edges
// held to it, not wrapped round to the bottom.
TEST(StoredPlacement, FarEdgesAreHeldToTheRange)
{
    CWorkspaceRecord record;
    Workspace::StoreNormalRect(record, QRect(QPoint(kMax - 50, kMax - 9), QPoint(kMax, kMax)));
    EXPECT_EQ(record.left, kMax - 50);
    EXPECT_EQ(record.top, kMax - 9);
    EXPECT_EQ(record.right, kMax);
    EXPECT_EQ(record.bottom, kMax);

    Workspace::StoreNormalRect(record, QRect(30, 40, 880, 300));
    EXPECT_EQ(record.right, 910);
    EXPECT_EQ(record.bottom, 340);
}

} // namespace
