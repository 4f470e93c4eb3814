// The Advanced page in the device's property sheet, as the shell shows it,
// driven by the scripted user: live writes of the prefeed values, Default,
// Cancel; and the page for the Still Image control panel by Windows
// version.
#include "DataObjects.h"
#include "PrefeedDevice.h"
#include "ServerSupport.h"

#include <platform/testing_ui.h>

#include <commctrl.h>
#include <prsht.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

using namespace propext_test;

struct Pages {
    std::vector<HPROPSHEETPAGE> pages;
    BOOL answer = TRUE;
    static BOOL CALLBACK Add(HPROPSHEETPAGE page, LPARAM lParam) {
        auto* self = reinterpret_cast<Pages*>(lParam);
        if (self->answer) self->pages.push_back(page);
        return self->answer;
    }
};

INT_PTR ShowSheet(Pages& pages) {
    PROPSHEETHEADERA header{};
    header.dwSize = sizeof header;
    header.pszCaption = "RM310 Properties";
    header.nPages = static_cast<UINT>(pages.pages.size());
    header.phpage = pages.pages.data();
    return PropertySheetA(&header);
}

class AdvancedPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::testing::SetLanguage(0x0409);
        ASSERT_FALSE(platform::testing::InstallStillImageDevice(ScannerEntry()).empty());
        ASSERT_TRUE(module_.Loaded());
    }

    // The device's sheet with the page the extension adds, under `steps`.
    void RunSheet(const std::vector<std::string>& steps) {
        Held<IShellExtInit> init;
        ASSERT_EQ(module_.CreateShellExt(init.Out()), S_OK);
        Held<IShellPropSheetExt> sheet;
        ASSERT_EQ(init->QueryInterface(IID_IShellPropSheetExt, sheet.Raw()), S_OK);
        Pages pages;
        ASSERT_EQ(sheet->AddPages(Pages::Add, reinterpret_cast<LPARAM>(&pages)), S_OK);
        ASSERT_EQ(pages.pages.size(), 1u);
        platform::testing::ScriptUser(steps);
        ShowSheet(pages);
        EXPECT_EQ(platform::testing::PendingUserSteps(), 0u);
    }

    ServerModule module_;
};

struct PageCase {
    const char* name;
    std::vector<std::string> steps;  // before the sheet's closing button
    const char* close;               // "press:1" (OK) or "press:2" (Cancel)
    Prefeed expected;
};

TEST_F(AdvancedPageTest, ControlsWriteLiveDefaultRestoresTheCopiesCancelTheOpeningValues) {
    const PageCase cases[] = {
        {"OK adds nothing", {}, "press:1", {1, 900, 7}},
        {"sliders write as they stop", {"trackbar:107:1029:2500", "trackbar:107:1030:25"}, "press:1",
         {1, 2500, 25}},
        {"the checkbox writes all three", {"press:107:1022"}, "press:1", {0, 900, 7}},
        {"cancel restores the opening values",
         {"trackbar:107:1029:2500", "press:107:1022", "trackbar:107:1030:40"}, "press:2", {1, 900, 7}},
        // The two clicks write the controls: they show the copies too.
        {"default writes and shows the copies",
         {"trackbar:107:1029:2500", "press:107:1021", "press:107:1022", "press:107:1022"}, "press:1",
         {1, 600, 11}},
    };
    for (const auto& c : cases) {
        SetDeviceNumber("PrefeedEnableDef", 1);
        SetDeviceNumber("PrefeedDelayInMsDef", 600);
        SetDeviceNumber("PrefeedDistanceDef", 11);
        SetDeviceNumber("PrefeedEnable", 1);
        SetDeviceNumber("PrefeedDelayInMs", 900);
        SetDeviceNumber("PrefeedDistance", 7);
        std::vector<std::string> steps = c.steps;
        steps.push_back(c.close);
        RunSheet(steps);
        EXPECT_EQ(CurrentPrefeed(), c.expected) << c.name;
    }
}

TEST_F(AdvancedPageTest, PageAsAPersonSeesIt) {
    const auto picture = std::filesystem::path(platform::testing::Root()) / "advanced.png";
    RunSheet({"picture:107:" + picture.string(), "press:2"});
    int width = 0, height = 0;
    EXPECT_FALSE(platform::testing::ReadPng(picture.string(), &width, &height).empty());
    if (const char* keep = std::getenv("PROPEXT_PICTURES")) {
        std::filesystem::copy_file(picture, std::filesystem::path(keep) / "advanced-page.png",
                                   std::filesystem::copy_options::overwrite_existing);
    }
}

TEST_F(AdvancedPageTest, RefusedPageIsDestroyedAndFails) {
    Held<IShellExtInit> init;
    ASSERT_EQ(module_.CreateShellExt(init.Out()), S_OK);
    Held<IShellPropSheetExt> sheet;
    ASSERT_EQ(init->QueryInterface(IID_IShellPropSheetExt, sheet.Raw()), S_OK);
    Pages refused;
    refused.answer = FALSE;
    EXPECT_EQ(sheet->AddPages(Pages::Add, reinterpret_cast<LPARAM>(&refused)), E_FAIL);
    EXPECT_EQ(sheet->ReplacePage(0, Pages::Add, reinterpret_cast<LPARAM>(&refused)), E_NOTIMPL);
}

struct VersionCase {
    DWORD major, minor, platformId;
    BOOL expected;
};

TEST_F(AdvancedPageTest, StillImagePanelGetsThePageOnWindows2000And98Only) {
    const VersionCase cases[] = {
        {5, 0, VER_PLATFORM_WIN32_NT, TRUE},      {4, 10, VER_PLATFORM_WIN32_WINDOWS, TRUE},
        {5, 1, VER_PLATFORM_WIN32_NT, FALSE},     {6, 1, VER_PLATFORM_WIN32_NT, FALSE},
        {4, 90, VER_PLATFORM_WIN32_WINDOWS, FALSE}, {4, 0, VER_PLATFORM_WIN32_NT, FALSE},
    };
    for (const auto& c : cases) {
        platform::testing::SetWindowsVersion(c.major, c.minor, c.platformId);
        Pages pages;
        EXPECT_EQ(module_.EnumStiPropPages(Pages::Add, reinterpret_cast<LPARAM>(&pages)), c.expected)
            << c.major << "." << c.minor;
        EXPECT_EQ(pages.pages.size(), c.expected ? 1u : 0u) << c.major << "." << c.minor;
        for (HPROPSHEETPAGE page : pages.pages) DestroyPropertySheetPage(page);
    }
    platform::testing::SetWindowsVersion(5, 0);
    Pages refused;
    refused.answer = FALSE;
    EXPECT_EQ(module_.EnumStiPropPages(Pages::Add, reinterpret_cast<LPARAM>(&refused)), FALSE);
}

}  // namespace
