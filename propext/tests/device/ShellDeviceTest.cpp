// The extension against the virtual scanner with the image-acquisition
// service host running, as on a desktop: the shell (shellhost, a child
// process) builds the device's context menu and runs its commands; the
// extension finds the device by its WIA name; and the prefeed values set on
// the page are what the minidriver's prefeed then does with an inserted
// sheet.
#include "DataObjects.h"
#include "PrefeedDevice.h"
#include "ServerSupport.h"

#include <MessageTable.h>
#include <emulator/HostSpeed.h>
#include <emulator/ImageDeviceEntry.h>
#include <emulator/VirtualScanner.h>
#include <platform/testing_ui.h>

#include <oleauto.h>
#include <prsht.h>
#include <propidl.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

namespace {

using namespace propext_test;
using namespace std::chrono_literals;

std::filesystem::path Program(const char* name) {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / name;
}

// Waits until the motor has stood still for a while; its position then.
int64_t SettledMotor(emulator::VirtualScanner& scanner) {
    int64_t last = scanner.MotorPosition();
    for (int stillFor = 0, i = 0; i < 400 && stillFor < 10; ++i) {
        std::this_thread::sleep_for(50ms);
        const int64_t now = scanner.MotorPosition();
        stillFor = now == last && scanner.Engine() == emulator::EngineState::Idle ? stillFor + 1 : 0;
        last = now;
    }
    return last;
}

struct HostRun {
    int status = -1;
    std::vector<std::string> lines;
};

class ShellDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (sizeof(void*) == 4 || emulator::UnderCpuEmulator())
            GTEST_SKIP() << "the service host's device runs are left to the native builds";
        platform::testing::SetLanguage(0x0409);
        platform::testing::SetWindowsVersion(5, 1);
        // The service host makes the device requests: the scanner keeps the
        // real clock.
        scanner_ = std::make_unique<emulator::VirtualScanner>(
            "RM310-GL841", emulator::SwitchOverrides{{"clock", "real"}, {"speed", "4"}});
        scanner_->Serve(platform::testing::Root(), 0);
        ASSERT_FALSE(
            platform::testing::InstallStillImageDevice(emulator::ImageDeviceEntry("RM310-GL841", 0, *scanner_))
                .empty());
        ASSERT_TRUE(platform::testing::StartImageService());
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        coInitialized_ = true;
    }

    void TearDown() override {
        if (coInitialized_) CoUninitialize();
        if (!scanner_) return;
        platform::testing::StopImageService();
        for (const auto& v : scanner_->Violations()) ADD_FAILURE() << "violation " << v.rule << ": " << v.text;
        scanner_->StopServing();
    }

    // shellhost with `args`, the scripted user's steps and NAME=value pairs.
    HostRun Shell(const std::vector<std::string>& args, const std::string& steps = "",
                  std::vector<std::string> environment = {}) {
        if (!steps.empty()) environment.push_back("PLATFORM_UI_SCRIPT=" + steps);
        environment.push_back("PLATFORM_UI_TIMEOUT_MS=120000");
        platform::testing::ChildProcess child("shell", args, Program("shellhost").string(), environment);
        HostRun run;
        if (!child.Started()) return run;
        while (auto line = child.ReadLine()) run.lines.push_back(*line);
        run.status = child.Wait();
        return run;
    }

    static std::vector<std::string> Starting(const HostRun& run, const std::string& prefix) {
        std::vector<std::string> found;
        for (const auto& line : run.lines)
            if (line.rfind(prefix, 0) == 0) found.push_back(line);
        return found;
    }

    // The device's WIA id through the device manager.
    std::wstring DeviceId() {
        Held<IWiaDevMgr> manager;
        if (FAILED(CoCreateInstance(CLSID_WiaDevMgr, nullptr, CLSCTX_LOCAL_SERVER, IID_IWiaDevMgr, manager.Raw())))
            return {};
        Held<IEnumWIA_DEV_INFO> devices;
        if (manager->EnumDeviceInfo(WIA_DEVINFO_ENUM_LOCAL, devices.Out()) != S_OK) return {};
        Held<IWiaPropertyStorage> info;
        ULONG fetched = 0;
        if (devices->Next(1, info.Out(), &fetched) != S_OK) return {};
        PROPSPEC which{};
        which.ulKind = PRSPEC_PROPID;
        which.propid = WIA_DIP_DEV_ID;
        PROPVARIANT value{};
        if (info->ReadMultiple(1, &which, &value) != S_OK || value.vt != VT_BSTR) return {};
        std::wstring id = value.bstrVal;
        PropVariantClear(&value);
        return id;
    }

    std::unique_ptr<emulator::VirtualScanner> scanner_;
    bool coInitialized_ = false;
};

TEST_F(ShellDeviceTest, ContextMenuOffersBothCommandsInTheMachinesLanguage) {
    ASSERT_EQ(Shell({"register", Program("PelidorU.dll").string()}).status, 0);
    struct Case {
        const char* name;
        const char* langId;
        int column;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"English, the device's item", "0x0409", 0, {"menu"}},
        {"French, the device's name", "0x040C", 1, {"menu", "--names"}},
        {"German", "0x0407", 4, {"menu"}},
    };
    for (const auto& c : cases) {
        const HostRun run = Shell(c.args, "", {std::string("PLATFORM_LANGID=") + c.langId});
        EXPECT_EQ(run.status, 0) << c.name;
        EXPECT_EQ(Starting(run, "initialized"), std::vector<std::string>{"initialized 0x00000000"}) << c.name;
        EXPECT_EQ(Starting(run, "item"),
                  (std::vector<std::string>{std::string("item 1 ") + MessageTable[29][static_cast<size_t>(c.column)],
                                            std::string("item 2 ") + MessageTable[30][static_cast<size_t>(c.column)]}))
            << c.name;
    }
}

TEST_F(ShellDeviceTest, CalibrateFromTheMenuCalibratesTheSheet) {
    ASSERT_EQ(Shell({"register", Program("PelidorU.dll").string()}).status, 0);
    scanner_->InsertCalibrationSheet();
    const HostRun run = Shell({"menu", "--invoke", "Calibrate"}, "press:104:1;answer:1",
                              {"PLATFORM_UI_LOG=" + (std::filesystem::path(platform::testing::Root()) / "ui.log").string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(Starting(run, "invoked"), std::vector<std::string>{"invoked 0x00000000"});
    EXPECT_GT(scanner_->LinesScanned(), 0u);
}

TEST_F(ShellDeviceTest, MenuCommandsWithoutPaperAndCancelled) {
    ASSERT_EQ(Shell({"register", Program("PelidorU.dll").string()}).status, 0);
    // Clean with no sheet: asked again, then cancelled; nothing moves.
    const int64_t before = scanner_->MotorPosition();
    HostRun run = Shell({"menu", "--invoke", "Clean"}, "press:104:1;press:104:1;press:104:2");
    EXPECT_EQ(Starting(run, "invoked"), std::vector<std::string>{"invoked 0x00000000"});
    EXPECT_EQ(scanner_->MotorPosition(), before);
    // Cleaning sheet in: the cycle runs, no box.
    scanner_->InsertCalibrationSheet();
    run = Shell({"menu", "--invoke", "Clean"}, "press:104:1");
    EXPECT_EQ(Starting(run, "invoked"), std::vector<std::string>{"invoked 0x00000000"});
    EXPECT_EQ(scanner_->Paper().departed.size(), 1u);
}

TEST_F(ShellDeviceTest, ExtensionFindsTheDeviceByItsName) {
    ServerModule module;
    ASSERT_TRUE(module.Loaded());
    const std::wstring id = DeviceId();
    ASSERT_FALSE(id.empty());
    struct Case {
        const char* name;
        std::wstring deviceName;
        bool succeeds;
    };
    const Case cases[] = {
        {"the device's id", id, true},
        {"a device nobody has", L"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\9999", false},
    };
    for (const auto& c : cases) {
        Held<IShellExtInit> init;
        ASSERT_EQ(module.CreateShellExt(init.Out()), S_OK);
        IDataObject* object = TestDataObject::WithNames(std::vector<std::wstring>{c.deviceName});
        const HRESULT result = init->Initialize(nullptr, object, nullptr);
        object->Release();
        EXPECT_EQ(SUCCEEDED(result), c.succeeds) << c.name << " " << std::hex << result;
    }
    // The device's feeder item is no device.
    Held<IWiaDevMgr> manager;
    ASSERT_EQ(CoCreateInstance(CLSID_WiaDevMgr, nullptr, CLSCTX_LOCAL_SERVER, IID_IWiaDevMgr, manager.Raw()), S_OK);
    BSTR text = SysAllocString(id.c_str());
    Held<IWiaItem> root;
    ASSERT_EQ(manager->CreateDevice(text, root.Out()), S_OK);
    SysFreeString(text);
    Held<IEnumWiaItem> children;
    ASSERT_EQ(root->EnumChildItems(children.Out()), S_OK);
    Held<IWiaItem> feeder;
    ULONG fetched = 0;
    ASSERT_EQ(children->Next(1, feeder.Out(), &fetched), S_OK);
    for (IWiaItem* item : {root.p, feeder.p}) {
        Held<IShellExtInit> init;
        ASSERT_EQ(module.CreateShellExt(init.Out()), S_OK);
        IDataObject* object = TestDataObject::WithItem(item);
        EXPECT_EQ(init->Initialize(nullptr, object, nullptr), item == root.p ? S_OK : E_FAIL);
        object->Release();
    }
}

// The page's values reach the minidriver: an inserted sheet waits the
// page's delay and is drawn in by the page's distance.
TEST_F(ShellDeviceTest, PrefeedFollowsThePage) {
    ServerModule module;
    ASSERT_TRUE(module.Loaded());
    Held<IShellExtInit> init;
    ASSERT_EQ(module.CreateShellExt(init.Out()), S_OK);
    Held<IShellPropSheetExt> sheet;
    ASSERT_EQ(init->QueryInterface(IID_IShellPropSheetExt, sheet.Raw()), S_OK);
    struct Collected {
        std::vector<HPROPSHEETPAGE> pages;
        static BOOL CALLBACK Add(HPROPSHEETPAGE page, LPARAM lParam) {
            reinterpret_cast<Collected*>(lParam)->pages.push_back(page);
            return TRUE;
        }
    } collected;
    ASSERT_EQ(sheet->AddPages(Collected::Add, reinterpret_cast<LPARAM>(&collected)), S_OK);
    platform::testing::ScriptUser({"trackbar:107:1030:25", "trackbar:107:1029:2500", "press:1"});
    PROPSHEETHEADERA header{};
    header.dwSize = sizeof header;
    header.pszCaption = "RM310 Properties";
    header.nPages = 1;
    header.phpage = collected.pages.data();
    PropertySheetA(&header);
    ASSERT_EQ(CurrentPrefeed(), (Prefeed{1, 2500, 25}));

    const int64_t before = scanner_->MotorPosition();
    const auto inserted = std::chrono::steady_clock::now();
    // A plain 4 by 3 inch sheet.
    const auto front = std::filesystem::path(platform::testing::Root()) / "sheet.pgm";
    {
        std::ofstream sheetFile(front, std::ios::binary);
        sheetFile << "P5\n2400 1800\n255\n" << std::string(2400 * 1800, '\xC8');
    }
    scanner_->InsertSheet(front);
    // Nothing moves within the delay (a busy machine only moves it later).
    while (std::chrono::steady_clock::now() - inserted < 2000ms) {
        ASSERT_EQ(scanner_->MotorPosition(), before) << "moved before the page's delay";
        std::this_thread::sleep_for(50ms);
    }
    for (int i = 0; i < 600 && scanner_->MotorPosition() == before; ++i) std::this_thread::sleep_for(50ms);
    // 25/100 inch at 600 steps per inch.
    const int64_t moved = SettledMotor(*scanner_) - before;
    EXPECT_NEAR(static_cast<double>(moved), 150, 2.0);
}

}  // namespace
