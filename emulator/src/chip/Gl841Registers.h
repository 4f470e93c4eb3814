// GL841 register addresses, bits and constant tables.
#pragma once

#include <array>
#include <cstdint>

namespace emulator::gl841 {

inline constexpr std::uint8_t kAddressLimit = 0x88;

// Registers with a reaction.
inline constexpr std::uint8_t kScanControl = 0x01;   // bit 0 ScanEnable, 5 ShadingEnable, 6 RunFlag
inline constexpr std::uint8_t kMotorControl = 0x02;  // bit 2 MoveReverse, 3 FastFeed, 4 MotorPower
inline constexpr std::uint8_t kLampControl = 0x03;   // bit 4 LampOn, 7 AveragingEnable
inline constexpr std::uint8_t kModeControl = 0x04;   // bits 2–3 ChannelLayout, 7 LineArt
inline constexpr std::uint8_t kGammaControl = 0x05;  // bit 3 GammaEnable, 6–7 class flag
inline constexpr std::uint8_t kShadingControl = 0x06;  // bit 3 ShadingGainRange, 4 PowerBit
inline constexpr std::uint8_t kGammaDirection = 0x08;  // bit 6 GammaDescending
inline constexpr std::uint8_t kScanDirection = 0x09;   // bit 3 ScanReverse
inline constexpr std::uint8_t kScanStartStrobe = 0x0D;
inline constexpr std::uint8_t kMoveStart = 0x0F;
inline constexpr std::uint8_t kExposureEnd0 = 0x10;  // three 16-bit fields
inline constexpr std::uint8_t kExposureLead = 0x19;
inline constexpr std::uint8_t kLineCount = 0x25;     // 20 bits in 0x25–0x27
inline constexpr std::uint8_t kMemoryAddressHigh = 0x2A;
inline constexpr std::uint8_t kMemoryAddressLow = 0x2B;
inline constexpr std::uint8_t kResolution = 0x2C;     // 12 bits
inline constexpr std::uint8_t kThresholdHigh = 0x2E;
inline constexpr std::uint8_t kThresholdLow = 0x2F;
inline constexpr std::uint8_t kStartPixel = 0x30;
inline constexpr std::uint8_t kEndPixel = 0x32;
inline constexpr std::uint8_t kLineStartOffset = 0x34;
inline constexpr std::uint8_t kLinePeriod = 0x38;
inline constexpr std::uint8_t kFrontEndDataHigh = 0x3A;
inline constexpr std::uint8_t kFrontEndDataLow = 0x3B;
inline constexpr std::uint8_t kFeedSteps = 0x3D;     // 20 bits in 0x3D–0x3F
inline constexpr std::uint8_t kStatus = 0x41;
inline constexpr std::uint8_t kFifoWords = 0x42;     // 20 bits in 0x42–0x44
inline constexpr std::uint8_t kLinesScanned = 0x4C;  // 16 bits
inline constexpr std::uint8_t kFrontEndAddress = 0x51;
inline constexpr std::uint8_t kGammaAddressHigh = 0x5B;
inline constexpr std::uint8_t kGammaAddressLow = 0x5C;
inline constexpr std::uint8_t kGpioLatch17 = 0x6B;   // bits 0–1: lines 17–18
inline constexpr std::uint8_t kGpioLatch9 = 0x6C;
inline constexpr std::uint8_t kGpioLatch1 = 0x6D;
inline constexpr std::uint8_t kGpioDirection9 = 0x6E;
inline constexpr std::uint8_t kGpioDirection1 = 0x6F;
inline constexpr std::uint8_t kColourSelect = 0x87;  // bit 2 MonoSelect, 4 ColorSelect

// Data ports: targets of bulk transfers, not storage.
inline constexpr std::uint8_t kPortGamma = 0x28;
inline constexpr std::uint8_t kPortShading = 0x3C;
inline constexpr std::uint8_t kPortImage = 0x45;
inline constexpr std::uint8_t kPortGammaRead = 0x4E;
inline constexpr std::array<std::uint8_t, 4> kDataPorts{kPortGamma, kPortShading, kPortImage, kPortGammaRead};

inline constexpr std::array<std::uint8_t, 6> kReadOnly{kStatus, 0x42, 0x43, 0x44, 0x4C, 0x4D};

// Motor table t = 1..5: its length register (entries ÷ 2).
inline constexpr std::array<std::uint8_t, 5> kTableLength{0x21, 0x24, 0x69, 0x6A, 0x5F};

// Vendor requests.
inline constexpr std::uint8_t kRequestBulkHeader = 0x82;
inline constexpr std::uint8_t kRequestRegisterWrite = 0x83;
inline constexpr std::uint8_t kRequestRegisterRead = 0x84;
inline constexpr std::uint8_t kRequestClock = 0x8C;
inline constexpr std::uint16_t kClockIndex = 0x10;
inline constexpr std::uint8_t kRequestChipInfo = 0x8E;

struct ClockCode {
    std::uint8_t code;
    std::uint32_t hz;
};
inline constexpr std::array<ClockCode, 6> kClockCodes{{
    {0x80, 12'000'000}, {0x90, 24'000'000}, {0xA0, 30'000'000},
    {0xD0, 40'000'000}, {0xB0, 48'000'000}, {0xC0, 60'000'000},
}};
inline constexpr std::uint32_t kResetClockHz = 12'000'000;

// Memories, in 16-bit words.
inline constexpr std::uint32_t kShadingWords = 0x40000;
inline constexpr std::uint32_t kGammaWords = 1024;
inline constexpr std::uint16_t kMemoryResetWord = 0xA5A5;

struct ClassLayout {
    int dpiClass;
    std::uint32_t shadingA;  // chip colour 1
    std::uint32_t shadingB;  // chip colour 2
    std::uint32_t motorTables;
};
inline constexpr std::array<ClassLayout, 3> kClassLayouts{{
    {600, 0x2A00, 0x5400, 0x8000},
    {1200, 0x5500, 0xAA00, 0x10000},
    {2400, 0xA800, 0x15000, 0x20000},
}};
inline constexpr std::uint32_t kMotorTableStride = 0x200;

// Gamma slot per chip colour 0, 1, 2 (mono uses colour 1's).
inline constexpr std::array<std::uint32_t, 3> kGammaSlot{512, 0, 256};

inline constexpr std::uint32_t kPositioningExtraSteps = 8;
inline constexpr std::uint32_t kLiveFeedExtraSteps = 4;
inline constexpr std::uint16_t kEmptyTableEntry = 0x3000;
inline constexpr std::uint32_t kClocksPerCount = 15;

}  // namespace emulator::gl841
