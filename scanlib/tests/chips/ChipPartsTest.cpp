#include "chips/CISModule.h"
#include "chips/Motor.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

struct ModuleCase {
    const char* name;
    std::function<std::unique_ptr<CISModule>()> make;
    int dummy, flag, dpi, pixels, modeFactor;
};

class CISModuleTest : public ::testing::TestWithParam<ModuleCase> {};

TEST_P(CISModuleTest, DescribesItsSensor) {
    const ModuleCase& c = GetParam();
    const auto module = c.make();
    EXPECT_EQ(module->GetDummyPixels(), c.dummy);
    EXPECT_EQ(module->GetControlFlag(), c.flag);
    EXPECT_EQ(module->ReservedValue(), 0);
    EXPECT_EQ(module->GetOpticalDpi(), c.dpi);
    EXPECT_EQ(module->GetPixelCount(), c.pixels);
    EXPECT_EQ(module->GetModeFactor(), c.modeFactor);
}

template <class T>
std::unique_ptr<CISModule> Make() {
    return std::make_unique<T>();
}

INSTANTIATE_TEST_SUITE_P(Modules, CISModuleTest,
                         ::testing::Values(ModuleCase{"CM215_04", Make<CM215_04>, 82, 0, 600, 5184, 2},
                                           ModuleCase{"CM215_04_300", Make<CM215_04_300>, 82, 0, 300, 2592, 1},
                                           ModuleCase{"CM218_02", Make<CM218_02>, 82, 0, 600, 2592, 2},
                                           ModuleCase{"CM612", Make<CM612>, 82, 1, 600, 2592, 2},
                                           ModuleCase{"CM612_300", Make<CM612_300>, 82, 1, 300, 1296, 1},
                                           ModuleCase{"CM635", Make<CM635>, 22, 1, 600, 2496, 2},
                                           ModuleCase{"CM651", Make<CM651>, 22, 1, 600, 5184, 2}),
                         [](const ::testing::TestParamInfo<ModuleCase>& p) { return std::string(p.param.name); });

TEST(MotorTest, DriversDescribeTheirMotors) {
    const FAN8200D fan;
    const FAN8200D_2 fan2;
    const L6219 l6219;
    EXPECT_FLOAT_EQ(fan.GetStepsPerInch(), 609.4f);
    EXPECT_FLOAT_EQ(fan.GetMaxFeedRate(), 2.75f);
    // The two 600-step drivers differ only in their maximum feed rate.
    EXPECT_FLOAT_EQ(fan2.GetStepsPerInch(), 600.0f);
    EXPECT_FLOAT_EQ(l6219.GetStepsPerInch(), 600.0f);
    EXPECT_FLOAT_EQ(fan2.GetMaxFeedRate(), 4.0f);
    EXPECT_FLOAT_EQ(l6219.GetMaxFeedRate(), 2.8205128f);
    EXPECT_EQ(fan.ReservedValue() + fan2.ReservedValue() + l6219.ReservedValue(), 0);
}

}  // namespace
