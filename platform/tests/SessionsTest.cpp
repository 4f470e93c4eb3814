// User sessions: the console user and their token, the shell process, real
// processes started as the user or the caller, messages to the console
// session, window stations and desktops, and the system modules that offer
// them by name.
#include <platform/testing.h>

#include <psapi.h>
#include <windows.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using platform::testing::kNoConsoleSession;

std::vector<BYTE> TokenSid(HANDLE token) {
    DWORD size = 0;
    EXPECT_FALSE(GetTokenInformation(token, TokenUser, nullptr, 0, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> buffer(size);
    EXPECT_TRUE(GetTokenInformation(token, TokenUser, buffer.data(), size, &size));
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    EXPECT_TRUE(IsValidSid(sid));
    const auto* bytes = static_cast<const BYTE*>(sid);
    return {bytes, bytes + GetLengthSid(sid)};
}

std::vector<BYTE> Sid(std::vector<DWORD> subs) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    subs.resize(8);
    PSID sid = nullptr;
    EXPECT_TRUE(AllocateAndInitializeSid(&nt, 5, subs[0], subs[1], subs[2], subs[3], subs[4], 0, 0, 0, &sid));
    const auto* bytes = static_cast<const BYTE*>(sid);
    std::vector<BYTE> copy(bytes, bytes + GetLengthSid(sid));
    FreeSid(sid);
    return copy;
}

// Names of the machine's processes, by psapi.
std::vector<std::string> ProcessNames() {
    std::vector<DWORD> ids(256);
    DWORD bytes = 0;
    EXPECT_TRUE(EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes));
    std::vector<std::string> names;
    for (size_t i = 0; i < bytes / sizeof(DWORD); ++i) {
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
        if (process == nullptr) continue;
        HMODULE module = nullptr;
        DWORD needed = 0;
        char name[MAX_PATH] = {};
        if (EnumProcessModules(process, &module, sizeof module, &needed) &&
            GetModuleBaseNameA(process, module, name, sizeof name) > 0)
            names.emplace_back(name);
        CloseHandle(process);
    }
    return names;
}

TEST(Sessions, ConsoleUserTokenNamesTheCurrentUsersAccount) {
    ASSERT_NE(WTSGetActiveConsoleSessionId(), kNoConsoleSession);
    HANDLE token = nullptr;
    ASSERT_TRUE(WTSQueryUserToken(WTSGetActiveConsoleSessionId(), &token));
    // The console user's SID is the account whose hive HKEY_CURRENT_USER is.
    EXPECT_EQ(TokenSid(token), Sid({21, 0, 0, 0, 1000}));
    DWORD session = 0, size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenSessionId, &session, sizeof session, &size));
    EXPECT_EQ(session, WTSGetActiveConsoleSessionId());
    EXPECT_EQ(platform::testing::OpenTokenHandles(), 1);
    EXPECT_TRUE(CloseHandle(token));
    EXPECT_EQ(platform::testing::OpenTokenHandles(), 0);

    HANDLE other = nullptr;
    EXPECT_FALSE(WTSQueryUserToken(WTSGetActiveConsoleSessionId() + 1, &other));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
}

TEST(Sessions, NobodyAtTheConsoleHasNoTokenNoShellAndGetsNoMessages) {
    platform::testing::SetConsoleSession(kNoConsoleSession);
    EXPECT_EQ(WTSGetActiveConsoleSessionId(), kNoConsoleSession);
    HANDLE token = nullptr;
    EXPECT_FALSE(WTSQueryUserToken(WTSGetActiveConsoleSessionId(), &token));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
    for (const auto& name : ProcessNames()) EXPECT_NE(name, "explorer.exe");
    char title[] = "Title", text[] = "Text";
    DWORD response = 0;
    EXPECT_FALSE(WTSSendMessageA(WTS_CURRENT_SERVER_HANDLE, WTSGetActiveConsoleSessionId(), title, 5, text, 4, MB_OK, 0,
                                 &response, TRUE));
    EXPECT_TRUE(platform::testing::MessageBoxes().empty());
}

TEST(Sessions, ShellProcessOfTheConsoleUserIsFoundAndGivesTheirToken) {
    const auto names = ProcessNames();
    ASSERT_EQ(std::count(names.begin(), names.end(), "explorer.exe"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "platform_tests"), 1);
    EXPECT_EQ(platform::testing::OpenProcessHandles(), 0);

    platform::testing::SetShellRunning(false);
    const auto without = ProcessNames();
    EXPECT_EQ(std::count(without.begin(), without.end(), "explorer.exe"), 0);
}

TEST(Sessions, ProcessTokenOfAServiceIsTheSystemAccount) {
    platform::testing::SetSession(0);
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    const std::vector<BYTE> system = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    EXPECT_EQ(TokenSid(token), system);
    CloseHandle(token);
}

TEST(Sessions, CreateProcessAsUserStartsARealProcessAndRecordsWhoWhereAndWhat) {
    platform::testing::SetSession(0);
    platform::testing::SetConsoleUser("alice");
    ASSERT_TRUE(CreateDirectoryA("C:\\Work", nullptr));
    HANDLE token = nullptr;
    ASSERT_TRUE(WTSQueryUserToken(WTSGetActiveConsoleSessionId(), &token));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    char desktop[] = "winsta0\\default";
    startup.lpDesktop = desktop;
    PROCESS_INFORMATION info{};
    char commandLine[] = "/bin/sh -c \"pwd > here.txt; echo $PLATFORM_SESSION >> here.txt; exit 3\"";
    ASSERT_TRUE(CreateProcessAsUserA(token, nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, "C:\\Work",
                                     &startup, &info));
    CloseHandle(token);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 3u);
    EXPECT_EQ(platform::testing::OpenProcessHandles(), 2);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    EXPECT_EQ(platform::testing::OpenProcessHandles(), 0);

    // It ran in the folder asked for, in the console user's session.
    std::ifstream out(platform::testing::Root() + "/drives/c/Work/here.txt");
    std::string folder, session;
    std::getline(out, folder);
    std::getline(out, session);
    EXPECT_EQ(folder, platform::testing::Root() + "/drives/c/Work");
    EXPECT_EQ(session, "1");

    const auto started = platform::testing::StartedProcesses();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].processId, info.dwProcessId);
    EXPECT_TRUE(started[0].asUser);
    EXPECT_EQ(started[0].user, "alice");
    EXPECT_EQ(started[0].session, 1u);
    EXPECT_EQ(started[0].desktop, "winsta0\\default");
    EXPECT_EQ(started[0].workingDirectory, "C:\\Work");
    EXPECT_EQ(started[0].commandLine, commandLine);
    EXPECT_EQ(started[0].program, "/bin/sh");
}

TEST(Sessions, CreateProcessRunsAsTheCallerAndFailsForAMissingProgram) {
    platform::testing::SetSession(0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    char commandLine[] = "\"/bin/sh\" -c \"exit 0\"";
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    const auto started = platform::testing::StartedProcesses();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_FALSE(started[0].asUser);
    EXPECT_EQ(started[0].user, "SYSTEM");
    EXPECT_EQ(started[0].session, 0u);

    char missing[] = "C:\\Windows\\Temp\\NoSuchProgram.exe Pelidor.dll";
    EXPECT_FALSE(CreateProcessA(nullptr, missing, nullptr, nullptr, FALSE, 0, nullptr, "C:\\", &startup, &info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(platform::testing::StartedProcesses().size(), 1u);
}

TEST(Sessions, MessagesToTheConsoleSessionGoThroughTheMessageBoxes) {
    platform::testing::QueueMessageBoxAnswer(IDNO);
    char title[] = "Scanner Setup", text[] = "Calibrate now?";
    DWORD response = 0;
    ASSERT_TRUE(WTSSendMessageA(WTS_CURRENT_SERVER_HANDLE, WTSGetActiveConsoleSessionId(), title,
                                static_cast<DWORD>(std::strlen(title)), text, static_cast<DWORD>(std::strlen(text)),
                                MB_YESNO, 0, &response, TRUE));
    EXPECT_EQ(response, static_cast<DWORD>(IDNO));
    const auto boxes = platform::testing::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Calibrate now?");
    EXPECT_EQ(boxes[0].caption, "Scanner Setup");
    EXPECT_EQ(boxes[0].type, MB_YESNO);
}

TEST(Sessions, AServiceSwitchesToTheInteractiveDesktopAndBack) {
    // The window station is chosen by the session at first use.
    const std::string station = platform::testing::ProcessWindowStationName();
    HWINSTA saved = GetProcessWindowStation();
    HDESK savedDesktop = GetThreadDesktop(GetCurrentThreadId());
    HWINSTA interactive = OpenWindowStationA("Winsta0", FALSE, MAXIMUM_ALLOWED);
    ASSERT_NE(interactive, nullptr);
    ASSERT_TRUE(SetProcessWindowStation(interactive));
    HDESK desktop = OpenDesktopA("default", 0, FALSE, MAXIMUM_ALLOWED);
    ASSERT_NE(desktop, nullptr);
    ASSERT_TRUE(SetThreadDesktop(desktop));
    EXPECT_EQ(platform::testing::ThreadDesktopName(), "WinSta0\\Default");
    EXPECT_EQ(OpenDesktopA("nowhere", 0, FALSE, MAXIMUM_ALLOWED), nullptr);
    EXPECT_EQ(OpenWindowStationA("nowhere", FALSE, MAXIMUM_ALLOWED), nullptr);

    EXPECT_TRUE(SetProcessWindowStation(saved));
    EXPECT_TRUE(SetThreadDesktop(savedDesktop));
    EXPECT_TRUE(CloseDesktop(desktop));
    EXPECT_TRUE(CloseWindowStation(interactive));
    EXPECT_EQ(platform::testing::ProcessWindowStationName(), station);
    EXPECT_FALSE(CloseDesktop(desktop));
}

TEST(Sessions, SystemModulesOfferTheSessionFunctionsByName) {
    struct Entry {
        const char* module;
        const char* function;
    };
    const Entry entries[] = {
        {"user32.dll", "GetProcessWindowStation"},
        {"user32.dll", "SetProcessWindowStation"},
        {"user32.dll", "OpenWindowStationA"},
        {"user32.dll", "CloseWindowStation"},
        {"user32.dll", "SetThreadDesktop"},
        {"user32.dll", "CloseDesktop"},
        {"psapi.dll", "EnumProcesses"},
        {"psapi.dll", "EnumProcessModules"},
        {"psapi.dll", "GetModuleBaseNameA"},
        {"wtsapi32.dll", "WTSQueryUserToken"},
        {"wtsapi32.dll", "WTSQuerySessionInformationA"},
        {"wtsapi32.dll", "WTSFreeMemory"},
        {"wtsapi32.dll", "WTSSendMessageA"},
        {"Kernel32.dll", "WTSGetActiveConsoleSessionId"},
    };
    for (const auto& e : entries) {
        HMODULE module = LoadLibraryA(e.module);
        ASSERT_NE(module, nullptr) << e.module;
        EXPECT_NE(GetProcAddress(module, e.function), nullptr) << e.module << "!" << e.function;
        FreeLibrary(module);
    }
    platform::testing::Hide("wtsapi32");
    EXPECT_EQ(LoadLibraryA("wtsapi32.dll"), nullptr);
}

TEST(Sessions, SessionInformationNamesTheConsoleUser) {
    platform::testing::SetConsoleUser("bob");
    LPSTR buffer = nullptr;
    DWORD bytes = 0;
    ASSERT_TRUE(WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, WTSGetActiveConsoleSessionId(), WTSUserName,
                                            &buffer, &bytes));
    EXPECT_STREQ(buffer, "bob");
    EXPECT_EQ(bytes, 4u);
    WTSFreeMemory(buffer);
}

}  // namespace
