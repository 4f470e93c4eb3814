// Pages and calibration through the Still Image route: "RM310" travels
// client -> service host -> minidriver -> usbscan -> virtual scanner, and
// gives what "RM310__" gives on the device file directly.
#include "../sisupport/SIClient.h"
#include "ScanSupport.h"

#include <SIPropertyIds.h>

#include <emulator/ImageDeviceEntry.h>
#include <emulator/VirtualScanner.h>
#include <gtest/gtest.h>
#include <platform/testing.h>
#include <platform/testing_io.h>

#include <cmath>
#include <fstream>
#include <cstdlib>
#include <string>

namespace {

using namespace siclient;
using namespace scantest;

constexpr double kSheetWidth = 4.0;
constexpr double kSheetLength = 3.0;

class StillImageRouteTest : public DeviceTest {
protected:
    void SetUp() override {
        if (sizeof(void*) == 4) GTEST_SKIP() << "a 32-bit process under WOW64 takes the usbscan port";
        front_ = MakeSheet(kSheetWidth, kSheetLength, false);
        back_ = MakeSheet(kSheetWidth, kSheetLength, true);
        frontPath_ = std::filesystem::path(platform::testing::Root()) / "front.pgm";
        backPath_ = std::filesystem::path(platform::testing::Root()) / "back.pgm";
        WritePgm(frontPath_, front_);
        WritePgm(backPath_, back_);
    }

    // The RM310 on its GL841 board, entered as its installation file would.
    emulator::VirtualScanner& ServeInstalled(int sheets, const emulator::SwitchOverrides& switches = {{"speed", "4"}}) {
        auto& scanner = Serve("RM310-GL841", switches);
        for (int i = 0; i < sheets; ++i) scanner.InsertSheet(frontPath_, backPath_);
        EXPECT_FALSE(
            platform::testing::InstallStillImageDevice(emulator::ImageDeviceEntry("RM310-GL841", 0, scanner)).empty());
        return scanner;
    }

    void Configure(int mode, int dpi, bool duplex) {
        ASSERT_EQ(SetInt(SI_PROP_Y_RESOLUTION, dpi), SI_OK);
        ASSERT_EQ(SetInt(SI_PROP_X_RESOLUTION, dpi), SI_OK);
        ASSERT_EQ(SetInt(SI_PROP_COLOR_MODE, mode), SI_OK);
        ASSERT_EQ(SetInt(SI_PROP_DUPLEX, duplex ? 1 : 0), SI_OK);
        ASSERT_EQ(SetInt(SI_PROP_X_OFFSET, 0), SI_OK);
        ASSERT_EQ(SetInt(SI_PROP_SCAN_WIDTH, IntBounds(SI_PROP_SCAN_WIDTH).second), SI_OK);
        ASSERT_EQ(SetInt(SI_PROP_SCAN_LENGTH, 4 * dpi), SI_OK);
    }

    ScannedPage ScanThrough(const char* name, int mode, int dpi, bool duplex) {
        EXPECT_EQ(SI_OpenInterface(name), SI_OK) << name;
        Configure(mode, dpi, duplex);
        ScannedPage page = ScanPage(duplex);
        EXPECT_EQ(SI_FeedPaperOut(), SI_OK);
        EXPECT_EQ(SI_CloseInterface(), SI_OK);
        return page;
    }

    // The service host's log mentions `text`.
    static bool HostLogHas(const std::string& text) {
        std::ifstream log(std::filesystem::path(platform::testing::Root()) / "services" / "imgsvc.log");
        std::string line;
        while (std::getline(log, line)) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }

    static double MeanDifference(const ScannedSide& a, const ScannedSide& b) {
        if (a.data.size() != b.data.size() || a.data.empty()) return 1e9;
        double sum = 0;
        for (size_t i = 0; i < a.data.size(); ++i) sum += std::abs(int(a.data[i]) - int(b.data[i]));
        return sum / static_cast<double>(a.data.size());
    }

    Gray front_, back_;
    std::filesystem::path frontPath_, backPath_;
};

struct RouteCase {
    int mode;
    int dpi;
    bool duplex;
};

class StillImageRoutePageTest : public StillImageRouteTest, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(StillImageRoutePageTest, PageThroughTheServiceMatchesThePageOnTheDeviceFile) {
    SKIP_PAGES_ON_SLOW_HOST();
    const RouteCase c = GetParam();
    ServeInstalled(2);
    const ScannedPage direct = ScanThrough("RM310__", c.mode, c.dpi, c.duplex);
    const ScannedPage routed = ScanThrough("RM310", c.mode, c.dpi, c.duplex);
    EXPECT_TRUE(HostLogHas("monitor of ")) << "the page did not go through the service host";
    ASSERT_EQ(routed.start, SI_OK);
    EXPECT_EQ(routed.end, SI_OK);
    EXPECT_EQ(routed.front.endResult, SI_END_OF_PAGE);
    EXPECT_EQ(routed.front.lines, direct.front.lines);
    EXPECT_EQ(routed.front.bytesPerLine, direct.front.bytesPerLine);
    // The two sheets are the same; only the sensor's noise differs.
    const double tolerance = c.mode == 0 ? 0.2 * 255 : 6.0;
    EXPECT_LT(MeanDifference(routed.front, direct.front), tolerance);
    if (c.duplex) {
        EXPECT_EQ(routed.back.endResult, SI_END_OF_PAGE);
        EXPECT_EQ(routed.back.lines, direct.back.lines);
        EXPECT_LT(MeanDifference(routed.back, direct.back), tolerance);
    }
}

std::string RouteCaseName(const ::testing::TestParamInfo<RouteCase>& info) {
    static const char* const kModes[] = {"LineArt", "Gray", "Colour"};
    return std::string(kModes[info.param.mode]) + std::to_string(info.param.dpi) +
           (info.param.duplex ? "Duplex" : "Simplex");
}

INSTANTIATE_TEST_SUITE_P(Modes, StillImageRoutePageTest,
                         ::testing::Values(RouteCase{0, 150, false}, RouteCase{1, 150, true},
                                           RouteCase{2, 150, true}),
                         RouteCaseName);

}  // namespace
