// A device port that plays a GL125's two register banks and its image buffer
// and records every request, for asserting the driver's exact traffic.
#pragma once

#include "device/DeviceIOException.h"
#include "device/DevicePort.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <vector>

struct Gl125Request {
    enum Kind { Out, In, BulkOut, BulkIn, Reset };
    Kind kind;
    int request = 0;
    int index = 0;
    std::vector<uint8_t> data;  // bytes sent (control and bulk writes)
    int length = 0;

    bool operator==(const Gl125Request&) const = default;
};

inline Gl125Request CtlOut(int request, std::vector<uint8_t> data, int index = 0) {
    const int n = static_cast<int>(data.size());
    return {Gl125Request::Out, request, index, std::move(data), n};
}
inline Gl125Request CtlIn(int request, int index, int length = 2) {
    return {Gl125Request::In, request, index, {}, length};
}
inline Gl125Request RegRead(uint16_t reg) {
    return CtlIn(reg >= 0x100 ? 0x18E : 0x8E, ((reg & 0xFF) << 8) | 0x22);
}
inline Gl125Request RegWrite(uint16_t reg, uint8_t value) {
    return CtlOut(reg >= 0x100 ? 0x183 : 0x83, {static_cast<uint8_t>(reg & 0xFF), value});
}
inline Gl125Request BulkHeader(bool write, uint32_t address, uint32_t length) {
    std::vector<uint8_t> d;
    for (uint32_t v : {address, length}) {
        for (int b = 0; b < 4; ++b) {
            d.push_back(static_cast<uint8_t>(v >> (8 * b)));
        }
    }
    return CtlOut(0x82, d, write ? 1 : 0);
}
inline Gl125Request BulkInOf(int length) { return {Gl125Request::BulkIn, 0, 0, {}, length}; }

class Gl125RecordingPort : public DevicePort {
public:
    std::array<uint8_t, 0x120> chip{};
    uint8_t chipInfo = 0;
    uint8_t marker = 0x55;
    bool open = true;
    bool lockFails = false;
    int lockDepth = 0;
    bool allLocked = true;
    std::vector<Gl125Request> log;
    // Bytes the chip's image buffer holds; 0x103..0x105 report them, bulk
    // reads announced at 0x10000000 drain them.
    std::deque<uint8_t> image;
    bool imageMode = true;
    // Called before each register read is answered.
    std::function<void(uint16_t)> beforeRead;

    bool Open(const std::vector<DeviceId>&, int* matched) override {
        if (matched != nullptr) {
            *matched = 0;
        }
        return open;
    }
    void Close() override { open = false; }
    bool IsOpen() override { return open; }
    uint16_t GetVendorId() override { return 0x17C4; }
    uint16_t GetProductId() override { return 0x00F2; }
    bool Lock() override {
        if (lockFails) {
            return false;
        }
        ++lockDepth;
        return true;
    }
    bool Unlock() override {
        --lockDepth;
        return true;
    }

    bool WriteRegisters(int value, int index, const void* buf, int len) override {
        const auto* p = static_cast<const uint8_t*>(buf);
        Record(CtlOut(value, std::vector<uint8_t>(p, p + len), index));
        if (value == 0x83 || value == 0x183) {
            for (int i = 0; i + 1 < len; i += 2) {
                chip[(value == 0x183 ? 0x100 : 0) + p[i]] = p[i + 1];
            }
        } else if (value == 0x82) {
            uint32_t address = 0;
            std::memcpy(&address, p, 4);
            headerAddress_ = address;
        }
        return true;
    }
    bool ReadRegisters(int value, int index, void* buf, int len, unsigned* bytesRead) override {
        Record(CtlIn(value, index, len));
        auto* p = static_cast<uint8_t*>(buf);
        if (index == 0 && len == 1) {
            p[0] = chipInfo;
        } else {
            const auto reg = static_cast<uint16_t>(((value == 0x18E) ? 0x100 : 0) + (index >> 8));
            if (beforeRead) {
                beforeRead(reg);
            }
            RefreshLive();
            p[0] = chip[reg];
            p[1] = marker;
        }
        *bytesRead = static_cast<unsigned>(len);
        return true;
    }
    bool WriteBulk(const void* buf, int len) override {
        const auto* p = static_cast<const uint8_t*>(buf);
        Gl125Request r{Gl125Request::BulkOut, 0, 0, std::vector<uint8_t>(p, p + len), len};
        Record(std::move(r));
        return true;
    }
    bool ReadBulk(void* buf, int len) override {
        Record(BulkInOf(len));
        auto* p = static_cast<uint8_t*>(buf);
        if (headerAddress_ == 0x10000000 && imageMode) {
            for (int i = 0; i < len; ++i) {
                if (image.empty()) {
                    return false;
                }
                p[i] = image.front();
                image.pop_front();
            }
            return true;
        }
        for (int i = 0; i < len; ++i) {
            p[i] = static_cast<uint8_t>(i);
        }
        return true;
    }
    bool GetDeviceDescriptor(uint16_t*, uint16_t*, uint16_t*) override { return true; }
    bool GetChannelInfo(int*, int*, int*) override { return true; }
    bool ResetPipes() override {
        Record({Gl125Request::Reset, 0, 0, {}, 0});
        return true;
    }

    std::vector<Gl125Request> Take() {
        std::vector<Gl125Request> out;
        out.swap(log);
        return out;
    }

    // The writes of one register, in order, from a log.
    static std::vector<uint8_t> WritesOf(const std::vector<Gl125Request>& log, uint16_t reg) {
        std::vector<uint8_t> values;
        const int request = reg >= 0x100 ? 0x183 : 0x83;
        for (const Gl125Request& r : log) {
            if (r.kind == Gl125Request::Out && r.request == request) {
                for (size_t i = 0; i + 1 < r.data.size(); i += 2) {
                    if (r.data[i] == (reg & 0xFF)) {
                        values.push_back(r.data[i + 1]);
                    }
                }
            }
        }
        return values;
    }

private:
    void Record(Gl125Request r) {
        if (lockDepth <= 0) {
            allLocked = false;
        }
        log.push_back(std::move(r));
    }
    void RefreshLive() {
        const auto words = static_cast<uint32_t>(image.size() / 2);
        chip[0x103] = static_cast<uint8_t>((words >> 16) & 0x0F);
        chip[0x104] = static_cast<uint8_t>(words >> 8);
        chip[0x105] = static_cast<uint8_t>(words);
    }

    uint32_t headerAddress_ = 0;
};
