// The slider's arithmetic against rows worked out by hand from the two
// ParameterTable rows: Pitch (minimum 1, scale 18) and Volume (minimum 8, scale 1).
#include <gtest/gtest.h>
#include "slider_rules.h"

namespace {

struct ReleaseRow {
    int32_t minimum, scale, thumbTop;
    int32_t value, thumbAfter;
};

class ThumbRelease : public ::testing::TestWithParam<ReleaseRow> {};

TEST_P(ThumbRelease, SnapsToTheStepBelow)
{
    const ReleaseRow& row = GetParam();
    ThumbSnap snap = ThumbReleased(row.thumbTop, row.minimum, row.scale);
    EXPECT_EQ(snap.value, row.value);
    EXPECT_EQ(snap.thumbTop, row.thumbAfter);
}

INSTANTIATE_TEST_SUITE_P(Pitch, ThumbRelease, ::testing::Values(
    ReleaseRow{1, 18, -1, 1, -1},   // a thumb left at -1 by the last release
    ReleaseRow{1, 18, 0, 1, -1},    // top of the track
    ReleaseRow{1, 18, 16, 1, -1},
    ReleaseRow{1, 18, 17, 2, 17},
    ReleaseRow{1, 18, 18, 2, 17},   // grabbed at its creation place and let go
    ReleaseRow{1, 18, 34, 2, 17},
    ReleaseRow{1, 18, 35, 3, 35},
    ReleaseRow{1, 18, 36, 3, 35}));  // bottom

INSTANTIATE_TEST_SUITE_P(Volume, ThumbRelease, ::testing::Values(
    ReleaseRow{8, 1, 0, 9, 0},      // top: the first click after start raises 8 to 9
    ReleaseRow{8, 1, 17, 26, 17},
    ReleaseRow{8, 1, 36, 45, 36}));  // bottom: the largest gain a drag gives

struct CreationRow {
    int32_t value, minimum, scale, thumbTop;
};

class ThumbAtCreation : public ::testing::TestWithParam<CreationRow> {};

TEST_P(ThumbAtCreation, StandsOnTheTrack)
{
    const CreationRow& row = GetParam();
    EXPECT_EQ(ThumbTopForValue(row.value, row.minimum, row.scale), row.thumbTop);
}

INSTANTIATE_TEST_SUITE_P(Rows, ThumbAtCreation, ::testing::Values(
    CreationRow{1, 1, 18, 0}, CreationRow{2, 1, 18, 18}, CreationRow{3, 1, 18, 36},
    CreationRow{8, 8, 1, 0}, CreationRow{9, 8, 1, 1}, CreationRow{44, 8, 1, 36},
    // Values beyond the track's end stand at its end, where the thumb can
    // still be grabbed (it used to be drawn below the track, out of reach).
    CreationRow{45, 8, 1, 36}, CreationRow{52, 8, 1, 36}, CreationRow{4, 1, 18, 36},
    CreationRow{0, 1, 18, 0}));

TEST(ThumbGrab, OnlyStrictlyInsideTheThumb)
{
    // Thumb rows 18..26: the top row does not grab, the bottom row does.
    EXPECT_FALSE(ThumbGrabbed(18, 17));
    EXPECT_FALSE(ThumbGrabbed(18, 18));
    EXPECT_TRUE(ThumbGrabbed(18, 19));
    EXPECT_TRUE(ThumbGrabbed(18, 26));
    EXPECT_FALSE(ThumbGrabbed(18, 27));
    // After a release at Pitch 1 the thumb stands at -1: rows 0..7 grab.
    EXPECT_FALSE(ThumbGrabbed(-1, -1));
    EXPECT_TRUE(ThumbGrabbed(-1, 0));
    EXPECT_TRUE(ThumbGrabbed(-1, 7));
    EXPECT_FALSE(ThumbGrabbed(-1, 8));
    // At the bottom of the track, rows 37..44 of the 45 grab.
    EXPECT_TRUE(ThumbGrabbed(36, 37));
    EXPECT_TRUE(ThumbGrabbed(36, 44));
    EXPECT_FALSE(ThumbGrabbed(36, 45));
}

struct DragRow {
    int32_t thumbTop, anchorY, y, thumbAfter;
};

class ThumbDrag : public ::testing::TestWithParam<DragRow> {};

TEST_P(ThumbDrag, FollowsTheCursorWithinTheTrack)
{
    const DragRow& row = GetParam();
    EXPECT_EQ(ThumbDragged(row.thumbTop, row.anchorY, row.y), row.thumbAfter);
}

INSTANTIATE_TEST_SUITE_P(Steps, ThumbDrag, ::testing::Values(
    DragRow{18, 22, 12, 8}, DragRow{18, 22, 30, 26}, DragRow{18, 22, 22, 18},
    DragRow{5, 10, -300, 0},     // far above the track
    DragRow{0, -300, -295, 5},   // and back down by 5: moves at once
    DragRow{30, 0, 40, 36},      // past the bottom
    DragRow{36, 100, 99, 35},
    DragRow{-1, 3, 3, 0},        // a thumb left at -1 comes back onto the track
    DragRow{37, 40, 40, 36}));

}  // namespace
