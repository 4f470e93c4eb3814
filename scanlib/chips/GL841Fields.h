// The named register fields of the GL841: for each field id the last
// register it occupies, its width in bits and its shift. A field spans up to
// three consecutive registers ending at the last one, most significant byte
// at the lowest address.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

struct RegisterField {
    uint8_t lastRegister;
    uint8_t width;
    uint8_t shift;

    constexpr uint32_t Mask() const { return width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1u) << shift; }
    constexpr bool IsUsed() const { return width != 0; }
};

enum GL841Field : uint8_t {
    ScanEnable = 0,
    ShadingEnable = 3,
    RunFlag = 4,
    MoveReverse = 8,
    FastFeed = 9,
    MotorPower = 10,
    LampOn = 15,
    AveragingEnable = 17,
    ChannelLayout = 20,
    LineArt = 23,
    GammaEnable = 24,
    ChipDpiClassFlag = 26,
    ShadingGainRange = 28,
    PowerBit = 29,
    ScanReverse = 38,
    ScanStartStrobe = 40,
    MoveStart = 42,
    ExposureRed = 43,
    ExposureGreen = 44,
    ExposureBlue = 45,
    SensorModeFactor = 54,
    ExposureLead = 61,
    MotorMode = 78,
    LineCount = 85,
    MemoryAddress = 88,
    ResolutionSetting = 89,
    ThresholdHigh = 90,
    ThresholdLow = 91,
    StartPixel = 92,
    EndPixel = 93,
    LineStartOffset = 94,
    LinePeriod = 96,
    FeedSteps = 99,
    MotorBusy = 103,
    LinesScanned = 109,
    GammaAddress = 122,
    GpioFirst = 132,  // one bit each, 0x6B bits 0-1, then 0x6C..0x6F bits 0-7
    GpioLast = 165,
    MonoSelect = 172,
    ColorSelect = 174,
};

inline constexpr size_t kGL841FieldCount = 177;

namespace gl841_detail {

struct NamedField {
    GL841Field id;
    RegisterField field;
};

inline constexpr NamedField kNamedFields[] = {
    {ScanEnable, {0x01, 1, 0}},        {ShadingEnable, {0x01, 1, 5}},   {RunFlag, {0x01, 1, 6}},
    {MoveReverse, {0x02, 1, 2}},       {FastFeed, {0x02, 1, 3}},        {MotorPower, {0x02, 1, 4}},
    {LampOn, {0x03, 1, 4}},            {AveragingEnable, {0x03, 1, 7}}, {ChannelLayout, {0x04, 2, 2}},
    {LineArt, {0x04, 1, 7}},           {GammaEnable, {0x05, 1, 3}},     {ChipDpiClassFlag, {0x05, 2, 6}},
    {ShadingGainRange, {0x06, 1, 3}},  {PowerBit, {0x06, 1, 4}},        {ScanReverse, {0x09, 1, 3}},
    {ScanStartStrobe, {0x0D, 1, 0}},   {MoveStart, {0x0F, 8, 0}},       {ExposureRed, {0x11, 16, 0}},
    {ExposureGreen, {0x13, 16, 0}},    {ExposureBlue, {0x15, 16, 0}},   {SensorModeFactor, {0x17, 6, 0}},
    {ExposureLead, {0x19, 8, 0}},      {MotorMode, {0x1E, 4, 4}},       {LineCount, {0x27, 20, 0}},
    {MemoryAddress, {0x2B, 16, 0}},    {ResolutionSetting, {0x2D, 12, 0}}, {ThresholdHigh, {0x2E, 8, 0}},
    {ThresholdLow, {0x2F, 8, 0}},      {StartPixel, {0x31, 16, 0}},     {EndPixel, {0x33, 16, 0}},
    {LineStartOffset, {0x34, 8, 0}},   {LinePeriod, {0x39, 16, 0}},     {FeedSteps, {0x3F, 20, 0}},
    {MotorBusy, {0x41, 1, 0}},         {LinesScanned, {0x4D, 16, 0}},   {GammaAddress, {0x5C, 10, 0}},
    {MonoSelect, {0x87, 1, 2}},        {ColorSelect, {0x87, 1, 4}},
};

// The GPIO bits in field order: register, bit.
struct GpioBit {
    uint8_t reg;
    uint8_t bit;
};

constexpr GpioBit GpioBitOfField(unsigned index) {
    // 0x6B carries two bits, the four registers after it eight each.
    if (index < 2) {
        return {0x6B, static_cast<uint8_t>(index)};
    }
    return {static_cast<uint8_t>(0x6C + (index - 2) / 8), static_cast<uint8_t>((index - 2) % 8)};
}

constexpr std::array<RegisterField, kGL841FieldCount> BuildFieldTable() {
    std::array<RegisterField, kGL841FieldCount> table{};
    for (const NamedField& f : kNamedFields) {
        table[f.id] = f.field;
    }
    for (unsigned i = 0; i <= GpioLast - GpioFirst; ++i) {
        const GpioBit g = GpioBitOfField(i);
        table[GpioFirst + i] = {g.reg, 1, g.bit};
    }
    return table;
}

}  // namespace gl841_detail

inline constexpr std::array<RegisterField, kGL841FieldCount> kGL841Fields = gl841_detail::BuildFieldTable();

// The GPIO field of one bit of registers 0x6B..0x6F, if that bit is a pin.
constexpr std::optional<unsigned> GL841GpioField(uint8_t reg, unsigned bit) {
    for (unsigned i = 0; i <= GpioLast - GpioFirst; ++i) {
        const gl841_detail::GpioBit g = gl841_detail::GpioBitOfField(i);
        if (g.reg == reg && g.bit == bit) {
            return GpioFirst + i;
        }
    }
    return std::nullopt;
}

static_assert(kGL841Fields[LineCount].Mask() == 0xFFFFF);
static_assert(kGL841Fields[GpioLast].lastRegister == 0x6F && kGL841Fields[GpioLast].shift == 7);
static_assert(!kGL841Fields[1].IsUsed());
