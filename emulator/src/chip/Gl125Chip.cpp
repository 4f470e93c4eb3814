#include "chip/Gl125Chip.h"
#include "core/ByteOrder.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "chip/Gl125Registers.h"

namespace emulator {

using namespace gl125;

// Rules this chip logs in the protocol-violation log.
//   K1 refused request           K2 bulk transfer without its header
//   K3 header replaces one       K4 memory address outside / past gamma
//   K5 read-only high register   K6 start while busy
//   K7 format registers          K8 sensor registers
//   K9 averaging ratio           K10 gamma direction flags
//   K11 shading areas            K12 zero-length motor table
//   K13 image read timed out     K14 clock codes disagree
namespace {

std::string Hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

constexpr std::uint32_t CeilDiv(std::uint64_t a, std::uint64_t b)
{
    return static_cast<std::uint32_t>((a + b - 1) / b);
}

}  // namespace

Gl125Chip::Gl125Chip(const BoardProfile& board, const Switches& switches, DeviceLogsStore& logs, Gl125Board& side)
    : board_(board), switches_(switches), logs_(logs), side_(side)
{
    PowerReset();
}

void Gl125Chip::PowerReset()
{
    low_.fill(0);
    high_.fill(0);
    high_[kStatus - kHighBank] = kStatusReset;
    gamma_.assign(kGammaBytes, kMemoryReset);
    main_.assign(static_cast<std::size_t>(switches_.Integer("gl125.mem_size")), kMemoryReset);
    header_.reset();
    masterCode_ = kFirstClockCode;
    secondCode_ = kFirstClockCode;
    wordsSnapshot_.reset();
    linesSnapshot_.reset();
    fifo_.clear();
    linesMade_ = 0;
    imageMode_ = false;
    engine_ = EngineState::Idle;
    clockHz_ = kClockHz[0];
    nextStep_.reset();
    nextMiddle_.reset();
    nextLineEnd_.reset();
    readyLine_.reset();
    paused_ = false;
    linesThisScan_ = 0;
    stepCount_ = 0;
    neverIdle_ = false;
    side_.PowerReset();
}

// ---------------------------------------------------------------- registers

std::uint8_t& Gl125Chip::Reg(std::uint16_t address)
{
    return address < kHighBank ? low_[address] : high_[(address - kHighBank) & kHighBankLast];
}

std::uint8_t Gl125Chip::RegValue(std::uint16_t address) const
{
    return address < kHighBank ? low_[address] : high_[(address - kHighBank) & kHighBankLast];
}

std::uint32_t Gl125Chip::Field(std::uint16_t first, int bytes, std::uint32_t mask) const
{
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | RegValue(static_cast<std::uint16_t>(first + i));
    return value & mask;
}

std::uint8_t Gl125Chip::Read(std::uint16_t address) const
{
    for (const GpioByte& g : kGpioBytes) {
        if (address != g.value)
            continue;
        const std::uint32_t levels = side_.GpioLevels();
        std::uint8_t v = low_[address];
        for (int b = 0; b < 8; ++b) {
            const int pin = g.pins[static_cast<std::size_t>(b)];
            if (pin == 0)
                continue;
            const bool high = (levels >> (pin - 1)) & 1;
            v = static_cast<std::uint8_t>(high ? v | (1u << b) : v & ~(1u << b));
        }
        return v;
    }
    const auto byteOf = [](std::uint32_t value, std::uint16_t first, std::uint16_t at) {
        return static_cast<std::uint8_t>(value >> (8 * (first + 2 - at)));
    };
    switch (address) {
    case kStrobes:
    case kStart:
        return 0;
    case kStatus:
        return Status();
    case kWordsWaiting:
    case kWordsWaiting + 1:
    case kWordsWaiting + 2:
        return byteOf(static_cast<std::uint32_t>(std::min<std::size_t>(fifo_.size() / 2, kMask20)), kWordsWaiting,
                      address);
    case kLinesMade:
    case kLinesMade + 1:
    case kLinesMade + 2:
        return byteOf(linesMade_ & kMask20, kLinesMade, address);
    default:
        return RegValue(address);
    }
}

std::uint8_t Gl125Chip::ReadForHost(std::uint16_t address)
{
    if (address == kStatus && busyReads_ > 0) {
        --busyReads_;
        return 0x03;
    }
    // Unless counters may tear, reading a counter's top byte holds the value
    // for the reads of its lower bytes.
    const bool tear = switches_.On("gl125.counter_tear");
    for (auto [first, snapshot] : {std::pair{kWordsWaiting, &wordsSnapshot_}, std::pair{kLinesMade, &linesSnapshot_}}) {
        if (address < first || address > first + 2)
            continue;
        if (tear)
            return Read(address);
        if (address == first) {
            *snapshot = static_cast<std::uint32_t>(Read(first)) << 16 | Read(first + 1) << 8 | Read(first + 2);
        }
        if (!*snapshot)
            return Read(address);
        const auto v = static_cast<std::uint8_t>(**snapshot >> (8 * (first + 2 - address)));
        if (address == first + 2)
            snapshot->reset();
        return v;
    }
    return Read(address);
}

void Gl125Chip::Write(std::uint16_t address, std::uint8_t value)
{
    low_[address] = value;
    switch (address) {
    case kScanControl:
        if ((value & 1) == 0) {
            if (engine_ == EngineState::Scanning || engine_ == EngineState::Positioning)
                EndEngine();
            imageMode_ = false;
        }
        break;
    case kMotorControl:
        if (engine_ == EngineState::Scanning && !paused_ && Bit(kMotorControl, 4) && !nextStep_)
            StartLineMotor(now_);
        break;
    case kStrobes:
        if (value & 0x01) {
            fifo_.clear();
            linesMade_ = 0;
            wordsSnapshot_.reset();
            linesSnapshot_.reset();
        }
        if (value & 0x04)
            stepCount_ = 0;
        low_[address] = 0;
        break;
    case kStart:
        low_[address] = 0;
        if (value != 0) {
            if (engine_ != EngineState::Idle)
                logs_.Violation("K6", "start while an engine runs, ignored");
            else
                Start();
        }
        break;
    case kRunCount:
    case kRunCount + 1:
    case kRunCount + 2:
        if (engine_ == EngineState::Moving || engine_ == EngineState::Positioning)
            ramp_.runLeft = std::min(ramp_.runLeft, Field(kRunCount, 3, kMask20));
        break;
    case kFrontEndHigh:
    case kFrontEndLow:
        if ((address == kFrontEndHigh) == (switches_.Get("gl125.afe_commit") == "on_5D")) {
            // Bits 0–5 address the front end's 64 registers.
            side_.FrontEndWrite(low_[kFrontEndAddress] & 0x3F,
                                static_cast<std::uint16_t>((low_[kFrontEndHigh] & 1) << 8 | low_[kFrontEndLow]));
        }
        break;
    default:
        for (const GpioByte& g : kGpioBytes) {
            if (address == g.value || address == g.enable)
                GpioWritten();
        }
        break;
    }
}

void Gl125Chip::GpioWritten()
{
    std::uint32_t enables = 0;
    std::uint32_t latches = 0;
    for (const GpioByte& g : kGpioBytes) {
        for (int b = 0; b < 8; ++b) {
            const int pin = g.pins[static_cast<std::size_t>(b)];
            if (pin == 0)
                continue;
            if ((low_[g.enable] >> b) & 1)
                enables |= 1u << (pin - 1);
            if ((low_[g.value] >> b) & 1)
                latches |= 1u << (pin - 1);
        }
    }
    side_.GpioChanged(enables, latches, now_);
}

std::uint8_t Gl125Chip::Status() const
{
    bool motor = MotorEngaged();
    const bool scan = engine_ == EngineState::Scanning || engine_ == EngineState::Positioning;
    bool idle = !motor && !scan;
    if (neverIdle_) {
        motor = true;
        idle = false;
    }
    return static_cast<std::uint8_t>((motor ? 0x01 : 0) | (scan ? 0x02 : 0) | (idle ? 0x10 : 0));
}

bool Gl125Chip::MotorEngaged() const
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

void Gl125Chip::SetMotorNeverIdle(bool on)
{
    neverIdleArmed_ = on;
    if (!on)
        neverIdle_ = false;
}

std::uint32_t Gl125Chip::ClockHz() const
{
    const unsigned code = switches_.Get("gl125.clock_source") == "register"
                              ? (low_[kClockRegister] >> 5) + kFirstClockCode
                              : masterCode_;
    const unsigned i = code - kFirstClockCode;
    return i < kClockHz.size() ? kClockHz[i] : kClockHz[0];
}

// ---------------------------------------------------------------- requests

bool Gl125Chip::Refuse(const std::string& text)
{
    logs_.Violation("K1", "refused " + text);
    return false;
}

bool Gl125Chip::VendorIn(std::uint16_t request, std::uint16_t index, std::uint32_t length,
                         std::vector<std::uint8_t>& out)
{
    const std::string what = "control IN " + Hex(request) + " index " + Hex(index) + " length " + std::to_string(length);
    const auto marker = static_cast<std::uint8_t>(switches_.Integer("gl125.read_marker"));
    if (request == kRequestReadLow && index == 0 && length == 1) {
        out.assign(1, switches_.On("gl125.full_speed") || switches_.Integer("packet_size") == 64 ? 0x08 : 0x00);
        return true;
    }
    if ((request != kRequestReadLow && request != kRequestReadHigh) || (index & 0xFF) != kReadIndexMarker ||
        length != 2)
        return Refuse(what);
    const auto r = static_cast<std::uint8_t>(index >> 8);
    if (request == kRequestReadHigh && r > kHighBankLast) {
        logs_.Violation("K1", "high-bank read of " + Hex(kHighBank + r) + " past the bank");
        out = {0, marker};
        return true;
    }
    out = {ReadForHost(static_cast<std::uint16_t>(request == kRequestReadHigh ? kHighBank + r : r)), marker};
    return true;
}

bool Gl125Chip::VendorOut(std::uint16_t request, std::uint16_t index, std::span<const std::uint8_t> data,
                          std::size_t acting)
{
    const std::string what =
        "control OUT " + Hex(request) + " index " + Hex(index) + " length " + std::to_string(data.size());
    switch (request) {
    case kRequestWriteLow:
    case kRequestWriteHigh: {
        if (index != 0 || data.empty() || data.size() % 2 != 0 || data.size() > 2 * kMaxPairs)
            return Refuse(what);
        for (std::size_t i = 0; i + 2 <= acting && i + 2 <= data.size(); i += 2) {
            if (request == kRequestWriteLow) {
                Write(data[i], data[i + 1]);
                continue;
            }
            const auto address = static_cast<std::uint16_t>(kHighBank + data[i]);
            if (address == kThresholdHigh || address == kThresholdLow)
                Reg(address) = data[i + 1];
            else
                logs_.Violation("K5", "write of read-only register " + Hex(address) + ", kept");
        }
        return true;
    }
    case kRequestClock:
        if (data.size() != 1 || (index != kClockMasterIndex && index != kClockSecondIndex))
            return Refuse(what);
        if (index == kClockMasterIndex &&
            (data[0] < kFirstClockCode || data[0] >= kFirstClockCode + kClockHz.size()))
            return Refuse(what + ": clock code " + std::to_string(data[0]));
        if (acting < 1)
            return true;
        (index == kClockMasterIndex ? masterCode_ : secondCode_) = data[0];
        return true;
    case kRequestBulkHeader:
        if (data.size() != 8 || index > 1)
            return Refuse(what);
        if (acting == data.size())
            ArmHeader(index == 0, data);
        return true;
    default:
        return Refuse(what);
    }
}

// ---------------------------------------------------------------- bulk

void Gl125Chip::ArmHeader(bool in, std::span<const std::uint8_t> data)
{
    const std::uint32_t address = LoadLe32(data, 0);
    const std::uint32_t length = LoadLe32(data, 4);
    if (length == 0) {
        logs_.Violation("K2", "bulk header of length 0, ignored");
        return;
    }
    if (header_ && !header_->withdrawn)
        logs_.Violation("K3", "bulk header replaces an armed one");
    header_ = BulkHeader{in, address, length, false};
}

bool Gl125Chip::HeaderMatches(bool in, std::uint32_t length)
{
    if (header_ && header_->in == in && header_->length == length)
        return true;
    logs_.Violation("K2", std::string("bulk ") + (in ? "IN" : "OUT") + " of " + std::to_string(length) +
                              " bytes without a matching header");
    header_.reset();
    return false;
}

bool Gl125Chip::ImageRead(std::uint32_t address) const
{
    if (!imageMode_)
        return false;
    if (switches_.Get("gl125.image_read_rule") == "window")
        return address >= kImageAddress && address - kImageAddress < kImageWindowBytes;
    return address == kImageAddress;
}

std::uint8_t* Gl125Chip::Byte(std::uint32_t address)
{
    if (address >= kGammaBase && address - kGammaBase < kGammaBytes)
        return &gamma_[address - kGammaBase];
    if (address >= kMainBase && address - kMainBase < MainSize())
        return &main_[address - kMainBase];
    return nullptr;
}

int Gl125Chip::RegionOf(std::uint32_t address) const
{
    if (address >= kGammaBase && address - kGammaBase < kGammaBytes)
        return static_cast<int>(std::min((address - kGammaBase) / kGammaSlotBytes, kGammaSlots));
    if (address < kMainBase || address - kMainBase >= MainSize())
        return -1;
    const std::uint32_t offset = address - kMainBase;
    int area = -1;
    for (int c = 0; c < 3; ++c) {
        if (offset >= kShadingAreaUnit * low_[kShadingArea + c])
            area = c;
    }
    if (area >= 0 && low_[kShadingArea] != 0)
        return 10 + area;
    return 20 + static_cast<int>(offset / kMotorTableBytes);
}

bool Gl125Chip::BulkOut(std::span<const std::uint8_t> data)
{
    if (!HeaderMatches(false, static_cast<std::uint32_t>(data.size())))
        return false;
    const std::uint32_t start = header_->address;
    header_.reset();
    std::size_t outside = 0;
    bool pastGamma = false;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto address = static_cast<std::uint32_t>(start + i);
        std::uint8_t* byte = Byte(address);
        if (!byte) {
            ++outside;
            continue;
        }
        pastGamma = pastGamma || (address >= kGammaBase + kGammaSlots * kGammaSlotBytes && address < kMainBase);
        *byte = data[i];
    }
    if (outside)
        logs_.Violation("K4", std::to_string(outside) + " bytes written outside memory dropped");
    if (pastGamma)
        logs_.Violation("K4", "gamma write at or past " + Hex(kGammaBase + kGammaSlots * kGammaSlotBytes));
    const auto last = static_cast<std::uint32_t>(start + data.size() - 1);
    if (RegionOf(start) != RegionOf(last))
        logs_.Observation("K-region", now_, "bulk OUT at " + Hex(start) + " of " + std::to_string(data.size()) +
                                                " bytes crosses into another region");
    return true;
}

BulkInKind Gl125Chip::BulkInBegin(std::uint32_t length, std::vector<std::uint8_t>& memoryData)
{
    if (!HeaderMatches(true, length))
        return BulkInKind::Stall;
    if (ImageRead(header_->address)) {
        header_->withdrawn = false;
        return BulkInKind::Image;
    }
    const std::uint32_t start = header_->address;
    header_.reset();
    memoryData.assign(length, 0);
    std::size_t outside = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t* byte = Byte(static_cast<std::uint32_t>(start + i));
        if (byte)
            memoryData[i] = *byte;
        else
            ++outside;
    }
    if (outside)
        logs_.Violation("K4", std::to_string(outside) + " bytes read outside memory");
    return BulkInKind::Memory;
}

std::size_t Gl125Chip::FifoTake(std::span<std::uint8_t> out, DeviceTime now)
{
    const std::size_t n = std::min(out.size(), fifo_.size());
    std::copy_n(fifo_.begin(), n, out.begin());
    fifo_.erase(fifo_.begin(), fifo_.begin() + static_cast<std::ptrdiff_t>(n));
    if (n)
        ResumeIfFits(std::max(now, now_));
    return n;
}

void Gl125Chip::FifoReturn(std::span<const std::uint8_t> bytes) { fifo_.insert(fifo_.begin(), bytes.begin(), bytes.end()); }

void Gl125Chip::BulkWithdrawn(bool in)
{
    if (header_ && header_->in == in)
        header_->withdrawn = true;
}

void Gl125Chip::ResetPipe(bool in, bool out)
{
    if (header_ && ((header_->in && in) || (!header_->in && out)))
        header_.reset();
}

std::optional<DeviceTime> Gl125Chip::ImageReadTimeout() const
{
    return DeviceTime(static_cast<std::int64_t>(kImageReadTimeoutSeconds * 1e9));
}

void Gl125Chip::ImageReadTimedOut(std::size_t delivered, std::size_t wanted)
{
    logs_.Violation("K13", "image read of " + std::to_string(wanted) + " bytes timed out with " +
                               std::to_string(delivered) + " waiting");
}

std::uint16_t Gl125Chip::MainWord(std::uint32_t offset) const
{
    if (offset + 1 >= MainSize())
        return 0;
    return static_cast<std::uint16_t>(main_[offset] | main_[offset + 1] << 8);
}

std::vector<std::uint16_t> Gl125Chip::ShadingWords(std::uint32_t first, std::uint32_t count) const
{
    const std::uint32_t words = MainSize() / 2;
    first = std::min(first, words);
    count = std::min(count, words - first);
    std::vector<std::uint16_t> out(count);
    for (std::uint32_t i = 0; i < count; ++i)
        out[i] = MainWord(2 * (first + i));
    return out;
}

std::vector<std::uint16_t> Gl125Chip::GammaWords(std::uint32_t first, std::uint32_t count) const
{
    const std::uint32_t words = kGammaBytes / 2;
    first = std::min(first, words);
    count = std::min(count, words - first);
    std::vector<std::uint16_t> out(count);
    for (std::uint32_t i = 0; i < count; ++i)
        out[i] = static_cast<std::uint16_t>(gamma_[2 * (first + i)] | gamma_[2 * (first + i) + 1] << 8);
    return out;
}

// ---------------------------------------------------------------- engines

DeviceTime Gl125Chip::Ticks(std::uint64_t ticks) const
{
    return DeviceTime(static_cast<std::int64_t>(ticks * kClocksPerTick * 1'000'000'000ull / clockHz_));
}

std::vector<std::uint16_t> Gl125Chip::MotorTable(int table) const
{
    const std::uint32_t length = Field(kTableLength[static_cast<std::size_t>(table - 1)], 2, kMask13);
    const std::uint32_t base = static_cast<std::uint32_t>(table - 1) * kMotorTableBytes;
    std::vector<std::uint16_t> out(length);
    for (std::uint32_t i = 0; i < length; ++i)
        out[i] = MainWord(base + 2 * i);
    return out;
}

Gl125Chip::Ramp Gl125Chip::MakeRamp(std::uint32_t run, bool fast)
{
    const std::vector<std::uint16_t> t4 = MotorTable(4);
    const std::vector<std::uint16_t> t5 = MotorTable(5);
    Ramp ramp;
    ramp.runLeft = run;
    ramp.run = t4.empty() ? kEmptyTableTicks : t4.back();
    if (switches_.Get("gl125.ramp_rule") == "entries") {
        ramp.accel = t4;
        ramp.decel.assign(t5.rbegin(), t5.rend());
    } else {
        // Four steps each way, spread over the table's length.
        for (std::uint32_t i = 0; i < kFixedRampSteps; ++i) {
            ramp.accel.push_back(
                t4.empty() ? kEmptyTableTicks : t4[CeilDiv((i + 1) * t4.size(), kFixedRampSteps) - 1]);
            ramp.decel.push_back(
                t5.empty() ? kEmptyTableTicks : t5[CeilDiv((kFixedRampSteps - i) * t5.size(), kFixedRampSteps) - 1]);
        }
    }
    if (run > 0 && fast && (t4.empty() || t5.empty()))
        logs_.Violation("K12", "motor table " + std::string(t4.empty() ? "4" : "5") + " has length 0");
    if (!fast) {
        // Without the fast bit every step takes table 1's last entry.
        const std::vector<std::uint16_t> t1 = MotorTable(1);
        if (run > 0 && t1.empty())
            logs_.Violation("K12", "motor table 1 has length 0");
        const std::uint16_t period = t1.empty() ? kEmptyTableTicks : t1.back();
        std::fill(ramp.accel.begin(), ramp.accel.end(), period);
        std::fill(ramp.decel.begin(), ramp.decel.end(), period);
        ramp.run = period;
    }
    return ramp;
}

std::optional<std::uint16_t> Gl125Chip::NextRampStep()
{
    if (ramp_.accelDone < ramp_.accel.size())
        return ramp_.accel[ramp_.accelDone++];
    if (ramp_.runLeft > 0) {
        --ramp_.runLeft;
        return ramp_.run;
    }
    if (ramp_.decelDone < ramp_.decel.size())
        return ramp_.decel[ramp_.decelDone++];
    return std::nullopt;
}

void Gl125Chip::Start()
{
    clockHz_ = ClockHz();
    const unsigned registerCode = (low_[kClockRegister] >> 5) + kFirstClockCode;
    if (masterCode_ != secondCode_ || masterCode_ != registerCode)
        logs_.Violation("K14", "clock codes disagree: request " + std::to_string(masterCode_) + ", second select " +
                                   std::to_string(secondCode_) + ", register " + std::to_string(registerCode));
    if (!Bit(kScanControl, 6))
        logs_.Observation("K-run-bit", now_, "run bit 0 at a start");
    if (Bit(kScanControl, 0))
        StartScan();
    else
        StartMove();
}

void Gl125Chip::StartMove()
{
    imageMode_ = false;
    const std::uint32_t run = Field(kRunCount, 3, kMask20);
    if (run == 0)
        return;
    if (!Bit(kMotorControl, 4))
        logs_.Observation("K-unpowered", now_, "move without motor power: steps counted, paper stays");
    ramp_ = MakeRamp(run, true);
    engine_ = EngineState::Moving;
    forward_ = !Bit(kMotorControl, 2);
    side_.MotorIdle(false, now_);
    const auto period = NextRampStep();
    if (!period) {
        EndEngine();
        return;
    }
    nextStep_ = now_ + Ticks(*period);
}

void Gl125Chip::CheckGamma(bool mono)
{
    for (int c = 0; c < (mono ? 1 : 3); ++c) {
        const bool inverted = (low_[kGammaInverted] >> c) & 1;
        const bool notUpright = !((low_[kGammaUpright] >> c) & 1);
        const bool allOnes = Field(static_cast<std::uint16_t>(kGammaInvertedWords + 2 * c), 2, 0xFFFF) == 0xFFFF;
        const std::uint32_t slot = kGammaSlotBytes * static_cast<std::uint32_t>(c);
        const auto entry = [&](std::uint32_t i) {
            return static_cast<std::uint16_t>(gamma_[slot + 2 * i] | gamma_[slot + 2 * i + 1] << 8);
        };
        const bool descending = entry(255) < entry(0);
        if (inverted != notUpright || inverted != allOnes)
            logs_.Violation("K10", "gamma slot " + std::to_string(c) + ": inverted flags disagree");
        else if (inverted != descending)
            logs_.Violation("K10", "gamma slot " + std::to_string(c) + ": inverted flags disagree with the table");
    }
}

void Gl125Chip::CheckScanStart(bool mono)
{
    const int colours = low_[kColoursPerLine] & 0x0F;
    if (colours != (mono ? 0 : 2))
        logs_.Violation("K7", "0x0C says " + std::to_string(colours + 1) + " colours a line in " +
                                  (mono ? "mono" : "colour"));
    const bool monoLeds = Bit(kLedSequencing, 2);
    const bool colourLeds = Bit(kLedSequencing, 4);
    if (monoLeds == colourLeds || monoLeds != mono)
        logs_.Violation("K7", "LED sequencing 0x60 does not match the " + std::string(mono ? "mono" : "colour") +
                                  " format");
    if ((low_[kGammaControl] >> 6) != 0)
        logs_.Violation("K7", "dpi class flag " + std::to_string(low_[kGammaControl] >> 6) + ", class 600 used");

    const Gl125Module& module = side_.Module();
    if (Bit(kSensorControl, 4))
        logs_.Violation("K8", "sensor control flag set");
    const std::uint32_t factor = Field(kModeFactor, 2, kMask13);
    if (factor != module.modeFactor)
        logs_.Violation("K8", "mode factor " + std::to_string(factor) + ", the sensor needs " +
                                  std::to_string(module.modeFactor));
    const auto first = static_cast<std::uint32_t>(board_.dummyPixels + kFirstActiveAfterDummy);
    if (Field(kFirstActive, 2, kMask15) != first)
        logs_.Violation("K8", "first active position " + std::to_string(Field(kFirstActive, 2, kMask15)) +
                                  ", the sensor's is " + std::to_string(first));
    if (side_.PinLatch(kSensorSelectPin) != module.sensorSelect)
        logs_.Violation("K8", "SensorSelect pin at the wrong level for the sensor");

    if (Bit(kScanControl, 5)) {
        const std::uint8_t a0 = low_[kShadingArea];
        const std::uint8_t a1 = low_[kShadingArea + 1];
        const std::uint8_t a2 = low_[kShadingArea + 2];
        if (std::min({a0, a1, a2}) < kLowestAreaRegister || !(a0 < a1 && a1 < a2) ||
            kShadingAreaUnit * a2 + kLastAreaBytes > MainSize())
            logs_.Violation("K11", "shading areas " + std::to_string(a0) + ", " + std::to_string(a1) + ", " +
                                       std::to_string(a2) + " overlap or leave memory");
    }
    if (Bit(kGammaControl, 3))
        CheckGamma(mono);
}

void Gl125Chip::StartScan()
{
    const int format = (low_[kFormat] >> 4) & 3;
    if (format > 1)
        logs_.Violation("K7", "format " + std::to_string(format) + " in 0x04, mono used");
    const bool mono = format != 0;
    CheckScanStart(mono);

    Gl125LineSetup& line = scan_.line;
    line = Gl125LineSetup{};
    line.mono = mono;
    line.linePeriod = Field(kLinePeriod, 3, kMask21);
    line.ledOn = Field(kLedOn, 2, 0xFFFF);
    for (std::size_t c = 0; c < 3; ++c)
        line.ledEnd[c] = Field(kLedEnd[c], 3, kMask21);
    line.tickSeconds = static_cast<double>(kClocksPerTick) / clockHz_;
    line.firstActive = Field(kFirstActive, 2, kMask15);
    line.windowStart = Field(kWindowStart, 3, kMask17);
    const std::uint32_t windowEnd = Field(kWindowEnd, 3, kMask17);
    line.resolution = Field(kResolution, 2, kMask14);
    const bool divisorBit = Bit(kLampControl, 6);
    const bool integer = line.resolution != 0 && kDpiClass % line.resolution == 0;
    if (divisorBit && !integer)
        logs_.Violation("K9", "integer divisor with class / R = " + std::to_string(kDpiClass) + "/" +
                                  std::to_string(line.resolution) + ", resampling used");
    line.averaging = divisorBit && integer;
    line.lineArt = Bit(kFormat, 7);
    const std::uint64_t span = windowEnd > line.windowStart ? windowEnd - line.windowStart : 0;
    std::uint32_t width = CeilDiv(span * line.resolution, kDpiClass);
    const std::uint32_t pad = line.lineArt ? 16 : 2;
    line.width = (width + pad - 1) / pad * pad;
    line.shading = Bit(kScanControl, 5);
    line.shadingShift = Bit(kShadingControl, 3) ? 14 : 13;
    line.shadingSlotLead = divisorBit || switches_.Get("gl125.shading_slot") == "always3" ? 3 : 2;
    line.gamma = Bit(kGammaControl, 3);
    line.gammaInterpolate = switches_.On("gl125.gamma_interp");
    line.thresholdHigh = RegValue(kThresholdHigh);
    line.thresholdLow = RegValue(kThresholdLow);
    for (int c = 0; c < 3; ++c)
        scanAreas_[static_cast<std::size_t>(c)] = kShadingAreaUnit * low_[kShadingArea + c];

    // Timing checks: logged, the scan runs.
    const double lineSeconds = line.linePeriod * line.tickSeconds;
    if (line.linePeriod == 0)
        logs_.Observation("K-timing", now_, "line period 0: no lines");
    else if (lineSeconds > kLongestLineSeconds)
        logs_.Observation("K-timing", now_, "line period above 90 ms");
    if (windowEnd > line.linePeriod)
        logs_.Observation("K-timing", now_, "window end beyond the line period");
    for (std::size_t c = 0; c < 3; ++c) {
        if (line.ledEnd[c] > line.linePeriod)
            logs_.Observation("K-timing", now_, "LED end " + std::to_string(c) + " beyond the line period");
    }

    imageMode_ = true;
    side_.ScanStarting(mono);
    linesThisScan_ = 0;
    readyLine_.reset();
    paused_ = false;
    forward_ = !Bit(kScanDirection, 3);
    side_.MotorIdle(false, now_);
    const std::uint32_t run = Field(kRunCount, 3, kMask20);
    if (run == 0) {
        BeginLines(now_);
        return;
    }
    engine_ = EngineState::Positioning;
    ramp_ = MakeRamp(run, Bit(kMotorControl, 3));
    const auto period = NextRampStep();
    if (!period) {
        BeginLines(now_);
        return;
    }
    nextStep_ = now_ + Ticks(*period);
}

void Gl125Chip::BeginLines(DeviceTime when)
{
    engine_ = EngineState::Scanning;
    const std::uint32_t period = scan_.line.linePeriod;
    if (period == 0 || (!noLines_ && Field(kLineCount, 3, kMask20) == 0)) {
        EndEngine();
        return;
    }
    StartLineMotor(when);
    nextMiddle_ = when + Ticks(period) / 2;
    nextLineEnd_ = when + Ticks(period);
}

void Gl125Chip::StartLineMotor(DeviceTime when)
{
    // During lines the motor runs through table 1 and holds its last entry,
    // only while motor power is on.
    nextStep_.reset();
    if (!Bit(kMotorControl, 4))
        return;
    lineTable_ = MotorTable(1);
    if (lineTable_.empty()) {
        logs_.Violation("K12", "motor table 1 has length 0");
        lineTable_.assign(1, kEmptyTableTicks);
    }
    lineStep_ = 0;
    nextStep_ = when + Ticks(lineTable_[0]);
}

void Gl125Chip::Step(DeviceTime when)
{
    const bool powered = Bit(kMotorControl, 4);
    if (engine_ == EngineState::Scanning) {
        if (!powered) {
            nextStep_.reset();
            return;
        }
        side_.MotorStep(forward_, true, when);
        motorPosition_ += forward_ ? 1 : -1;
        ++stepCount_;
        ++lineStep_;
        nextStep_ = when + Ticks(lineTable_[std::min(lineStep_, lineTable_.size() - 1)]);
        return;
    }
    side_.MotorStep(forward_, powered, when);
    if (powered)
        motorPosition_ += forward_ ? 1 : -1;
    ++stepCount_;
    const auto period = NextRampStep();
    if (period) {
        nextStep_ = when + Ticks(*period);
        return;
    }
    nextStep_.reset();
    if (engine_ == EngineState::Positioning)
        BeginLines(when);
    else
        EndEngine();
}

void Gl125Chip::LineMiddle(DeviceTime when)
{
    nextMiddle_.reset();
    Gl125LineSetup line = scan_.line;
    const auto colour = static_cast<std::size_t>(line.mono ? 0 : linesThisScan_ % 3);
    line.colour = static_cast<int>(colour);
    line.lampLit = side_.LampGate(Bit(kLampControl, 4));
    line.shadingBase = scanAreas_[colour];
    line.gammaSlot = kGammaSlotBytes * static_cast<std::uint32_t>(colour);
    line.middle = when;
    std::vector<std::uint8_t> bytes = side_.MakeLine(line, main_, gamma_);
    bytes.resize(line.OutputBytes());
    readyLine_ = std::move(bytes);
}

std::size_t Gl125Chip::FifoCapacity() const
{
    return static_cast<std::size_t>(std::max<long>(4, switches_.Integer("gl125.fifo_bytes")));
}

bool Gl125Chip::LineFits() const
{
    if (fifo_.size() + readyLine_->size() <= FifoCapacity())
        return true;
    // A line larger than the whole buffer goes in when the buffer is empty
    // rather than stall the scan for good.
    return fifo_.empty();
}

void Gl125Chip::LineEnd(DeviceTime when)
{
    nextLineEnd_.reset();
    if (noLines_) {
        readyLine_.reset();
    } else {
        if (!readyLine_)
            LineMiddle(when);
        if (!LineFits()) {
            // Back-pressure: wait at the line boundary, motor paused.
            paused_ = true;
            pausedAt_ = when;
            logs_.Observation("K-stall", when, "image buffer full: the scan waits");
            return;
        }
        fifo_.insert(fifo_.end(), readyLine_->begin(), readyLine_->end());
        readyLine_.reset();
        ++linesMade_;
        ++linesThisScan_;
        if (linesThisScan_ >= Field(kLineCount, 3, kMask20)) {
            EndEngine();
            return;
        }
    }
    nextMiddle_ = when + Ticks(scan_.line.linePeriod) / 2;
    nextLineEnd_ = when + Ticks(scan_.line.linePeriod);
}

void Gl125Chip::ResumeIfFits(DeviceTime now)
{
    if (!paused_ || !readyLine_ || !LineFits())
        return;
    paused_ = false;
    if (nextStep_)
        *nextStep_ += now - pausedAt_;
    LineEnd(now);
}

void Gl125Chip::EndEngine()
{
    const bool scanned = engine_ == EngineState::Scanning || engine_ == EngineState::Positioning;
    engine_ = EngineState::Idle;
    nextStep_.reset();
    nextMiddle_.reset();
    nextLineEnd_.reset();
    readyLine_.reset();
    paused_ = false;
    if (scanned && (switches_.On("gl125.scan_bit_autoclear") || autoclearFault_))
        low_[kScanControl] &= static_cast<std::uint8_t>(~1u);
    if (neverIdleArmed_) {
        neverIdleArmed_ = false;
        neverIdle_ = true;
    }
    side_.MotorIdle(true, now_);
}

bool Gl125Chip::WillProduce() const
{
    return (engine_ == EngineState::Scanning || engine_ == EngineState::Positioning) && !noLines_;
}

DeviceTime Gl125Chip::NextEvent() const
{
    DeviceTime next = DeviceTime::max();
    for (const auto& t : {nextStep_, nextMiddle_, nextLineEnd_}) {
        if (t && !paused_)
            next = std::min(next, *t);
    }
    return next;
}

void Gl125Chip::AdvanceTo(DeviceTime now)
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
