// Pages that go wrong: the scanner unplugged mid-page, a request that never
// completes, a jammed sheet and a motor that never reports idle. A page that
// stops short is never handed out as a whole one.
#include "../sisupport/SIClient.h"
#include "ScanSupport.h"

#include <SIPropertyIds.h>

#include <emulator/VirtualScanner.h>
#include <gtest/gtest.h>
#include <platform/testing.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace siclient;

constexpr int kDpi = 150;

class ScanFaultTest : public DeviceTest {
protected:
    emulator::VirtualScanner& ServeWithSheet(double lengthInches = 3.0) {
        auto& scanner = Serve("RM410");
        const auto path = std::filesystem::path(platform::testing::Root()) / "sheet.pgm";
        scantest::WritePgm(path, scantest::MakeSheet(4.0, lengthInches, false));
        scanner.InsertSheet(path);
        return scanner;
    }

    void OpenGrayPage(int lengthLines) {
        ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
        ASSERT_EQ(SetInt(SI_PROP_Y_RESOLUTION, kDpi), SI_OK);
        ASSERT_EQ(SetInt(SI_PROP_X_RESOLUTION, kDpi), SI_OK);
        ASSERT_EQ(SetInt(SI_PROP_COLOR_MODE, 1), SI_OK);
        ASSERT_EQ(SetInt(SI_PROP_SCAN_LENGTH, lengthLines), SI_OK);
    }

    // Reads side 0 until it ends; the lines and the result that ended it.
    std::pair<int, SIResult> ReadFront(const std::function<void(int)>& afterRead = {}) {
        std::vector<uint8_t> buffer(static_cast<size_t>(Int(SI_PROP_WIDTH_IN_BYTES)) * 32);
        int total = 0;
        for (;;) {
            int got = 0;
            const SIResult r = SI_ReadImageData(buffer.data(), 32, 0, &got);
            if (r == SI_OK || r == SI_END_OF_PAGE) total += got;
            if (r != SI_OK) return {total, r};
            if (afterRead) afterRead(total);
        }
    }
};

TEST_F(ScanFaultTest, UnplugMidPageFailsTheReadAndStaysStickyUntilAStatusCall) {
    auto& scanner = ServeWithSheet();
    const int length = 4 * kDpi;
    OpenGrayPage(length);
    ASSERT_EQ(SI_StartScan(), SI_OK);
    bool unplugged = false;
    const auto [lines, result] = ReadFront([&](int total) {
        if (!unplugged && total >= kDpi) {
            scanner.Unplug();
            unplugged = true;
        }
    });
    ASSERT_TRUE(unplugged) << "the page ended with " << result << " after " << lines << " lines";
    EXPECT_EQ(result, SI_ERR_COMMUNICATION);
    EXPECT_LT(lines, length);

    SIProperty p{};
    p.id = SI_PROP_COLOR_MODE;
    EXPECT_EQ(SI_GetProperty(&p), SI_ERR_COMMUNICATION);
    EXPECT_EQ(SI_StartScan(), SI_ERR_COMMUNICATION);
    int status = -1;
    EXPECT_EQ(SI_GetScannerStatus(&status), SI_OK);
    EXPECT_EQ(status, SI_SCANNER_NOT_READY);
    EXPECT_EQ(SI_GetProperty(&p), SI_OK);  // the sticky state ended
    EXPECT_EQ(SI_CloseInterface(), SI_OK);
    scanner.Plug();
}

TEST_F(ScanFaultTest, ImageReadThatNeverCompletesFailsThePage) {
    auto& scanner = ServeWithSheet();
    const int length = 4 * kDpi;
    OpenGrayPage(length);
    ASSERT_EQ(SI_StartScan(), SI_OK);
    scanner.InjectFault("timeout ON bulk-in*");
    const auto [lines, result] = ReadFront();
    EXPECT_EQ(result, SI_ERR_COMMUNICATION);
    EXPECT_LT(lines, length);
    scanner.ClearFaults();
    int status = -1;
    EXPECT_EQ(SI_GetScannerStatus(&status), SI_OK);
    EXPECT_EQ(SI_EndScan(), SI_OK);
}

TEST_F(ScanFaultTest, JammedSheetEndsAtTheScanLengthAndStaysAtTheSensor) {
    auto& scanner = ServeWithSheet();
    scanner.InjectFault("jam:1.0");
    const int length = 3 * kDpi;
    OpenGrayPage(length);
    ASSERT_EQ(SetInt(SI_PROP_EOP_DETECT, 1), SI_OK);
    ASSERT_EQ(SI_StartScan(), SI_OK);
    const auto [lines, result] = ReadFront();
    EXPECT_EQ(result, SI_END_OF_PAGE);
    EXPECT_EQ(lines, length);  // the paper never left the sensor
    EXPECT_EQ(SI_EndScan(), SI_OK);
    EXPECT_EQ(SI_FeedPaperOut(), SI_OK);
    int paper = 0;
    EXPECT_EQ(SI_GetPaperStatus(&paper), SI_OK);
    EXPECT_EQ(paper, SI_PAPER_PRESENT);  // still there for the user to clear
}

// The scan rate's range depends on the power source, which is read under
// the model's lock; the spooler's worker holds that lock for its reads, so
// the property answers from the scan's start instead of waiting (it used to
// wait 5 s and answer 19).
TEST_F(ScanFaultTest, ScanRateCanBeReadWhileAPageIsScanned) {
    ServeWithSheet();
    const int length = 2 * kDpi;
    OpenGrayPage(length);
    ASSERT_EQ(SI_StartScan(), SI_OK);
    int asked = 0;
    const auto [lines, result] = ReadFront([&](int total) {
        if (total < kDpi / 2 || asked >= 3) return;
        ++asked;
        SIResult r = SI_OK;
        const SIProperty rate = Record(SI_PROP_SCAN_RATE, &r);
        EXPECT_EQ(r, SI_OK) << "read " << asked;
        EXPECT_GT(rate.value[1], 0u) << "a maximum";
    });
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(result, SI_END_OF_PAGE);
    EXPECT_EQ(lines, length);
    EXPECT_EQ(SI_EndScan(), SI_OK);
}

// Spool files in the system temporary folder.
std::vector<std::string> SpoolFiles() {
    std::vector<std::string> names;
    const auto folder = std::filesystem::path(platform::testing::Root()) / "drives/c/Windows/Temp";
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("SI", 0) == 0) names.push_back(name);
    }
    return names;
}

// A disk with no room for the spool file: the scan does not start (2048),
// leaves no file, holds no lock, and the next start scans the whole page.
TEST_F(ScanFaultTest, FullDiskFailsTheScanStartCleanly) {
    ServeWithSheet();
    const int length = kDpi;
    OpenGrayPage(length);
    for (const char* step : {"GetTempFileNameA", "CreateFileA"}) {
        platform::testing::InjectFailure(step, ERROR_DISK_FULL, 0, 1);
        EXPECT_EQ(SI_StartScan(), SI_ERR_UNKNOWN) << step;
        platform::testing::ClearFailures();
        EXPECT_EQ(SpoolFiles(), std::vector<std::string>{}) << step;
        int status = -1;
        EXPECT_EQ(SI_GetScannerStatus(&status), SI_OK) << step;
        EXPECT_NE(status, SI_SCANNER_BUSY) << step;
    }
    ASSERT_EQ(SI_StartScan(), SI_OK);
    const auto [lines, result] = ReadFront();
    EXPECT_EQ(result, SI_END_OF_PAGE);
    EXPECT_EQ(lines, length);
    EXPECT_EQ(SI_EndScan(), SI_OK);
    EXPECT_EQ(SpoolFiles(), std::vector<std::string>{});
}

TEST_F(ScanFaultTest, MotorThatNeverStopsFailsTheFeedInsteadOfHanging) {
    auto& scanner = ServeWithSheet();
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_Y_OFFSET, 50), SI_OK);
    scanner.InjectFault("motor-never-idle");
    EXPECT_EQ(SI_Feed(), SI_ERR_COMMUNICATION);
    scanner.ClearFaults();
    int status = -1;
    EXPECT_EQ(SI_GetScannerStatus(&status), SI_OK);
    EXPECT_EQ(SI_GetLastError(), SI_OK);
}

}  // namespace
