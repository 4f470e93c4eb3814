#include "PaperPath.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace emulator {

namespace {
// Tolerance for positions built from many 1/600-in steps.
constexpr double kEpsilonIn = 1e-9;
}

PaperPath::PaperPath(const BoardProfile& board, const PaperSettings& settings)
    : sensorWidthIn_(board.sensorWidthIn),
      entryToFrontIn_(board.entryToFrontIn),
      stepIn_(1.0 / board.MotorStepsPerInch()),
      settings_(settings)
{
}

void PaperPath::Step(bool forward)
{
    lastStep_.reset();
    stepBefore_.reset();
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

void PaperPath::Step(bool forward, DeviceTime when)
{
    const double before = LeadingEdge();
    const bool was = inPath_.has_value();
    const std::optional<DeviceTime> previous = lastStep_;
    Step(forward);
    if (!was || !inPath_ || inPath_->y == before)
        return;  // no sheet, jammed, clamped or gone: nothing glides
    if (previous && lastForward_ == forward)
        stepBefore_ = previous;
    lastStep_ = when;
    lastForward_ = forward;
    lastDistance_ = std::fabs(inPath_->y - before);
}

double PaperPath::PositionAt(DeviceTime when) const
{
    const double y = LeadingEdge();
    if (!inPath_ || !lastStep_ || !stepBefore_ || when < *lastStep_)
        return y;
    const double interval = std::chrono::duration<double>(*lastStep_ - *stepBefore_).count();
    const double elapsed = std::chrono::duration<double>(when - *lastStep_).count();
    if (!(interval > 0.0) || elapsed >= interval)
        return y;
    const double glide = lastDistance_ * elapsed / interval;
    return lastForward_ ? y + glide : std::max(0.0, y - glide);
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
    // The line sees the rows under it in proportion: row r covers
    // [r, r + 1) / 600 in behind the leading edge, the line's own centre
    // half a row in, so a line between two rows' centres blends them.
    const double centre = behindEdge * Sheet::kDpi - 0.5 + kEpsilonIn * Sheet::kDpi;
    const double firstRow = std::floor(centre);
    const auto share = static_cast<float>(centre - firstRow);
    if (firstRow + 1 < 0 || firstRow >= sheet.Rows())
        return;
    const SheetSide& face = sheet.Side(side);
    const auto rows = static_cast<double>(sheet.Rows());
    const auto reflectance = [&](std::uint32_t column, double rowIndex, int ch) {
        return rowIndex < 0 || rowIndex >= rows ? backing[static_cast<std::size_t>(ch)]
                                                : face.Reflectance(column, static_cast<std::uint32_t>(rowIndex), ch);
    };
    const auto blended = [&](std::uint32_t column, int ch) {
        const float a = reflectance(column, firstRow, ch);
        const float b = reflectance(column, firstRow + 1, ch);
        return a == b ? a : a + (b - a) * share;
    };
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
                sum[ch] += blended(column, ch);
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
