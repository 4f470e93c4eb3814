// What a chip model drives on its board: GPIO lines, the front end's serial
// port, the motor (and so the paper) and the sensor's line readout.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include <emulator/DeviceLogs.h>
#include <emulator/VirtualScanner.h>

namespace emulator {

// Everything the pixel path needs to make one chip line, taken by the chip
// at scan start (registers) and per line (colour, time).
struct LineSetup {
    int chipColour = 0;         // 0..2; mono lines use 0
    bool mono = false;
    std::uint32_t linePeriod = 0;          // counts of 15 clocks
    std::uint32_t exposureLead = 0;        // 0x19
    std::uint32_t exposureEnd[3] = {};     // 0x10–0x15
    bool lampOn = false;                   // 0x03 bit 4 (the board adds its gate line)
    std::uint32_t startPixel = 0;
    std::uint32_t endPixel = 0;
    std::uint32_t resolutionSetting = 0;
    int dpiClass = 600;                    // 600 or the board's high class
    bool averaging = false;
    bool shading = false;
    bool shadingGainRange = false;         // 1: unit 16384
    std::uint32_t lineStartOffset = 0;
    std::uint32_t shadingBase = 0;         // word address of this line's table
    bool gamma = false;
    bool gammaDescending = false;
    std::uint32_t gammaSlot = 0;           // word address of this line's slot
    bool lineArt = false;
    std::uint8_t thresholdHigh = 0;
    std::uint8_t thresholdLow = 0;
    DeviceTime middle{};                   // the sheet is sampled where it is now
    std::uint64_t lineNumber = 0;          // chip lines since the strobe
    std::uint32_t outputBytes = 0;         // what the FIFO expects
    std::uint32_t clockHz = 0;             // the chip clock
};

class BoardSide {
public:
    virtual ~BoardSide() = default;

    // GPIO: the chip's direction and latch registers changed; read values.
    virtual void GpioChanged(std::uint32_t directions, std::uint32_t latches, DeviceTime now) = 0;
    virtual std::uint32_t GpioLevels() const = 0;

    // A word (address, data) sent through the chip's front-end port.
    virtual void FrontEndWrite(std::uint8_t address, std::uint16_t data) = 0;
    // A scan starts (its front-end and window checks run).
    virtual void ScanStarting(bool mono) = 0;

    // One motor step; `powered` false: the step takes its time without motion.
    virtual void MotorStep(bool forward, bool powered, DeviceTime now) = 0;
    virtual void MotorIdle(bool idle, DeviceTime now) = 0;

    // The bytes of one chip line (exactly setup.outputBytes).
    virtual std::vector<std::uint8_t> ReadLine(const LineSetup& setup,
                                               std::span<const std::uint16_t> shadingMemory,
                                               std::span<const std::uint16_t> gammaMemory) = 0;

    // Device time moved on (pick delay and similar timers).
    virtual void AdvanceTo(DeviceTime now) = 0;
    // Power-on reset of the board's chip-side state (front end, GPIO).
    virtual void PowerReset() = 0;

    // Interrupt sources: every change of paper presence or button makes an
    // event byte, handed to this sink.
    virtual void SetEventSink(std::function<void(std::uint8_t)> sink) = 0;

    // Controls (Error with the reason on refusal).
    virtual void InsertSheet(const std::filesystem::path& front, const std::filesystem::path& back) = 0;
    virtual void InsertCalibrationSheet() = 0;
    virtual void SetButton(bool pressed) = 0;
    virtual void SetExternalPower(bool on) = 0;
    // Sheet faults: "jam" (argument Y inches), "slip" (fraction), "no-pick".
    virtual void SheetFault(std::string_view name, std::string_view argument) = 0;
    virtual void ClearSheetFaults() = 0;

    // Inspection.
    virtual PaperState Paper() const = 0;
    virtual GpioState Gpio() const = 0;
    virtual std::vector<GpioChange> GpioHistory() const = 0;
    virtual std::array<std::uint16_t, 64> Eeprom() const = 0;
    virtual std::uint8_t FrontEndRegister(std::uint8_t address) const = 0;
};

}  // namespace emulator
