// A GL125 board as its chip sees it: GPIO pins with the serial EEPROM on a
// shared data line, paper sensor, button and power sense; the front end
// behind the chip's serial port; the motor driving the paper path; and the
// two CIS lines read through the GL125 pixel path.
#pragma once

#include <optional>

#include "analog/FrontEnd.h"
#include "board/BoardGpio.h"
#include "board/BoardProfile.h"
#include "board/SerialEeprom.h"
#include "chip/BoardSide.h"
#include "chip/Gl125Pixels.h"
#include "core/DeviceLogsStore.h"
#include "core/Switches.h"
#include "paper/PaperPath.h"

namespace emulator {

// What the GL125 boards' sensor modules fix beyond the board table.
struct Gl125Module {
    std::string_view name;
    bool sensorSelect;      // level of the SensorSelect pin a scan expects
    std::uint32_t modeFactor;
    double opticalBackLagIn;
};

const Gl125Module& FindGl125Module(std::string_view sensorModule);

class Gl125Board final : public BoardSide {
public:
    Gl125Board(const BoardProfile& board, const Switches& switches, DeviceLogsStore& logs);

    // Pins as bit = pin − 1: enables and value latches.
    void GpioChanged(std::uint32_t enables, std::uint32_t latches, DeviceTime now) override;
    // What a read of each pin shows: the board level of a wired input, the
    // EEPROM's data out on the shared line while it shifts out, else the latch.
    std::uint32_t GpioLevels() const override;
    void FrontEndWrite(std::uint8_t address, std::uint16_t data) override;
    void ScanStarting(bool mono) override;
    void MotorStep(bool forward, bool powered, DeviceTime now) override;
    void MotorIdle(bool idle, DeviceTime now) override;
    // GL841 line setups do not apply to this board: lines come from MakeLine.
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
    GpioState Gpio() const override { return {gpio_.Directions(), gpio_.Latches(), GpioLevels()}; }
    std::vector<GpioChange> GpioHistory() const override { return gpio_.History(); }
    std::array<std::uint16_t, 64> Eeprom() const override { return eeprom_.Words(); }
    std::uint8_t FrontEndRegister(std::uint8_t address) const override { return frontEnd_.Register(address); }

    // One chip line of the GL125 pixel path, the paper sampled where it is now.
    std::vector<std::uint8_t> MakeLine(Gl125LineSetup setup, std::span<const std::uint8_t> mainMemory,
                                       std::span<const std::uint8_t> gammaMemory);
    // The LEDs can light: the lamp bit and the LampEnable latch.
    bool LampGate(bool lampBit) const;
    bool PinLatch(int pin) const { return gpio_.Latch(pin); }
    const Gl125Module& Module() const { return module_; }

private:
    void RefreshInputs();

    const BoardProfile& board_;
    const Switches& switches_;
    [[maybe_unused]] DeviceLogsStore& logs_;  // kept for the board parts still to log
    const Gl125Module& module_;
    BoardGpio gpio_;
    SerialEeprom eeprom_;
    FrontEnd frontEnd_;
    PaperPath paper_;
    Gl125Pixels pixels_;
    std::vector<Rgb> front_;
    std::vector<Rgb> back_;
    std::optional<double> tripleY_;
    std::function<void(std::uint8_t)> sink_;
    bool button_ = false;
    bool externalPower_ = true;
    bool motorIdle_ = true;
    DeviceTime now_{};
    std::optional<std::uint8_t> lastEvent_;
};

}  // namespace emulator
