#include "PaperPath.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace emulator {

namespace {
// Tolerance for positions built from many 1/600-in steps.
constexpr double kEpsilonIn = 1e-9;
}

PaperPath::PaperPath(const BoardSpec& board, const PaperSettings& settings)
    : sensorWidthIn_(board.sensorWidthIn),
      entryToFrontIn_(board.entryToFrontIn),
      stepIn_(1.0 / board.MotorStepsPerInch()),
      settings_(settings)
{
}

void PaperPath::Step(bool forward)
{
    if (!inPath_)
        return;
    InPath& s = *inPath_;
    if (jamFromY_ && s.y >= *jamFromY_ - kEpsilonIn)
        return;
    const double distance = stepIn_ * (1.0 - slip_);
    if (!forward) {
        s.y = std::max(0.0, s.y - distance);
        return;
    }
    s.y += distance;
    if (s.y - s.sheet.LengthIn() >= settings_.exitPointIn - kEpsilonIn) {
        departed_.push_back({s.y, s.sheet.LengthIn(), s.sheet.WidthIn()});
        inPath_.reset();
    }
}

bool PaperPath::Update(DeviceTime now, bool motorIdle)
{
    if (inPath_ || queue_.empty() || noPick_ || !motorIdle) {
        idleSince_.reset();
        return false;
    }
    if (!idleSince_)
        idleSince_ = now;
    const double waited = std::chrono::duration<double>(now - *idleSince_).count();
    if (waited + kEpsilonIn < settings_.pickDelaySeconds)
        return false;
    inPath_ = InPath{std::move(queue_.front()), 0.0};
    queue_.pop_front();
    idleSince_.reset();
    return true;
}

bool PaperPath::SensorPaper() const
{
    return inPath_ && inPath_->y - inPath_->sheet.LengthIn() < -kEpsilonIn && inPath_->y >= -kEpsilonIn;
}

double PaperPath::LineDistance(int side) const
{
    return side == 0 ? entryToFrontIn_ : entryToFrontIn_ + settings_.backLagIn;
}

double PaperPath::LeftEdgeIn(const Sheet& sheet) const
{
    switch (settings_.placement) {
    case PaperSettings::Placement::Left:
        return 0.0;
    case PaperSettings::Placement::Offset:
        return settings_.offsetIn;
    case PaperSettings::Placement::Centred:
        break;
    }
    return (sensorWidthIn_ - sheet.WidthIn()) / 2.0;
}

void PaperPath::SampleLine(int side, int opticalDpi, std::span<Rgb> pixels, std::optional<double> y) const
{
    const Rgb backing{settings_.backing, settings_.backing, settings_.backing};
    std::fill(pixels.begin(), pixels.end(), backing);
    if (!inPath_)
        return;
    const Sheet& sheet = inPath_->sheet;
    const double behindEdge = y.value_or(inPath_->y) - LineDistance(side);
    const double rowPos = std::floor(behindEdge * Sheet::kDpi + kEpsilonIn * Sheet::kDpi);
    if (rowPos < 0 || rowPos >= sheet.Rows())
        return;
    const auto row = static_cast<std::uint32_t>(rowPos);
    const SheetSide& face = sheet.Side(side);
    const int perPixel = std::max(1, Sheet::kDpi / std::max(1, opticalDpi));  // sheet columns under one pixel
    const double leftColumns = LeftEdgeIn(sheet) * Sheet::kDpi;
    const auto columns = static_cast<std::int64_t>(sheet.Columns());
    for (std::size_t p = 0; p < pixels.size(); ++p) {
        // Front-side column under the pixel's first sheet column.
        const auto first = static_cast<std::int64_t>(
            std::floor(static_cast<double>(p) * perPixel - leftColumns + 0.5));
        Rgb sum{};
        for (int k = 0; k < perPixel; ++k) {
            const std::int64_t c = first + k;
            if (c < 0 || c >= columns) {
                for (int ch = 0; ch < 3; ++ch)
                    sum[ch] += backing[ch];
                continue;
            }
            // The back image is right-reading from the back: mirrored across.
            const auto column = static_cast<std::uint32_t>(side == 0 ? c : columns - 1 - c);
            for (int ch = 0; ch < 3; ++ch)
                sum[ch] += face.Reflectance(column, row, ch);
        }
        for (int ch = 0; ch < 3; ++ch)
            pixels[p][ch] = sum[ch] / static_cast<float>(perPixel);
    }
}

PaperState PaperPath::State() const
{
    PaperState state;
    if (inPath_)
        state.inPath = SheetState{inPath_->y, inPath_->sheet.LengthIn(), inPath_->sheet.WidthIn()};
    state.sensorPaper = SensorPaper();
    state.queued = queue_.size();
    state.departed = departed_;
    return state;
}

} // namespace emulator
