// The device face of a scanner controller chip: vendor control requests,
// bulk transfers through its FIFO and memories, and its engines on device
// time. The GL841 is one model; another chip is another implementation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include <emulator/DeviceLogs.h>
#include <emulator/VirtualScanner.h>

namespace emulator {

enum class BulkInKind : std::uint8_t { Stall, Memory, Image };

class ChipModel {
public:
    virtual ~ChipModel() = default;

    // Control transfers. A refused request (stall) returns false and changes
    // nothing. `acting` = bytes that take effect (less under a short fault).
    virtual bool ControlIn(std::uint8_t request, std::uint16_t index, std::uint32_t length,
                           std::vector<std::uint8_t>& out) = 0;
    virtual bool ControlOut(std::uint8_t request, std::uint16_t index,
                            std::span<const std::uint8_t> data, std::size_t acting) = 0;

    // Vendor request codes up to HighestRequest() reach the chip; codes above
    // 0xFF only through VendorIn / VendorOut, which 8-bit chips leave as is.
    virtual std::uint32_t HighestRequest() const { return 0xFF; }
    virtual bool VendorIn(std::uint16_t request, std::uint16_t index, std::uint32_t length,
                          std::vector<std::uint8_t>& out)
    {
        return ControlIn(static_cast<std::uint8_t>(request), index, length, out);
    }
    virtual bool VendorOut(std::uint16_t request, std::uint16_t index, std::span<const std::uint8_t> data,
                           std::size_t acting)
    {
        return ControlOut(static_cast<std::uint8_t>(request), index, data, acting);
    }

    // Bulk OUT: false = stall.
    virtual bool BulkOut(std::span<const std::uint8_t> data) = 0;
    // Bulk IN: checks the armed header. Memory reads are answered at once
    // into `memoryData`; image reads then take bytes from the FIFO.
    virtual BulkInKind BulkInBegin(std::uint32_t length, std::vector<std::uint8_t>& memoryData) = 0;
    virtual std::size_t FifoTake(std::span<std::uint8_t> out, DeviceTime now) = 0;
    // A withdrawn image read gives its bytes back to the FIFO's front.
    virtual void FifoReturn(std::span<const std::uint8_t> bytes) = 0;
    // The image read matching the armed header completed: the header is used up.
    virtual void BulkInDone() = 0;
    // A transfer was cancelled or failed by injection: its header stays armed
    // and may be replaced without complaint.
    virtual void BulkWithdrawn(bool in) = 0;
    virtual void ResetPipe(bool in, bool out) = 0;
    // How long an image read waits for its bytes before it fails (none: it
    // pends until cancelled), and the chip's note of such a failure.
    virtual std::optional<DeviceTime> ImageReadTimeout() const { return std::nullopt; }
    virtual void ImageReadTimedOut(std::size_t /*delivered*/, std::size_t /*wanted*/) {}

    // True while a running scan will still produce image bytes.
    virtual bool WillProduce() const = 0;
    // Device time of the next engine event (DeviceTime::max() when idle).
    virtual DeviceTime NextEvent() const = 0;
    virtual void AdvanceTo(DeviceTime now) = 0;
    virtual void PowerReset() = 0;

    // State faults.
    virtual void SetBusyReads(unsigned count) = 0;
    virtual void SetMotorNeverIdle(bool on) = 0;
    virtual void SetNoLines(bool on) = 0;
    virtual void SetAutoclear(bool on) = 0;

    // Inspection.
    virtual std::uint8_t Register(std::uint8_t address) const = 0;
    virtual std::vector<std::uint16_t> ShadingWords(std::uint32_t first, std::uint32_t count) const = 0;
    virtual std::vector<std::uint16_t> GammaWords(std::uint32_t first, std::uint32_t count) const = 0;
    virtual std::size_t FifoBytes() const = 0;
    virtual std::vector<std::uint8_t> FifoContent() const = 0;
    virtual std::uint32_t LinesScanned() const = 0;
    virtual EngineState Engine() const = 0;
    virtual std::int64_t MotorPosition() const = 0;
    virtual std::uint32_t ClockHz() const = 0;
    virtual std::uint8_t Status() const = 0;
};

}  // namespace emulator
