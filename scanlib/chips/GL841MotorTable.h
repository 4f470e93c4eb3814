// The GL841's motor acceleration tables and the plan of a positioning feed.
// Pure arithmetic, so the tables can be checked without a chip.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace gl841 {

// A table slot holds 512 entries, but its length register counts pairs in
// eight bits, so a table has at most 255 pairs.
inline constexpr size_t kMotorTableEntries = 510;
inline constexpr double kRampSpeedStep = 0.025;
inline constexpr uint32_t kMaxStepPeriod = 0xFFFF;
inline constexpr uint32_t kMaxFeedSteps = 0xFFFFF;  // the 20-bit FeedSteps field
inline constexpr int kMoveExtraSteps = 8;           // steps the chip adds to FeedSteps

// An acceleration table: step periods in counts of 15 clocks, starting at
// the ramp start speed and growing by 0.025 per entry up to the speed of
// targetPeriod, at most 510 entries, padded to an even count. Periods are
// clamped to 1..65535, so a start speed of 0 or a target period of 0 still
// gives a table.
std::vector<uint16_t> BuildMotorTable(uint32_t clockHz, double rampStartSpeed, uint32_t targetPeriod);

// A step period clamped into the 16-bit table entries.
uint16_t ClampStepPeriod(double counts);

struct FeedPlan {
    uint32_t feedSteps = 0;  // FeedSteps; 0: no positioning feed
    uint32_t period = 0;     // target period of tables 4 and 5
    int rampSteps = 0;       // ramp length of tables 4 and 5
    bool fastFeed = false;
};

// The positioning feed for yOffset lines at xResolution: the chip runs
// feedSteps + 8 steps, so a feed of more than 8 steps is exact; shorter
// feeds are raised to at least 5 steps.
FeedPlan PlanFeed(double stepsPerInch, int yOffset, int xResolution, uint32_t clockHz, float feedRate,
                  float scanRate);

// Device time of `steps` steps through a table (the last entry repeats).
double MoveMicroseconds(std::span<const uint16_t> table, uint64_t steps, uint32_t clockHz);

}  // namespace gl841
