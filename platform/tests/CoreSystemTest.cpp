// Clocks, the reported Windows version, WOW64 and debug output.
#include <platform/testing.h>

#include <mmsystem.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <string>

namespace {

TEST(CoreTime, ClocksAreMonotonicAndSleepWaitsAtLeastItsTime) {
    LARGE_INTEGER frequency, before, after;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 10000000);
    QueryPerformanceCounter(&before);
    const ULONGLONG ticks = GetTickCount64();
    Sleep(30);
    QueryPerformanceCounter(&after);
    EXPECT_GE(after.QuadPart - before.QuadPart, 30 * 10000);
    EXPECT_GE(GetTickCount64() - ticks, 30u);
}

TEST(CoreTime, ClockOffsetMovesTheMillisecondClocksAndWraps) {
    const DWORD base = timeGetTime();
    platform::testing::SetClockOffset(3600 * 1000);
    EXPECT_GE(timeGetTime() - base, 3600u * 1000u);
    // An offset that crosses 2^32 ms makes the DWORD clocks wrap.
    platform::testing::SetClockOffset(0);
    platform::testing::SetClockOffset(0x100000000ll - static_cast<int64_t>(GetTickCount64()) + 5000);
    EXPECT_LT(GetTickCount(), 60000u);
    EXPECT_GE(GetTickCount64(), 0x100000000ull);
}

TEST(CoreTime, SystemTimeIsCountedFrom1601) {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    const uint64_t unixSeconds = ticks / 10000000ull - 11644473600ull;
    EXPECT_NEAR(static_cast<double>(unixSeconds), static_cast<double>(::time(nullptr)), 2.0);
}

TEST(CoreVersion, DefaultIsWindows7ServicePack1) {
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info)));
    EXPECT_EQ(info.dwMajorVersion, 6u);
    EXPECT_EQ(info.dwMinorVersion, 1u);
    EXPECT_EQ(info.dwBuildNumber, 7601u);
    EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_STREQ(info.szCSDVersion, "Service Pack 1");
    EXPECT_EQ(info.wServicePackMajor, 1);
    EXPECT_EQ(info.wServicePackMinor, 0);
    EXPECT_EQ(info.wProductType, VER_NT_WORKSTATION);
}

TEST(CoreVersion, SizeMustBeOneOfTheTwoRecords) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info - 4;
    EXPECT_FALSE(GetVersionExA(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    info.dwOSVersionInfoSize = sizeof info;
    EXPECT_TRUE(GetVersionExA(&info));
}

TEST(CoreVersion, TestVersionIsReportedAndInjectedFailureFails) {
    platform::testing::SetWindowsVersion(4, 90, VER_PLATFORM_WIN32_WINDOWS);
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwMajorVersion, 4u);
    EXPECT_EQ(info.dwMinorVersion, 90u);
    EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));
    EXPECT_STREQ(info.szCSDVersion, "");
    platform::testing::InjectFailure("GetVersionExA", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(GetVersionExA(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(CoreProcess, Wow64FollowsTheBuildUnlessATestFixesIt) {
    BOOL wow64 = 2;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    if (sizeof(void*) == 8) EXPECT_FALSE(wow64);
    else EXPECT_TRUE(wow64);
    platform::testing::SetWow64(sizeof(void*) == 8);
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_EQ(wow64 != FALSE, sizeof(void*) == 8);
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(::getpid()));
}

TEST(CoreDebugOutput, CapturedLinesCarryThePid) {
    platform::testing::CaptureDebugOutput();
    OutputDebugStringA("first line\n");
    OutputDebugStringA("second");
    const std::string pid = "[" + std::to_string(::getpid()) + "] ";
    EXPECT_EQ(platform::testing::TakeDebugOutput(), (std::vector<std::string>{pid + "first line", pid + "second"}));
    EXPECT_TRUE(platform::testing::TakeDebugOutput().empty());
}

}  // namespace
