// Test controls: the fresh root, failure injection, hiding, message boxes,
// the Still Image stand-in, and controls handed to child processes.
#include <platform/testing.h>

#include <sti.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>

namespace {

namespace fs = std::filesystem;
using platform::testing::ChildProcess;

// Child role: prints what the inherited controls make the platform report.
int ReportControlsRole(const std::vector<std::string>&) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    const bool hidden = GetProcAddress(LoadLibraryA("kernel32"), "IsWow64Process") == nullptr;
    const bool injected = CreateEventA(nullptr, FALSE, FALSE, nullptr) == nullptr;
    OutputDebugStringA("child line");
    std::cout << info.dwMajorVersion << "." << info.dwMinorVersion << ":" << info.dwPlatformId << " wow64=" << wow64
              << " hidden=" << hidden << " injected=" << injected << " answer=" << MessageBoxA(nullptr, "q", "c", MB_YESNO)
              << " root=" << platform::testing::Root() << std::endl;
    return 0;
}

const bool kRoles = platform::testing::RegisterChildRole("report-controls", ReportControlsRole);

TEST(CoreControls, EachTestHasAFreshLaidOutRoot) {
    const std::string root = platform::testing::Root();
    for (const char* folder : {"drives/c/Windows/System32", "drives/c/Windows/Temp", "drives/c/ProgramData",
                               "drives/c/Program Files", "drives/c/Users/User/AppData/Roaming",
                               "drives/c/Users/User/AppData/Local", "drives/c/Users/User/Documents", "devices",
                               "objects/global", "services"})
        EXPECT_TRUE(fs::is_directory(root + "/" + folder)) << folder;
    std::string inner;
    {
        platform::testing::ScopedRoot scoped;
        inner = scoped.Path();
        EXPECT_EQ(platform::testing::Root(), inner);
        EXPECT_NE(inner, root);
    }
    EXPECT_FALSE(fs::exists(inner));
    EXPECT_EQ(platform::testing::Root(), root);
}

TEST(CoreControls, InjectedFailuresHonourSkipAndCount) {
    platform::testing::InjectFailure("CreateEventA", ERROR_NOT_ENOUGH_MEMORY, 1, 2);
    std::vector<bool> created;
    for (int i = 0; i < 4; ++i) {
        SetLastError(0);
        HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        created.push_back(event != nullptr);
        if (event) CloseHandle(event);
        else EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    }
    EXPECT_EQ(created, (std::vector<bool>{true, false, false, true}));
}

TEST(CoreControls, InjectedFailureWithoutCountLastsUntilCleared) {
    platform::testing::InjectFailure("WaitForSingleObject");
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    platform::testing::ClearFailures();
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    CloseHandle(event);
}

struct BoxCase {
    UINT type;
    int answer;
};

class CoreMessageBox : public ::testing::TestWithParam<BoxCase> {};

TEST_P(CoreMessageBox, DefaultButtonAnswersWithoutAScript) {
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", GetParam().type), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(Table, CoreMessageBox,
                         ::testing::Values(BoxCase{MB_OK, IDOK}, BoxCase{MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
                                           BoxCase{MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, IDIGNORE},
                                           BoxCase{MB_YESNOCANCEL | MB_ICONQUESTION, IDYES},
                                           BoxCase{MB_YESNO | MB_DEFBUTTON2, IDNO},
                                           BoxCase{MB_RETRYCANCEL | MB_DEFBUTTON3, IDRETRY},
                                           BoxCase{MB_YESNO | MB_SERVICE_NOTIFICATION, IDYES}));

TEST(CoreMessageBox, ScriptedAnswersAndRecords) {
    platform::testing::QueueMessageBoxAnswer(IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "Continue?", "RM310", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "Done", "RM310", MB_OK), IDOK);
    EXPECT_TRUE(MessageBeep(MB_ICONASTERISK));
    auto boxes = platform::testing::MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Continue?");
    EXPECT_EQ(boxes[0].caption, "RM310");
    EXPECT_EQ(boxes[0].type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(platform::testing::MessageBeeps(), std::vector<UINT>{MB_ICONASTERISK});
}

TEST(CoreStillImage, EmptyClientListsNoDevicesAndFactoryReplacesIt) {
    IStillImageW* sti = nullptr;
    ASSERT_EQ(StiCreateInstanceW(GetModuleHandleA(nullptr), STI_VERSION, &sti, nullptr), S_OK);
    DWORD count = 5;
    void* list = nullptr;
    EXPECT_EQ(sti->GetDeviceList(StiDeviceTypeDefault, 0, &count, &list), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(LocalFree(list), nullptr);
    IStiDevice* device = nullptr;
    wchar_t name[] = L"any";
    EXPECT_EQ(sti->CreateDevice(name, STI_DEVICE_CREATE_DATA, &device, nullptr),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(sti->Release(), 0u);

    platform::testing::SetStillImageFactory([](IStillImageW** out) {
        *out = nullptr;
        return E_ACCESSDENIED;
    });
    EXPECT_EQ(StiCreateInstanceW(nullptr, STI_VERSION, &sti, nullptr), E_ACCESSDENIED);
}

TEST(CoreControls, ChildrenInheritTheControls) {
    platform::testing::SetWindowsVersion(5, 2);
    platform::testing::SetWow64(true);
    platform::testing::Hide("kernel32", "IsWow64Process");
    platform::testing::InjectFailure("CreateEventA", ERROR_ACCESS_DENIED, 0, 1);
    platform::testing::QueueMessageBoxAnswer(IDNO);
    ChildProcess child("report-controls");
    auto line = child.ReadLine();
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(line, "5.2:2 wow64=1 hidden=1 injected=1 answer=7 root=" + platform::testing::Root());
    // This process's script is untouched by the child.
    EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_YESNO), IDNO);
}

TEST(CoreControls, ChildrenReadTheControlsFromTheEnvironment) {
    const std::string log = platform::testing::Root() + "/debug.log";
    ChildProcess child("report-controls", {}, "",
                       {"PLATFORM_WINVER=4.90:1", "PLATFORM_WOW64=1", "PLATFORM_HIDE=user32;kernel32!IsWow64Process",
                        "PLATFORM_FAIL=CloseHandle;CreateEventA:5@0*1", "PLATFORM_MSGBOX=2,6",
                        "PLATFORM_DEBUG_OUTPUT=" + log});
    auto line = child.ReadLine();
    const int pid = child.Pid();
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(line, "4.90:1 wow64=1 hidden=1 injected=1 answer=2 root=" + platform::testing::Root());
    std::ifstream in(log);
    std::string written;
    std::getline(in, written);
    EXPECT_EQ(written, "[" + std::to_string(pid) + "] child line");
}

TEST(CoreControls, AnUnknownChildRoleExitsWith127) {
    ChildProcess unknown("no-such-role");
    EXPECT_EQ(unknown.Wait(), 127);
}

}  // namespace
