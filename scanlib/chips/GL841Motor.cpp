// GL841: line timing, the motor tables, and feed and eject moves. Waits for
// the motor are bounded by the move's own length, so a motor that never
// stops is reported instead of waited for.
#include "chips/GL841.h"

#include "chips/Motor.h"
#include "chips/ScanRampLag.h"
#include "device/DeviceIOException.h"
#include "os/OSFunctions.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double kClocksPerCount = 15.0;
constexpr int kMaxRampSteps = 256;
constexpr uint32_t kMotorModeRun = 3;
constexpr int kStopMovePollMs = 50;
// After FeedSteps := 1 the chip runs at most 1 + 4 more steps.
constexpr uint64_t kStopSteps = 5;
constexpr uint32_t kMoveMarginMs = 1000;

// The length register of each motor table.
constexpr std::array<uint8_t, 5> kMotorTableLengthRegisters = {0x21, 0x24, 0x69, 0x6A, 0x5F};
constexpr uint32_t kMotorTableWords = 0x200;

}  // namespace

uint32_t GL841::ShadingMotorBase() const {
    switch (dpiClass_) {
        case 600:
            return 0x8000;
        case 1200:
            return 0x10000;
        default:
            return 0x20000;
    }
}

bool GL841::UploadMotorTable(int table, int rampSteps, uint32_t targetPeriod) {
    if (table < 1 || table > static_cast<int>(kMotorTableLengthRegisters.size()) || rampSteps < 1 ||
        rampSteps > kMaxRampSteps) {
        return false;
    }
    const std::vector<uint16_t> entries = gl841::BuildMotorTable(clock_, rampStartSpeed_, targetPeriod);
    std::vector<uint8_t> bytes;
    bytes.reserve(entries.size() * 2);
    for (uint16_t e : entries) {
        bytes.push_back(static_cast<uint8_t>(e));
        bytes.push_back(static_cast<uint8_t>(e >> 8));
    }
    if (table == 4) {
        moveTable_ = entries;
    }
    if (table == 1) {
        scanTable_ = entries;
    }
    const uint32_t address = ShadingMotorBase() + static_cast<uint32_t>(table - 1) * kMotorTableWords;
    const bool uploaded =
        BulkIO(true, GL841Memory::Shading, address, bytes.data(), static_cast<uint32_t>(bytes.size()));
    const bool length = WriteRegister(kMotorTableLengthRegisters[static_cast<size_t>(table - 1)],
                                      static_cast<uint8_t>(entries.size() / 2));
    return uploaded && length;
}

void GL841::SetupScanMotor(int resolution, int bits) {
    const bool tripled = bits == 24;  // colour: three chip lines per image line
    const double stepsPerInch = motor_->GetStepsPerInch();
    const double speed = std::max<double>(scanRate_, GetMinScanRate(tripled ? resolution * 3 : resolution));
    const double countsPerInch = clock_ / kClocksPerCount / speed;
    const double period = std::floor(countsPerInch / resolution / (tripled ? 3 : 1));
    const auto linePeriod = static_cast<uint32_t>(std::clamp(period, 1.0, 65535.0)) | 1u;
    SetField(LinePeriod, linePeriod, true);

    const uint16_t stepPeriod = gl841::ClampStepPeriod(std::floor(countsPerInch / stepsPerInch + 0.5));
    // The ramp steps only gate the upload; the stored ramp length, brought
    // into range, so the tables always go in.
    const int ramp = std::clamp(rampLength_, 1, kMaxRampSteps);
    for (int table = 1; table <= 3; ++table) {
        UploadMotorTable(table, ramp, stepPeriod);
    }
    // Without motor power the lines are taken at a standstill.
    leadLines_ = rampLinesDropped_ && motorPower_ ? scanramp::LagLines(scanTable_, stepsPerInch, resolution) : 0;
    SetupMoveMotor();
}

gl841::FeedPlan GL841::SetupMoveMotor() {
    const double stepsPerInch = motor_ != nullptr ? motor_->GetStepsPerInch() : 0.0;
    const gl841::FeedPlan plan = gl841::PlanFeed(stepsPerInch, yOffset_, xResolution_, clock_, feedRate_, scanRate_);
    if (plan.feedSteps == 0) {
        SetField(FeedSteps, 0, true);
        SetField(FastFeed, 0, true);
        return plan;
    }
    SetField(FastFeed, plan.fastFeed ? 1 : 0, true);
    UploadMotorTable(4, plan.rampSteps, plan.period);
    UploadMotorTable(5, plan.rampSteps, plan.period);
    SetField(FeedSteps, plan.feedSteps, true);
    return plan;
}

uint32_t GL841::MoveBudgetMs(uint64_t steps) const {
    const double ms = gl841::MoveMicroseconds(moveTable_, steps, clock_) / 1000.0;
    return static_cast<uint32_t>(std::min(2.0 * ms, 3.6e6)) + kMoveMarginMs;
}

void GL841::StartMove() {
    if (!PortOpen() || motor_ == nullptr) {
        return;
    }
    SetField(ScanEnable, 0, true);
    const gl841::FeedPlan plan = SetupMoveMotor();
    SetField(FastFeed, 1, true);
    SetField(MoveReverse, feedForward_ ? 0 : 1, true);
    SetField(ScanReverse, 0, true);
    SetField(MotorMode, kMotorModeRun, true);
    SetField(RunFlag, 1, true);
    SetField(MotorPower, 1, true);
    SetField(MoveStart, 1, true);
    moveArmed_ = plan.feedSteps > 0;
    moveStartMs_ = OSGetTime();
    moveBudgetMs_ = MoveBudgetMs(plan.feedSteps + gl841::kMoveExtraSteps);
}

bool GL841::IsMotorBusy() {
    if (!PortOpen()) {
        return false;
    }
    const bool busy = ReadField(MotorBusy, true) == 1;
    if (busy && moveArmed_ && OSGetTime() - moveStartMs_ > moveBudgetMs_) {
        moveArmed_ = false;
        throw DeviceIOException(DeviceIOException::kTransferFailure, "Motor did not stop.");
    }
    return busy;
}

void GL841::StopMove() {
    if (!PortOpen()) {
        return;
    }
    moveArmed_ = false;
    SetField(FeedSteps, 1, true);
    const uint32_t started = OSGetTime();
    const uint32_t budget = MoveBudgetMs(moveTable_.empty() ? 0 : kStopSteps + moveTable_.size());
    bool stalled = false;
    while (ReadField(MotorBusy, true) == 1) {
        if (OSGetTime() - started > budget) {
            stalled = true;
            break;
        }
        OSSleep(kStopMovePollMs);
    }
    SetField(MotorPower, 0, true);
    SetField(MoveReverse, 0, true);
    SetField(RunFlag, 0, true);
    if (stalled) {
        throw DeviceIOException(DeviceIOException::kTransferFailure, "Motor did not stop.");
    }
}
