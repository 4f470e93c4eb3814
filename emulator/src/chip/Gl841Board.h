// A GL841 board as its chip sees it: GPIO wiring with the serial EEPROM,
// paper sensor, button and power sense; the front end behind the chip's
// serial port; the motor driving the paper path; and the sensor readout.
#pragma once

#include <optional>

#include "analog/FrontEnd.h"
#include "analog/SensorReadout.h"
#include "board/BoardGpio.h"
#include "board/BoardProfile.h"
#include "board/SerialEeprom.h"
#include "chip/BoardSide.h"
#include "core/DeviceLogsStore.h"
#include "core/Switches.h"
#include "paper/PaperPath.h"

namespace emulator {

class Gl841Board final : public BoardSide {
public:
    Gl841Board(const BoardProfile& board, const Switches& switches, DeviceLogsStore& logs);

    void GpioChanged(std::uint32_t directions, std::uint32_t latches, DeviceTime now) override;
    std::uint32_t GpioLevels() const override { return gpio_.Levels(); }
    void FrontEndWrite(std::uint8_t address, std::uint16_t data) override;
    void ScanStarting(bool mono) override;
    void MotorStep(bool forward, bool powered, DeviceTime now) override;
    void MotorIdle(bool idle, DeviceTime now) override;
    std::vector<std::uint8_t> ReadLine(const LineSetup& setup, std::span<const std::uint16_t> shadingMemory,
                                       std::span<const std::uint16_t> gammaMemory) override;
    void AdvanceTo(DeviceTime now) override;
    void PowerReset() override;
    void SetEventSink(std::function<void(std::uint8_t)> sink) override { sink_ = std::move(sink); }

    void InsertSheet(const std::filesystem::path& front, const std::filesystem::path& back) override;
    void InsertCalibrationSheet() override;
    void SetButton(bool pressed) override;
    void SetExternalPower(bool on) override;
    void SheetFault(std::string_view name, std::string_view argument) override;
    void ClearSheetFaults() override;

    PaperState Paper() const override { return paper_.State(); }
    GpioState Gpio() const override { return {gpio_.Directions(), gpio_.Latches(), gpio_.Levels()}; }
    std::vector<GpioChange> GpioHistory() const override { return gpio_.History(); }
    std::array<std::uint16_t, 64> Eeprom() const override { return eeprom_.Words(); }
    std::uint8_t FrontEndRegister(std::uint8_t address) const override { return frontEnd_.Register(address); }

    // The lamp can light: LampOn and the LampEnable line an output at 1.
    bool LampGate(bool lampOn) const;

private:
    void RefreshInputs();
    PnmTransfer Transfer() const;

    const BoardProfile& board_;
    const Switches& switches_;
    [[maybe_unused]] DeviceLogsStore& logs_;  // kept for the board parts still to log
    BoardGpio gpio_;
    SerialEeprom eeprom_;
    FrontEnd frontEnd_;
    PaperPath paper_;
    SensorReadout readout_;
    std::function<void(std::uint8_t)> sink_;
    bool button_ = false;
    bool externalPower_ = true;
    bool motorIdle_ = true;
    DeviceTime now_{};
    std::optional<std::uint8_t> lastEvent_;
};

}  // namespace emulator
