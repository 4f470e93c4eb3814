#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace emulator {

enum class ChipKind : std::uint8_t { Gl841, Gl125 };

// The board's GPIO wiring by line number (lines 1..32). Line 0 means "not wired".
struct GpioWiring {
    int paperSensor;    // input, 0 = paper at the entry sensor
    int button;         // input, 0 = pressed
    int eepromDo;
    int eepromDi;
    int eepromSk;
    int eepromCs;
    int powerSense;     // input, 0 = external power
    int lampEnable;     // output, lamp gate
};

// What a board is: one column of the board table plus its EEPROM contents.
// Every value is a plain field so that callers can override any of them.
struct BoardProfile {
    std::string_view name;
    std::uint16_t vendorId;
    std::uint16_t productId;
    ChipKind chip;
    std::string_view sensorModule;
    int opticalDpi;
    int pixelsPerSide;          // N
    int dummyPixels;            // before the active pixels
    double sensorWidthIn;
    int dpiClass;               // GL841 high class; 0 on GL125 boards
    double stepsPerInch;        // as built with a current board version
    double lowVersionStepsPerInch;  // motor fitted below lowVersionLimit (0: none)
    std::uint32_t lowVersionLimit;
    double fullExposureSeconds; // T_ref
    double entryToFrontIn;      // D_f
    double backLagIn;           // L_b
    double exitPointIn;
    int packetSize;
    double calibrationSheetWidthIn;
    GpioWiring wiring;

    // EEPROM contents
    std::uint16_t optionWord;
    std::uint32_t boardVersion;
    std::string_view serialDigits;
    std::string_view modelText;
    bool eepromBlank = false;

    // First active chip position F: the dummy pixels plus five.
    int FirstActivePosition() const { return dummyPixels + 5; }
    // Steps per inch of the motor actually fitted for this board version.
    double MotorStepsPerInch() const;
    // Line of SignalB, which moved with the 0x20050121 board version (GL841 boards).
    int SignalBLine() const;
};

// The five boards, in table order.
const std::array<BoardProfile, 5>& Boards();

// The board of that name ("RM310-GL841", "RM310-GL125", "RM410", "RM1100", "RM460").
std::optional<BoardProfile> FindBoard(std::string_view name);

} // namespace emulator
