// The scan frame's limits and the choice of a resolution.
#include "ScanSettings.h"

#include <gtest/gtest.h>

namespace {

TEST(ScanSettings, FrameIsClampedToThePaperPath)
{
    struct Case {
        int top, left, bottom, right;
        int16_t wantTop, wantLeft, wantBottom, wantRight;
        bool clamped;
    };
    const Case cases[] = {
        {995, 400, 500, 420, 990, 366, 1000, 416, true},
        {0, 0, 1000, 416, 0, 0, 1000, 416, false},
        {0, 0, 687, 416, 0, 0, 687, 416, false},
        {-5, -1, 5, 20, 0, 0, 10, 50, true},
        {100, 100, 1200, 900, 100, 100, 1000, 416, true},
    };
    for (const Case& c : cases) {
        ScanSettings s;
        EXPECT_EQ(SetScanFrame(s, c.top, c.left, c.bottom, c.right), c.clamped) << c.top << "," << c.left;
        EXPECT_EQ(s.top, c.wantTop);
        EXPECT_EQ(s.left, c.wantLeft);
        EXPECT_EQ(s.bottom, c.wantBottom);
        EXPECT_EQ(s.right, c.wantRight);
    }
}

TEST(ScanSettings, FrameInPixels)
{
    ScanSettings s;
    SetScanFrame(s, 10, 20, 687, 416);
    const PixelFrame f = FrameInPixels(s, 300);
    EXPECT_EQ(f.xOffset, 60u);
    EXPECT_EQ(f.yOffset, 30u);
    EXPECT_EQ(f.width, 1188u);
    EXPECT_EQ(f.length, 2031u);
}

TEST(ScanSettings, SnapResolution)
{
    ResolutionList list;
    const int16_t values[] = {150, 200, 300, 600};
    for (size_t i = 0; i < 4; ++i) {
        list.dpi[i] = values[i];
        list.enabled[i] = true;
    }
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Snap(250, true), 200);  // a tie: the earlier wins
    EXPECT_EQ(list.Snap(300, true), 300);
    EXPECT_EQ(list.Snap(1200, true), 600);
    EXPECT_EQ(list.Snap(10, true), 150);
    list.enabled[1] = false;
    EXPECT_EQ(list.Snap(200, true), 150);
    EXPECT_EQ(list.Snap(200, false), 200);
    ResolutionList empty;
    EXPECT_EQ(empty.Snap(123, true), 123);
}

}  // namespace
