// GL125: acceleration tables in the chip's memory, the motor side of a scan,
// feed and eject moves, and the speed limits of the period counters.
#include "chips/GL125.h"

#include "chips/CISModule.h"
#include "chips/Motor.h"
#include "chips/ScanRampLag.h"
#include "device/DeviceIOException.h"
#include "os/OSFunctions.h"

#include <algorithm>
#include <cmath>

namespace {

// The chip accelerates and decelerates over four steps whatever the length
// of tables 4 and 5, so a move of run steps travels run + 8 steps.
constexpr int kRampSteps = 4;
constexpr int kLongMoveSteps = 2 * kRampSteps;
constexpr int kMinMoveSteps = 5;
constexpr uint32_t kRampBasePeriod = 0x3000;
constexpr double kSpeedIncrement = 0.025;
constexpr double kMinRateClock = 30000000.0;
constexpr double kPeriodCounts = 12.0 * 65535.0;
constexpr uint32_t kMaxEntry = 0xFFFF;
constexpr int kStopMovePollMs = 50;
// An eject that was told to stop decelerates over four steps; two seconds
// means the motor is not answering.
constexpr int kStopMovePolls = 40;

uint32_t ClampPeriod(double period) {
    if (!(period >= 1.0)) {
        return 1;
    }
    return static_cast<uint32_t>(std::min(period, static_cast<double>(kMaxEntry)));
}

}  // namespace

double GL125::StepsPerInch() const { return motor_ != nullptr ? motor_->GetStepsPerInch() : 0.0; }

bool GL125::UploadMotorTable(int k, int n, int /*reserved*/, uint32_t targetPeriod) {
    if (k < 1 || k > 5 || n < 1 || n > 256) {
        return false;
    }
    static std::array<uint16_t, kMaxMotorEntries> table;
    const double base = clock_ / 600.0 / 12.0;
    const double target = base / std::max<uint32_t>(targetPeriod, 1);
    // A start speed of 0 (or one so slow its period overflows an entry)
    // starts at the slowest speed an entry can hold.
    double speed = std::max(static_cast<double>(rampStartSpeed_), base / kMaxEntry);
    if (std::isnan(speed)) {
        speed = base / kMaxEntry;
    }
    size_t count = 0;
    while (true) {
        table[count++] = static_cast<uint16_t>(ClampPeriod(std::trunc(base / std::min(speed, target) + 0.5)));
        if (count == kMaxMotorEntries || speed >= target) {
            break;
        }
        speed = std::min(speed, target) + kSpeedIncrement;
    }
    if (count % 2 != 0 && count < kMaxMotorEntries - 1) {
        table[count++] = static_cast<uint16_t>(ClampPeriod(std::trunc(base / target + 0.5)));
    }
    if (k == 1) {
        scanTable_.assign(table.begin(), table.begin() + static_cast<std::ptrdiff_t>(count));
    }
    std::vector<uint8_t> bytes(count * 2);
    for (size_t i = 0; i < count; ++i) {
        bytes[2 * i] = static_cast<uint8_t>(table[i]);
        bytes[2 * i + 1] = static_cast<uint8_t>(table[i] >> 8);
    }
    const uint32_t address = kImageAddress + static_cast<uint32_t>(k - 1) * kMotorTableBytes;
    BulkWrite(address, bytes);
    SetField(gl125::kMotorTableLength[static_cast<size_t>(k - 1)], static_cast<uint32_t>(count), true);
    return true;
}

int GL125::MoveSteps() const {
    if (xResolution_ <= 0 || yOffset_ <= 0) {
        return 0;
    }
    const double steps = std::trunc(StepsPerInch() * yOffset_ / xResolution_);
    return static_cast<int>(std::clamp(steps, 0.0, static_cast<double>(gl125::kRunCount.Mask())));
}

GL125::MovePlan GL125::PlanMove(int steps) const {
    MovePlan plan;
    if (steps <= 0) {
        return plan;
    }
    if (steps > kLongMoveSteps) {
        plan.run = static_cast<uint32_t>(steps - kLongMoveSteps);
        plan.rampCount = kRampSteps;
        const double spi = StepsPerInch();
        const double period = feedRate_ > 0.0f && spi > 0.0 ? std::trunc(clock_ / 12.0 / feedRate_ / spi) : kMaxEntry;
        plan.targetPeriod = ClampPeriod(period);
        return plan;
    }
    // Nine steps (one run step between the two ramps) is the shortest move
    // the chip makes; a shorter one comes out at that length, at the slow
    // speed of short moves.
    const int g = (std::max(steps, kMinMoveSteps) - 1) / 2;
    plan.run = 1;
    plan.rampCount = g;
    plan.targetPeriod = kRampBasePeriod - static_cast<uint32_t>(g * 10672 / 4);
    return plan;
}

void GL125::SetupMoveMotor() {
    const MovePlan plan = PlanMove(MoveSteps());
    if (plan.run == 0) {
        SetField(gl125::kRunCount, 0, true);
        SetField(gl125::kFastMove, 0, true);
        SetField(gl125::kMotorTableLength[3], 0, true);
        SetField(gl125::kMotorTableLength[4], 0, true);
        return;
    }
    SetField(gl125::kFastMove, yOffset_ > 100 && feedRate_ > scanRate_ ? 1 : 0, true);
    UploadMotorTable(4, plan.rampCount, kRampBasePeriod, plan.targetPeriod);
    UploadMotorTable(5, plan.rampCount, kRampBasePeriod, plan.targetPeriod);
    SetField(gl125::kRunCount, plan.run, true);
}

void GL125::SetupScanMotor(int resolution, int bitsPerPixel) {
    // Colour scans make three chip lines (one per plane) per image line.
    const bool colour = bitsPerPixel == 24 || bitsPerPixel == 48;
    const int res = std::max(resolution, 1);
    const double rate = std::max(static_cast<double>(scanRate_),
                                 static_cast<double>(GetMinScanRate(res * (colour ? 3 : 1))));
    const double c = rate > 0.0 ? clock_ / 12.0 / rate : 0.0;
    double linePeriod = c / res;
    if (colour) {
        linePeriod /= 3.0;
    }
    auto period = static_cast<uint32_t>(std::clamp(std::trunc(linePeriod), 1.0,
                                                   static_cast<double>(gl125::kLinePeriod.Mask() - 1)));
    if (cisModule_ != nullptr && cisModule_->GetControlFlag() == 1 && period % 2 != 0) {
        ++period;
    }
    SetField(gl125::kLinePeriod, period, true);
    const double spi = StepsPerInch();
    const uint32_t stepPeriod = ClampPeriod(spi > 0.0 ? std::trunc(c / spi + 0.5) : kMaxEntry);
    for (int k = 1; k <= 3; ++k) {
        UploadMotorTable(k, 4, kRampBasePeriod, stepPeriod);
    }
    // Without motor power the lines are taken at a standstill.
    leadLines_ = rampLinesDropped_ && motorPower_ ? scanramp::LagLines(scanTable_, spi, res) : 0;
    SetupMoveMotor();
}

void GL125::StartMove() {
    SetField(gl125::kScanRunning, 0, true);
    SetupMoveMotor();
    SetField(gl125::kFastMove, 1, true);
    SetField(gl125::kMoveReverse, feedForward_ ? 0 : 1, true);
    SetField(gl125::kScanReverse, 0, true);
    SetField(gl125::kMotorMode, 3, true);
    SetField(gl125::kRunFlag, 1, true);
    SetField(gl125::kStepStrobe, 1, true);
    SetField(gl125::kMotorPower, 1, true);
    SetField(gl125::kStart, 1, true);
}

void GL125::StopMove() {
    SetField(gl125::kRunCount, 1, true);
    bool idle = false;
    for (int poll = 0; poll < kStopMovePolls && !idle; ++poll) {
        const std::optional<uint32_t> busy = ReadField(gl125::kMotorBusy);
        idle = busy && *busy == 0;
        if (!idle) {
            OSSleep(kStopMovePollMs);
        }
    }
    SetField(gl125::kMotorPower, 0, true);
    SetField(gl125::kMoveReverse, 0, true);
    SetField(gl125::kRunFlag, 0, true);
    if (!idle) {
        throw DeviceIOException(DeviceIOException::kTransferFailure);
    }
}

float GL125::GetMinScanRate(int linesPerInch) {
    double rate = 0.0;
    const double spi = StepsPerInch();
    if (spi > 0.0) {
        rate = std::max(rate, kMinRateClock / spi / kPeriodCounts);
    }
    if (linesPerInch > 0) {
        rate = std::max(rate, kMinRateClock / linesPerInch / kPeriodCounts);
    }
    return static_cast<float>(rate);
}

float GL125::ComputeScanRate() {
    const double spi = StepsPerInch();
    if (spi <= 0.0 || linePixels_ <= 0) {
        return 0.0f;
    }
    return static_cast<float>(clock_ / spi / (linePixels_ * 12.0));
}
