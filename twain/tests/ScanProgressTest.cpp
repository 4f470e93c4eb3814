// The progress of a page: the thumbnail's size, the rows due per block, cancel.
#include "ScanProgress.h"

#include <gtest/gtest.h>

namespace {

TEST(ScanProgress, ThumbnailSize)
{
    struct Case {
        uint32_t width, lines, boxW, boxH, thumbW, thumbH;
    };
    const Case cases[] = {
        {200, 100, 300, 300, 200, 100},
        {2500, 3500, 130, 154, 108, 154},
        {5000, 1000, 130, 154, 128, 26},
    };
    for (const Case& c : cases) {
        ScanProgressModel m(c.width, c.lines, c.boxW, c.boxH);
        EXPECT_EQ(m.ThumbnailWidth(), c.thumbW) << c.width << "x" << c.lines;
        EXPECT_EQ(m.ThumbnailHeight(), c.thumbH) << c.width << "x" << c.lines;
    }
}

TEST(ScanProgress, RowsDueAndCancel)
{
    ScanProgressModel m(2500, 3500, 130, 154);
    uint32_t due = 0;
    EXPECT_TRUE(m.Update(0, &due));
    EXPECT_EQ(due, 0u);
    EXPECT_TRUE(m.Update(1750, &due));
    EXPECT_EQ(due, 77u);
    EXPECT_EQ(m.Percent(), 50);
    EXPECT_TRUE(m.Update(1750, &due));
    EXPECT_EQ(due, 77u);
    EXPECT_EQ(m.Percent(), 100);
    m.NewPage();
    EXPECT_EQ(m.Percent(), 0);
    EXPECT_EQ(m.QuerySuspend(), ScanProgressModel::PowerAnswer::Deny);
    m.Suspending();
    EXPECT_FALSE(m.Update(10, &due));
}

}  // namespace
