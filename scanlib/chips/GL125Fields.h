// The register fields of the GL125: each named by the register that holds its
// least significant byte, its width and its shift. A field wider than what is
// left of that register continues in the registers below it, most
// significant byte at the lowest address (a 20-bit field named at 0x27
// covers 0x25, 0x26, 0x27).
#pragma once

#include <array>
#include <cstdint>
#include <optional>

struct GL125RegisterField {
    uint16_t reg;  // register of the least significant byte
    uint8_t width;
    uint8_t shift;

    constexpr uint32_t Mask() const {
        return (width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1u)) << shift;
    }
    // Registers the field touches.
    constexpr unsigned ByteCount() const { return (shift + width + 7u) / 8u; }
    constexpr bool operator==(const GL125RegisterField&) const = default;
};

namespace gl125 {

using Field = GL125RegisterField;

inline constexpr uint16_t kRegisterCount = 0x120;

// Scan and motor control.
inline constexpr Field kScanRunning{0x01, 1, 0};
inline constexpr Field kShadingOn{0x01, 1, 5};
inline constexpr Field kRunFlag{0x01, 1, 6};
inline constexpr Field kDefaultsMark{0x01, 1, 7};
inline constexpr Field kMoveReverse{0x02, 1, 2};
inline constexpr Field kFastMove{0x02, 1, 3};
inline constexpr Field kMotorPower{0x02, 1, 4};
inline constexpr Field kLamp{0x03, 1, 4};
inline constexpr Field kIntegerDivisor{0x03, 1, 6};
inline constexpr Field kMonoFormat{0x04, 2, 4};
inline constexpr Field kLineArt{0x04, 1, 7};
inline constexpr Field kGammaOn{0x05, 1, 3};
inline constexpr Field kDpiClassFlag{0x05, 2, 6};
inline constexpr Field kGainRange{0x06, 1, 3};
inline constexpr Field kPowerBit{0x06, 1, 4};
inline constexpr Field kScanReverse{0x09, 1, 3};
inline constexpr Field kClockSelect{0x0B, 1, 3};
inline constexpr Field kClockCode{0x0B, 3, 5};
inline constexpr Field kColourFactor{0x0C, 4, 0};
inline constexpr Field kBufferStrobe{0x0D, 1, 0};
inline constexpr Field kStepStrobe{0x0D, 1, 2};
inline constexpr Field kStart{0x0F, 8, 0};
inline constexpr Field kSensorControl{0x18, 1, 4};
inline constexpr Field kMotorMode{0x1E, 4, 4};
inline constexpr Field kModeFactor{0x20, 13, 0};
inline constexpr Field kLineCount{0x27, 20, 0};
inline constexpr Field kResolution{0x2D, 14, 0};
inline constexpr Field kRunCount{0x3F, 20, 0};
inline constexpr Field kAfeAddress{0x51, 6, 0};
inline constexpr Field kAfeValue{0x5E, 9, 0};
inline constexpr Field kMonoSequencing{0x60, 1, 2};
inline constexpr Field kColourSequencing{0x60, 1, 4};
inline constexpr Field kLinePeriod{0x7F, 21, 0};
inline constexpr Field kStartPixel{0x81, 15, 0};
inline constexpr Field kWindowStart{0x84, 17, 0};
inline constexpr Field kWindowEnd{0x87, 17, 0};
inline constexpr Field kLedOn{0x89, 16, 0};
inline constexpr std::array<Field, 3> kLedEnd{{{0x8C, 21, 0}, {0x8F, 21, 0}, {0x92, 21, 0}}};
// Lengths of motor tables 1 to 5, in entries.
inline constexpr std::array<Field, 5> kMotorTableLength{
    {{0xA5, 13, 0}, {0xAB, 13, 0}, {0xAD, 13, 0}, {0xAF, 13, 0}, {0xB1, 13, 0}}};
inline constexpr std::array<Field, 3> kGammaInverted{{{0xBD, 1, 0}, {0xBD, 1, 1}, {0xBD, 1, 2}}};
inline constexpr std::array<Field, 3> kGammaNotInverted{{{0xBE, 1, 0}, {0xBE, 1, 1}, {0xBE, 1, 2}}};
inline constexpr std::array<Field, 3> kGammaInvertMask{{{0xC6, 16, 0}, {0xC8, 16, 0}, {0xCA, 16, 0}}};
inline constexpr std::array<Field, 3> kShadingArea{{{0xD0, 8, 0}, {0xD1, 8, 0}, {0xD2, 8, 0}}};

// Live registers of the high bank.
inline constexpr uint16_t kStatusRegister = 0x101;
inline constexpr Field kMotorBusy{0x101, 1, 0};
inline constexpr Field kWaitingWords{0x105, 20, 0};
inline constexpr Field kLinesScanned{0x10D, 20, 0};
inline constexpr Field kThresholdHigh{0x114, 8, 0};
inline constexpr Field kThresholdLow{0x115, 8, 0};

// Board pins: the value bit and the output-enable bit of each pin.
struct PinBits {
    int pin;
    Field value;
    Field enable;
};

constexpr std::array<PinBits, 25> BuildPinTable() {
    std::array<PinBits, 25> pins{};
    size_t n = 0;
    for (int p = 1; p <= 21; ++p) {
        const auto bank = static_cast<uint16_t>((p - 1) / 8);
        const auto bit = static_cast<uint8_t>((p - 1) % 8);
        pins[n++] = {p, {static_cast<uint16_t>(0x31 + bank), 1, bit}, {static_cast<uint16_t>(0x34 + bank), 1, bit}};
    }
    constexpr std::array<std::array<int, 2>, 4> kHighPins{{{27, 2}, {28, 3}, {31, 6}, {32, 7}}};
    for (const auto& [pin, bit] : kHighPins) {
        pins[n++] = {pin, {0x37, 1, static_cast<uint8_t>(bit)}, {0x38, 1, static_cast<uint8_t>(bit)}};
    }
    return pins;
}

inline constexpr std::array<PinBits, 25> kPins = BuildPinTable();

constexpr std::optional<PinBits> FindPin(int pin) {
    for (const PinBits& p : kPins) {
        if (p.pin == pin) {
            return p;
        }
    }
    return std::nullopt;
}

static_assert(kLineCount.Mask() == 0xFFFFF && kLineCount.ByteCount() == 3);
static_assert(kAfeValue.ByteCount() == 2 && kLedOn.ByteCount() == 2);
static_assert(FindPin(21)->value == Field{0x33, 1, 4} && FindPin(32)->enable == Field{0x38, 1, 7});
static_assert(!FindPin(22).has_value());

}  // namespace gl125
