#include "chips/GL841.h"

#include "chips/AnalogFrontEnd.h"
#include "chips/BulkChunkPlan.h"
#include "device/DeviceIOException.h"
#include "device/DevicePort.h"
#include "device/PortLocker.h"
#include "os/OSFunctions.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

using Pair = std::pair<uint8_t, uint8_t>;

constexpr size_t kMaxPairsPerTransfer = 3;

// Register addresses used directly.
constexpr uint8_t kRegLampControl = 0x03;
constexpr uint8_t kRegStatus = 0x41;
constexpr uint8_t kRegBufferedHigh = 0x42;
constexpr uint8_t kRegBufferedMiddle = 0x43;
constexpr uint8_t kRegBufferedLow = 0x44;
constexpr uint8_t kRegAfeAddress = 0x51;
constexpr uint8_t kRegAfeDataHigh = 0x3A;
constexpr uint8_t kRegAfeDataLow = 0x3B;
constexpr uint8_t kRegGpioFirst = 0x6B;
constexpr uint8_t kRegGpioLast = 0x6F;
constexpr uint8_t kRegGpioEnableLow = 0x6F;   // pins 1-8
constexpr uint8_t kRegGpioEnableHigh = 0x6E;  // pins 9-16
constexpr uint8_t kRegGpioValueLow = 0x6D;    // pins 1-8
constexpr uint8_t kRegGpioValueHigh = 0x6C;   // pins 9-16
constexpr uint8_t kRegGpioValueTop = 0x6B;    // pins 17-18

// Memory data ports.
constexpr uint8_t kPortWriteShading = 0x3C;
constexpr uint8_t kPortWriteGamma = 0x28;
constexpr uint8_t kPortReadShading = 0x45;
constexpr uint8_t kPortReadGamma = 0x4E;

constexpr uint8_t kChipInfoFullSpeed = 0x08;

struct ClockCode {
    uint32_t hz;
    uint8_t code;
};

constexpr ClockCode kClockCodes[] = {
    {12000000, 0x80}, {24000000, 0x90}, {30000000, 0xA0},
    {40000000, 0xD0}, {48000000, 0xB0}, {60000000, 0xC0},
};

// The power-on register image; registers not listed are 0.
constexpr Pair kPowerOnImage[] = {
    {0x01, 0x80}, {0x02, 0x00}, {0x03, 0x50}, {0x04, 0x10}, {0x06, 0xA8}, {0x09, 0x00}, {0x0D, 0x01},
    {0x10, 0x0C}, {0x11, 0x60}, {0x12, 0x0E}, {0x13, 0xE0}, {0x14, 0x0E}, {0x15, 0x80}, {0x16, 0x00},
    {0x17, 0x00}, {0x18, 0x04}, {0x19, 0x00}, {0x1A, 0x10}, {0x1C, 0x20}, {0x1D, 0x02}, {0x1E, 0x30},
    {0x20, 0x08}, {0x21, 0x01}, {0x22, 0x20}, {0x23, 0x20}, {0x24, 0x01}, {0x29, 0x00}, {0x2E, 0x82},
    {0x2F, 0x7E}, {0x35, 0x00}, {0x36, 0x40}, {0x37, 0x00}, {0x52, 0x0A}, {0x53, 0x0D}, {0x58, 0x54},
    {0x5A, 0x00}, {0x5E, 0x01}, {0x67, 0x7F}, {0x68, 0x7F}, {0x70, 0x00}, {0x71, 0x00}, {0x72, 0x00},
    {0x73, 0x00}, {0x87, 0x10},
};
constexpr uint8_t kLampControlLampOff = 0x40;

// The bytes of a field: register address, the field's mask in that register
// and the field's bits of the shifted value, from the last register down.
struct FieldByte {
    uint8_t reg;
    uint8_t mask;
    uint8_t bits;
};

struct FieldBytes {
    std::array<FieldByte, 3> bytes{};
    size_t count = 0;
};

FieldBytes SplitField(const RegisterField& f, uint32_t value) {
    FieldBytes out;
    const uint32_t mask = f.Mask();
    const uint32_t shifted = (value << f.shift) & mask;
    for (size_t b = 0; b < 3 && f.lastRegister >= b; ++b) {
        const auto byteMask = static_cast<uint8_t>(mask >> (8 * b));
        if (byteMask == 0) {
            break;
        }
        out.bytes[out.count++] = {static_cast<uint8_t>(f.lastRegister - b), byteMask,
                                  static_cast<uint8_t>(shifted >> (8 * b))};
    }
    return out;
}

// The GPIO field of a pin in one of the pin maps, if the pin is on it.
std::optional<unsigned> PinField(int pin, int lastPin, bool enable) {
    if (pin < 1 || pin > lastPin) {
        return std::nullopt;
    }
    const int index = pin - 1;
    uint8_t reg = 0;
    if (index < 8) {
        reg = enable ? kRegGpioEnableLow : kRegGpioValueLow;
    } else if (index < 16) {
        reg = enable ? kRegGpioEnableHigh : kRegGpioValueHigh;
    } else {
        reg = kRegGpioValueTop;
    }
    return GL841GpioField(reg, static_cast<unsigned>(index % 8));
}

}  // namespace

GL841::GL841(AnalogFrontEnd* frontEnd, DevicePort* port, bool narrowMargin)
    : frontEnd_(frontEnd), port_(port), lineStartMargin_(narrowMargin ? 1 : 2) {}

GL841::~GL841() = default;

bool GL841::PortOpen() const { return port_ != nullptr && port_->IsOpen(); }

bool GL841::LockOpenPort(PortLocker& locker) const { return PortOpen() && locker.Lock(); }

bool GL841::WriteRegister(uint8_t address, uint8_t value) {
    if (address >= kRegisterCount) {
        return false;
    }
    PortLocker locker(port_);
    if (!LockOpenPort(locker)) {
        return false;
    }
    const uint8_t pair[2] = {address, value};
    if (!port_->WriteRegisters(kRequestWriteRegister, 0, pair, sizeof pair)) {
        return false;
    }
    shadow_[address] = {0, value};
    return true;
}

bool GL841::WriteRegisterList(std::span<const Pair> pairs) {
    PortLocker locker(port_);
    if (!LockOpenPort(locker)) {
        return false;
    }
    for (size_t first = 0; first < pairs.size(); first += kMaxPairsPerTransfer) {
        const size_t n = std::min(kMaxPairsPerTransfer, pairs.size() - first);
        uint8_t data[2 * kMaxPairsPerTransfer];
        for (size_t i = 0; i < n; ++i) {
            data[2 * i] = pairs[first + i].first;
            data[2 * i + 1] = pairs[first + i].second;
        }
        if (!port_->WriteRegisters(kRequestWriteRegister, 0, data, static_cast<int>(2 * n))) {
            return false;
        }
        for (size_t i = 0; i < n; ++i) {
            const auto [reg, value] = pairs[first + i];
            if (reg < kRegisterCount) {
                shadow_[reg] = {0, value};
            }
        }
    }
    return true;
}

bool GL841::SelectRegister(uint8_t address) {
    return port_->WriteRegisters(kRequestWriteRegister, 0, &address, 1);
}

bool GL841::ReadRegister(uint8_t address, uint8_t* value) {
    if (address >= kRegisterCount) {
        return false;
    }
    PortLocker locker(port_);
    if (!LockOpenPort(locker) || !SelectRegister(address)) {
        return false;
    }
    uint8_t byte = 0;
    unsigned got = 0;
    if (!port_->ReadRegisters(kRequestReadRegister, 0, &byte, 1, &got) || got != 1) {
        return false;
    }
    shadow_[address].value = byte;
    if (value != nullptr) {
        *value = byte;
    }
    return true;
}

bool GL841::SetField(unsigned field, uint32_t value, bool now) {
    if (field >= kGL841FieldCount || !kGL841Fields[field].IsUsed()) {
        return false;
    }
    const FieldBytes split = SplitField(kGL841Fields[field], value);
    PortLocker locker(port_);
    if (now && !LockOpenPort(locker)) {
        return false;
    }
    for (size_t i = 0; i < split.count; ++i) {
        const FieldByte& b = split.bytes[i];
        const auto merged = static_cast<uint8_t>((shadow_[b.reg].value & ~b.mask) | (b.bits & b.mask));
        if (!now) {
            shadow_[b.reg] = {1, merged};
        } else if (!WriteRegister(b.reg, merged)) {
            return false;
        }
    }
    return true;
}

uint32_t GL841::ReadField(unsigned field, bool fromChip) {
    if (field >= kGL841FieldCount || !kGL841Fields[field].IsUsed()) {
        return 0;
    }
    const RegisterField& f = kGL841Fields[field];
    const FieldBytes split = SplitField(f, 0);
    if (fromChip) {
        PortLocker locker(port_);
        if (LockOpenPort(locker)) {
            for (size_t i = split.count; i-- > 0;) {
                ReadRegister(split.bytes[i].reg, nullptr);
            }
        }
    }
    uint32_t raw = 0;
    for (size_t i = 0; i < split.count; ++i) {
        raw |= static_cast<uint32_t>(shadow_[split.bytes[i].reg].value) << (8 * i);
    }
    return (raw & f.Mask()) >> f.shift;
}

bool GL841::FlushRegisters() {
    std::vector<Pair> pairs;
    for (size_t reg = 0; reg < kRegisterCount; ++reg) {
        if (shadow_[reg].dirty != 0) {
            pairs.emplace_back(static_cast<uint8_t>(reg), shadow_[reg].value);
            shadow_[reg].dirty = 0;
        }
    }
    if (!PortOpen()) {
        return false;
    }
    return pairs.empty() || WriteRegisterList(pairs);
}

bool GL841::SendBulkHeader(bool write, uint32_t length) {
    const uint8_t header[8] = {
        static_cast<uint8_t>(write ? 1 : 0), 0, kRequestBulkHeader, 0,
        static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
        static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24),
    };
    return port_->WriteRegisters(kRequestBulkHeader, 0, header, sizeof header);
}

bool GL841::BulkIO(bool write, GL841Memory memory, uint32_t address, void* data, uint32_t length) {
    if (data == nullptr && length > 0) {
        return false;
    }
    // One lock over the whole sequence, so no other process re-points the
    // chip's memory between the address and the transfer.
    PortLocker locker(port_);
    if (!LockOpenPort(locker)) {
        return false;
    }
    const bool shading = memory == GL841Memory::Shading;
    if (!(shading ? SetField(MemoryAddress, address / 16, true) : SetField(GammaAddress, address, true))) {
        return false;
    }
    const uint8_t dataPort = write ? (shading ? kPortWriteShading : kPortWriteGamma)
                                   : (shading ? kPortReadShading : kPortReadGamma);
    if (!write && !ReadRegister(dataPort, nullptr)) {
        return false;
    }
    if (!SelectRegister(dataPort)) {
        return false;
    }
    auto* bytes = static_cast<uint8_t*>(data);
    for (const BulkChunk& chunk : PlanBulkChunks(length, packetSize_)) {
        if (!SendBulkHeader(write, chunk.transferLength)) {
            return false;
        }
        uint8_t* piece = bytes + chunk.offset;
        bool ok = false;
        if (chunk.bounce) {
            // A write sends the tail followed by the bounce buffer's earlier bytes.
            if (write) {
                std::memcpy(bounce_.data(), piece, chunk.dataLength);
                ok = port_->WriteBulk(bounce_.data(), static_cast<int>(chunk.transferLength));
            } else {
                ok = port_->ReadBulk(bounce_.data(), static_cast<int>(chunk.transferLength));
                if (ok) {
                    std::memcpy(piece, bounce_.data(), chunk.dataLength);
                }
            }
        } else {
            ok = write ? port_->WriteBulk(piece, static_cast<int>(chunk.transferLength))
                       : port_->ReadBulk(piece, static_cast<int>(chunk.transferLength));
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool GL841::ReadBulkChunked(void* buffer, uint32_t length, bool lock) {
    if (!PortOpen() || (buffer == nullptr && length > 0)) {
        return false;
    }
    PortLocker locker(port_);
    if (lock && !locker.Lock()) {
        return false;
    }
    if (!SelectRegister(kPortReadShading)) {
        return false;
    }
    auto* bytes = static_cast<uint8_t*>(buffer);
    for (const BulkChunk& chunk : PlanBulkChunks(length, 0)) {
        if (!SendBulkHeader(false, chunk.transferLength) ||
            !port_->ReadBulk(bytes + chunk.offset, static_cast<int>(chunk.transferLength))) {
            return false;
        }
    }
    return true;
}

uint32_t GL841::ReadBufferedWords() {
    PortLocker locker(port_);
    if (!LockOpenPort(locker)) {
        return 0;
    }
    uint8_t high = 0;
    uint8_t middle = 0;
    uint8_t low = 0;
    if (!ReadRegister(kRegBufferedHigh, &high) || !ReadRegister(kRegBufferedMiddle, &middle) ||
        !ReadRegister(kRegBufferedLow, &low)) {
        return 0;
    }
    return (static_cast<uint32_t>(high & 0x0F) << 16) | (static_cast<uint32_t>(middle) << 8) | low;
}

bool GL841::SetClock(uint32_t hz) {
    const auto* entry = std::find_if(std::begin(kClockCodes), std::end(kClockCodes),
                                     [hz](const ClockCode& c) { return c.hz == hz; });
    if (entry == std::end(kClockCodes)) {
        return false;
    }
    if (!PortOpen()) {
        return true;
    }
    PortLocker locker(port_);
    if (!locker.Lock()) {
        return false;
    }
    const uint8_t code = entry->code;
    return port_->WriteRegisters(kRequestClock, kClockIndex, &code, 1);
}

bool GL841::IsPowerBitSet() { return ReadField(PowerBit, true) == 1; }

int GL841::ReadStatus() {
    if (!PortOpen()) {
        return 0;
    }
    int result = 0;
    try {
        uint8_t status = 0;
        if (ReadRegister(kRegStatus, &status)) {
            result = (status & 0x03) != 0 ? 2 : 1;
        }
        uint8_t probe[8] = {};
        BulkIO(false, GL841Memory::Shading, 0, probe, sizeof probe);
    } catch (const DeviceIOException&) {
        result = 0;
    }
    return result;
}

int GL841::GetBulkPacketSize() {
    PortLocker locker(port_);
    if (!LockOpenPort(locker)) {
        return 0;
    }
    uint8_t info = 0;
    unsigned got = 0;
    if (!port_->ReadRegisters(kRequestChipInfo, 0, &info, 1, &got) || got != 1) {
        return 0;
    }
    return (info & kChipInfoFullSpeed) != 0 ? 64 : 512;
}

bool GL841::WriteAfeRegister(int address, int value) {
    const Pair pairs[] = {
        {kRegAfeAddress, static_cast<uint8_t>(address)},
        {kRegAfeDataHigh, static_cast<uint8_t>(value >> 8)},
        {kRegAfeDataLow, static_cast<uint8_t>(value)},
    };
    return WriteRegisterList(pairs);
}

bool GL841::WriteAfeRegisters(std::span<const AfeRegisterEntry> image) {
    std::vector<Pair> pairs;
    pairs.reserve(image.size() * 3);
    for (const AfeRegisterEntry& e : image) {
        pairs.emplace_back(kRegAfeAddress, static_cast<uint8_t>(e.address));
        pairs.emplace_back(kRegAfeDataHigh, static_cast<uint8_t>(e.value >> 8));
        pairs.emplace_back(kRegAfeDataLow, static_cast<uint8_t>(e.value));
    }
    return WriteRegisterList(pairs);
}

void GL841::SetGpioEnable(int pin, bool output) {
    if (const auto field = PinField(pin, 16, true)) {
        SetField(*field, output ? 1 : 0, true);
    }
}

void GL841::SetGpioValue(int pin, bool level) {
    if (const auto field = PinField(pin, 18, false)) {
        SetField(*field, level ? 1 : 0, true);
    }
}

bool GL841::ReadGpio(int pin) {
    const auto field = PinField(pin, 18, false);
    return field && ReadField(*field, true) == 1;
}

bool GL841::ResetPipes() { return PortOpen() && port_->ResetPipes(); }

bool GL841::ReadScanData(unsigned bytes, int* microseconds) {
    if (bytes == 0) {
        if (microseconds != nullptr) {
            *microseconds = 0;
        }
        return true;
    }
    if (bytes > kMaxScanDataBytes) {
        return false;
    }
    std::vector<uint8_t> scratch(bytes);
    OSStartStopwatch();
    const bool ok = BulkIO(false, GL841Memory::Shading, 0, scratch.data(), bytes);
    if (microseconds != nullptr) {
        *microseconds = static_cast<int>(OSElapsedMicroseconds());
    }
    return ok;
}

void GL841::WriteDefaultRegisters() {
    const bool fresh = ReadField(PowerBit, true) == 0;
    for (const auto& [reg, value] : kPowerOnImage) {
        shadow_[reg] = {1, value};
    }
    if (!lampPower_) {
        shadow_[kRegLampControl].value = kLampControlLampOff;
    }
    if (fresh) {
        SetClock(clock_);
        FlushRegisters();
    } else {
        for (ShadowEntry& e : shadow_) {
            e.dirty = 0;
        }
    }
}

bool GL841::Init() {
    shadow_.fill({0, 0});
    for (auto& table : gamma_) {
        table.clear();
    }
    if (frontEnd_ != nullptr) {
        frontEnd_->SetController(this);
    }
    SetShadingEnabled(true);
    for (int colour = 0; colour < 3; ++colour) {
        SetExposurePercent(colour, 100.0f);
    }
    WriteDefaultRegisters();
    for (uint8_t reg = kRegGpioFirst; reg <= kRegGpioLast; ++reg) {
        ReadRegister(reg, nullptr);
    }
    packetSize_ = static_cast<uint16_t>(GetBulkPacketSize());
    bounce_.assign(packetSize_, 0);
    return true;
}
