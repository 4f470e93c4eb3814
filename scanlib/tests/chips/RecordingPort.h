// A device port that plays a GL841 register file and records every request,
// for asserting the exact traffic of the controller driver.
#pragma once

#include "device/DeviceIOException.h"
#include "device/DevicePort.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

struct PortRequest {
    enum Kind { WriteRegisters, ReadRegisters, WriteBulk, ReadBulk, ResetPipes };
    Kind kind;
    int request = 0;  // vendor request (register transfers)
    int index = 0;
    std::vector<uint8_t> data;  // bytes sent (writes)
    int length = 0;

    bool operator==(const PortRequest&) const = default;
};

inline PortRequest Out(int request, std::vector<uint8_t> data, int index = 0) {
    const int n = static_cast<int>(data.size());
    return {PortRequest::WriteRegisters, request, index, std::move(data), n};
}
inline PortRequest In(int request, int length = 1) { return {PortRequest::ReadRegisters, request, 0, {}, length}; }
inline PortRequest Select(uint8_t reg) { return Out(0x83, {reg}); }
inline PortRequest BulkOut(std::vector<uint8_t> data) {
    const int n = static_cast<int>(data.size());
    return {PortRequest::WriteBulk, 0, 0, std::move(data), n};
}
inline PortRequest BulkOutOf(int length) { return {PortRequest::WriteBulk, 0, 0, {}, length}; }
inline PortRequest Reset() { return {PortRequest::ResetPipes, 0, 0, {}, 0}; }
inline PortRequest BulkIn(int length) { return {PortRequest::ReadBulk, 0, 0, {}, length}; }
inline PortRequest Header(bool write, uint32_t length) {
    return Out(0x82, {static_cast<uint8_t>(write ? 1 : 0), 0, 0x82, 0, static_cast<uint8_t>(length),
                      static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length >> 16),
                      static_cast<uint8_t>(length >> 24)});
}

class RecordingPort : public DevicePort {
public:
    std::array<uint8_t, 0x88> chip{};  // the chip's registers
    uint8_t chipInfo = 0;              // answer of request 0x8E
    bool open = true;
    // The request with this number (0-based) fails, or throws when throwOnFail.
    std::optional<size_t> failAt;
    bool throwOnFail = false;
    std::vector<PortRequest> log;
    int lockDepth = 0;
    int maxLockDepth = 0;
    int releases = 0;  // times the lock was let go completely
    // Whether every logged request ran under the port lock.
    bool allLocked = true;

    bool Open(const std::vector<DeviceId>&, int* matched) override {
        if (matched != nullptr) {
            *matched = 0;
        }
        return open;
    }
    void Close() override { open = false; }
    bool IsOpen() override { return open; }
    uint16_t GetVendorId() override { return 0x17C4; }
    uint16_t GetProductId() override { return 0x00F1; }
    bool Lock() override {
        ++lockDepth;
        maxLockDepth = std::max(maxLockDepth, lockDepth);
        return true;
    }
    bool Unlock() override {
        if (--lockDepth == 0) {
            ++releases;
        }
        return true;
    }

    bool WriteRegisters(int value, int index, const void* buf, int len) override {
        const auto* p = static_cast<const uint8_t*>(buf);
        if (!Record(Out(value, std::vector<uint8_t>(p, p + len), index))) {
            return false;
        }
        if (value == 0x83 && len == 1) {
            selected_ = p[0];
        } else if (value == 0x83) {
            for (int i = 0; i + 1 < len; i += 2) {
                chip[p[i]] = p[i + 1];
            }
        }
        return true;
    }
    bool ReadRegisters(int value, int index, void* buf, int len, unsigned* bytesRead) override {
        PortRequest r = In(value, len);
        r.index = index;
        if (!Record(r)) {
            return false;
        }
        auto* p = static_cast<uint8_t*>(buf);
        p[0] = value == 0x8E ? chipInfo : chip[selected_];
        *bytesRead = static_cast<unsigned>(len);
        return true;
    }
    bool WriteBulk(const void* buf, int len) override {
        const auto* p = static_cast<const uint8_t*>(buf);
        return Record(BulkOut(std::vector<uint8_t>(p, p + len)));
    }
    bool ReadBulk(void* buf, int len) override {
        if (!Record(BulkIn(len))) {
            return false;
        }
        auto* p = static_cast<uint8_t*>(buf);
        for (int i = 0; i < len; ++i) {
            p[i] = static_cast<uint8_t>(bulkCounter_++);
        }
        return true;
    }
    bool GetDeviceDescriptor(uint16_t*, uint16_t*, uint16_t*) override { return true; }
    bool GetChannelInfo(int*, int*, int*) override { return true; }
    bool ResetPipes() override { return Record(Reset()); }

    std::vector<PortRequest> Take() {
        std::vector<PortRequest> out;
        out.swap(log);
        releases = 0;
        return out;
    }

    // The log with bulk-out data left out, for comparing the request shape.
    std::vector<PortRequest> TakeShape() {
        std::vector<PortRequest> out = Take();
        for (PortRequest& r : out) {
            if (r.kind == PortRequest::WriteBulk) {
                r.data.clear();
            }
        }
        return out;
    }

private:
    bool Record(PortRequest r) {
        if (lockDepth <= 0) {
            allLocked = false;
        }
        const size_t number = log.size();
        log.push_back(std::move(r));
        if (failAt && *failAt == number) {
            if (throwOnFail) {
                throw DeviceIOException(DeviceIOException::kTransferFailure);
            }
            return false;
        }
        return true;
    }

    uint8_t selected_ = 0;
    uint32_t bulkCounter_ = 0;
};
