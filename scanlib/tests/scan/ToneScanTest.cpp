// Tone settings seen in the scanned image: the chip applies the tables the
// model builds, so an inverted page is the complement of the plain one and a
// gamma curve maps each plain level as the tone curve says.
#include "../sisupport/SIClient.h"
#include "ScanSupport.h"

#include "engine/tone/ToneCurve.h"

#include <SIPropertyIds.h>

#include <emulator/VirtualScanner.h>
#include <gtest/gtest.h>
#include <platform/testing.h>

#include <array>
#include <cmath>
#include <filesystem>

namespace {

using namespace siclient;
using namespace scantest;

constexpr int kDpi = 75;

class ToneScanTest : public DeviceTest {
protected:
    Gray ScanWith(float gamma, int invert) {
        scanner_->InsertSheet(sheetPath_);
        EXPECT_EQ(SetFloat(SI_PROP_GAMMA, gamma), SI_OK);
        EXPECT_EQ(SetInt(SI_PROP_INVERT, invert), SI_OK);
        const ScannedPage page = ScanPage(false);
        EXPECT_EQ(page.start, SI_OK);
        EXPECT_EQ(page.front.endResult, SI_END_OF_PAGE);
        EXPECT_EQ(SI_FeedPaperOut(), SI_OK);
        return ToGray(page.front, 1);
    }

    std::filesystem::path sheetPath_;
};

TEST_F(ToneScanTest, InvertAndGammaReachTheImage) {
    SKIP_PAGES_ON_SLOW_HOST();
    Serve("RM410", {{"speed", "4"}});
    sheetPath_ = std::filesystem::path(platform::testing::Root()) / "sheet.pgm";
    WritePgm(sheetPath_, MakeSheet(4.0, 3.0, false));
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_Y_RESOLUTION, kDpi), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_X_RESOLUTION, kDpi), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_COLOR_MODE, 1), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_SCAN_LENGTH, 4 * kDpi), SI_OK);

    const Gray plain = ScanWith(1.0f, 0);
    const Gray inverted = ScanWith(1.0f, 1);
    const Gray curved = ScanWith(2.2f, 0);
    ASSERT_EQ(plain.pixels.size(), inverted.pixels.size());
    ASSERT_EQ(plain.pixels.size(), curved.pixels.size());

    std::array<uint8_t, 1024> curve{};
    BuildToneCurve(2.2f, 0, 255, 0, 0, curve.data(), 1024);
    double invertError = 0, curveError = 0;
    for (size_t i = 0; i < plain.pixels.size(); ++i) {
        invertError += std::abs(255.0 - plain.pixels[i] - inverted.pixels[i]);
        // The plain level p came from an input between p and p + 1 on the
        // 8-bit scale: the curve at the middle of that step.
        const size_t index = std::min<size_t>(1023, plain.pixels[i] * 4u + 2u);
        curveError += std::abs(static_cast<double>(curve[index]) - curved.pixels[i]);
    }
    const double n = static_cast<double>(plain.pixels.size());
    EXPECT_LT(invertError / n, 3.0);
    EXPECT_LT(curveError / n, 4.0);
}

}  // namespace
