// The scanner model's property objects with their defaults, ranges, lists
// and save flags: the common set every model registers, the duplex
// platform's additions and the per-family set. A model holds these as
// members, so each open gets fresh objects and nothing outlives the model.
#pragma once

#include "engine/catalogue/DepthProperties.h"
#include "engine/catalogue/GeometryProperties.h"
#include "engine/catalogue/ResolutionProperties.h"
#include "engine/catalogue/ToneProperties.h"
#include "engine/properties/DeviceProperties.h"
#include "engine/properties/DeviceValueProperties.h"
#include "engine/properties/Property.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

class ImageSource;

namespace catalogue {

inline constexpr std::array<int32_t, 8> kResolutions600{75, 100, 150, 200, 300, 400, 500, 600};
inline constexpr std::array<int32_t, 5> kResolutions300{75, 100, 150, 200, 300};
inline constexpr std::array<int32_t, 3> kColorModes{0, 1, 2};  // black and white, gray, colour
inline constexpr std::array<int32_t, 2> kOffOn{0, 1};
inline constexpr std::array<int32_t, 4> kGrayChannels{0, 1, 2, 3};  // all, channel 0, 1, 2

inline constexpr int32_t kDefaultResolution = 100;
// Vertical distance between the two sensors, in optical lines.
inline constexpr int32_t kSensorDistance = 268;
// Construction values of the prefeed settings until the device answers.
inline constexpr int32_t kPrefeedDelayMs = 1500;
inline constexpr int32_t kPrefeedDistance = 13;

// Shape of a scan-length property: maximum, base length in optical lines
// (its construction default) and construction current value.
struct ScanLengthShape {
    int32_t maximum;
    int32_t baseLength;
    int32_t current;
};
inline constexpr ScanLengthShape kCommonScanLength{8400, 6600, 1100};
inline constexpr ScanLengthShape kHalvern33ScanLength300{4200, 3300, 1100};
inline constexpr ScanLengthShape kHalvern71ScanLength300{3000, 2070, 1100};
inline constexpr ScanLengthShape kHalvern71ScanLength600{6000, 4140, 1100};

}  // namespace catalogue

// The set every scanner model registers.
struct ScannerProperties {
    ScannerProperties();

    // Registers the set in the model's map. The values the model knows at
    // registration are given here: sensor dpi (2), sensor pixel count (3) and
    // the model's optical scan length (24).
    void Register(ImageSource& model, int32_t opticalDpi, int32_t sensorPixels, int32_t opticalScanLength);
    // The prefeed settings, registered only when the device keeps them.
    void RegisterPrefeed(ImageSource& model, DeviceValueStore* store);

    SingleInt opticalResolution;   // 2
    SingleInt opticalWidth;        // 3
    XResolutionProp xResolution;   // 4
    YResolutionProp yResolution;   // 5
    BitsPerChannelProp bitsPerChannel;  // 6
    BitsPerPixelProp bitsPerPixel;      // 7
    ListInt colorMode;             // 8
    RangeInt brightness;           // 9
    RangeInt contrast;             // 10
    ListInt invert;                // 11
    YOffsetProp yOffset;           // 12
    XOffsetProp xOffset;           // 13
    ScanWidthProp scanWidth;       // 14
    ScanLengthProp scanLength;     // 15
    SingleInt chunky;              // 16
    ListInt channelOrder;          // 17
    WidthInBytesProp widthInBytes; // 19
    ListInt reverseFeed;           // 23
    OpticalScanLengthProp opticalLength;  // 24
    RangeFloat gamma;              // 25
    HighlightProp highlight;       // 26
    ShadowProp shadow;             // 27
    GenesysLUTProp lutGray;        // 28
    GenesysLUTProp lutRed;         // 29
    GenesysLUTProp lutGreen;       // 30
    GenesysLUTProp lutBlue;        // 31
    RangeInt threshold;            // 32
    SingleBool eopDetect;          // 33
    ListInt grayChannel;           // 35
    RangeInt eopExtraLength;       // 60
    SingleInt usbSpeed;            // 220
    SingleString eepromText;       // 225
    SingleString eepromDigits;     // 227
    SingleInt eepromWord4;         // 230
    VendorIDProp vendorId;         // 231
    ProductIDProp productId;       // 232
    DeviceValueSingleBoolProp prefeedEnable;   // 50
    DeviceValueRangeIntProp prefeedDelay;      // 51
    DeviceValueRangeIntProp prefeedDistance;   // 52
    FeedRateProp feedRate;         // 1004
    SingleBool scanToPaperEnd;     // 1005
    ScanRateProp scanRate;         // 1006
    SingleBool motorPower;         // 1007
    SingleBool applyCalibration;   // 1008
    SingleBool useRecommendedRate; // 1009
    RangeFloat exposureRed;        // 1010
    RangeFloat exposureGreen;      // 1011
    RangeFloat exposureBlue;       // 1012
    RangeInt afeOffsetRed;         // 1020
    RangeInt afeOffsetGreen;       // 1021
    RangeInt afeOffsetBlue;        // 1022
    RangeInt afeOffsetGray;        // 1023
    RangeFloat afeGainRed;         // 1030
    RangeFloat afeGainGreen;       // 1031
    RangeFloat afeGainBlue;        // 1032
    RangeFloat afeGainGray;        // 1033
    RangeInt afeVref;              // 1040
    SingleBool lengthLimit;        // 1041
    SingleInt sideCount;           // 1050
    RangeFloat feedMotorFactor;    // 9000
    RangeInt feedMotorSteps;       // 9001
    SingleInt eopLength;           // 9010
    SingleBool powerDownOnClose;   // 9020
};

// What the duplex platform registers after the common set: two sides, the
// sensor distance and the width of the wide line that carries both sides.
struct DuplexPlatformProperties {
    DuplexPlatformProperties();

    // sensorPixels: pixels of one side. The sensor distance stays at
    // kSensorDistance optical lines on every board.
    void Register(ImageSource& model, int32_t sensorPixels);

    SingleInt sideCount;                // 1050
    CISVerticalOffsetProp cisOffset;    // 1002
    SingleInt sensorDistance;           // 1001
    SingleInt opticalWidth;             // 3
};

// The per-family set: model resolution, rates, data directory, device name,
// and on the families with LEDs the LEDs and their own resolutions and length.
struct FamilyProperties {
    FamilyProperties();

    void Register(ImageSource& model, const std::string& dataDirectory, const std::string& deviceName,
                  ScanRateCallback* scanRateSource, FeedRateCallback* feedRateSource);
    // Halvern33Base and Halvern71Base: the LEDs, their resolution lists (the
    // 300-dpi list for a 300-dpi sensor, else the common lists stay) and
    // their scan length.
    void RegisterLedFamily(ImageSource& model, LEDIndicatorCallback* leds, bool sensor300,
                           const catalogue::ScanLengthShape& length);

    SingleInt modelResolution;     // 18
    SingleString dataDirectory;    // 200
    SingleString deviceName;       // 205
    FeedRateProp feedRate;         // 1004
    ScanRateProp scanRate;         // 1006
    SingleBool useRecommendedRate; // 1009
    LEDIndicator led1;             // 40
    LEDIndicator led2;             // 41
    XResolutionProp xResolution300;   // 4
    YResolutionProp yResolution300;   // 5
    std::optional<ScanLengthProp> scanLength;  // 15
};
