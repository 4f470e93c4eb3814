// User-session services against the emulated machine: the implementation
// chosen by Windows version, the text form of SIDs, programs started for the
// console user, messages, the user's hive and desktop, and what happens when
// nobody is at the console or entry points are missing.
#include "MultiUserServices.h"
#include "SingleUserServices.h"
#include "SingleUserServices2000.h"
#include "UserServices.h"

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

using platform::testing::kNoConsoleSession;

constexpr const char* kQuickProgram = "/bin/sh -c \"exit 0\"";

std::vector<BYTE> Sid(std::vector<BYTE> authority, std::vector<DWORD> subs) {
    std::vector<BYTE> sid(8 + 4 * subs.size());
    sid[0] = 1;
    sid[1] = static_cast<BYTE>(subs.size());
    for (size_t i = 0; i < 6; ++i) sid[2 + i] = authority[i];
    for (size_t i = 0; i < subs.size(); ++i)
        for (size_t b = 0; b < 4; ++b) sid[8 + 4 * i + b] = static_cast<BYTE>(subs[i] >> (8 * b));
    return sid;
}

TEST(FormatSidString, TextFormsOfSids) {
    struct Case {
        std::vector<BYTE> authority;
        std::vector<DWORD> subs;
        const char* text;
    };
    const Case cases[] = {
        {{0, 0, 0, 0, 0, 5}, {18}, "S-1-5-18"},
        {{0, 0, 0, 0, 0, 1}, {0}, "S-1-1-0"},
        {{0, 0, 0, 0, 0, 5}, {32, 544}, "S-1-5-32-544"},
        {{0, 0, 0, 0, 0, 5},
         {21, 3623811015u, 3361044348u, 30300820u, 1013},
         "S-1-5-21-3623811015-3361044348-30300820-1013"},
        // The last four bytes as one big-endian number.
        {{0, 0, 0x12, 0x34, 0x56, 0x78}, {1}, "S-1-305419896-1"},
        // Either of the first two bytes set: all six in hexadecimal.
        {{1, 0, 0, 0, 0, 0}, {7}, "S-1-0x010000000000-7"},
        {{0, 1, 0, 0, 0, 0}, {7}, "S-1-0x000100000000-7"},
        {{0xAB, 0, 0, 0, 0, 0x0C}, {}, "S-1-0xab000000000c"},
        {{0, 0, 0, 0, 0, 5},
         {4294967295u, 4294967295u, 4294967295u, 4294967295u, 4294967295u, 4294967295u, 4294967295u, 4294967295u,
          4294967295u, 4294967295u, 4294967295u, 4294967295u, 4294967295u, 4294967295u, 4294967295u},
         "S-1-5-4294967295-4294967295-4294967295-4294967295-4294967295-4294967295-4294967295-4294967295-"
         "4294967295-4294967295-4294967295-4294967295-4294967295-4294967295-4294967295"},
    };
    for (const auto& c : cases) {
        std::vector<BYTE> sid = Sid(c.authority, c.subs);
        char text[260];
        std::memset(text, 'x', sizeof text);
        DWORD length = sizeof text;
        ASSERT_TRUE(FormatSidString(sid.data(), text, &length)) << c.text;
        EXPECT_STREQ(text, c.text);
        EXPECT_LT(std::strlen(text), 28 + 12 * c.subs.size());
    }
}

TEST(FormatSidString, ShortBufferGetsTheLengthNeeded) {
    struct Case {
        size_t subAuthorities;
        DWORD buffer;
        bool fits;
        DWORD length;  // after the call
    };
    const Case cases[] = {
        {5, 60, false, 88}, {5, 87, false, 88}, {5, 88, true, 88}, {0, 27, false, 28}, {1, 40, true, 40},
    };
    for (const auto& c : cases) {
        std::vector<BYTE> sid = Sid({0, 0, 0, 0, 0, 5}, std::vector<DWORD>(c.subAuthorities, 4294967295u));
        std::vector<char> text(c.buffer, 'x');
        DWORD length = c.buffer;
        SetLastError(0);
        EXPECT_EQ(FormatSidString(sid.data(), text.data(), &length), c.fits) << c.subAuthorities << "/" << c.buffer;
        EXPECT_EQ(length, c.length);
        if (!c.fits) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
            EXPECT_EQ(text[0], 'x');
        }
    }
}

TEST(FormatSidString, InvalidSidGivesFalse) {
    std::vector<BYTE> sid = Sid({0, 0, 0, 0, 0, 5}, {18});
    sid[0] = 2;  // unknown revision
    char text[64];
    DWORD length = sizeof text;
    EXPECT_FALSE(FormatSidString(sid.data(), text, &length));
    EXPECT_FALSE(FormatSidString(nullptr, text, &length));
}

TEST(UserServicesCreate, ImplementationByWindowsVersion) {
    struct Case {
        DWORD major, minor;
        const std::type_info& type;
    };
    const Case cases[] = {
        {4, 0, typeid(SingleUserServices)}, {4, 90, typeid(SingleUserServices)}, {5, 0, typeid(SingleUserServices2000)},
        {5, 1, typeid(MultiUserServices)},  {5, 2, typeid(MultiUserServices)},   {6, 0, typeid(MultiUserServices)},
        {6, 1, typeid(MultiUserServices)},  {10, 0, typeid(MultiUserServices)},
    };
    for (const auto& c : cases) {
        platform::testing::SetWindowsVersion(c.major, c.minor);
        UserServices services;
        EXPECT_TRUE(services.Create()) << c.major << "." << c.minor;
        ASSERT_NE(services.Implementation(), nullptr);
        const auto& implementation = *services.Implementation();
        EXPECT_EQ(typeid(implementation), c.type) << c.major << "." << c.minor;
        services.Destroy();
        EXPECT_EQ(services.Implementation(), nullptr);
    }
}

TEST(UserServicesCreate, FacadeWithoutImplementationFailsEverything) {
    UserServices services;
    EXPECT_FALSE(services.Init());
    EXPECT_FALSE(services.RunProgram(kQuickProgram, true));
    EXPECT_FALSE(services.HasUserToken());
    EXPECT_EQ(services.ShowMessage("text", "caption", MB_OK), 0);
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_FALSE(services.OpenUserKey("Software", &key));
    EXPECT_EQ(key, nullptr);
    EXPECT_TRUE(platform::testing::StartedProcesses().empty());
}

struct RunCase {
    DWORD major, minor;
    DWORD consoleSession;
    bool shell;
    bool started;  // a process is started
    bool asUser;
};

class RunProgramByVersion : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunProgramByVersion, StartsForTheUserWhenThereIsOneAndClosesEveryHandle) {
    const RunCase& c = GetParam();
    platform::testing::SetSession(0);  // a service or the setup process
    platform::testing::SetWindowsVersion(c.major, c.minor);
    platform::testing::SetConsoleSession(c.consoleSession);
    platform::testing::SetShellRunning(c.shell);
    platform::testing::SetConsoleUser("alice");
    UserServices services;
    services.Create();
    EXPECT_EQ(services.RunProgram(kQuickProgram, true), c.started);
    EXPECT_EQ(services.HasUserToken(), c.started);
    const auto started = platform::testing::StartedProcesses();
    ASSERT_EQ(started.size(), c.started ? 1u : 0u);
    if (c.started) {
        EXPECT_EQ(started[0].asUser, c.asUser);
        EXPECT_EQ(started[0].commandLine, kQuickProgram);
        EXPECT_EQ(started[0].desktop, "default");
        EXPECT_EQ(started[0].workingDirectory, "C:\\");
        if (c.asUser) {
            EXPECT_EQ(started[0].user, "alice");
            EXPECT_EQ(started[0].session, 1u);
        }
    }
    // Neither the started process nor the shell search leaves a handle open.
    EXPECT_EQ(platform::testing::OpenProcessHandles(), 0);
    EXPECT_EQ(platform::testing::OpenTokenHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(Versions, RunProgramByVersion,
                         ::testing::Values(RunCase{4, 0, 1, true, true, false},
                                           RunCase{4, 0, kNoConsoleSession, false, true, false},
                                           RunCase{5, 0, 1, true, true, true},
                                           // Nobody logged on: no shell process, nothing started.
                                           RunCase{5, 0, kNoConsoleSession, false, false, false},
                                           RunCase{5, 0, 1, false, false, false}, RunCase{6, 1, 1, true, true, true},
                                           // The console session decides, not the shell.
                                           RunCase{6, 1, 1, false, true, true},
                                           RunCase{6, 1, kNoConsoleSession, false, false, false}));

TEST(UserServicesRun, WithoutWaitTheResultIsWhetherItStarted) {
    UserServices services;
    services.Create();
    EXPECT_TRUE(services.RunProgram(kQuickProgram, false));
    EXPECT_FALSE(services.RunProgram("C:\\Windows\\Temp\\Missing.exe", false));
    EXPECT_EQ(platform::testing::OpenProcessHandles(), 0);
}

TEST(UserServicesRun, WaitLimitEndsTheWaitWithFalse) {
    UserServices services(50);
    services.Create();
    // The program outlives the limit by far.
    EXPECT_FALSE(services.RunProgram("/bin/sh -c \"sleep 2\"", true));
    EXPECT_EQ(platform::testing::OpenProcessHandles(), 0);
}

TEST(UserServicesMissingEntryPoints, OperationsFailInsteadOfCallingThroughNothing) {
    struct Case {
        DWORD major, minor;
        const char* module;
        const char* exportName;
        bool runs;
        bool desktop;  // EnterUserDesktop succeeds
    };
    const Case cases[] = {
        {5, 0, "psapi", "", false, false},
        {5, 0, "psapi", "GetModuleBaseNameA", false, false},
        {5, 0, "user32", "SetThreadDesktop", false, false},
        {6, 1, "wtsapi32", "", false, true},
        {6, 1, "wtsapi32", "WTSQueryUserToken", false, true},
        {6, 1, "kernel32", "WTSGetActiveConsoleSessionId", false, true},
        // The console user's token needs no process functions.
        {6, 1, "psapi", "EnumProcesses", true, false},
    };
    for (const auto& c : cases) {
        platform::testing::ResetControls();
        platform::testing::SetWindowsVersion(c.major, c.minor);
        platform::testing::Hide(c.module, c.exportName);
        UserServices services;
        EXPECT_FALSE(services.Create()) << c.module << "!" << c.exportName;
        EXPECT_EQ(services.RunProgram(kQuickProgram, true), c.runs) << c.module << "!" << c.exportName;
        EXPECT_EQ(services.HasUserToken(), c.runs);
        HKEY key = nullptr;
        EXPECT_EQ(services.OpenUserKey("Software", &key), c.runs);
        if (key != nullptr) RegCloseKey(key);
        EXPECT_EQ(services.EnterUserDesktop(), c.desktop);
        services.LeaveUserDesktop();
    }
    EXPECT_EQ(platform::testing::OpenProcessHandles(), 0);
}

TEST(UserServicesMessages, ServiceNotificationOrMessageToTheConsoleSession) {
    struct Case {
        DWORD major, minor;
        DWORD consoleSession;
        int answer;
        UINT type;  // as the message box saw it, 0 when none was shown
    };
    const Case cases[] = {
        {4, 0, 1, IDYES, MB_YESNO | MB_SERVICE_NOTIFICATION},
        {5, 0, 1, IDYES, MB_YESNO | MB_SERVICE_NOTIFICATION},
        {6, 1, 1, IDYES, MB_YESNO},
        {6, 1, kNoConsoleSession, 0, 0},
    };
    for (const auto& c : cases) {
        platform::testing::ResetControls();
        platform::testing::SetWindowsVersion(c.major, c.minor);
        platform::testing::SetConsoleSession(c.consoleSession);
        const size_t before = platform::testing::MessageBoxes().size();
        platform::testing::QueueMessageBoxAnswer(IDYES);
        UserServices services;
        services.Create();
        EXPECT_EQ(services.ShowMessage("Calibrate the scanner now?", "Scanner", MB_YESNO), c.answer);
        const auto boxes = platform::testing::MessageBoxes();
        ASSERT_EQ(boxes.size() - before, c.type != 0 ? 1u : 0u);
        if (c.type != 0) {
            EXPECT_EQ(boxes.back().text, "Calibrate the scanner now?");
            EXPECT_EQ(boxes.back().caption, "Scanner");
            EXPECT_EQ(boxes.back().type, c.type);
        }
    }
}

TEST(UserServicesHive, OpensTheConsoleUsersKeyUnderTheUsersHive) {
    HKEY written = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Paperlyn\\Settings", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &written, nullptr),
              ERROR_SUCCESS);
    const char value[] = "yes";
    ASSERT_EQ(RegSetValueExA(written, "Seen", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value),
              ERROR_SUCCESS);
    RegCloseKey(written);

    for (DWORD major : {4u, 5u, 6u}) {
        platform::testing::SetWindowsVersion(major, 0);
        UserServices services;
        services.Create();
        HKEY key = nullptr;
        ASSERT_TRUE(services.OpenUserKey("Software\\Paperlyn\\Settings", &key)) << major;
        char read[16] = {};
        DWORD size = sizeof read;
        EXPECT_EQ(RegQueryValueExA(key, "Seen", nullptr, nullptr, reinterpret_cast<BYTE*>(read), &size), ERROR_SUCCESS);
        EXPECT_STREQ(read, "yes");
        RegCloseKey(key);
        key = reinterpret_cast<HKEY>(1);
        EXPECT_FALSE(services.OpenUserKey("Software\\Nobody", &key));
        EXPECT_EQ(key, nullptr);
    }
    EXPECT_EQ(platform::testing::OpenTokenHandles(), 0);

    platform::testing::SetConsoleSession(kNoConsoleSession);
    UserServices services;
    services.Create();
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_FALSE(services.OpenUserKey("Software\\Paperlyn\\Settings", &key));
    EXPECT_EQ(key, nullptr);
}

TEST(UserServicesDesktop, EnterAndLeaveTheUsersDesktopFromAService) {
    platform::testing::SetSession(0);
    const std::string serviceDesktop = platform::testing::ThreadDesktopName();
    EXPECT_EQ(serviceDesktop, "Service-0x0-3e7$\\Default");
    UserServices services;
    services.Create();
    ASSERT_TRUE(services.EnterUserDesktop());
    EXPECT_EQ(platform::testing::ThreadDesktopName(), "WinSta0\\Default");
    EXPECT_EQ(platform::testing::ProcessWindowStationName(), "WinSta0");
    services.LeaveUserDesktop();
    EXPECT_EQ(platform::testing::ThreadDesktopName(), serviceDesktop);
    EXPECT_EQ(platform::testing::ProcessWindowStationName(), "Service-0x0-3e7$");
}

TEST(UserServicesDesktop, FailedDesktopOpenRestoresTheWindowStation) {
    platform::testing::SetSession(0);
    platform::testing::InjectFailure("OpenDesktopA", ERROR_ACCESS_DENIED);
    UserServices services;
    services.Create();
    EXPECT_FALSE(services.EnterUserDesktop());
    EXPECT_EQ(platform::testing::ProcessWindowStationName(), "Service-0x0-3e7$");
}

}  // namespace
