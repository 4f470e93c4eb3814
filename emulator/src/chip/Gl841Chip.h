// The GL841 controller: registers and their reactions, vendor requests,
// bulk headers, shading/motor and gamma memories, the image FIFO with
// back-pressure, and the scan and move engines on device time.
#pragma once

#include <array>
#include <deque>
#include <optional>
#include <vector>

#include "board/BoardProfile.h"
#include "chip/BoardSide.h"
#include "chip/ChipModel.h"
#include "core/DeviceLogsStore.h"
#include "core/Switches.h"

namespace emulator {

class Gl841Chip final : public ChipModel {
public:
    Gl841Chip(const BoardProfile& board, const Switches& switches, DeviceLogsStore& logs, BoardSide& side);

    bool ControlIn(std::uint8_t request, std::uint16_t index, std::uint32_t length,
                   std::vector<std::uint8_t>& out) override;
    bool ControlOut(std::uint8_t request, std::uint16_t index, std::span<const std::uint8_t> data,
                    std::size_t acting) override;
    bool BulkOut(std::span<const std::uint8_t> data) override;
    BulkInKind BulkInBegin(std::uint32_t length, std::vector<std::uint8_t>& memoryData) override;
    std::size_t FifoTake(std::span<std::uint8_t> out, DeviceTime now) override;
    void FifoReturn(std::span<const std::uint8_t> bytes) override;
    void BulkInDone() override;
    void BulkWithdrawn(bool in) override;
    void ResetPipe(bool in, bool out) override;

    bool WillProduce() const override;
    DeviceTime NextEvent() const override;
    void AdvanceTo(DeviceTime now) override;
    void PowerReset() override;

    void SetBusyReads(unsigned count) override { busyReads_ = count; }
    void SetMotorNeverIdle(bool on) override;
    void SetNoLines(bool on) override { noLines_ = on; }
    void SetAutoclear(bool on) override { autoclearFault_ = on; }

    std::uint8_t Register(std::uint8_t address) const override;
    std::vector<std::uint16_t> ShadingWords(std::uint32_t first, std::uint32_t count) const override;
    std::vector<std::uint16_t> GammaWords(std::uint32_t first, std::uint32_t count) const override;
    std::size_t FifoBytes() const override { return fifo_.size(); }
    std::vector<std::uint8_t> FifoContent() const override { return {fifo_.begin(), fifo_.end()}; }
    std::uint32_t LinesScanned() const override { return linesScanned_; }
    EngineState Engine() const override { return engine_; }
    std::int64_t MotorPosition() const override { return motorPosition_; }
    std::uint32_t ClockHz() const override { return clockHz_; }
    std::uint8_t Status() const override;

private:
    struct BulkHeader {
        bool in = false;
        std::uint32_t length = 0;
        bool withdrawn = false;
    };

    // A memory reached through the selected data port, and its byte pointer.
    struct MemoryPort {
        std::vector<std::uint16_t>* words;
        std::uint32_t* pointer;
    };

    // What a scan takes at its start.
    struct ScanSetup {
        bool mono = false;
        LineSetup line;
        int classIndex = 0;
    };

    // Register file helpers; fields are big-endian across addresses.
    std::uint32_t Field(std::uint8_t first, int bytes) const;
    bool Bit(std::uint8_t address, int bit) const { return (regs_[address] >> bit) & 1; }

    void WriteRegister(std::uint8_t address, std::uint8_t value);
    std::uint8_t ReadRegister(std::uint8_t address) const;
    bool ValidRequest(std::uint8_t request, bool in, std::uint16_t index, std::uint32_t length,
                      std::span<const std::uint8_t> data) const;
    void EndMemoryRead(bool keep) { memoryRead_ = memoryRead_ && keep; }
    void ArmHeader(std::span<const std::uint8_t> header);
    bool HeaderMatches(bool in, std::size_t length);
    std::optional<MemoryPort> Port(bool in);
    void GpioWritten();

    // Engines.
    void MoveStart();
    void StartScan();
    void StartMove();
    int ClassIndex();
    std::vector<std::uint16_t> MotorTable(int table, int classIndex);
    DeviceTime CountsToTime(std::uint64_t counts) const;
    DeviceTime StepTime() const;
    void Step(DeviceTime when);
    void BeginLines(DeviceTime when);
    void StartLineMotor(DeviceTime when);
    void LineMiddle(DeviceTime when);
    void LineEnd(DeviceTime when);
    bool LineFits();
    void ResumeIfFits(DeviceTime now);
    void EndEngine();
    bool MotorRunning() const;
    std::size_t FifoCapacity() const;

    const BoardProfile& board_;
    const Switches& switches_;
    DeviceLogsStore& logs_;
    BoardSide& side_;

    std::array<std::uint8_t, 256> regs_{};
    std::vector<std::uint16_t> shading_;
    std::vector<std::uint16_t> gamma_;
    std::uint8_t selected_ = 0;
    std::optional<BulkHeader> header_;
    bool memoryRead_ = false;
    std::uint32_t shadingPointer_ = 0;  // bytes
    std::uint32_t gammaPointer_ = 0;    // bytes
    std::uint32_t clockHz_;

    std::deque<std::uint8_t> fifo_;
    std::uint32_t linesScanned_ = 0;

    // Engine state.
    DeviceTime now_{};
    EngineState engine_ = EngineState::Idle;
    ScanSetup scan_;
    std::vector<std::uint16_t> table_;
    std::uint64_t stepIndex_ = 0;
    std::int64_t stepsLeft_ = 0;  // positioning and moves
    bool forward_ = true;
    std::optional<DeviceTime> nextStep_;
    std::optional<DeviceTime> nextMiddle_;
    std::optional<DeviceTime> nextLineEnd_;
    std::optional<std::vector<std::uint8_t>> readyLine_;  // read, waiting for FIFO room
    bool paused_ = false;
    DeviceTime pausedAt_{};
    std::uint64_t linesThisScan_ = 0;
    std::int64_t motorPosition_ = 0;

    // State faults.
    unsigned busyReads_ = 0;
    bool neverIdleArmed_ = false;
    bool neverIdle_ = false;
    bool noLines_ = false;
    bool autoclearFault_ = false;
};

}  // namespace emulator
