#include "chip/Gl125Pixels.h"
#include "core/ByteOrder.h"

#include <algorithm>

#include "chip/Gl125Registers.h"

namespace emulator {

using namespace gl125;

namespace {

std::uint16_t Le16(std::span<const std::uint8_t> memory, std::int64_t at)
{
    if (at < 0 || static_cast<std::uint64_t>(at) + 1 >= memory.size())
        return 0;
    return LoadLe16(memory, static_cast<std::size_t>(at));
}

double Lit(std::uint32_t from, std::uint32_t to, std::uint32_t period)
{
    const std::uint32_t a = std::min(from, period);
    const std::uint32_t b = std::min(to, period);
    return b > a ? static_cast<double>(b - a) : 0.0;
}

}  // namespace

Gl125Pixels::Gl125Pixels(const BoardProfile& board, const PixelSettings& settings, DeviceLogsStore& logs)
    : logs_(logs),
      model_(board, settings, logs),
      sensorStart_(board.dummyPixels + kFirstActiveAfterDummy),
      pixels_(board.pixelsPerSide),
      fullExposureSeconds_(board.fullExposureSeconds)
{
}

std::uint32_t Gl125Pixels::ShadingPosition(std::uint32_t slot)
{
    return slot + kShadingBlockGap * (slot / kShadingBlockRead);
}

std::array<double, 3> Gl125Pixels::Exposures(const Gl125LineSetup& setup, double fullExposureSeconds) const
{
    std::array<double, 3> lit{};
    if (!setup.lampLit)
        return lit;
    const std::uint32_t period = setup.linePeriod;
    if (setup.mono) {
        lit[0] = Lit(setup.ledOn, setup.ledEnd[0], period);
        lit[1] = Lit(setup.ledEnd[0], setup.ledEnd[1], period);
        lit[2] = Lit(setup.ledEnd[1], setup.ledEnd[2], period);
    } else {
        const auto c = static_cast<std::size_t>(setup.colour);
        lit[c] = Lit(setup.ledOn, setup.ledEnd[c], period);
    }
    for (double& e : lit)
        e = e * setup.tickSeconds / fullExposureSeconds;
    return lit;
}

std::uint16_t Gl125Pixels::Sample(std::int64_t position, const std::array<double, 3>& e, int channel,
                                  const FrontEnd& frontEnd, std::span<const Rgb> front,
                                  std::span<const Rgb> back, bool& outside)
{
    const std::int64_t p = position - sensorStart_;
    if (p < 0 || p >= 2 * pixels_) {
        outside = true;
        return frontEnd.Transfer(model_.DarkSignal(), channel);
    }
    const int side = p < pixels_ ? 0 : 1;
    const auto pixel = static_cast<std::size_t>(side == 0 ? p : p - pixels_);
    const std::span<const Rgb> seen = side == 0 ? front : back;
    const Rgb rho = pixel < seen.size() ? seen[pixel] : Rgb{};
    return frontEnd.Transfer(model_.Signal(side, static_cast<int>(pixel), e, rho), channel);
}

std::vector<std::uint8_t> Gl125Pixels::MakeLine(const Gl125LineSetup& setup, const FrontEnd& frontEnd,
                                                std::span<const Rgb> front, std::span<const Rgb> back,
                                                std::span<const std::uint8_t> mainMemory,
                                                std::span<const std::uint8_t> gammaMemory)
{
    const std::array<double, 3> e = Exposures(setup, fullExposureSeconds_);
    const int channel = frontEnd.Channel(setup.colour, setup.mono);
    const std::uint32_t width = setup.width;
    const std::uint64_t r = std::max<std::uint32_t>(setup.resolution, 1);
    const std::uint64_t ratio = setup.averaging ? kDpiClass / r : 1;

    // Sensor pixels the reduction reads: s0 up to the last one of the last
    // (pad) pixel.
    const std::int64_t s0 = static_cast<std::int64_t>(setup.windowStart) - setup.firstActive;
    const std::int64_t count =
        width == 0 ? 0
        : setup.averaging ? static_cast<std::int64_t>(width * ratio)
                          : static_cast<std::int64_t>((width - 1) * kDpiClass / r + 1);

    // Front end, then shading per sensor pixel.
    std::vector<std::uint16_t> pixel(static_cast<std::size_t>(count));
    bool outside = false;
    for (std::int64_t i = 0; i < count; ++i) {
        const std::int64_t p = s0 + i;
        std::uint16_t v = Sample(p + setup.firstActive, e, channel, frontEnd, front, back, outside);
        if (setup.shading) {
            const std::int64_t slot = p + setup.shadingSlotLead;
            const std::int64_t position =
                slot >= 0 ? ShadingPosition(static_cast<std::uint32_t>(slot)) : slot;
            const std::int64_t at = setup.shadingBase + 4 * position;
            const std::int64_t offset = Le16(mainMemory, at);
            const std::int64_t gain = Le16(mainMemory, at + 2);
            const std::int64_t shaded = ((static_cast<std::int64_t>(v) - offset) * gain) >> setup.shadingShift;
            v = static_cast<std::uint16_t>(std::clamp<std::int64_t>(shaded, 0, 65535));
        }
        pixel[static_cast<std::size_t>(i)] = v;
    }
    if (outside && !outsideSeen_) {
        outsideSeen_ = true;
        logs_.Observation("K-window", setup.middle, "window reaches positions outside the sensors");
    }

    // Reduction, gamma, 8-bit samples.
    std::vector<std::uint8_t> samples(width);
    for (std::uint32_t j = 0; j < width; ++j) {
        std::uint32_t v;
        if (setup.averaging) {
            std::uint64_t sum = 0;
            for (std::uint64_t k = 0; k < ratio; ++k)
                sum += pixel[j * ratio + k];
            v = static_cast<std::uint32_t>((sum + ratio / 2) / ratio);
        } else {
            v = pixel[j * kDpiClass / r];
        }
        if (setup.gamma) {
            const std::uint32_t i = v >> 8;
            const std::int64_t t0 = Le16(gammaMemory, setup.gammaSlot + 2 * i);
            if (setup.gammaInterpolate && i < 255) {
                const std::int64_t t1 = Le16(gammaMemory, setup.gammaSlot + 2 * (i + 1));
                v = static_cast<std::uint32_t>(t0 + (t1 - t0) * static_cast<std::int64_t>(v & 0xFF) / 256);
            } else {
                v = static_cast<std::uint32_t>(t0);
            }
        }
        samples[j] = static_cast<std::uint8_t>(v >> 8);
    }
    if (!setup.lineArt)
        return samples;

    // Line art: 1 = white, leftmost pixel in the MSB; between the thresholds
    // a pixel keeps the previous bit, the first compares with their middle.
    std::vector<std::uint8_t> line(setup.OutputBytes(), 0);
    const int middle = (setup.thresholdHigh + setup.thresholdLow + 1) / 2;
    bool bit = false;
    for (std::uint32_t j = 0; j < width; ++j) {
        const int s = samples[j];
        if (s >= setup.thresholdHigh)
            bit = true;
        else if (s <= setup.thresholdLow)
            bit = false;
        else if (j == 0)
            bit = s >= middle;
        if (bit)
            line[j / 8] = static_cast<std::uint8_t>(line[j / 8] | (0x80 >> (j % 8)));
    }
    return line;
}

}  // namespace emulator
