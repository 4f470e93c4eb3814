// GL125 register addresses, bits, memory map and constant tables.
#pragma once

#include <array>
#include <cstdint>

namespace emulator::gl125 {

// Vendor requests (the high bank's codes carry 0x100).
inline constexpr std::uint16_t kRequestBulkHeader = 0x82;
inline constexpr std::uint16_t kRequestWriteLow = 0x83;
inline constexpr std::uint16_t kRequestWriteHigh = 0x183;
inline constexpr std::uint16_t kRequestClock = 0x8C;
inline constexpr std::uint16_t kRequestReadLow = 0x8E;
inline constexpr std::uint16_t kRequestReadHigh = 0x18E;
inline constexpr std::uint16_t kClockMasterIndex = 0x10;
inline constexpr std::uint16_t kClockSecondIndex = 0x13;
inline constexpr std::uint8_t kReadIndexMarker = 0x22;
inline constexpr std::size_t kMaxPairs = 6;
inline constexpr std::uint16_t kHighBank = 0x100;
inline constexpr std::uint8_t kHighBankLast = 0x1F;

// Low bank.
inline constexpr std::uint16_t kScanControl = 0x01;   // 0 scan enable, 5 shading, 6 run
inline constexpr std::uint16_t kMotorControl = 0x02;  // 2 reverse, 3 fast, 4 motor power
inline constexpr std::uint16_t kLampControl = 0x03;   // 4 lamp, 6 integer divisor
inline constexpr std::uint16_t kFormat = 0x04;        // 4–5 colour/mono, 7 line art
inline constexpr std::uint16_t kGammaControl = 0x05;  // 3 gamma, 6–7 dpi class flag
inline constexpr std::uint16_t kShadingControl = 0x06;  // 3 gain range, 4 power bit
inline constexpr std::uint16_t kScanDirection = 0x09;   // 3 reverse
inline constexpr std::uint16_t kClockRegister = 0x0B;   // 5–7 clock code − 10
inline constexpr std::uint16_t kColoursPerLine = 0x0C;  // 0–3 colours − 1
inline constexpr std::uint16_t kStrobes = 0x0D;         // 0 image buffer, 2 step counters
inline constexpr std::uint16_t kStart = 0x0F;
inline constexpr std::uint16_t kSensorControl = 0x18;   // 4 control flag
inline constexpr std::uint16_t kModeFactor = 0x1F;      // 13 bits, 0x1F–0x20
inline constexpr std::uint16_t kLineCount = 0x25;       // 20 bits
inline constexpr std::uint16_t kResolution = 0x2C;      // 14 bits
inline constexpr std::uint16_t kGpioValue1 = 0x31;      // pins 1–8
inline constexpr std::uint16_t kGpioValue9 = 0x32;      // pins 9–16
inline constexpr std::uint16_t kGpioValue17 = 0x33;     // pins 17–21
inline constexpr std::uint16_t kGpioEnable1 = 0x34;
inline constexpr std::uint16_t kGpioEnable9 = 0x35;
inline constexpr std::uint16_t kGpioEnable17 = 0x36;
inline constexpr std::uint16_t kGpioValueHigh = 0x37;   // pins 27, 28, 31, 32
inline constexpr std::uint16_t kGpioEnableHigh = 0x38;
inline constexpr std::uint16_t kRunCount = 0x3D;        // 20 bits
inline constexpr std::uint16_t kFrontEndAddress = 0x51;
inline constexpr std::uint16_t kFrontEndHigh = 0x5D;
inline constexpr std::uint16_t kFrontEndLow = 0x5E;
inline constexpr std::uint16_t kLedSequencing = 0x60;   // 2 mono, 4 colour
inline constexpr std::uint16_t kLinePeriod = 0x7D;      // 21 bits
inline constexpr std::uint16_t kFirstActive = 0x80;     // 15 bits
inline constexpr std::uint16_t kWindowStart = 0x82;     // 17 bits
inline constexpr std::uint16_t kWindowEnd = 0x85;       // 17 bits
inline constexpr std::uint16_t kLedOn = 0x88;           // 16 bits
inline constexpr std::array<std::uint16_t, 3> kLedEnd{0x8A, 0x8D, 0x90};  // 21 bits each
inline constexpr std::array<std::uint16_t, 5> kTableLength{0xA4, 0xAA, 0xAC, 0xAE, 0xB0};  // 13 bits
inline constexpr std::uint16_t kGammaInverted = 0xBD;   // bit c = 1: descending
inline constexpr std::uint16_t kGammaUpright = 0xBE;    // bit c = 0: descending
inline constexpr std::uint16_t kGammaInvertedWords = 0xC5;  // field c = 0xFFFF: descending
inline constexpr std::uint16_t kShadingArea = 0xD0;     // 0xD0–0xD2, 8 KiB units

// High bank.
inline constexpr std::uint16_t kStatus = 0x101;
inline constexpr std::uint16_t kWordsWaiting = 0x103;   // 20 bits
inline constexpr std::uint16_t kLinesMade = 0x10B;      // 20 bits
inline constexpr std::uint16_t kThresholdHigh = 0x114;
inline constexpr std::uint16_t kThresholdLow = 0x115;
inline constexpr std::uint8_t kStatusReset = 0x10;

// Field widths.
inline constexpr std::uint32_t kMask13 = 0x1FFF;
inline constexpr std::uint32_t kMask14 = 0x3FFF;
inline constexpr std::uint32_t kMask15 = 0x7FFF;
inline constexpr std::uint32_t kMask17 = 0x1FFFF;
inline constexpr std::uint32_t kMask20 = 0xFFFFF;
inline constexpr std::uint32_t kMask21 = 0x1FFFFF;

// Clock codes 10–15 and their master clocks; a tick is 12 of them.
inline constexpr std::uint8_t kFirstClockCode = 10;
inline constexpr std::array<std::uint32_t, 6> kClockHz{24'000'000, 30'000'000, 40'000'000,
                                                        48'000'000, 60'000'000, 80'000'000};
inline constexpr std::uint32_t kClocksPerTick = 12;

// Memory map: gamma memory, main memory (motor tables, shading areas) and
// the image read address.
inline constexpr std::uint32_t kGammaBase = 0x01000000;
inline constexpr std::uint32_t kGammaBytes = 0x1000;
inline constexpr std::uint32_t kGammaSlotBytes = 0x200;
inline constexpr std::uint32_t kGammaSlots = 3;
inline constexpr std::uint32_t kMainBase = 0x10000000;
inline constexpr std::uint32_t kImageAddress = kMainBase;
inline constexpr std::uint32_t kImageWindowBytes = 0x4000;
inline constexpr std::uint32_t kMotorTableBytes = 0x4000;
inline constexpr std::uint32_t kShadingAreaUnit = 0x2000;
inline constexpr std::uint32_t kLastAreaBytes = 0xC000;
inline constexpr std::uint8_t kLowestAreaRegister = 10;
inline constexpr std::uint8_t kMemoryReset = 0xA5;

// Shading: 128-entry blocks of which 126 are read.
inline constexpr std::uint32_t kShadingBlockRead = 126;
inline constexpr std::uint32_t kShadingBlockGap = 2;

// Motor.
inline constexpr std::uint32_t kFixedRampSteps = 4;
inline constexpr std::uint16_t kEmptyTableTicks = 0x3000;

// Timing checks.
inline constexpr double kLongestLineSeconds = 0.090;
inline constexpr double kImageReadTimeoutSeconds = 3.5;

// The dpi class of every GL125 board, and the first active position
// (sensor pixel 0) the boards expect: dummy pixels + 4.
inline constexpr int kDpiClass = 600;
inline constexpr int kFirstActiveAfterDummy = 4;

// GPIO pins of registers 0x31–0x33 / 0x34–0x36 (bit b of the byte is pin
// first + b) and of 0x37 / 0x38 (bits 2, 3, 6, 7).
struct GpioByte {
    std::uint16_t value;
    std::uint16_t enable;
    std::array<std::uint8_t, 8> pins;  // 0: no pin on that bit
};
inline constexpr std::array<GpioByte, 4> kGpioBytes{{
    {kGpioValue1, kGpioEnable1, {1, 2, 3, 4, 5, 6, 7, 8}},
    {kGpioValue9, kGpioEnable9, {9, 10, 11, 12, 13, 14, 15, 16}},
    {kGpioValue17, kGpioEnable17, {17, 18, 19, 20, 21, 0, 0, 0}},
    {kGpioValueHigh, kGpioEnableHigh, {0, 0, 27, 28, 0, 0, 31, 32}},
}};

inline constexpr int kSensorSelectPin = 21;

}  // namespace emulator::gl125
