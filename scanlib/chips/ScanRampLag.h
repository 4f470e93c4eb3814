// How far behind a scan's motor ramp leaves the paper. During its lines the
// chip steps through the scan's acceleration table and then holds the last
// (target) period, so each entry longer than the target loses part of a step
// against a sheet that had moved at the target speed from the first line on.
// The lines scanned over that lost distance put the sheet further down the
// image than the scan line's own distance from the paper sensor, more so the
// faster the scan; a driver skips that many lines at the start of the image.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>

namespace scanramp {

// Steps lost by the ramp: the sum of (entry - target) / target.
inline double LagSteps(std::span<const uint16_t> table) {
    if (table.empty() || table.back() == 0) return 0.0;
    const double target = table.back();
    double lag = 0.0;
    for (const uint16_t entry : table) lag += (entry - target) / target;
    return lag > 0.0 ? lag : 0.0;
}

// The lag as whole image lines at `linesPerInch`.
inline uint32_t LagLines(std::span<const uint16_t> table, double stepsPerInch, int linesPerInch) {
    if (!(stepsPerInch > 0.0) || linesPerInch <= 0) return 0;
    return static_cast<uint32_t>(std::lround(LagSteps(table) / stepsPerInch * linesPerInch));
}

}  // namespace scanramp
