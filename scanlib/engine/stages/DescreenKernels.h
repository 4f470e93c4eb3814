// The descreen filter: a 3x3 kernel 1 1 1 / 1 3 1 / 1 1 1 over 11, per colour
// channel, computed as three horizontal sums plus twice the centre.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// sums[x] = line[x - k] + line[x] + line[x + k] with stride k (bytes per
// pixel); a neighbour outside the line is replaced by the pixel itself, so
// the edges are replicated (also when the line is narrower than the kernel).
void HorizontalSum(std::span<const uint8_t> line, size_t stride, std::span<uint16_t> sums);

// out[x] = (previous[x] + middle[x] + next[x] + 2 x centre[x]) / 11, where the
// sums are the horizontal sums of the line above, the centre line and the line
// below, and centre is the raw centre line.
void DescreenLine(std::span<const uint16_t> previous, std::span<const uint16_t> middle,
                  std::span<const uint16_t> next, std::span<const uint8_t> centre, std::span<uint8_t> out);
