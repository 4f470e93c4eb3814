// Feed, eject and the cleaning cycle against the virtual scanner: the
// distances asked arrive as motor steps.
#include "../sisupport/SIClient.h"
#include "ScanSupport.h"

#include <SIPropertyIds.h>

#include <emulator/VirtualScanner.h>
#include <gtest/gtest.h>
#include <platform/testing.h>

#include <cmath>
#include <filesystem>

namespace {

using namespace siclient;

constexpr double kStepsPerInch = 609.4;  // the RM410's motor

class PaperMoveTest : public DeviceTest {
protected:
    emulator::VirtualScanner& ServeWithSheet() {
        auto& scanner = Serve("RM410", {{"speed", "4"}});
        const auto path = std::filesystem::path(platform::testing::Root()) / "sheet.pgm";
        scantest::WritePgm(path, scantest::MakeSheet(4.0, 6.0, false));
        scanner.InsertSheet(path);
        return scanner;
    }

    static int64_t Steps(double inches) { return std::llround(inches * kStepsPerInch); }
};

TEST_F(PaperMoveTest, FeedMovesTheDistanceOfTheYOffsetEitherWay) {
    auto& scanner = ServeWithSheet();
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_Y_RESOLUTION, 300), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_X_RESOLUTION, 300), SI_OK);

    struct Move {
        int lines;
        int reverse;
        double inches;
    };
    for (const Move m : {Move{600, 0, 2.0}, Move{150, 1, -0.5}, Move{75, 0, 0.25}}) {
        ASSERT_EQ(SetInt(SI_PROP_Y_OFFSET, m.lines), SI_OK);
        ASSERT_EQ(SetInt(SI_PROP_REVERSE_FEED, m.reverse), SI_OK);
        const int64_t before = scanner.MotorPosition();
        ASSERT_EQ(SI_Feed(), SI_OK);
        const int64_t moved = scanner.MotorPosition() - before;
        const int64_t expected = Steps(m.inches);
        EXPECT_NEAR(static_cast<double>(moved), static_cast<double>(expected), 2.0) << m.lines;
    }
    const int64_t before = scanner.MotorPosition();
    ASSERT_EQ(SetInt(SI_PROP_Y_OFFSET, 0), SI_OK);
    EXPECT_EQ(SI_Feed(), SI_OK);
    EXPECT_EQ(scanner.MotorPosition(), before);  // nothing asked, nothing moved
}

TEST_F(PaperMoveTest, EjectRunsTheSheetOutAndStopsOnceItHasLeft) {
    auto& scanner = ServeWithSheet();
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_Y_OFFSET, 600), SI_OK);
    ASSERT_EQ(SI_Feed(), SI_OK);
    const int64_t before = scanner.MotorPosition();
    ASSERT_EQ(SI_FeedPaperOut(), SI_OK);
    const auto paper = scanner.Paper();
    EXPECT_FALSE(paper.inPath.has_value());
    EXPECT_EQ(paper.departed.size(), 1u);
    EXPECT_FALSE(paper.sensorPaper);
    // It stops short of the 14 inches it may run: the sheet is out.
    EXPECT_LT(scanner.MotorPosition() - before, Steps(14.0));
    int status = 0;
    EXPECT_EQ(SI_GetScannerStatus(&status), SI_OK);
    EXPECT_EQ(status, SI_SCANNER_READY);
}

TEST_F(PaperMoveTest, EjectWithoutPaperRunsItsShortDistance) {
    // On device time: the tail wait after the sensor reads no paper is the
    // distance at the feed rate, shorter than the move with its ramps; the
    // move must still run its whole short distance.
    auto& scanner = Serve("RM410");
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    const int64_t before = scanner.MotorPosition();
    ASSERT_EQ(SI_FeedPaperOut(), SI_OK);
    EXPECT_NEAR(static_cast<double>(scanner.MotorPosition() - before), static_cast<double>(Steps(1.75)), 2.0);
}

int Cancel(int) { return 0; }

TEST_F(PaperMoveTest, CleaningCancelledAtOnceFeedsOnceEjectsAndRestoresTheSettings) {
    auto& scanner = ServeWithSheet();
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_Y_RESOLUTION, 150), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_Y_OFFSET, 33), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_REVERSE_FEED, 1), SI_OK);
    EXPECT_EQ(SI_Clean(Cancel), SI_ERR_CANCELLED);
    EXPECT_EQ(scanner.Paper().departed.size(), 1u);
    EXPECT_EQ(Int(SI_PROP_Y_RESOLUTION), 150);
    EXPECT_EQ(Int(SI_PROP_Y_OFFSET), 33);
    EXPECT_EQ(Int(SI_PROP_REVERSE_FEED), 1);
}

TEST_F(PaperMoveTest, WholeCleaningCycleEndsWithTheSheetOut) {
    auto& scanner = ServeWithSheet();
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    EXPECT_EQ(SI_Clean(nullptr), SI_OK);
    EXPECT_EQ(scanner.Paper().departed.size(), 1u);
    EXPECT_EQ(Int(SI_PROP_REVERSE_FEED), 0);
}

}  // namespace
