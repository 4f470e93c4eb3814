// Two processes on one scanner: the second has it open while the first
// scans, sees it busy and is refused a scan and a feed; once the first is
// done the second scans its own page.
#include "../sisupport/SIClient.h"
#include "ScanSupport.h"

#include <SIPropertyIds.h>

#include <emulator/VirtualScanner.h>
#include <gtest/gtest.h>
#include <platform/testing.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace siclient;
namespace pt = platform::testing;

constexpr int kDpi = 100;
constexpr int kLength = 4 * kDpi;

void SetPage() {
    SetInt(SI_PROP_Y_RESOLUTION, kDpi);
    SetInt(SI_PROP_X_RESOLUTION, kDpi);
    SetInt(SI_PROP_COLOR_MODE, 1);
    SetInt(SI_PROP_SCAN_LENGTH, kLength);
}

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// The second process: reports each result on its own line.
int SecondScanner(const std::vector<std::string>&) {
    Say("open " + std::to_string(SI_OpenInterface("RM410__")));
    Say("vendor " + std::to_string(Int(SI_PROP_VENDOR_ID)));
    char line[16];
    if (!std::fgets(line, sizeof line, stdin)) return 2;
    int status = -1;
    const SIResult r = SI_GetScannerStatus(&status);
    Say("status " + std::to_string(r) + " " + std::to_string(status));
    Say("start " + std::to_string(SI_StartScan()));
    Say("feed " + std::to_string(SI_Feed()));
    Say("name " + String(SI_PROP_DEVICE_NAME));
    if (!std::fgets(line, sizeof line, stdin)) return 2;
    SetPage();
    const scantest::ScannedPage page = scantest::ScanPage(false);
    Say("page " + std::to_string(page.start) + " " + std::to_string(page.front.lines) + " " +
        std::to_string(page.front.endResult) + " " + std::to_string(page.end));
    Say("close " + std::to_string(SI_CloseInterface()));
    return 0;
}
const bool kRegistered = pt::RegisterChildRole("second-scanner", SecondScanner);

class TwoProcessTest : public DeviceTest {};

TEST_F(TwoProcessTest, SecondProcessIsBusyWhileTheFirstScansThenScansItself) {
    SKIP_PAGES_ON_SLOW_HOST();
    auto& scanner = Serve("RM410");
    const auto path = std::filesystem::path(pt::Root()) / "sheet.pgm";
    scantest::WritePgm(path, scantest::MakeSheet(4.0, 3.0, false));
    scanner.InsertSheet(path);
    scanner.InsertSheet(path);

    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    SetPage();

    // The second opens and reads a device value before the page starts:
    // both need the device for a moment, and during a page they wait for its
    // lock on the host's clock, which a loaded host can make them miss (busy,
    // as it should be). During the page it asks only what needs no device.
    pt::ChildProcess second("second-scanner");
    ASSERT_TRUE(second.Started());
    const auto next = [&] { return second.ReadLine().value_or("(none)"); };
    EXPECT_EQ(next(), "open 0");
    EXPECT_EQ(next(), "vendor " + std::to_string(0x17C4));
    ASSERT_EQ(SI_StartScan(), SI_OK);
    second.WriteLine("scanning");
    EXPECT_EQ(next(), "status 0 2");
    EXPECT_EQ(next(), "start 19");
    EXPECT_EQ(next(), "feed 19");
    EXPECT_EQ(next(), "name RM410");

    // The first page is whole although the second process worked meanwhile.
    std::vector<uint8_t> buffer(static_cast<size_t>(Int(SI_PROP_WIDTH_IN_BYTES)) * 64);
    int total = 0;
    SIResult r = SI_OK;
    while (r == SI_OK) {
        int got = 0;
        r = SI_ReadImageData(buffer.data(), 64, 0, &got);
        if (r == SI_OK || r == SI_END_OF_PAGE) total += got;
    }
    EXPECT_EQ(r, SI_END_OF_PAGE);
    EXPECT_EQ(total, kLength);
    EXPECT_EQ(SI_EndScan(), SI_OK);
    EXPECT_EQ(SI_FeedPaperOut(), SI_OK);

    second.WriteLine("go");
    EXPECT_EQ(next(), "page 0 " + std::to_string(kLength) + " 20 0");
    EXPECT_EQ(next(), "close 0");
    EXPECT_EQ(second.Wait(), 0);
}

}  // namespace
