// Calibrate and Clean against the virtual scanner, entered as its
// installation file would: the commands load the real library, which
// reaches the scanner through the Still Image service (a 32-bit process on
// a 64-bit system takes the device file).
#include "CommandSupport.h"
#include "ModuleState.h"
#include "ScannerCommands.h"

#include <emulator/HostSpeed.h>
#include <emulator/ImageDeviceEntry.h>
#include <emulator/VirtualScanner.h>

#include <memory>

namespace {

using namespace propext_test;

class ScannerCommandsDevice : public ::testing::Test {
protected:
    void SetUp() override {
        if (sizeof(void*) == 4 || emulator::UnderCpuEmulator())
            GTEST_SKIP() << "whole calibrations are left to the native builds";
        platform::testing::SetLanguage(0x0409);
        module_state::SetInstance(GetModuleHandleA(nullptr));
        // The service host, not this process, makes the device requests:
        // the scanner keeps the real clock.
        scanner_ = std::make_unique<emulator::VirtualScanner>(
            "RM310-GL841", emulator::SwitchOverrides{{"clock", "real"}, {"speed", "4"}});
        scanner_->Serve(platform::testing::Root(), 0);
        ASSERT_FALSE(platform::testing::InstallStillImageDevice(
                         emulator::ImageDeviceEntry("RM310-GL841", 0, *scanner_))
                         .empty());
    }

    void TearDown() override {
        if (!scanner_) return;
        const auto violations = scanner_->Violations();
        EXPECT_TRUE(violations.empty()) << violations.size() << " violations; first: "
                                        << (violations.empty() ? "" : violations.front().text);
        platform::testing::StopImageService();
        scanner_.reset();
    }

    std::unique_ptr<emulator::VirtualScanner> scanner_;
};

TEST_F(ScannerCommandsDevice, CalibrateTakesTheSheetAndReportsSuccess) {
    scanner_->InsertCalibrationSheet();
    platform::testing::ScriptUser({"press:104:1", "answer:1"});
    EXPECT_EQ(RunCalibrate(nullptr), S_OK);
    EXPECT_EQ(ShownBoxes(), (std::vector<std::string>{"Calibrate|row 0"}));
    EXPECT_GT(scanner_->LinesScanned(), 0u);
}

TEST_F(ScannerCommandsDevice, CalibrateWithoutPaperAsksAgainAndCancelEnds) {
    platform::testing::ScriptUser({"press:104:1", "press:104:1", "press:104:2"});
    EXPECT_EQ(RunCalibrate(nullptr), S_OK);
    EXPECT_EQ(platform::testing::PendingUserSteps(), 0u);
    EXPECT_TRUE(ShownBoxes().empty());
    EXPECT_EQ(scanner_->LinesScanned(), 0u);
}

TEST_F(ScannerCommandsDevice, CleanRunsTheCleaningCycleWithoutABox) {
    scanner_->InsertCalibrationSheet();
    const int64_t before = scanner_->MotorPosition();
    platform::testing::ScriptUser({"press:104:1"});
    EXPECT_EQ(RunClean(nullptr), S_OK);
    EXPECT_TRUE(ShownBoxes().empty());
    EXPECT_EQ(scanner_->Paper().departed.size(), 1u);
    EXPECT_NE(scanner_->MotorPosition(), before);
}

TEST_F(ScannerCommandsDevice, CancelledCleanMovesNoPaper) {
    scanner_->InsertCalibrationSheet();
    const int64_t before = scanner_->MotorPosition();
    platform::testing::ScriptUser({"press:104:2"});
    EXPECT_EQ(RunClean(nullptr), S_OK);
    EXPECT_EQ(scanner_->MotorPosition(), before);
    EXPECT_TRUE(scanner_->Paper().departed.empty());
}

}  // namespace
