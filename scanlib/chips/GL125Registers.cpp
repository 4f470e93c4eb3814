// GL125: register shadow and fields, the two register banks, bulk transfers
// into the chip's memory, and the operations that are only register
// accesses: status, busy, power bit, line counter, pins, the front end's
// serial port and the image read-out.
#include "chips/GL125.h"

#include "chips/BulkChunkPlan.h"
#include "chips/GL125ImageLayout.h"
#include "device/DeviceIOException.h"
#include "device/DevicePort.h"
#include "device/PortLocker.h"
#include "os/OSFunctions.h"

#include <algorithm>
#include <cstring>

namespace {

using Pair = std::pair<uint16_t, uint8_t>;

constexpr uint16_t kHighBank = 0x100;
constexpr uint8_t kChipInfoFullSpeed = 0x08;
constexpr uint8_t kStatusMotor = 0x01;
constexpr uint8_t kStatusScan = 0x02;
// The probe behind a status query reads gamma memory: a read at the image
// address would take image data away from a scan that is running.
constexpr uint32_t kStatusProbeAddress = GL125::kGammaAddress;

// The registers of a field with the field's mask and value bits in each,
// from the named register down.
struct FieldByte {
    uint16_t reg;
    uint8_t mask;
    uint8_t bits;
};

struct FieldBytes {
    std::array<FieldByte, 4> bytes{};
    size_t count = 0;
};

FieldBytes SplitField(const GL125RegisterField& f, uint32_t value) {
    FieldBytes out;
    const uint32_t mask = f.Mask();
    const uint32_t shifted = (value << f.shift) & mask;
    for (unsigned b = 0; b < f.ByteCount() && b <= f.reg; ++b) {
        out.bytes[out.count++] = {static_cast<uint16_t>(f.reg - b), static_cast<uint8_t>(mask >> (8 * b)),
                                  static_cast<uint8_t>(shifted >> (8 * b))};
    }
    return out;
}

int ReadIndex(uint16_t reg) { return ((reg & 0xFF) << 8) + 0x22; }

}  // namespace

GL125::GL125(AnalogFrontEnd* frontEnd, DevicePort* port) : frontEnd_(frontEnd), port_(port) {}

GL125::~GL125() = default;

bool GL125::PortOpen() const { return port_ != nullptr && port_->IsOpen(); }

bool GL125::LockOpenPort(PortLocker& locker) const { return PortOpen() && locker.Lock(); }

bool GL125::ReadRegister(uint16_t reg, uint8_t* value, bool lock) {
    if (reg >= gl125::kRegisterCount || !PortOpen()) {
        return false;
    }
    PortLocker locker(port_);
    if (lock && !locker.Lock()) {
        return false;
    }
    uint8_t answer[2] = {};
    unsigned got = 0;
    const int request = reg >= kHighBank ? kRequestReadHighRegister : kRequestReadRegister;
    if (!port_->ReadRegisters(request, ReadIndex(reg), answer, sizeof answer, &got) || got != sizeof answer ||
        answer[1] != kReadMarker) {
        return false;
    }
    shadow_[reg].value = answer[0];
    if (value != nullptr) {
        *value = answer[0];
    }
    return true;
}

bool GL125::WriteRegister(uint16_t reg, uint8_t value) {
    if (reg >= gl125::kRegisterCount) {
        return false;
    }
    PortLocker locker(port_);
    if (!LockOpenPort(locker)) {
        return false;
    }
    const uint8_t pair[2] = {static_cast<uint8_t>(reg & 0xFF), value};
    const int request = reg >= kHighBank ? kRequestWriteHighRegister : kRequestWriteRegister;
    if (!port_->WriteRegisters(request, 0, pair, sizeof pair)) {
        return false;
    }
    shadow_[reg] = {0, value};
    return true;
}

bool GL125::WriteRegisterList(std::span<const Pair> pairs) {
    PortLocker locker(port_);
    if (!LockOpenPort(locker)) {
        return false;
    }
    for (const bool high : {false, true}) {
        std::vector<Pair> bank;
        std::copy_if(pairs.begin(), pairs.end(), std::back_inserter(bank),
                     [high](const Pair& p) { return (p.first >= kHighBank) == high; });
        const int request = high ? kRequestWriteHighRegister : kRequestWriteRegister;
        for (size_t first = 0; first < bank.size(); first += kMaxPairsPerTransfer) {
            const size_t n = std::min(kMaxPairsPerTransfer, bank.size() - first);
            uint8_t data[2 * kMaxPairsPerTransfer];
            for (size_t i = 0; i < n; ++i) {
                data[2 * i] = static_cast<uint8_t>(bank[first + i].first & 0xFF);
                data[2 * i + 1] = bank[first + i].second;
            }
            if (!port_->WriteRegisters(request, 0, data, static_cast<int>(2 * n))) {
                return false;
            }
            for (size_t i = 0; i < n; ++i) {
                const auto [reg, value] = bank[first + i];
                if (reg < gl125::kRegisterCount) {
                    shadow_[reg] = {0, value};
                }
            }
        }
    }
    return true;
}

bool GL125::SetField(const GL125RegisterField& field, uint32_t value, bool now) {
    if (field.reg >= gl125::kRegisterCount) {
        return false;
    }
    const FieldBytes split = SplitField(field, value);
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

std::optional<uint32_t> GL125::ReadField(const GL125RegisterField& field) {
    if (field.reg >= gl125::kRegisterCount) {
        return std::nullopt;
    }
    const FieldBytes split = SplitField(field, 0);
    PortLocker locker(port_);
    if (!LockOpenPort(locker)) {
        return std::nullopt;
    }
    for (size_t i = split.count; i-- > 0;) {
        if (!ReadRegister(split.bytes[i].reg, nullptr, false)) {
            return std::nullopt;
        }
    }
    return ShadowField(field);
}

uint32_t GL125::ShadowField(const GL125RegisterField& field) const {
    if (field.reg >= gl125::kRegisterCount) {
        return 0;
    }
    const FieldBytes split = SplitField(field, 0);
    uint32_t raw = 0;
    for (size_t i = 0; i < split.count; ++i) {
        raw |= static_cast<uint32_t>(shadow_[split.bytes[i].reg].value) << (8 * i);
    }
    return (raw & field.Mask()) >> field.shift;
}

bool GL125::FlushRegisters() {
    std::vector<Pair> pairs;
    for (uint16_t reg = 0; reg < gl125::kRegisterCount; ++reg) {
        if (shadow_[reg].dirty != 0) {
            pairs.emplace_back(reg, shadow_[reg].value);
            shadow_[reg].dirty = 0;
        }
    }
    if (pairs.empty()) {
        return true;
    }
    return WriteRegisterList(pairs);
}

namespace {

// A bulk header whose transfer did not complete (the header write timed out
// here yet reached the chip, or the data transfer failed) stays armed in the
// chip, and the next header would replace it. Leaving a transfer any way but
// through Done() resets the pipes, which drops it.
class HeaderGuard {
public:
    explicit HeaderGuard(DevicePort& port) : port_(port) {}
    ~HeaderGuard() {
        if (!pending_) return;
        try {
            port_.ResetPipes();
        } catch (...) {
            // Already failing; the reason is the caller's.
        }
    }
    HeaderGuard(const HeaderGuard&) = delete;
    HeaderGuard& operator=(const HeaderGuard&) = delete;

    void Sent() { pending_ = true; }
    void Done() { pending_ = false; }

private:
    DevicePort& port_;
    bool pending_ = false;
};

}  // namespace

bool GL125::SendBulkHeader(bool write, uint32_t address, uint32_t length) {
    const uint8_t header[8] = {
        static_cast<uint8_t>(address),       static_cast<uint8_t>(address >> 8),
        static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 24),
        static_cast<uint8_t>(length),        static_cast<uint8_t>(length >> 8),
        static_cast<uint8_t>(length >> 16),  static_cast<uint8_t>(length >> 24),
    };
    return port_->WriteRegisters(kRequestBulkHeader, write ? 1 : 0, header, sizeof header);
}

bool GL125::BulkIO(uint32_t address, const uint8_t* source, uint8_t* target, uint32_t length) {
    const bool write = source != nullptr;
    if ((write ? target != nullptr : target == nullptr) && length > 0) {
        return false;
    }
    // One lock over the whole transfer, so that no other process's request
    // comes between a header and its data.
    PortLocker locker(port_);
    if (!LockOpenPort(locker)) {
        return false;
    }
    HeaderGuard guard(*port_);
    for (const BulkChunk& chunk : PlanBulkChunks(length, packetSize_)) {
        guard.Sent();
        if (!SendBulkHeader(write, address + chunk.offset, chunk.transferLength)) {
            return false;
        }
        const auto wire = static_cast<int>(chunk.transferLength);
        bool ok = false;
        if (write) {
            const uint8_t* piece = source + chunk.offset;
            if (chunk.bounce) {
                std::memcpy(bounce_.data(), piece, chunk.dataLength);
                piece = bounce_.data();
            }
            ok = port_->WriteBulk(piece, wire);
        } else if (chunk.bounce) {
            ok = port_->ReadBulk(bounce_.data(), wire);
            if (ok) {
                std::memcpy(target + chunk.offset, bounce_.data(), chunk.dataLength);
            }
        } else {
            ok = port_->ReadBulk(target + chunk.offset, wire);
        }
        if (!ok) {
            return false;
        }
    }
    guard.Done();
    return locker.Unlock();
}

bool GL125::BulkWrite(uint32_t address, std::span<const uint8_t> data) {
    static constexpr uint8_t kNothing = 0;
    return BulkIO(address, data.empty() ? &kNothing : data.data(), nullptr, static_cast<uint32_t>(data.size()));
}

bool GL125::BulkRead(uint32_t address, std::span<uint8_t> data) {
    return BulkIO(address, nullptr, data.data(), static_cast<uint32_t>(data.size()));
}

bool GL125::ReadBulkChunked(uint8_t* data, uint32_t length, bool lock) {
    if (!PortOpen() || (data == nullptr && length > 0)) {
        return false;
    }
    PortLocker locker(port_);
    if (lock && !locker.Lock()) {
        return false;
    }
    HeaderGuard guard(*port_);
    for (const BulkChunk& chunk : PlanBulkChunks(length, 0)) {
        guard.Sent();
        if (!SendBulkHeader(false, kImageAddress, chunk.transferLength) ||
            !port_->ReadBulk(data + chunk.offset, static_cast<int>(chunk.transferLength))) {
            return false;
        }
    }
    guard.Done();
    return true;
}

bool GL125::IsPowerBitSet() { return ReadField(gl125::kPowerBit).value_or(0) == 1; }

int GL125::ReadStatus() {
    if (!PortOpen()) {
        return 0;
    }
    int result = 0;
    try {
        PortLocker locker(port_);
        if (!locker.Lock()) {
            return 0;
        }
        uint8_t answer[2] = {};
        unsigned got = 0;
        if (!port_->ReadRegisters(kRequestReadHighRegister, ReadIndex(gl125::kStatusRegister), answer,
                                  sizeof answer, &got) ||
            got != sizeof answer || !locker.Unlock()) {
            return 0;
        }
        result = (answer[0] & (kStatusMotor | kStatusScan)) != 0 ? 2 : 1;
        uint8_t probe[8] = {};
        BulkRead(kStatusProbeAddress, probe);
    } catch (const DeviceIOException&) {
        result = 0;
    }
    return result;
}

int GL125::GetBulkPacketSize() {
    PortLocker locker(port_);
    if (!LockOpenPort(locker)) {
        return 0;
    }
    uint8_t info = 0;
    unsigned got = 0;
    if (!port_->ReadRegisters(kRequestReadRegister, 0, &info, 1, &got) || got != 1) {
        return 0;
    }
    return (info & kChipInfoFullSpeed) != 0 ? 64 : 512;
}

bool GL125::IsMotorBusy() { return ReadField(gl125::kMotorBusy).value_or(0) == 1; }

std::optional<uint32_t> GL125::ReadCounter(const GL125RegisterField& field) {
    PortLocker locker(port_);
    if (!LockOpenPort(locker)) {
        return std::nullopt;
    }
    const std::optional<uint32_t> first = ReadField(field);
    const std::optional<uint32_t> second = first ? ReadField(field) : std::nullopt;
    if (!second) {
        return std::nullopt;
    }
    return std::max(*first, *second);
}

int GL125::GetLinesScanned() {
    const auto lines = static_cast<int>(ReadCounter(gl125::kLinesScanned).value_or(0));
    // Counted from the first line the page delivers.
    return std::max((colorMode_ == 2 ? lines / 3 : lines) - static_cast<int>(leadLines_), 0);
}

bool GL125::WriteAfeRegister(int address, int value) {
    // The chip sends the serial write when the value's high register (0x5D)
    // is written, which SetField does last.
    PortLocker locker(port_);
    if (!LockOpenPort(locker)) {
        return false;
    }
    return SetField(gl125::kAfeAddress, static_cast<uint32_t>(address), true) &&
           SetField(gl125::kAfeValue, static_cast<uint32_t>(value), true);
}

bool GL125::WriteAfeRegisters(std::span<const AfeRegisterEntry> image) {
    for (const AfeRegisterEntry& e : image) {
        if (!WriteAfeRegister(e.address, e.value)) {
            return false;
        }
    }
    return true;
}

void GL125::SetGpioValue(int pin, bool level) {
    if (const auto bits = gl125::FindPin(pin)) {
        SetField(bits->value, level ? 1 : 0, true);
    }
}

void GL125::SetGpioEnable(int pin, bool output) {
    if (const auto bits = gl125::FindPin(pin)) {
        SetField(bits->enable, output ? 1 : 0, true);
    }
}

bool GL125::ReadGpio(int pin) {
    const auto bits = gl125::FindPin(pin);
    return bits && ReadField(bits->value).value_or(0) == 1;
}

bool GL125::ResetPipes() { return PortOpen() && port_->ResetPipes(); }

bool GL125::ReadScanData(unsigned bytes, int* microseconds) {
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
    const bool ok = BulkRead(kImageAddress, scratch);
    if (microseconds != nullptr) {
        *microseconds = static_cast<int>(OSElapsedMicroseconds());
    }
    return ok;
}

uint32_t GL125::ReadWaitingBytes() {
    // A failed read counts as nothing waiting.
    return ReadField(gl125::kWaitingWords).value_or(0) * 2;
}

std::optional<bool> GL125::ScanFinished() {
    uint8_t status = 0;
    if (!ReadRegister(gl125::kStatusRegister, &status, false)) {
        return std::nullopt;
    }
    if ((status & (kStatusMotor | kStatusScan)) == 0) {
        return true;
    }
    const std::optional<uint32_t> made = ReadCounter(gl125::kLinesScanned);
    if (!made) {
        return std::nullopt;
    }
    return *made >= programmedLines_;
}

bool GL125::ReadImageLines(void* buffer, unsigned lines, int* linesRead) {
    // The lines of the ramp go first, into the caller's buffer and dropped.
    while (leadLinesToDrop_ > 0 && lines > 0) {
        int dropped = 0;
        const bool scanning = ReadWaitingImageLines(buffer, std::min(lines, leadLinesToDrop_), &dropped);
        if (linesRead != nullptr) {
            *linesRead = 0;
        }
        if (dropped <= 0) {
            return scanning;
        }
        leadLinesToDrop_ -= std::min(leadLinesToDrop_, static_cast<uint32_t>(dropped));
    }
    return ReadWaitingImageLines(buffer, lines, linesRead);
}

bool GL125::ReadWaitingImageLines(void* buffer, unsigned lines, int* linesRead) {
    int dummy = 0;
    int& got = linesRead != nullptr ? *linesRead : dummy;
    got = 0;
    const GL125LineLayout layout = GL125LineLayout::For(scanWidth_, bitsPerPixel_);
    const size_t padded = layout.PaddedLineBytes();
    if (buffer == nullptr || padded == 0 || !PortOpen()) {
        return false;
    }
    const std::optional<uint32_t> running = ReadField(gl125::kScanRunning);
    if (!running) {
        return false;
    }
    if (lines == 0) {
        return *running != 0;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    size_t wanted = lines;
    if (layout.IsPadded()) {
        if (lineBuffer_.size() < padded) {
            lineBuffer_.resize(padded);
        }
        wanted = std::min(wanted, lineBuffer_.size() / padded);
    }

    PortLocker locker(port_);
    if (!locker.Lock()) {
        return false;
    }
    if (waitingBytes_ < 2 * padded) {
        waitingBytes_ = ReadWaitingBytes();
    }
    size_t count = std::min<size_t>(wanted, waitingBytes_ / padded);
    if ((count * padded) % 2 != 0) {
        --count;
    }
    if (count == 0) {
        // Nothing waits. The page ends when the scan has stopped running or
        // has made every line it was programmed for; those are read before
        // the waiting count again, so a line that came in between is not
        // lost.
        const std::optional<bool> finished =
            *running == 0 ? std::optional<bool>(true) : ScanFinished();
        if (!finished) {
            return false;
        }
        waitingBytes_ = ReadWaitingBytes();
        count = std::min<size_t>(wanted, waitingBytes_ / padded);
        if ((count * padded) % 2 != 0) {
            --count;
        }
        if (count == 0) {
            return !*finished;
        }
    }
    uint8_t* target = layout.IsPadded() ? lineBuffer_.data() : out;
    const auto bytes = static_cast<uint32_t>(count * padded);
    if (!ReadBulkChunked(target, bytes, false)) {
        return false;
    }
    waitingBytes_ -= bytes;
    got = static_cast<int>(count);
    locker.Unlock();
    if (layout.IsPadded()) {
        layout.Unpad(lineBuffer_.data(), out, count);
    }
    return true;
}
