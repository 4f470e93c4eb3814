#pragma once

#include "../board/BoardProfile.h"
#include "Sheet.h"

#include <array>
#include <chrono>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include <emulator/VirtualScanner.h>

namespace emulator {

// Paper-path settings the device's switches fix.
struct PaperSettings {
    enum class Placement : std::uint8_t { Centred, Left, Offset };
    Placement placement = Placement::Centred;
    double offsetIn = 0;          // left edge from sensor pixel 0 with Placement::Offset
    float backing = 0.35f;        // reflectance where no paper lies over a line
    double pickDelaySeconds = 0;
    double backLagIn = 268.0 / 600.0;
    double exitPointIn = 1.5;
};

// Reflectance seen by one sensor pixel in red, green and blue.
using Rgb = std::array<float, 3>;

// The feeder queue and the one sheet in the path: motion by motor steps, the
// entry sensor, departures past the exit, and what the front (side 0) and the
// back (side 1) CIS line see.
class PaperPath {
public:
    PaperPath(const BoardProfile& board, const PaperSettings& settings);

    void Enqueue(Sheet sheet) { queue_.push_back(std::move(sheet)); }

    // One motor step forward or backward; jam and slip apply. With the
    // step's device time the path also knows how fast the motor steps: the
    // sheet glides from one step's position to the next over the interval
    // between steps (see PositionAt).
    void Step(bool forward);
    void Step(bool forward, DeviceTime when);
    // Picks the queue head when the path is empty and the motor has been
    // idle for the pick delay. Returns true when a sheet arrived.
    bool Update(DeviceTime now, bool motorIdle);

    // The entry sensor: a sheet spans it (y - length < 0 <= y).
    bool SensorPaper() const;

    // Per-sensor-pixel reflectance of one side's line (pixels.size() = N),
    // with the sheet's leading edge where it is or at `y`.
    void SampleLine(int side, int opticalDpi, std::span<Rgb> pixels, std::optional<double> y = {}) const;
    // Leading edge of the sheet in the path past the entry sensor (0 without one).
    double LeadingEdge() const { return inPath_ ? inPath_->y : 0.0; }
    // The leading edge at device time `when` while the motor runs: a sheet
    // driven step by step moves on between the steps, at the pace of the
    // last two, rather than standing still; standing (no step within that
    // interval), it is where the last step left it.
    double PositionAt(DeviceTime when) const;

    // Faults.
    void SetJam(std::optional<double> fromY) { jamFromY_ = fromY; }
    void SetSlip(double fraction) { slip_ = fraction; }
    void SetNoPick(bool on) { noPick_ = on; }

    PaperState State() const;

private:
    struct InPath {
        Sheet sheet;
        double y = 0;
    };

    double LineDistance(int side) const;
    double LeftEdgeIn(const Sheet& sheet) const;

    double sensorWidthIn_;
    double entryToFrontIn_;
    double stepIn_;
    PaperSettings settings_;
    std::deque<Sheet> queue_;
    std::optional<InPath> inPath_;
    std::vector<SheetState> departed_;
    std::optional<DeviceTime> idleSince_;
    std::optional<double> jamFromY_;
    // The last two steps that moved the sheet (device time) and their way.
    std::optional<DeviceTime> lastStep_;
    std::optional<DeviceTime> stepBefore_;
    bool lastForward_ = true;
    double lastDistance_ = 0;
    double slip_ = 0;
    bool noPick_ = false;
};

} // namespace emulator
