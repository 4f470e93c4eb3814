#include "ImageScaling.h"

#include "DibLayout.h"

#include <vector>

namespace {

// The first source index of each target index, and one past the last: the
// size divided evenly, the remainder spread with an error accumulator.
std::vector<uint32_t> Blocks(uint32_t source, uint32_t target)
{
    std::vector<uint32_t> starts(target + 1, 0);
    const uint32_t step = source / target;
    const uint32_t remainder = source % target;
    uint32_t error = 0;
    uint32_t at = 0;
    for (uint32_t i = 0; i < target; ++i) {
        starts[i] = at;
        at += step;
        error += remainder;
        if (error >= target) {
            error -= target;
            ++at;
        }
    }
    starts[target] = source;
    return starts;
}

template <typename Sample>
void Scale(uint32_t bits, const uint8_t* source, uint32_t sourceWidth, uint32_t sourceHeight, uint8_t* target,
           uint32_t targetWidth, uint32_t targetHeight, Sample sample)
{
    if (sourceWidth < 1 || sourceHeight < 1 || targetWidth < 1 || targetHeight < 1 || source == nullptr ||
        target == nullptr) {
        return;
    }
    const uint32_t sourceRow = DibRowSize(bits, sourceWidth);
    const uint32_t targetRow = DibRowSize(24, targetWidth);
    const std::vector<uint32_t> xs = Blocks(sourceWidth, targetWidth);
    const std::vector<uint32_t> ys = Blocks(sourceHeight, targetHeight);
    for (uint32_t ty = 0; ty < targetHeight; ++ty) {
        uint8_t* out = target + size_t(ty) * targetRow;
        for (uint32_t tx = 0; tx < targetWidth; ++tx) {
            uint64_t sum[3] = {0, 0, 0};
            uint64_t count = 0;
            for (uint32_t y = ys[ty]; y < ys[ty + 1]; ++y) {
                const uint8_t* row = source + size_t(y) * sourceRow;
                for (uint32_t x = xs[tx]; x < xs[tx + 1]; ++x) {
                    uint8_t value[3];
                    sample(row, x, value);
                    for (int c = 0; c < 3; ++c) sum[c] += value[c];
                    ++count;
                }
            }
            for (int c = 0; c < 3; ++c) {
                out[3 * tx + c] = count > 0 ? static_cast<uint8_t>(sum[c] / count) : 0;
            }
        }
    }
}

}  // namespace

void ScaleBitsToRgb(const uint8_t* source, uint32_t sourceWidth, uint32_t sourceHeight, uint8_t* target,
                    uint32_t targetWidth, uint32_t targetHeight)
{
    Scale(1, source, sourceWidth, sourceHeight, target, targetWidth, targetHeight,
          [](const uint8_t* row, uint32_t x, uint8_t* value) {
              const uint8_t v = ((row[x / 8] >> (7 - x % 8)) & 1) != 0 ? 255 : 0;
              value[0] = value[1] = value[2] = v;
          });
}

void ScaleGrayToRgb(const uint8_t* source, uint32_t sourceWidth, uint32_t sourceHeight, uint8_t* target,
                    uint32_t targetWidth, uint32_t targetHeight)
{
    Scale(8, source, sourceWidth, sourceHeight, target, targetWidth, targetHeight,
          [](const uint8_t* row, uint32_t x, uint8_t* value) { value[0] = value[1] = value[2] = row[x]; });
}

void ScaleRgbToRgb(const uint8_t* source, uint32_t sourceWidth, uint32_t sourceHeight, uint8_t* target,
                   uint32_t targetWidth, uint32_t targetHeight)
{
    Scale(24, source, sourceWidth, sourceHeight, target, targetWidth, targetHeight,
          [](const uint8_t* row, uint32_t x, uint8_t* value) {
              value[0] = row[3 * x];
              value[1] = row[3 * x + 1];
              value[2] = row[3 * x + 2];
          });
}
