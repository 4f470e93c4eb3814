// Properties backed by the model's callbacks and by the device's stored values.
#include "PropertyTestSupport.h"

#include "engine/properties/DeviceProperties.h"
#include "engine/properties/DeviceValueProperties.h"

#include <SIPropertyIds.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

class FakeDevice : public VendorIDCallback,
                   public ProductIDCallback,
                   public LEDIndicatorCallback,
                   public ScanRateCallback,
                   public DeviceValueStore {
public:
    uint16_t GetVendorID() override { return 0x17C4; }
    uint16_t GetProductID() override { return product; }
    int LEDIndicator(int led, int* value, bool set) override {
        if (led < 0 || led > 1) return 1;
        if (set) leds[led] = *value != 0;
        else *value = leds[led];
        return leds[led];
    }
    void GetScanRateRange(float* minimum, float* maximum, float* recommended) override {
        *minimum = minimumRate;
        *maximum = maximumRate;
        *recommended = recommendedRate;
    }
    bool GetDeviceValue(const std::string& device, const std::string& name, int* value) override {
        auto it = values.find(device + "/" + name);
        if (it == values.end()) return false;
        *value = it->second;
        return true;
    }
    bool SetDeviceValue(const std::string& device, const std::string& name, int value) override {
        if (readOnly) return false;
        values[device + "/" + name] = value;
        return true;
    }

    uint16_t product = 0x00F0;
    int leds[2] = {0, 1};
    float minimumRate = 0.123455f, maximumRate = 1.2345678f, recommendedRate = 0.8f;
    std::map<std::string, int> values;
    bool readOnly = false;
};

TEST(UsbIds, AskTheModelOnEveryRead) {
    FakeDevice device;
    VendorIDProp vendor;
    ProductIDProp product;
    EXPECT_EQ(product.GetInt(), 0) << "no callback: a plain value";
    vendor.SetCallback(&device);
    product.SetCallback(&device);
    EXPECT_EQ(vendor.GetInt(), 0x17C4);
    device.product = 0x00F2;
    SIProperty r{};
    product.Get(&r);
    EXPECT_EQ(IntFromSlot(r.value[0]), 0x00F2);
    EXPECT_EQ(r.access, SI_ACCESS_READ_ONLY);
    EXPECT_FALSE(product.Set(&r));
}

TEST(Leds, ReadAndWriteThroughTheModel) {
    FakeDevice device;
    LEDIndicator led1(SI_PROP_LED_1, 0, 0);
    LEDIndicator led2(SI_PROP_LED_2, 1, 1);
    SIProperty on = BoolRecord(1);
    EXPECT_FALSE(led1.Set(&on)) << "refused without a callback";
    led1.SetCallback(&device);
    led2.SetCallback(&device);
    EXPECT_TRUE(led1.Set(&on));
    EXPECT_EQ(device.leds[0], 1);
    device.leds[1] = 0;
    SIProperty r{};
    led2.Get(&r);
    EXPECT_EQ(IntFromSlot(r.value[0]), 0);
    SIProperty two = BoolRecord(2);
    EXPECT_FALSE(led2.Set(&two));
}

TEST(Rates, RoundToFiveDecimals) {
    EXPECT_FLOAT_EQ(RoundRateHalfUp(0.123455f), 0.12346f);
    EXPECT_FLOAT_EQ(RoundRateHalfUp(0.123454f), 0.12345f);
    EXPECT_FLOAT_EQ(TruncateRate(1.2345678f), 1.23456f);
}

TEST(Rates, ScanRateTakesTheModelsRangeAndRecommendation) {
    FakeDevice device;
    OwnerSource owner;
    ScanRateProp rate;
    SingleBool useRecommended(SI_PROP_1009, SI_ACCESS_READ_WRITE, 1);
    owner.AddProperty(&rate);
    owner.AddProperty(&useRecommended);
    rate.SetCallback(&device);
    SIProperty r{};
    rate.Get(&r);
    EXPECT_FLOAT_EQ(FloatFromSlot(r.value[0]), 0.12346f);
    EXPECT_FLOAT_EQ(FloatFromSlot(r.value[1]), 1.23456f);
    EXPECT_FLOAT_EQ(FloatFromSlot(r.value[3]), 0.8f);
    EXPECT_FLOAT_EQ(FloatFromSlot(r.value[4]), 0.8f);
    // A current value below a raised minimum is lifted to it.
    device.minimumRate = 0.9f;
    EXPECT_FLOAT_EQ(rate.GetFloat(), 0.9f);
    // Without the recommendation the default is the maximum.
    useRecommended.SetInt(0);
    device.maximumRate = 1.1f;
    EXPECT_FLOAT_EQ(rate.GetFloat(), 1.1f);
    EXPECT_FLOAT_EQ(rate.GetDefaultFloat(), 1.1f);
}

class DeviceValues : public ::testing::Test {
protected:
    DeviceValues()
        : name(SI_PROP_DEVICE_NAME, SI_ACCESS_READ_ONLY, "RM310"),
          delay(SI_PROP_PREFEED_DELAY, 200, 2500, 1500, "PrefeedDelayInMs", "PrefeedDelayInMsDef"),
          enable(SI_PROP_PREFEED_ENABLE, 1, "PrefeedEnable", "PrefeedEnableDef") {
        delay.SetStore(&device);
        enable.SetStore(&device);
        owner.AddProperty(&delay);
        owner.AddProperty(&enable);
        device.values = {{"RM310/PrefeedDelayInMs", 900},
                         {"RM310/PrefeedDelayInMsDef", 1500},
                         {"RM310/PrefeedEnable", 0},
                         {"RM310/PrefeedEnableDef", 1}};
    }
    FakeDevice device;
    OwnerSource owner;
    SingleString name;
    DeviceValueRangeIntProp delay;
    DeviceValueSingleBoolProp enable;
};

TEST_F(DeviceValues, FailWithoutTheDeviceName) {
    SIProperty r{};
    r.value[0] = 12345;
    EXPECT_FALSE(delay.Get(&r));
    EXPECT_EQ(r.value[0], 12345u) << "record untouched";
    EXPECT_FALSE(enable.Get(&r));
    SIProperty set = IntRecord(SI_CONTAINER_SINGLE, 1000);
    EXPECT_FALSE(delay.Set(&set));
    EXPECT_FALSE(enable.SetInt(1));
}

TEST_F(DeviceValues, ReadAndWriteTheStore) {
    owner.AddProperty(&name);
    SIProperty r{};
    ASSERT_TRUE(delay.Get(&r));
    EXPECT_EQ(IntFromSlot(r.value[3]), 1500);
    EXPECT_EQ(IntFromSlot(r.value[4]), 900);
    EXPECT_EQ(enable.GetInt(), 0);

    SIProperty set = IntRecord(SI_CONTAINER_RANGE, 0, 0, 2000);
    EXPECT_TRUE(delay.Set(&set));
    EXPECT_EQ(device.values["RM310/PrefeedDelayInMs"], 2000);
    set = IntRecord(SI_CONTAINER_SINGLE, 100);
    EXPECT_FALSE(delay.Set(&set)) << "below the range";
    EXPECT_EQ(device.values["RM310/PrefeedDelayInMs"], 2000);

    EXPECT_TRUE(enable.SetInt(1));
    EXPECT_EQ(device.values["RM310/PrefeedEnable"], 1);
    device.readOnly = true;
    SIProperty off = BoolRecord(0);
    EXPECT_FALSE(enable.Set(&off)) << "a failed write is reported";
}

}  // namespace
