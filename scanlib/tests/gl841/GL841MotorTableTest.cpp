// Motor acceleration tables and positioning-feed plans as tables of cases.
#include "chips/GL841MotorTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using gl841::BuildMotorTable;
using gl841::PlanFeed;

struct TableCase {
    double rampStart;
    uint32_t period;
    size_t entries;  // 0: just check the shape
    uint16_t first;
    uint16_t last;
};

TEST(GL841MotorTableTest, TablesAccelerateToTheTargetAndStayInSixteenBits) {
    const TableCase cases[] = {
        {5.0, 1000, 2, 1000, 1000},   // start above the target: one entry, padded
        {2.0, 1000, 0, 1667, 1000},
        {0.5, 1640, 0, 6667, 1640},
        {0.0, 3282, 0, 65535, 3282},  // a start speed of 0 is the slowest step
        {-1.0, 3282, 0, 65535, 3282},
        {std::numeric_limits<double>::quiet_NaN(), 3282, 0, 65535, 3282},
        {0.01, 65535, 0, 65535, 65535},  // tiny speeds clamp
        {0.5, 0, 510, 6667, 0},        // target period 0: the ramp runs to the full table
        {0.5, 1, 510, 6667, 0},         // 255 pairs: the most the length register holds
    };
    for (const TableCase& c : cases) {
        const std::vector<uint16_t> table = BuildMotorTable(30000000, c.rampStart, c.period);
        ASSERT_FALSE(table.empty());
        EXPECT_LE(table.size(), 510u);
        EXPECT_EQ(table.size() % 2, 0u) << "even, so the length register holds it";
        if (c.entries != 0) {
            EXPECT_EQ(table.size(), c.entries) << c.rampStart << "/" << c.period;
        }
        EXPECT_EQ(table.front(), c.first) << c.rampStart << "/" << c.period;
        if (c.last != 0) {
            EXPECT_EQ(table.back(), c.last) << c.rampStart << "/" << c.period;
        }
        for (size_t i = 1; i < table.size(); ++i) {
            ASSERT_LE(table[i], table[i - 1]) << "accelerates only";
            ASSERT_GE(table[i], 1);
        }
    }
}

TEST(GL841MotorTableTest, TheRampGrowsByAFortiethPerEntry) {
    // 30 MHz: 3333.33 counts per step at one 600th of an inch per second.
    const std::vector<uint16_t> table = BuildMotorTable(30000000, 1.0, 3000);
    ASSERT_GE(table.size(), 6u);
    EXPECT_EQ(table[0], 3333);
    EXPECT_EQ(table[1], 3252);  // 3333.33 / 1.025
    EXPECT_EQ(table[2], 3175);
    EXPECT_EQ(table.back(), 3000);
}

struct FeedCase {
    double stepsPerInch;
    int yOffset;
    int resolution;
    float feedRate;
    float scanRate;
    gl841::FeedPlan plan;
};

TEST(GL841MotorTableTest, FeedPlans) {
    const FeedCase cases[] = {
        {600.0, 0, 300, 2.0f, 1.0f, {0, 0, 0, false}},
        {600.0, -5, 300, 2.0f, 1.0f, {0, 0, 0, false}},
        {600.0, 10, 0, 2.0f, 1.0f, {0, 0, 0, false}},
        {600.0, 3, 600, 2.0f, 1.0f, {1, 6952, 2, false}},  // raised to 5: g = 2
        {600.0, 8, 600, 2.0f, 1.0f, {2, 4284, 3, false}},
        {600.0, 9, 600, 2.0f, 1.0f, {1, 1666, 4, false}},
        {609.4, 300, 300, 2.0f, 1.0f, {601, 1640, 4, true}},
        {609.4, 300, 300, 1.0f, 1.0f, {601, 3281, 4, false}},  // not faster than the scan
        {600.0, 300, 300, 0.0f, 1.0f, {592, 65535, 4, false}},  // no feed rate: the slowest step
        {600.0, 100, 600, 4.0f, 1.0f, {92, 833, 4, false}},    // 100 lines is not a fast feed
        {600.0, 1 << 30, 1, 2.0f, 1.0f, {0xFFFFF, 1666, 4, true}},  // FeedSteps clamps to 20 bits
    };
    for (const FeedCase& c : cases) {
        const gl841::FeedPlan p =
            PlanFeed(c.stepsPerInch, c.yOffset, c.resolution, 30000000, c.feedRate, c.scanRate);
        EXPECT_EQ(p.feedSteps, c.plan.feedSteps) << c.yOffset << " at " << c.resolution;
        EXPECT_EQ(p.period, c.plan.period) << c.yOffset << " at " << c.resolution;
        EXPECT_EQ(p.rampSteps, c.plan.rampSteps) << c.yOffset << " at " << c.resolution;
        EXPECT_EQ(p.fastFeed, c.plan.fastFeed) << c.yOffset << " at " << c.resolution;
    }
}

TEST(GL841MotorTableTest, MoveTimeFollowsTheTable) {
    const std::vector<uint16_t> table = {300, 200, 100, 100};
    // 300 + 200 + 100 + 100 + 6 x 100 counts of 15 clocks at 30 MHz.
    EXPECT_DOUBLE_EQ(gl841::MoveMicroseconds(table, 10, 30000000), 1300.0 * 0.5);
    EXPECT_DOUBLE_EQ(gl841::MoveMicroseconds(table, 2, 30000000), 500.0 * 0.5);
    EXPECT_DOUBLE_EQ(gl841::MoveMicroseconds({}, 2, 30000000), 0.0);
}

}  // namespace
