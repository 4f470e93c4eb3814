// The GL125 controller: two register banks and their reactions, vendor
// requests with {value, 0x55} reads, bulk headers naming a flat address,
// gamma and main memory, the image buffer with back-pressure, and the scan
// and move engines on device time.
#pragma once

#include <array>
#include <deque>
#include <optional>
#include <vector>

#include "board/BoardProfile.h"
#include "chip/ChipModel.h"
#include "chip/Gl125Board.h"
#include "chip/Gl125Pixels.h"
#include "core/DeviceLogsStore.h"
#include "core/Switches.h"

namespace emulator {

class Gl125Chip final : public ChipModel {
public:
    Gl125Chip(const BoardProfile& board, const Switches& switches, DeviceLogsStore& logs, Gl125Board& side);

    std::uint32_t HighestRequest() const override { return 0x1FF; }
    bool VendorIn(std::uint16_t request, std::uint16_t index, std::uint32_t length,
                  std::vector<std::uint8_t>& out) override;
    bool VendorOut(std::uint16_t request, std::uint16_t index, std::span<const std::uint8_t> data,
                   std::size_t acting) override;
    bool ControlIn(std::uint8_t request, std::uint16_t index, std::uint32_t length,
                   std::vector<std::uint8_t>& out) override
    {
        return VendorIn(request, index, length, out);
    }
    bool ControlOut(std::uint8_t request, std::uint16_t index, std::span<const std::uint8_t> data,
                    std::size_t acting) override
    {
        return VendorOut(request, index, data, acting);
    }
    bool BulkOut(std::span<const std::uint8_t> data) override;
    BulkInKind BulkInBegin(std::uint32_t length, std::vector<std::uint8_t>& memoryData) override;
    std::size_t FifoTake(std::span<std::uint8_t> out, DeviceTime now) override;
    void FifoReturn(std::span<const std::uint8_t> bytes) override;
    void BulkInDone() override { header_.reset(); }
    void BulkWithdrawn(bool in) override;
    void ResetPipe(bool in, bool out) override;
    std::optional<DeviceTime> ImageReadTimeout() const override;
    void ImageReadTimedOut(std::size_t delivered, std::size_t wanted) override;

    bool WillProduce() const override;
    DeviceTime NextEvent() const override;
    void AdvanceTo(DeviceTime now) override;
    void PowerReset() override;

    void SetBusyReads(unsigned count) override { busyReads_ = count; }
    void SetMotorNeverIdle(bool on) override;
    void SetNoLines(bool on) override { noLines_ = on; }
    void SetAutoclear(bool on) override { autoclearFault_ = on; }

    // Inspection: Register reads the low bank; ShadingWords and GammaWords
    // give u16 words of main memory (from 0x10000000) and gamma memory.
    std::uint8_t Register(std::uint8_t address) const override { return Read(address); }
    std::vector<std::uint16_t> ShadingWords(std::uint32_t first, std::uint32_t count) const override;
    std::vector<std::uint16_t> GammaWords(std::uint32_t first, std::uint32_t count) const override;
    std::size_t FifoBytes() const override { return fifo_.size(); }
    std::vector<std::uint8_t> FifoContent() const override { return {fifo_.begin(), fifo_.end()}; }
    std::uint32_t LinesScanned() const override { return linesMade_; }
    EngineState Engine() const override { return engine_; }
    std::int64_t MotorPosition() const override { return motorPosition_; }
    std::uint32_t ClockHz() const override;
    std::uint8_t Status() const override;

private:
    struct BulkHeader {
        bool in = false;
        std::uint32_t address = 0;
        std::uint32_t length = 0;
        bool withdrawn = false;
    };

    // Steps of a move or pre-feed: acceleration, run, deceleration (ticks).
    struct Ramp {
        std::vector<std::uint16_t> accel;
        std::uint16_t run = 0;
        std::vector<std::uint16_t> decel;
        std::size_t accelDone = 0;
        std::uint32_t runLeft = 0;
        std::size_t decelDone = 0;
    };

    // What a scan takes at its start.
    struct ScanSetup {
        Gl125LineSetup line;
        std::uint32_t clockHz = 0;
    };

    // Registers: 0x000–0x0FF low bank, 0x100–0x11F high bank.
    std::uint8_t& Reg(std::uint16_t address);
    std::uint8_t RegValue(std::uint16_t address) const;
    std::uint32_t Field(std::uint16_t first, int bytes, std::uint32_t mask) const;
    bool Bit(std::uint16_t address, int bit) const { return (RegValue(address) >> bit) & 1; }
    std::uint8_t Read(std::uint16_t address) const;
    std::uint8_t ReadForHost(std::uint16_t address);
    void Write(std::uint16_t address, std::uint8_t value);
    void GpioWritten();

    // Requests and memory.
    bool Refuse(const std::string& text);
    void ArmHeader(bool in, std::span<const std::uint8_t> data);
    bool HeaderMatches(bool in, std::uint32_t length);
    bool ImageRead(std::uint32_t address) const;
    int RegionOf(std::uint32_t address) const;
    std::uint8_t* Byte(std::uint32_t address);
    std::uint16_t MainWord(std::uint32_t offset) const;
    std::uint32_t MainSize() const { return static_cast<std::uint32_t>(main_.size()); }

    // Engines.
    std::uint32_t LatchedClockHz() const;
    DeviceTime Ticks(std::uint64_t ticks) const;
    std::vector<std::uint16_t> MotorTable(int table) const;
    Ramp MakeRamp(std::uint32_t run, bool fast);
    std::optional<std::uint16_t> NextRampStep();
    void Start();
    void StartMove();
    void StartScan();
    void CheckScanStart(bool mono);
    void CheckGamma(bool mono);
    void BeginLines(DeviceTime when);
    void StartLineMotor(DeviceTime when);
    void Step(DeviceTime when);
    void LineMiddle(DeviceTime when);
    void LineEnd(DeviceTime when);
    bool LineFits() const;
    void ResumeIfFits(DeviceTime now);
    void EndEngine();
    bool MotorEngaged() const;
    std::size_t FifoCapacity() const;

    const BoardProfile& board_;
    const Switches& switches_;
    DeviceLogsStore& logs_;
    Gl125Board& side_;

    std::array<std::uint8_t, 0x100> low_{};
    std::array<std::uint8_t, 0x20> high_{};
    std::vector<std::uint8_t> gamma_;
    std::vector<std::uint8_t> main_;
    std::optional<BulkHeader> header_;
    std::uint8_t masterCode_ = 0;
    std::uint8_t secondCode_ = 0;
    std::optional<std::uint32_t> wordsSnapshot_;
    std::optional<std::uint32_t> linesSnapshot_;

    std::deque<std::uint8_t> fifo_;
    std::uint32_t linesMade_ = 0;   // since the strobe
    bool imageMode_ = false;

    // Engine state.
    DeviceTime now_{};
    EngineState engine_ = EngineState::Idle;
    ScanSetup scan_;
    std::array<std::int64_t, 3> scanAreas_{};  // shading area offsets, latched
    std::uint32_t clockHz_ = 0;     // latched at the start
    Ramp ramp_;
    std::vector<std::uint16_t> lineTable_;
    std::size_t lineStep_ = 0;
    bool forward_ = true;
    std::optional<DeviceTime> nextStep_;
    std::optional<DeviceTime> nextMiddle_;
    std::optional<DeviceTime> nextLineEnd_;
    std::optional<std::vector<std::uint8_t>> readyLine_;
    bool paused_ = false;
    DeviceTime pausedAt_{};
    std::uint64_t linesThisScan_ = 0;
    std::uint64_t stepCount_ = 0;
    std::int64_t motorPosition_ = 0;

    // State faults.
    unsigned busyReads_ = 0;
    bool neverIdleArmed_ = false;
    bool neverIdle_ = false;
    bool noLines_ = false;
    bool autoclearFault_ = false;
};

}  // namespace emulator
