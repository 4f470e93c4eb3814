#include "chip/Gl841Chip.h"
#include "core/ByteOrder.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "chip/Gl841Registers.h"

namespace emulator {

using namespace gl841;

namespace {

std::string Hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

template <std::size_t N>
bool Contains(const std::array<std::uint8_t, N>& table, std::uint8_t value)
{
    return std::find(table.begin(), table.end(), value) != table.end();
}

}  // namespace

Gl841Chip::Gl841Chip(const BoardProfile& board, const Switches& switches, DeviceLogsStore& logs,
                     BoardSide& side)
    : board_(board), switches_(switches), logs_(logs), side_(side), clockHz_(kResetClockHz)
{
    PowerReset();
}

void Gl841Chip::PowerReset()
{
    regs_.fill(0);
    shading_.assign(kShadingWords, kMemoryResetWord);
    gamma_.assign(kGammaWords, kMemoryResetWord);
    selected_ = 0;
    header_.reset();
    memoryRead_ = false;
    shadingPointer_ = 0;
    gammaPointer_ = 0;
    clockHz_ = kResetClockHz;
    fifo_.clear();
    linesScanned_ = 0;
    engine_ = EngineState::Idle;
    nextStep_.reset();
    nextMiddle_.reset();
    nextLineEnd_.reset();
    readyLine_.reset();
    paused_ = false;
    linesThisScan_ = 0;
    neverIdle_ = false;
    side_.PowerReset();
}

std::uint32_t Gl841Chip::Field(std::uint8_t first, int bytes) const
{
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | regs_[first + i];
    return value;
}

// ---------------------------------------------------------------- requests

bool Gl841Chip::ValidRequest(std::uint8_t request, bool in, std::uint16_t index, std::uint32_t length,
                             std::span<const std::uint8_t> data) const
{
    switch (request) {
    case kRequestRegisterWrite:
        if (in || index != 0 || (length != 1 && length != 2 && length != 4 && length != 6))
            return false;
        for (std::size_t i = 0; i < data.size(); i += (length == 1 ? 1 : 2)) {
            if (data[i] >= kAddressLimit)
                return false;
        }
        return true;
    case kRequestRegisterRead:
    case kRequestChipInfo:
        return in && index == 0 && length == 1;
    case kRequestBulkHeader:
        return !in && index == 0 && length == 8;
    case kRequestClock:
        return !in && index == kClockIndex && length == 1 &&
               std::any_of(kClockCodes.begin(), kClockCodes.end(),
                           [&](const ClockCode& c) { return c.code == data[0]; });
    default:
        return false;
    }
}

bool Gl841Chip::ControlIn(std::uint8_t request, std::uint16_t index, std::uint32_t length,
                          std::vector<std::uint8_t>& out)
{
    if (!ValidRequest(request, true, index, length, {})) {
        logs_.Violation("G1", "refused control IN request " + Hex(request) + " index " + Hex(index) +
                                  " length " + std::to_string(length));
        return false;
    }
    if (request == kRequestRegisterRead) {
        EndMemoryRead(selected_ == kPortImage);
        if (selected_ == kStatus && busyReads_ > 0) {
            --busyReads_;
            out.assign(1, 0x03);
        } else {
            out.assign(1, ReadRegister(selected_));
        }
    } else {
        EndMemoryRead(false);
        out.assign(1, switches_.Integer("packet_size") == 64 ? 0x08 : 0x00);
    }
    return true;
}

bool Gl841Chip::ControlOut(std::uint8_t request, std::uint16_t index, std::span<const std::uint8_t> data,
                           std::size_t acting)
{
    if (!ValidRequest(request, false, index, static_cast<std::uint32_t>(data.size()), data)) {
        logs_.Violation("G1", "refused control OUT request " + Hex(request) + " index " + Hex(index) +
                                  " length " + std::to_string(data.size()));
        return false;
    }
    switch (request) {
    case kRequestRegisterWrite:
        if (data.size() == 1) {
            if (acting < 1)
                return true;
            EndMemoryRead(data[0] == kPortImage);
            selected_ = data[0];
            return true;
        }
        EndMemoryRead(false);
        for (std::size_t i = 0; i + 2 <= acting && i + 2 <= data.size(); i += 2)
            WriteRegister(data[i], data[i + 1]);
        return true;
    case kRequestBulkHeader:
        if (acting < data.size())
            return true;
        EndMemoryRead(data[0] == 0);
        ArmHeader(data);
        return true;
    case kRequestClock: {
        EndMemoryRead(false);
        if (acting < 1)
            return true;
        auto code = std::find_if(kClockCodes.begin(), kClockCodes.end(),
                                 [&](const ClockCode& c) { return c.code == data[0]; });
        if (engine_ != EngineState::Idle)
            logs_.Violation("G14", "clock changed while an engine runs");
        clockHz_ = code->hz;
        return true;
    }
    default:
        return false;
    }
}

void Gl841Chip::ArmHeader(std::span<const std::uint8_t> header)
{
    const std::uint32_t length = LoadLe32(header, 4);
    if (header[1] != 0 || header[2] != 0x82 || header[3] != 0 || length == 0 || header[0] > 1) {
        logs_.Violation("G2", "malformed bulk header, ignored");
        return;
    }
    if (header_ && !header_->withdrawn)
        logs_.Violation("G4", "bulk header replaces an armed one");
    header_ = BulkHeader{header[0] == 0, length, false};
}

// ---------------------------------------------------------------- registers

void Gl841Chip::WriteRegister(std::uint8_t address, std::uint8_t value)
{
    if (Contains(kReadOnly, address)) {
        logs_.Violation("G13", "write of read-only register " + Hex(address));
        return;
    }
    if (Contains(kDataPorts, address))
        return;
    regs_[address] = value;
    switch (address) {
    case kScanControl:
        if ((value & 1) == 0 && (engine_ == EngineState::Scanning || engine_ == EngineState::Positioning))
            EndEngine();
        break;
    case kScanStartStrobe:
        if (value & 1) {
            fifo_.clear();
            linesScanned_ = 0;
        }
        regs_[address] = value & ~1;
        break;
    case kMotorControl:
        if (engine_ == EngineState::Scanning && !paused_ && Bit(kMotorControl, 4) && !nextStep_)
            StartLineMotor(now_);
        break;
    case kMoveStart:
        regs_[address] = 0;
        if (value != 0) {
            if (engine_ != EngineState::Idle)
                logs_.Violation("G9", "MoveStart while an engine runs, ignored");
            else
                MoveStart();
        }
        break;
    case kLineCount:
    case kLineCount + 1:
    case kLineCount + 2:
        if ((engine_ == EngineState::Scanning || engine_ == EngineState::Positioning) && !noLines_ &&
            (Field(kLineCount, 3) & 0xFFFFF) <= linesThisScan_)
            EndEngine();
        break;
    case kMemoryAddressHigh:
    case kMemoryAddressLow:
        shadingPointer_ = Field(kMemoryAddressHigh, 2) * 16 * 2;
        memoryRead_ = true;
        break;
    case kGammaAddressHigh:
    case kGammaAddressLow:
        gammaPointer_ = (Field(kGammaAddressHigh, 2) & 0x3FF) * 2;
        break;
    case kFrontEndDataLow:
        side_.FrontEndWrite(regs_[kFrontEndAddress] & 0x3F,
                            static_cast<std::uint16_t>(regs_[kFrontEndDataHigh] << 8 | value));
        break;
    case kFeedSteps:
    case kFeedSteps + 1:
    case kFeedSteps + 2:
        if (engine_ == EngineState::Moving || engine_ == EngineState::Positioning)
            stepsLeft_ = static_cast<std::int64_t>(Field(kFeedSteps, 3) & 0xFFFFF) + kLiveFeedExtraSteps;
        break;
    case kGpioLatch17:
    case kGpioLatch9:
    case kGpioLatch1:
    case kGpioDirection9:
    case kGpioDirection1:
        GpioWritten();
        break;
    default:
        break;
    }
}

void Gl841Chip::GpioWritten()
{
    const std::uint32_t directions = regs_[kGpioDirection1] | regs_[kGpioDirection9] << 8 | 0x3u << 16;
    const std::uint32_t latches =
        regs_[kGpioLatch1] | regs_[kGpioLatch9] << 8 | static_cast<std::uint32_t>(regs_[kGpioLatch17] & 3) << 16;
    side_.GpioChanged(directions, latches, now_);
}

std::uint8_t Gl841Chip::ReadRegister(std::uint8_t address) const
{
    if (Contains(kDataPorts, address))
        return 0;
    switch (address) {
    case kStatus:
        return Status();
    case kFifoWords:
    case kFifoWords + 1:
    case kFifoWords + 2: {
        const std::uint32_t words = static_cast<std::uint32_t>(std::min<std::size_t>(fifo_.size() / 2, 0xFFFFF));
        return static_cast<std::uint8_t>(words >> (8 * (kFifoWords + 2 - address)));
    }
    case kLinesScanned:
        return static_cast<std::uint8_t>(linesScanned_ >> 8);
    case kLinesScanned + 1:
        return static_cast<std::uint8_t>(linesScanned_);
    case kGpioLatch1:
        return static_cast<std::uint8_t>(side_.GpioLevels());
    case kGpioLatch9:
        return static_cast<std::uint8_t>(side_.GpioLevels() >> 8);
    case kGpioLatch17:
        return static_cast<std::uint8_t>((regs_[address] & ~3u) | ((side_.GpioLevels() >> 16) & 3));
    default:
        return regs_[address];
    }
}

std::uint8_t Gl841Chip::Register(std::uint8_t address) const { return ReadRegister(address); }

std::uint8_t Gl841Chip::Status() const
{
    bool motor = MotorRunning();
    bool idle = engine_ == EngineState::Idle;
    const bool scan = engine_ == EngineState::Scanning || engine_ == EngineState::Positioning;
    if (neverIdle_) {
        motor = true;
        idle = false;
    }
    return static_cast<std::uint8_t>((motor ? 0x01 : 0) | (scan ? 0x02 : 0) | (idle ? 0x10 : 0));
}

bool Gl841Chip::MotorRunning() const
{
    switch (engine_) {
    case EngineState::Moving:
    case EngineState::Positioning:
        return true;
    case EngineState::Scanning:
        return Bit(kMotorControl, 4);
    case EngineState::Idle:
        break;
    }
    return false;
}

void Gl841Chip::SetMotorNeverIdle(bool on)
{
    neverIdleArmed_ = on;
    if (!on)
        neverIdle_ = false;
}

// ---------------------------------------------------------------- bulk

std::optional<Gl841Chip::MemoryPort> Gl841Chip::Port(bool in)
{
    if (!in && selected_ == kPortShading)
        return MemoryPort{&shading_, &shadingPointer_};
    if (!in && selected_ == kPortGamma)
        return MemoryPort{&gamma_, &gammaPointer_};
    if (in && selected_ == kPortImage && memoryRead_)
        return MemoryPort{&shading_, &shadingPointer_};
    if (in && selected_ == kPortGammaRead)
        return MemoryPort{&gamma_, &gammaPointer_};
    return std::nullopt;
}

bool Gl841Chip::HeaderMatches(bool in, std::size_t length)
{
    if (header_ && header_->in == in && header_->length == length)
        return true;
    logs_.Violation("G3", std::string("bulk ") + (in ? "IN" : "OUT") + " of " + std::to_string(length) +
                              " bytes without a matching header");
    header_.reset();
    return false;
}

bool Gl841Chip::BulkOut(std::span<const std::uint8_t> data)
{
    if (!HeaderMatches(false, data.size()))
        return false;
    auto port = Port(false);
    if (!port) {
        logs_.Violation("G5", "bulk OUT to port " + Hex(selected_));
        header_->withdrawn = true;
        return false;
    }
    EndMemoryRead(false);
    header_.reset();
    std::vector<std::uint16_t>& memory = *port->words;
    std::uint32_t& pointer = *port->pointer;
    std::size_t dropped = 0;
    for (std::uint8_t byte : data) {
        if (pointer >= memory.size() * 2) {
            ++dropped;
            continue;
        }
        std::uint16_t& word = memory[pointer / 2];
        word = (pointer & 1) ? static_cast<std::uint16_t>((word & 0x00FF) | byte << 8)
                             : static_cast<std::uint16_t>((word & 0xFF00) | byte);
        ++pointer;
    }
    if (dropped)
        logs_.Violation("G6", std::to_string(dropped) + " bytes past the end of memory dropped");
    return true;
}

BulkInKind Gl841Chip::BulkInBegin(std::uint32_t length, std::vector<std::uint8_t>& memoryData)
{
    if (!HeaderMatches(true, length))
        return BulkInKind::Stall;
    if (selected_ == kPortImage && !memoryRead_) {
        header_->withdrawn = false;
        return BulkInKind::Image;
    }
    auto port = Port(true);
    if (!port) {
        logs_.Violation("G5", "bulk IN from port " + Hex(selected_));
        header_->withdrawn = true;
        return BulkInKind::Stall;
    }
    header_.reset();
    const std::vector<std::uint16_t>& memory = *port->words;
    std::uint32_t& pointer = *port->pointer;
    memoryData.assign(length, 0);
    std::size_t past = 0;
    for (auto& byte : memoryData) {
        if (pointer >= memory.size() * 2) {
            ++past;
            continue;
        }
        const std::uint16_t word = memory[pointer / 2];
        byte = static_cast<std::uint8_t>((pointer & 1) ? word >> 8 : word);
        ++pointer;
    }
    if (past)
        logs_.Violation("G6", std::to_string(past) + " bytes read past the end of memory");
    return BulkInKind::Memory;
}

std::size_t Gl841Chip::FifoTake(std::span<std::uint8_t> out, DeviceTime now)
{
    const std::size_t n = std::min(out.size(), fifo_.size());
    std::copy_n(fifo_.begin(), n, out.begin());
    fifo_.erase(fifo_.begin(), fifo_.begin() + static_cast<std::ptrdiff_t>(n));
    if (n)
        ResumeIfFits(std::max(now, now_));
    return n;
}

void Gl841Chip::FifoReturn(std::span<const std::uint8_t> bytes)
{
    fifo_.insert(fifo_.begin(), bytes.begin(), bytes.end());
}

void Gl841Chip::BulkInDone() { header_.reset(); }

void Gl841Chip::BulkWithdrawn(bool in)
{
    if (header_ && header_->in == in)
        header_->withdrawn = true;
}

void Gl841Chip::ResetPipe(bool in, bool out)
{
    if (header_ && ((header_->in && in) || (!header_->in && out)))
        header_.reset();
}

std::vector<std::uint16_t> Gl841Chip::ShadingWords(std::uint32_t first, std::uint32_t count) const
{
    first = std::min<std::uint32_t>(first, static_cast<std::uint32_t>(shading_.size()));
    count = std::min<std::uint32_t>(count, static_cast<std::uint32_t>(shading_.size()) - first);
    return {shading_.begin() + first, shading_.begin() + first + count};
}

std::vector<std::uint16_t> Gl841Chip::GammaWords(std::uint32_t first, std::uint32_t count) const
{
    first = std::min<std::uint32_t>(first, static_cast<std::uint32_t>(gamma_.size()));
    count = std::min<std::uint32_t>(count, static_cast<std::uint32_t>(gamma_.size()) - first);
    return {gamma_.begin() + first, gamma_.begin() + first + count};
}

// ---------------------------------------------------------------- engines

DeviceTime Gl841Chip::CountsToTime(std::uint64_t counts) const
{
    return DeviceTime(static_cast<std::int64_t>(counts * kClocksPerCount * 1'000'000'000ull / clockHz_));
}

int Gl841Chip::ClassIndex()
{
    const int flag = regs_[kGammaControl] >> 6;
    if (flag == 0)
        return 0;
    if (flag == 1)
        return board_.dpiClass >= 2400 ? 2 : board_.dpiClass >= 1200 ? 1 : 0;
    logs_.Violation("G7", "class flag " + std::to_string(flag) + ", 600 class used");
    return 0;
}

std::vector<std::uint16_t> Gl841Chip::MotorTable(int table, int classIndex)
{
    const std::uint32_t entries = 2u * regs_[kTableLength[table - 1]];
    if (entries == 0) {
        logs_.Violation("G10", "motor table " + std::to_string(table) + " has length 0");
        return {kEmptyTableEntry};
    }
    const std::uint32_t base = kClassLayouts[classIndex].motorTables + (table - 1) * kMotorTableStride;
    std::vector<std::uint16_t> out;
    out.reserve(entries);
    for (std::uint32_t i = 0; i < entries; ++i)
        out.push_back(base + i < shading_.size() ? shading_[base + i] : kMemoryResetWord);
    return out;
}

void Gl841Chip::MoveStart()
{
    if (!Bit(kScanControl, 6))
        logs_.Observation("O2", now_, "RunFlag 0 at MoveStart");
    if (Bit(kScanControl, 0))
        StartScan();
    else
        StartMove();
}

void Gl841Chip::StartMove()
{
    const std::uint32_t feed = Field(kFeedSteps, 3) & 0xFFFFF;
    if (feed == 0)
        return;
    table_ = MotorTable(4, ClassIndex());
    if (!Bit(kMotorControl, 4))
        logs_.Observation("O5", now_, "move with MotorPower 0 takes its time without motion");
    engine_ = EngineState::Moving;
    forward_ = !Bit(kMotorControl, 2);
    stepsLeft_ = static_cast<std::int64_t>(feed) + switches_.Integer("move_extra_steps");
    stepIndex_ = 0;
    side_.MotorIdle(false, now_);
    nextStep_ = now_ + StepTime();
}

void Gl841Chip::StartScan()
{
    const std::uint32_t period = Field(kLinePeriod, 2);
    if (period == 0) {
        logs_.Violation("G11", "LinePeriod 0, scan refused");
        return;
    }
    const int layout = (regs_[kModeControl] >> 2) & 3;
    if (layout > 1)
        logs_.Violation("G8", "channel layout " + std::to_string(layout) + ", mono used");
    const bool mono = layout != 0;
    const bool monoSelect = Bit(kColourSelect, 2);
    const bool colourSelect = Bit(kColourSelect, 4);
    if (mono ? (!monoSelect || colourSelect) : (monoSelect || !colourSelect))
        logs_.Violation("G12", std::string("colour select register does not match the ") +
                                   (mono ? "mono" : "colour") + " layout");
    const std::uint32_t first = static_cast<std::uint32_t>(board_.FirstActivePosition());
    if (regs_[kLineStartOffset] != first)
        logs_.Observation("O3", now_, "LineStartOffset " + std::to_string(regs_[kLineStartOffset]) +
                                          " differs from the first active position " + std::to_string(first));
    const std::uint32_t endPixel = Field(kEndPixel, 2);
    if (period < endPixel)
        logs_.Observation("O4", now_, "LinePeriod shorter than the readout to EndPixel");
    for (int k = 0; k < 3; ++k) {
        if (Field(static_cast<std::uint8_t>(kExposureEnd0 + 2 * k), 2) > period)
            logs_.Observation("O4", now_, "exposure end " + std::to_string(k) + " beyond LinePeriod");
    }

    scan_.mono = mono;
    scan_.classIndex = ClassIndex();
    LineSetup& line = scan_.line;
    line = LineSetup{};
    line.mono = mono;
    line.linePeriod = period;
    line.exposureLead = regs_[kExposureLead];
    for (int k = 0; k < 3; ++k)
        line.exposureEnd[k] = Field(static_cast<std::uint8_t>(kExposureEnd0 + 2 * k), 2);
    line.lampOn = Bit(kLampControl, 4);
    line.startPixel = Field(kStartPixel, 2);
    line.endPixel = endPixel;
    line.resolutionSetting = Field(kResolution, 2) & 0xFFF;
    line.dpiClass = kClassLayouts[scan_.classIndex].dpiClass;
    line.averaging = Bit(kLampControl, 7);
    line.shading = Bit(kScanControl, 5);
    line.shadingGainRange = Bit(kShadingControl, 3);
    line.lineStartOffset = regs_[kLineStartOffset];
    line.gamma = Bit(kGammaControl, 3);
    line.gammaDescending = Bit(kGammaDirection, 6);
    line.lineArt = Bit(kModeControl, 7);
    line.thresholdHigh = regs_[kThresholdHigh];
    line.thresholdLow = regs_[kThresholdLow];
    const std::uint64_t span = line.endPixel > line.startPixel ? line.endPixel - line.startPixel : 0;
    const std::uint64_t width = (span * line.resolutionSetting + line.dpiClass - 1) / line.dpiClass;
    line.outputBytes = static_cast<std::uint32_t>(line.lineArt ? (width + 7) / 8 : width);

    side_.ScanStarting(mono);
    linesThisScan_ = 0;
    readyLine_.reset();
    paused_ = false;
    forward_ = !Bit(kScanDirection, 3);
    side_.MotorIdle(false, now_);
    const std::uint32_t feed = Field(kFeedSteps, 3) & 0xFFFFF;
    if (feed > 0) {
        engine_ = EngineState::Positioning;
        table_ = MotorTable(Bit(kMotorControl, 3) ? 4 : 1, scan_.classIndex);
        stepsLeft_ = static_cast<std::int64_t>(feed) + kPositioningExtraSteps;
        stepIndex_ = 0;
        nextStep_ = now_ + StepTime();
    } else {
        BeginLines(now_);
    }
}

DeviceTime Gl841Chip::StepTime() const
{
    const std::size_t i = std::min<std::size_t>(stepIndex_, table_.size() - 1);
    return CountsToTime(table_[i]);
}

void Gl841Chip::BeginLines(DeviceTime when)
{
    engine_ = EngineState::Scanning;
    if (!noLines_ && (Field(kLineCount, 3) & 0xFFFFF) == 0) {
        EndEngine();
        return;
    }
    StartLineMotor(when);
    nextMiddle_ = when + CountsToTime(scan_.line.linePeriod) / 2;
    nextLineEnd_ = when + CountsToTime(scan_.line.linePeriod);
}

void Gl841Chip::StartLineMotor(DeviceTime when)
{
    // During lines the motor runs through table 1 only while MotorPower is 1.
    nextStep_.reset();
    if (!Bit(kMotorControl, 4))
        return;
    table_ = MotorTable(1, scan_.classIndex);
    stepIndex_ = 0;
    nextStep_ = when + StepTime();
}

void Gl841Chip::Step(DeviceTime when)
{
    const bool powered = Bit(kMotorControl, 4);
    side_.MotorStep(forward_, powered, when);
    if (powered)
        motorPosition_ += forward_ ? 1 : -1;
    ++stepIndex_;
    if (engine_ == EngineState::Scanning && !powered) {
        nextStep_.reset();
        return;
    }
    if (engine_ == EngineState::Moving || engine_ == EngineState::Positioning) {
        if (--stepsLeft_ <= 0) {
            nextStep_.reset();
            if (engine_ == EngineState::Positioning)
                BeginLines(when);
            else
                EndEngine();
            return;
        }
    }
    nextStep_ = when + StepTime();
}

void Gl841Chip::LineMiddle(DeviceTime when)
{
    nextMiddle_.reset();
    LineSetup line = scan_.line;
    line.chipColour = scan_.mono ? 0 : static_cast<int>(linesScanned_ % 3);
    const ClassLayout& layout = kClassLayouts[scan_.classIndex];
    const std::array<std::uint32_t, 3> shadingBase{0, layout.shadingA, layout.shadingB};
    line.shadingBase = scan_.mono ? 0 : shadingBase[line.chipColour];
    line.gammaSlot = scan_.mono ? kGammaSlot[1] : kGammaSlot[line.chipColour];
    line.middle = when;
    line.lineNumber = linesScanned_;
    line.clockHz = clockHz_;
    std::vector<std::uint8_t> bytes = side_.ReadLine(line, shading_, gamma_);
    bytes.resize(line.outputBytes);
    readyLine_ = std::move(bytes);
}

std::size_t Gl841Chip::FifoCapacity() const
{
    return static_cast<std::size_t>(std::max<long>(4, switches_.Integer("fifo_bytes")));
}

bool Gl841Chip::LineFits()
{
    if (fifo_.size() + readyLine_->size() <= FifoCapacity())
        return true;
    if (!fifo_.empty())
        return false;
    // A line larger than the whole FIFO could never fit: take it rather than
    // stall the scan for good.
    logs_.ObservationOnce("fifo-small", "FIFO", now_, "FIFO smaller than one line");
    return true;
}

void Gl841Chip::LineEnd(DeviceTime when)
{
    nextLineEnd_.reset();
    if (noLines_) {
        readyLine_.reset();
    } else {
        if (!readyLine_)
            LineMiddle(when);
        if (!LineFits()) {
            // Back-pressure: lines and motor wait until the line fits.
            paused_ = true;
            pausedAt_ = when;
            return;
        }
        fifo_.insert(fifo_.end(), readyLine_->begin(), readyLine_->end());
        readyLine_.reset();
        ++linesScanned_;
        ++linesThisScan_;
        if (linesThisScan_ >= (Field(kLineCount, 3) & 0xFFFFF)) {
            EndEngine();
            return;
        }
    }
    nextMiddle_ = when + CountsToTime(scan_.line.linePeriod) / 2;
    nextLineEnd_ = when + CountsToTime(scan_.line.linePeriod);
}

void Gl841Chip::ResumeIfFits(DeviceTime now)
{
    if (!paused_ || !readyLine_ || !LineFits())
        return;
    paused_ = false;
    if (nextStep_)
        *nextStep_ += now - pausedAt_;
    LineEnd(now);
}

void Gl841Chip::EndEngine()
{
    engine_ = EngineState::Idle;
    nextStep_.reset();
    nextMiddle_.reset();
    nextLineEnd_.reset();
    readyLine_.reset();
    paused_ = false;
    if (switches_.On("scan_enable_autoclear") || autoclearFault_)
        regs_[kScanControl] &= ~1u;
    if (neverIdleArmed_) {
        neverIdleArmed_ = false;
        neverIdle_ = true;
    }
    side_.MotorIdle(true, now_);
}

bool Gl841Chip::WillProduce() const
{
    return (engine_ == EngineState::Scanning || engine_ == EngineState::Positioning) && !noLines_;
}

DeviceTime Gl841Chip::NextEvent() const
{
    DeviceTime next = DeviceTime::max();
    for (const auto& t : {nextStep_, nextMiddle_, nextLineEnd_}) {
        if (t && !paused_)
            next = std::min(next, *t);
    }
    return next;
}

void Gl841Chip::AdvanceTo(DeviceTime now)
{
    for (;;) {
        const DeviceTime next = NextEvent();
        if (next > now)
            break;
        now_ = next;
        if (nextStep_ && *nextStep_ == next)
            Step(next);
        else if (nextMiddle_ && *nextMiddle_ == next)
            LineMiddle(next);
        else if (nextLineEnd_ && *nextLineEnd_ == next)
            LineEnd(next);
    }
    now_ = std::max(now_, now);
    side_.AdvanceTo(now_);
}

}  // namespace emulator
