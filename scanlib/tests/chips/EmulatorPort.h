// A device port straight onto an in-process virtual scanner: register
// requests become usbscan register I/O controls, bulk transfers reads and
// writes, as the usbscan port sends them. Transfer failures throw as a
// port does.
#pragma once

#include "device/DeviceIOException.h"
#include "device/DevicePort.h"

#include <emulator/VirtualScanner.h>

#include <cstring>
#include <memory>

class EmulatorPort : public DevicePort {
public:
    explicit EmulatorPort(emulator::VirtualScanner& scanner) : connection_(scanner.Connect()) {}

    bool Open(const std::vector<DeviceId>&, int* matched) override {
        if (matched != nullptr) {
            *matched = 0;
        }
        return true;
    }
    void Close() override { open_ = false; }
    bool IsOpen() override { return open_; }
    uint16_t GetVendorId() override { return 0; }
    uint16_t GetProductId() override { return 0; }
    bool Lock() override { return true; }
    bool Unlock() override { return true; }

    bool ReadBulk(void* buf, int len) override {
        const emulator::DeviceReply reply = Call({emulator::RequestOp::Read, 0, static_cast<uint32_t>(len), {}});
        std::memcpy(buf, reply.data.data(), std::min<size_t>(reply.data.size(), static_cast<size_t>(len)));
        return reply.count == static_cast<uint32_t>(len);
    }
    bool WriteBulk(const void* buf, int len) override {
        const auto* p = static_cast<const uint8_t*>(buf);
        const emulator::DeviceReply reply =
            Call({emulator::RequestOp::Write, 0, 0, std::vector<uint8_t>(p, p + len)});
        return reply.count == static_cast<uint32_t>(len);
    }
    bool ReadRegisters(int value, int index, void* buf, int len, unsigned* bytesRead) override {
        const emulator::DeviceReply reply = Call({emulator::RequestOp::Ioctl, emulator::kIoctlReadRegisters,
                                                  static_cast<uint32_t>(len), Block(value, index, len, nullptr)});
        std::memcpy(buf, reply.data.data(), std::min<size_t>(reply.data.size(), static_cast<size_t>(len)));
        *bytesRead = reply.count;
        return true;
    }
    bool WriteRegisters(int value, int index, const void* buf, int len) override {
        Call({emulator::RequestOp::Ioctl, emulator::kIoctlWriteRegisters, 0,
              Block(value, index, len, static_cast<const uint8_t*>(buf))});
        return true;
    }
    bool GetDeviceDescriptor(uint16_t*, uint16_t*, uint16_t*) override { return false; }
    bool GetChannelInfo(int*, int*, int*) override { return false; }
    bool ResetPipes() override {
        Call({emulator::RequestOp::Ioctl, emulator::kIoctlResetPipe, 0, {}});
        return true;
    }

private:
    static std::vector<uint8_t> Block(int value, int index, int len, const uint8_t* data) {
        std::vector<uint8_t> in;
        for (uint32_t v : {static_cast<uint32_t>(value), static_cast<uint32_t>(index), static_cast<uint32_t>(len)}) {
            for (int b = 0; b < 4; ++b) {
                in.push_back(static_cast<uint8_t>(v >> (8 * b)));
            }
        }
        if (data != nullptr) {
            in.insert(in.end(), data, data + len);
        }
        return in;
    }

    emulator::DeviceReply Call(emulator::DeviceRequest request) {
        const auto reply = connection_->Call(std::move(request));
        if (!reply || reply->error != emulator::kErrorSuccess) {
            throw DeviceIOException(DeviceIOException::kTransferFailure, reply ? "" : "Timeout.");
        }
        return *reply;
    }

    std::unique_ptr<emulator::DeviceConnection> connection_;
    bool open_ = true;
};
