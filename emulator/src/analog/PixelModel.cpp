#include "PixelModel.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace emulator {

namespace {

constexpr double kDarkSpread = 1.5;          // d_p uniform in [-1.5, 1.5]
constexpr double kResponseSpread = 0.02;     // R_p = envelope (1 + 0.02 u_p)
constexpr double kEnvelopeDepth = 0.06;
constexpr int kEdgePixels = 32;
constexpr double kEdgeFloor = 0.85;
constexpr double kNoiseSigma = 0.3;
constexpr int kClocksPerCount = 15;
constexpr int kLeadingShadingEntries = 3;

// W_k, the signal of reflectance 1 at full exposure, by sensitivity.
constexpr std::array<double, 3> kWhiteResponse{246.5, 262.0, 165.0};

// Response envelope: a shallow bow across the sensor, falling linearly to
// 0.85 over the last 32 pixels of each end.
double Envelope(std::uint32_t p, std::uint32_t n)
{
    const double x = n > 1 ? 2.0 * p / (n - 1) - 1.0 : 0.0;
    double envelope = 1.0 - kEnvelopeDepth * x * x;
    const std::uint32_t fromEnd = std::min(p, n - 1 - p);
    if (fromEnd < kEdgePixels)
        envelope *= kEdgeFloor + (1.0 - kEdgeFloor) * fromEnd / kEdgePixels;
    return envelope;
}

double OnCounts(std::uint32_t from, std::uint32_t to, std::uint32_t period)
{
    const double a = std::min(from, period);
    const double b = std::min(to, period);
    return b > a ? b - a : 0.0;
}

std::uint16_t Word(std::span<const std::uint16_t> memory, std::int64_t index)
{
    return index >= 0 && static_cast<std::size_t>(index) < memory.size() ? memory[static_cast<std::size_t>(index)] : 0;
}

} // namespace

PixelModel::PixelModel(const BoardProfile& board, const PixelSettings& settings, DeviceLogsStore& logs)
    : logs_(logs),
      settings_(settings),
      pixels_(static_cast<std::uint32_t>(board.pixelsPerSide)),
      firstActive_(static_cast<std::uint32_t>(board.FirstActivePosition())),
      fullExposureSeconds_(board.fullExposureSeconds),
      whiteResponse_(kWhiteResponse[static_cast<std::size_t>(settings.sensitivity)]),
      darkLevel_(settings.darkLevel),
      dark_(2 * pixels_),
      response_(2 * pixels_),
      noise_(SeededRandom::Derive(settings.seed, board.name, 2))
{
    for (int side = 0; side < 2; ++side) {
        SeededRandom darkRandom(SeededRandom::Derive(settings.seed, board.name, 10 + side));
        SeededRandom responseRandom(SeededRandom::Derive(settings.seed, board.name, 20 + side));
        for (std::uint32_t p = 0; p < pixels_; ++p) {
            dark_[Index(side, static_cast<int>(p))] = static_cast<float>(darkRandom.Uniform(-kDarkSpread, kDarkSpread));
            const double u = responseRandom.Uniform(-1.0, 1.0);
            response_[Index(side, static_cast<int>(p))] =
                static_cast<float>(Envelope(p, pixels_) * (1.0 + kResponseSpread * u));
        }
    }
}

std::array<double, 3> PixelModel::Exposures(const LineSetup& setup, std::uint32_t clockHz, bool lampLit) const
{
    std::array<double, 3> on{};
    if (!lampLit || clockHz == 0)
        return {};
    const std::uint32_t period = setup.linePeriod;
    if (setup.mono) {
        on[0] = OnCounts(setup.exposureLead, setup.exposureEnd[0], period);
        on[1] = OnCounts(setup.exposureEnd[0], setup.exposureEnd[1], period);
        on[2] = OnCounts(setup.exposureEnd[1], setup.exposureEnd[2], period);
    } else {
        const auto j = static_cast<std::size_t>(setup.chipColour % 3);
        on[j] = OnCounts(setup.exposureLead, setup.exposureEnd[j], period);
    }
    const double secondsPerCount = static_cast<double>(kClocksPerCount) / clockHz;
    for (double& e : on)
        e = e * secondsPerCount / fullExposureSeconds_;
    return on;
}

void PixelModel::CheckWindow(const LineSetup& setup)
{
    outsideSeen_ = false;
    if (setup.averaging && setup.resolutionSetting != 0 && setup.dpiClass % setup.resolutionSetting != 0)
        logs_.Violation("G15", "averaging with the non-integer ratio " + std::to_string(setup.dpiClass) + "/" +
                                   std::to_string(setup.resolutionSetting) + ", sampling used");
}

std::uint16_t PixelModel::Position(std::uint32_t q, const std::array<double, 3>& e, int channel,
                                   const FrontEnd& frontEnd, const LineScene& scene, bool& outside)
{
    const std::uint32_t end = firstActive_ + 2 * pixels_;
    if (q < firstActive_ || q >= end) {
        outside = true;
        return frontEnd.Transfer(DarkSignal(), channel);
    }
    const int side = q < firstActive_ + pixels_ ? 0 : 1;
    const int p = static_cast<int>(q - firstActive_ - (side == 0 ? 0 : pixels_));
    const std::span<const Rgb> seen = side == 0 ? scene.front : scene.back;
    if (static_cast<std::size_t>(p) < seen.size())
        return frontEnd.Transfer(Signal(side, p, e, seen[static_cast<std::size_t>(p)]), channel);
    return frontEnd.Transfer(DarkSignal() + dark_[Index(side, p)], channel);
}

double PixelModel::DarkSignal() { return darkLevel_ + kNoiseSigma * noise_.Gaussian(); }

double PixelModel::Signal(int side, int pixel, const std::array<double, 3>& e, const Rgb& rho)
{
    double s = DarkSignal();
    s += dark_[Index(side, pixel)];
    double light = 0;
    for (std::size_t k = 0; k < 3; ++k)
        light += e[k] * rho[static_cast<std::size_t>(settings_.ledColours[k])];
    s += light * whiteResponse_ * response_[Index(side, pixel)];
    return s;
}

std::vector<std::uint8_t> PixelModel::MakeLine(const LineSetup& setup, std::uint32_t clockHz, bool lampLit,
                                               const FrontEnd& frontEnd, const LineScene& scene,
                                               std::span<const std::uint16_t> shadingMemory,
                                               std::span<const std::uint16_t> gammaMemory)
{
    if (scanStarted_) {
        CheckWindow(setup);
        scanStarted_ = false;
    }
    const std::array<double, 3> e = Exposures(setup, clockHz, lampLit);
    const int channel = frontEnd.Channel(setup.chipColour, setup.mono);
    const std::uint32_t start = setup.startPixel;
    const std::uint32_t end = std::max(setup.endPixel, start);
    const std::uint64_t setting = setup.resolutionSetting;
    const std::uint64_t dpiClass = setup.dpiClass > 0 ? static_cast<std::uint64_t>(setup.dpiClass) : 1;
    const std::uint64_t width = setting == 0 ? 0 : ((end - start) * setting + dpiClass - 1) / dpiClass;
    const bool average = setup.averaging && setting != 0 && dpiClass % setting == 0;

    // Front end, then averaging or sampling; q = the position shading uses.
    std::vector<std::uint16_t> values(width);
    std::vector<std::int64_t> shadingPosition(width);
    bool outside = false;
    for (std::uint64_t k = 0; k < width; ++k) {
        if (average) {
            const std::uint64_t r = dpiClass / setting;
            const auto first = static_cast<std::uint32_t>(start + k * r);
            const auto last = static_cast<std::uint32_t>(std::min<std::uint64_t>(first + r, end));
            std::uint64_t sum = 0;
            for (std::uint32_t q = first; q < last; ++q)
                sum += Position(q, e, channel, frontEnd, scene, outside);
            const std::uint64_t n = last - first;
            values[k] = static_cast<std::uint16_t>((sum + n / 2) / n);
            shadingPosition[k] = static_cast<std::int64_t>(last) - 1;
        } else {
            const auto q = static_cast<std::uint32_t>(start + k * dpiClass / setting);
            values[k] = Position(q, e, channel, frontEnd, scene, outside);
            shadingPosition[k] = static_cast<std::int64_t>(q) - (setting != dpiClass ? settings_.samplingShadingShift : 0);
        }
    }
    if (outside && !outsideSeen_) {
        outsideSeen_ = true;
        logs_.Observation("O8", setup.middle, "window reaches positions outside the sensors");
    }

    if (setup.shading) {
        const double unit = setup.shadingGainRange ? 16384.0 : 8192.0;
        for (std::uint64_t k = 0; k < width; ++k) {
            const std::int64_t entry = shadingPosition[k] - setup.lineStartOffset + kLeadingShadingEntries;
            const std::int64_t at = static_cast<std::int64_t>(setup.shadingBase) + 2 * entry;
            const std::uint16_t offset = Word(shadingMemory, at);
            const std::uint16_t gain = Word(shadingMemory, at + 1);
            const double x = std::max(0, values[k] - offset);
            values[k] = static_cast<std::uint16_t>(std::min(65535.0, std::floor(x * gain / unit)));
        }
    }

    std::vector<std::uint8_t> out8(width);
    if (setup.gamma) {
        std::array<std::uint16_t, 255> starts{};
        for (std::size_t v = 1; v <= 255; ++v)
            starts[v - 1] = Word(gammaMemory, static_cast<std::int64_t>(setup.gammaSlot + v));
        std::sort(starts.begin(), starts.end());
        for (std::uint64_t k = 0; k < width; ++k) {
            if (setup.gammaDescending) {
                // 255 - #{T >= 65535 - x} = #{T < 65535 - x}
                const auto bound = static_cast<std::uint16_t>(65535 - values[k]);
                out8[k] = static_cast<std::uint8_t>(std::lower_bound(starts.begin(), starts.end(), bound) - starts.begin());
            } else {
                out8[k] = static_cast<std::uint8_t>(std::upper_bound(starts.begin(), starts.end(), values[k]) - starts.begin());
            }
        }
    } else {
        for (std::uint64_t k = 0; k < width; ++k)
            out8[k] = static_cast<std::uint8_t>(values[k] >> 8);
    }

    std::vector<std::uint8_t> line;
    if (setup.lineArt) {
        line.assign((width + 7) / 8, 0);
        const int middle = (setup.thresholdHigh + setup.thresholdLow) / 2;
        bool previous = false;
        for (std::uint64_t k = 0; k < width; ++k) {
            bool bit;
            if (out8[k] >= setup.thresholdHigh)
                bit = true;
            else if (out8[k] <= setup.thresholdLow)
                bit = false;
            else
                bit = k == 0 ? out8[k] >= middle : previous;
            previous = bit;
            if (bit)
                line[k / 8] = static_cast<std::uint8_t>(line[k / 8] | (0x80 >> (k % 8)));
        }
    } else {
        line = std::move(out8);
    }
    line.resize(setup.outputBytes);
    return line;
}

} // namespace emulator
