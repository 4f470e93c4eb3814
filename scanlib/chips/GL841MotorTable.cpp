#include "chips/GL841MotorTable.h"

#include <algorithm>
#include <cmath>

namespace gl841 {

namespace {

constexpr double kClocksPerCount = 15.0;
constexpr double kTableStepsPerInch = 600.0;  // the tables' speed unit
// Ramp of the short feeds: the first period and its decrease per ramp step.
constexpr uint32_t kShortFeedPeriod = 0x3000;
constexpr uint32_t kShortFeedPeriodStep = 10672;
constexpr int kShortFeedMinSteps = 5;
constexpr int kLongFeedRampSteps = 4;
constexpr int kFastFeedMinLines = 100;

}  // namespace

uint16_t ClampStepPeriod(double counts) {
    if (std::isnan(counts)) {
        return static_cast<uint16_t>(kMaxStepPeriod);  // the slowest step is the safe one
    }
    if (counts < 1.0) {
        return 1;
    }
    return static_cast<uint16_t>(std::min(counts, static_cast<double>(kMaxStepPeriod)));
}

std::vector<uint16_t> BuildMotorTable(uint32_t clockHz, double rampStartSpeed, uint32_t targetPeriod) {
    const double c = clockHz / kClocksPerCount / kTableStepsPerInch;
    const uint32_t period = std::clamp<uint32_t>(targetPeriod, 1, kMaxStepPeriod);
    const double target = c / period;
    double v = rampStartSpeed > 0.0 ? rampStartSpeed : 0.0;  // NaN too
    // A speed of 0 is an infinitely long step: the slowest entry.
    auto entry = [c](double speed) {
        return speed > 0.0 ? ClampStepPeriod(std::floor(c / speed + 0.5)) : static_cast<uint16_t>(kMaxStepPeriod);
    };
    std::vector<uint16_t> table;
    table.reserve(kMotorTableEntries);
    while (table.size() < kMotorTableEntries) {
        const bool last = v >= target;
        if (last) {
            v = target;
        }
        table.push_back(entry(v));
        if (last) {
            break;
        }
        v += kRampSpeedStep;
    }
    if (table.size() % 2 != 0) {
        table.push_back(entry(target));
    }
    return table;
}

FeedPlan PlanFeed(double stepsPerInch, int yOffset, int xResolution, uint32_t clockHz, float feedRate,
                  float scanRate) {
    FeedPlan plan;
    if (xResolution <= 0 || yOffset <= 0 || !(stepsPerInch > 0.0)) {
        return plan;
    }
    const double steps = std::floor(stepsPerInch * yOffset / xResolution);
    if (steps < 1.0) {
        return plan;
    }
    const auto d = static_cast<uint32_t>(std::min(steps, static_cast<double>(kMaxFeedSteps + kMoveExtraSteps)));
    if (d > static_cast<uint32_t>(kMoveExtraSteps)) {
        plan.feedSteps = d - kMoveExtraSteps;
        const double period = feedRate > 0.0f ? std::floor(clockHz / kClocksPerCount / feedRate / stepsPerInch)
                                              : static_cast<double>(kMaxStepPeriod);
        plan.period = ClampStepPeriod(period);
        plan.rampSteps = kLongFeedRampSteps;
    } else {
        const uint32_t raised = std::max<uint32_t>(d, kShortFeedMinSteps);
        const uint32_t g = (raised - 1) / 2;
        plan.feedSteps = raised - 2 * g;
        plan.period = kShortFeedPeriod - g * kShortFeedPeriodStep / 4;
        plan.rampSteps = static_cast<int>(g);
    }
    plan.fastFeed = yOffset > kFastFeedMinLines && feedRate > scanRate;
    return plan;
}

double MoveMicroseconds(std::span<const uint16_t> table, uint64_t steps, uint32_t clockHz) {
    if (table.empty() || clockHz == 0) {
        return 0.0;
    }
    double counts = 0.0;
    const uint64_t ramp = std::min<uint64_t>(steps, table.size());
    for (uint64_t i = 0; i < ramp; ++i) {
        counts += table[i];
    }
    counts += static_cast<double>(steps - ramp) * table.back();
    return counts * kClocksPerCount / clockHz * 1e6;
}

}  // namespace gl841
