// A calibration through SI_Calibrate on the virtual scanner's calibration
// sheet, then a page: the stored calibration is in force for that scan and
// for the next process's open.
#include "../sisupport/SIClient.h"
#include "ScanSupport.h"

#include <SIPropertyIds.h>

#include <emulator/VirtualScanner.h>
#include <gtest/gtest.h>
#include <platform/testing.h>

#include <filesystem>

namespace {

using namespace siclient;
using namespace scantest;

class CalibratedScanTest : public DeviceTest {};

TEST_F(CalibratedScanTest, CalibratedPageResemblesTheSheetAndTheCalibrationIsKept) {
    SKIP_PAGES_ON_SLOW_HOST();
    auto& scanner = Serve("RM410", {{"speed", "4"}});
    scanner.InsertCalibrationSheet();
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    const SIResult calibration = SI_Calibrate(0, nullptr);
    ASSERT_TRUE(calibration == SI_OK || calibration == SI_CALIBRATED_WHITE_ONLY) << calibration;
    SI_FeedPaperOut();
    int calibrated = 0;
    EXPECT_EQ(SI_IsCalibrated(&calibrated), SI_OK);
    EXPECT_EQ(calibrated, 1);
    const int32_t vref = Int(SI_PROP_AFE_VREF);
    ASSERT_EQ(SI_CloseInterface(), SI_OK);

    const auto path = std::filesystem::path(platform::testing::Root()) / "sheet.pgm";
    const Gray sheet = MakeSheet(4.0, 3.0, false);
    WritePgm(path, sheet);
    scanner.InsertSheet(path);
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    EXPECT_EQ(Int(SI_PROP_AFE_VREF), vref);  // the next open starts from the file
    ASSERT_EQ(SetInt(SI_PROP_Y_RESOLUTION, 150), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_X_RESOLUTION, 150), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_COLOR_MODE, 1), SI_OK);
    ASSERT_EQ(SetFloat(SI_PROP_GAMMA, 1.0f), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_SCAN_WIDTH, IntBounds(SI_PROP_SCAN_WIDTH).second), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_SCAN_LENGTH, 600), SI_OK);
    const ScannedPage page = ScanPage(false);
    ASSERT_EQ(page.start, SI_OK);
    ASSERT_EQ(page.front.endResult, SI_END_OF_PAGE);
    const Gray scan = Reduce(ToGray(page.front, 1), 2);
    const Match m = BestMatch(scan, Reduce(sheet, 8), 75);
    EXPECT_GT(m.correlation, 0.95);
}

}  // namespace
