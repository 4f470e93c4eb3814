// Calibrate.exe against the virtual scanner through the real library, with
// the direct-port model name (the Still Image route comes with the image
// service).
#include "ChildRuns.h"

#include <gtest/gtest.h>

namespace calibrate_test {
namespace {

std::vector<std::string> Boxes(const std::vector<std::string>& ui) {
    std::vector<std::string> boxes;
    for (const std::string& line : ui)
        if (line.rfind("box ", 0) == 0) boxes.push_back(line);
    return boxes;
}

TEST(CalibratorScanner, CalibratesTheSheetAndReportsSuccess) {
    SKIP_IN_32_BIT_BUILD();
    Emulator scanner("RM310-GL841");
    ASSERT_TRUE(scanner.Ready());
    ASSERT_EQ(scanner.Ask("insert-calibration"), "ok");
    const CalibratorRun run = RunCalibrator({"Pelidor.dll", "RM310__"}, {"press:131:1103", "answer:1"},
                                            {"PLATFORM_UI_TIMEOUT_MS=120000"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Boxes(run.ui),
              (std::vector<std::string>{"box 0x40 \"Scanner Calibrator\" \"Calibration was successful.\\n\""}));
    EXPECT_EQ(scanner.Violations(), 0);
}

TEST(CalibratorScanner, NoSheetAsksForItAndCancelEnds) {
    SKIP_IN_32_BIT_BUILD();
    Emulator scanner("RM310-GL841");
    ASSERT_TRUE(scanner.Ready());
    const CalibratorRun run = RunCalibrator({"Pelidor.dll", "RM310__"}, {"press:131:1103", "answer:1", "press:131:2"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto boxes = Boxes(run.ui);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Please insert the black and white calibration paper"), std::string::npos);
    EXPECT_EQ(scanner.Violations(), 0);
}

}  // namespace
}  // namespace calibrate_test
