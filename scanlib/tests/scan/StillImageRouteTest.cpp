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
#include <vector>

#include <sti.h>
#include <windows.h>

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
    // The service host, not this process, makes its device requests, so the
    // scanner keeps the real clock.
    emulator::VirtualScanner& ServeInstalled(int sheets, emulator::SwitchOverrides switches = {{"speed", "4"}}) {
        switches.try_emplace("clock", "real");
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

TEST_F(StillImageRouteTest, CalibrationThroughTheServiceAgreesWithTheDeviceFile) {
    SKIP_PAGES_ON_SLOW_HOST();
    auto& scanner = ServeInstalled(0);
    SIResult results[2] = {};
    int32_t vref[2] = {};
    const char* const names[2] = {"RM310__", "RM310"};
    for (int i = 0; i < 2; ++i) {
        scanner.InsertCalibrationSheet();
        ASSERT_EQ(SI_OpenInterface(names[i]), SI_OK) << names[i];
        results[i] = SI_Calibrate(0, nullptr);
        SI_FeedPaperOut();
        int calibrated = 0;
        EXPECT_EQ(SI_IsCalibrated(&calibrated), SI_OK);
        EXPECT_EQ(calibrated, 1) << names[i];
        vref[i] = Int(SI_PROP_AFE_VREF);
        ASSERT_EQ(SI_CloseInterface(), SI_OK);
    }
    EXPECT_TRUE(results[1] == SI_OK || results[1] == SI_CALIBRATED_WHITE_ONLY) << results[1];
    EXPECT_EQ(results[1], results[0]);
    EXPECT_EQ(vref[1], vref[0]);
}

TEST_F(StillImageRouteTest, UnplugMidPageGivesTheCommunicationFailureAndTheNextOpenAfterReplugWorks) {
    SKIP_PAGES_ON_SLOW_HOST();
    auto& scanner = ServeInstalled(1);
    ASSERT_EQ(SI_OpenInterface("RM310"), SI_OK);
    Configure(1, 150, false);
    ASSERT_EQ(SI_StartScan(), SI_OK);
    std::vector<uint8_t> buffer(static_cast<size_t>(Int(SI_PROP_WIDTH_IN_BYTES)) * 16);
    int got = 0;
    ASSERT_EQ(SI_ReadImageData(buffer.data(), 16, 0, &got), SI_OK);
    scanner.Unplug();
    SIResult r = SI_OK;
    for (int i = 0; i < 10000 && r == SI_OK; ++i) r = SI_ReadImageData(buffer.data(), 16, 0, &got);
    EXPECT_EQ(r, SI_ERR_COMMUNICATION);
    SI_EndScan();
    SI_CloseInterface();
    scanner.Plug();
    ASSERT_EQ(SI_OpenInterface("RM310"), SI_OK);
    int status = -1;
    EXPECT_EQ(SI_GetScannerStatus(&status), SI_OK);
    EXPECT_EQ(status, SI_SCANNER_READY);
}

TEST_F(StillImageRouteTest, PrefeedPropertiesReadAndWriteTheValuesTheMinidriverReads) {
    ServeInstalled(0);
    IStillImage* sti = nullptr;
    ASSERT_EQ(StiCreateInstanceW(GetModuleHandleA(nullptr), STI_VERSION, &sti, nullptr), S_OK);
    DWORD count = 0;
    void* list = nullptr;
    ASSERT_EQ(sti->GetDeviceList(0, 0, &count, &list), S_OK);
    ASSERT_EQ(count, 1u);
    std::wstring device = static_cast<STI_DEVICE_INFORMATIONW*>(list)->szDeviceInternalName;
    LocalFree(list);
    auto put = [&](const wchar_t* name, DWORD value) {
        std::wstring n = name;
        ASSERT_EQ(sti->SetDeviceValue(device.data(), n.data(), REG_DWORD, reinterpret_cast<BYTE*>(&value), 4), S_OK);
    };
    auto get = [&](const wchar_t* name) {
        std::wstring n = name;
        DWORD value = 0, type = 0, size = 4;
        EXPECT_EQ(sti->GetDeviceValue(device.data(), n.data(), &type, reinterpret_cast<BYTE*>(&value), &size), S_OK);
        return value;
    };
    put(L"PrefeedEnable", 1);
    put(L"PrefeedEnableDef", 1);
    put(L"PrefeedDelayInMs", 1500);
    put(L"PrefeedDelayInMsDef", 1000);
    put(L"PrefeedDistance", 40);
    put(L"PrefeedDistanceDef", 30);

    ASSERT_EQ(SI_OpenInterface("RM310"), SI_OK);
    EXPECT_EQ(Int(SI_PROP_PREFEED_DELAY), 1500);
    EXPECT_EQ(Int(SI_PROP_PREFEED_DISTANCE), 40);
    ASSERT_EQ(SetInt(SI_PROP_PREFEED_DELAY, 2000), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_PREFEED_ENABLE, 0), SI_OK);
    EXPECT_EQ(get(L"PrefeedDelayInMs"), 2000u);
    EXPECT_EQ(get(L"PrefeedEnable"), 0u);
    EXPECT_EQ(get(L"PrefeedDelayInMsDef"), 1000u);
    sti->Release();
}

}  // namespace
