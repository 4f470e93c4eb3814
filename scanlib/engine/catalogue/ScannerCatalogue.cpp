#include "engine/catalogue/ScannerCatalogue.h"

#include "engine/chain/ImageSource.h"

#include <SIPropertyIds.h>

using namespace catalogue;

namespace {

constexpr uint16_t RO = SI_ACCESS_READ_ONLY;
constexpr uint16_t RW = SI_ACCESS_READ_WRITE;
constexpr bool kSaved = true;
constexpr bool kNotSaved = false;

}  // namespace

ScannerProperties::ScannerProperties()
    : opticalResolution(SI_PROP_OPTICAL_RESOLUTION, RO, 600),
      opticalWidth(SI_PROP_OPTICAL_WIDTH, RO, 5184),
      xResolution(kResolutions600, kDefaultResolution),
      yResolution(kResolutions600, kDefaultResolution),
      colorMode(SI_PROP_COLOR_MODE, RW, kColorModes, 2),
      brightness(SI_PROP_BRIGHTNESS, RW, -100, 100, 1, 0, kSaved),
      contrast(SI_PROP_CONTRAST, RW, -100, 100, 1, 0, kSaved),
      invert(SI_PROP_INVERT, RW, kOffOn, 0),
      scanLength(kCommonScanLength.maximum, kCommonScanLength.baseLength, kCommonScanLength.current),
      chunky(SI_PROP_CHUNKY, RO, 0),
      channelOrder(SI_PROP_CHANNEL_ORDER, RW, kOffOn, 0),
      reverseFeed(SI_PROP_REVERSE_FEED, RW, kOffOn, 0),
      gamma(SI_PROP_GAMMA, RW, 0.9f, 10.7f, 0.1f, 1.8f, kSaved),
      lutGray(SI_PROP_LUT_GRAY),
      lutRed(SI_PROP_LUT_RED),
      lutGreen(SI_PROP_LUT_GREEN),
      lutBlue(SI_PROP_LUT_BLUE),
      threshold(SI_PROP_THRESHOLD, RW, -127, 127, 1, 0, kSaved),
      eopDetect(SI_PROP_EOP_DETECT, RW, 0),
      grayChannel(SI_PROP_35, RW, kGrayChannels, 0),
      eopExtraLength(SI_PROP_EOP_EXTRA_LENGTH, RW, -100, 100, 1, 0, kSaved),
      usbSpeed(SI_PROP_220, RO, 2),
      eepromText(SI_PROP_225, RO),
      eepromDigits(SI_PROP_227, RO),
      eepromWord4(SI_PROP_230, RO, 0),
      prefeedEnable(SI_PROP_PREFEED_ENABLE, 1, "PrefeedEnable", "PrefeedEnableDef"),
      prefeedDelay(SI_PROP_PREFEED_DELAY, 200, 2500, kPrefeedDelayMs, "PrefeedDelayInMs", "PrefeedDelayInMsDef"),
      prefeedDistance(SI_PROP_PREFEED_DISTANCE, 1, 40, kPrefeedDistance, "PrefeedDistance", "PrefeedDistanceDef"),
      scanToPaperEnd(SI_PROP_1005, RW, 0),
      motorPower(SI_PROP_1007, RW, 1),
      applyCalibration(SI_PROP_APPLY_CALIBRATION, RW, 1),
      useRecommendedRate(SI_PROP_1009, RW, 1),
      exposureRed(SI_PROP_EXPOSURE_RED, RW, 0.0f, 100.0f, 0.01f, 100.0f, kNotSaved),
      exposureGreen(SI_PROP_EXPOSURE_GREEN, RW, 0.0f, 100.0f, 0.01f, 100.0f, kNotSaved),
      exposureBlue(SI_PROP_EXPOSURE_BLUE, RW, 0.0f, 100.0f, 0.01f, 100.0f, kNotSaved),
      afeOffsetRed(SI_PROP_AFE_OFFSET_RED, RW, 0, 100, 1, 0, kNotSaved),
      afeOffsetGreen(SI_PROP_AFE_OFFSET_GREEN, RW, 0, 100, 1, 0, kNotSaved),
      afeOffsetBlue(SI_PROP_AFE_OFFSET_BLUE, RW, 0, 100, 1, 0, kNotSaved),
      afeOffsetGray(SI_PROP_AFE_OFFSET_GRAY, RW, 0, 100, 1, 0, kNotSaved),
      afeGainRed(SI_PROP_AFE_GAIN_RED, RW, 0.0f, 5.0f, 0.001f, 1.0f, kNotSaved),
      afeGainGreen(SI_PROP_AFE_GAIN_GREEN, RW, 0.0f, 5.0f, 0.001f, 1.0f, kNotSaved),
      afeGainBlue(SI_PROP_AFE_GAIN_BLUE, RW, 0.0f, 5.0f, 0.001f, 1.0f, kNotSaved),
      afeGainGray(SI_PROP_AFE_GAIN_GRAY, RW, 0.0f, 5.0f, 0.001f, 1.0f, kNotSaved),
      afeVref(SI_PROP_AFE_VREF, RW, 0, 15, 1, 0, kNotSaved),
      lengthLimit(SI_PROP_1041, RW, 1),
      sideCount(SI_PROP_1050, RO, 1),
      feedMotorFactor(SI_PROP_FEED_MOTOR_FACTOR, RW, 0.0f, 10.0f, 0.001f, 0.9f, kSaved),
      feedMotorSteps(SI_PROP_FEED_MOTOR_STEPS, RW, 2, 510, 2, 16, kSaved),
      eopLength(SI_PROP_EOP_LENGTH, RW, 0),
      powerDownOnClose(SI_PROP_POWER_DOWN_ON_CLOSE, RW, 0) {}

void ScannerProperties::Register(ImageSource& model, int32_t opticalDpi, int32_t sensorPixels,
                                 int32_t opticalScanLength) {
    opticalResolution.SetInt(opticalDpi);
    opticalWidth.SetInt(sensorPixels);
    opticalLength.SetInt(opticalScanLength);
    for (Property* p : std::initializer_list<Property*>{
             &opticalResolution, &opticalWidth, &xResolution, &yResolution, &bitsPerChannel, &bitsPerPixel,
             &colorMode, &brightness, &contrast, &invert, &yOffset, &xOffset, &scanWidth, &scanLength, &chunky,
             &channelOrder, &widthInBytes, &reverseFeed, &opticalLength, &gamma, &highlight, &shadow, &lutGray,
             &lutRed, &lutGreen, &lutBlue, &threshold, &eopDetect, &grayChannel, &eopExtraLength, &usbSpeed,
             &eepromText, &eepromDigits, &eepromWord4, &vendorId, &productId, &feedRate, &scanToPaperEnd,
             &scanRate, &motorPower, &applyCalibration, &useRecommendedRate, &exposureRed, &exposureGreen,
             &exposureBlue, &afeOffsetRed, &afeOffsetGreen, &afeOffsetBlue, &afeOffsetGray, &afeGainRed,
             &afeGainGreen, &afeGainBlue, &afeGainGray, &afeVref, &lengthLimit, &sideCount, &feedMotorFactor,
             &feedMotorSteps, &eopLength, &powerDownOnClose}) {
        model.AddProperty(p);
    }
}

void ScannerProperties::RegisterPrefeed(ImageSource& model, DeviceValueStore* store) {
    prefeedEnable.SetStore(store);
    prefeedDelay.SetStore(store);
    prefeedDistance.SetStore(store);
    model.AddProperty(&prefeedEnable);
    model.AddProperty(&prefeedDelay);
    model.AddProperty(&prefeedDistance);
}

DuplexPlatformProperties::DuplexPlatformProperties()
    : sideCount(SI_PROP_1050, RO, 2),
      sensorDistance(SI_PROP_1001, RO, kSensorDistance),
      opticalWidth(SI_PROP_OPTICAL_WIDTH, RO, 5184) {}

void DuplexPlatformProperties::Register(ImageSource& model, int32_t sensorPixels) {
    // The wide line holds both sides; the duplex splitter halves it again.
    opticalWidth.SetInt(sensorPixels * 2);
    model.AddProperty(&sideCount);
    model.AddProperty(&cisOffset);
    model.AddProperty(&sensorDistance);
    model.AddProperty(&opticalWidth);
}

FamilyProperties::FamilyProperties()
    : modelResolution(SI_PROP_MODEL_RESOLUTION, RO, 300),
      dataDirectory(SI_PROP_DATA_DIRECTORY, RO),
      deviceName(SI_PROP_DEVICE_NAME, RO),
      useRecommendedRate(SI_PROP_1009, RW, 1),
      led1(SI_PROP_LED_1, 0, 0),
      led2(SI_PROP_LED_2, 1, 1),
      xResolution300(kResolutions300, kDefaultResolution),
      yResolution300(kResolutions300, kDefaultResolution) {}

void FamilyProperties::Register(ImageSource& model, const std::string& directory, const std::string& device,
                                ScanRateCallback* scanRateSource, FeedRateCallback* feedRateSource) {
    dataDirectory.SetString(directory);
    deviceName.SetString(device);
    scanRate.SetCallback(scanRateSource);
    feedRate.SetCallback(feedRateSource);
    model.AddProperty(&modelResolution);
    model.AddProperty(&useRecommendedRate);
    model.AddProperty(&scanRate);
    model.AddProperty(&feedRate);
    model.AddProperty(&dataDirectory);
    model.AddProperty(&deviceName);
}

void FamilyProperties::RegisterLedFamily(ImageSource& model, LEDIndicatorCallback* leds, bool sensor300,
                                         const catalogue::ScanLengthShape& length) {
    led1.SetCallback(leds);
    led2.SetCallback(leds);
    model.AddProperty(&led1);
    model.AddProperty(&led2);
    if (sensor300) {
        model.AddProperty(&xResolution300);
        model.AddProperty(&yResolution300);
    }
    scanLength.emplace(length.maximum, length.baseLength, length.current);
    model.AddProperty(&*scanLength);
}
