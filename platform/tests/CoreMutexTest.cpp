// Mutexes: ownership and recursion, abandonment, close-while-owned, names and
// namespaces, time-outs, and sharing with other processes.
#include <platform/testing.h>

#include <process.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <chrono>
#include <iostream>
#include <string>
#include <thread>

namespace {

using platform::testing::ChildProcess;

// Child role: takes the named mutex, says "held", then waits for a line:
// "release" releases and exits 0; end of input exits without releasing.
int HoldMutexRole(const std::vector<std::string>& args) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, args.at(0).c_str());
    if (mutex == nullptr) return 2;
    DWORD wait = WaitForSingleObject(mutex, INFINITE);
    std::cout << (wait == WAIT_ABANDONED ? "held-abandoned" : "held") << std::endl;
    std::string line;
    if (std::getline(std::cin, line) && line == "release") return ReleaseMutex(mutex) ? 0 : 3;
    return 0;
}

// Child role: probes the named mutex once and prints the wait result.
int ProbeMutexRole(const std::vector<std::string>& args) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, args.at(0).c_str());
    if (mutex == nullptr) return 2;
    const DWORD wait = WaitForSingleObject(mutex, 0);
    if (wait != WAIT_TIMEOUT) ReleaseMutex(mutex);
    std::cout << wait << std::endl;
    return 0;
}

const bool kRoles = platform::testing::RegisterChildRole("hold-mutex", HoldMutexRole) &&
                    platform::testing::RegisterChildRole("probe-mutex", ProbeMutexRole);

std::string ProbeInChildOf(const std::string& program, const std::string& name) {
    ChildProcess child("probe-mutex", {name}, program);
    auto line = child.ReadLine();
    EXPECT_EQ(child.Wait(), 0);
    return line.value_or("");
}

std::string ProbeInChild(const std::string& name) { return ProbeInChildOf("", name); }

// "busy" when another process cannot take the mutex at once.
std::string Probe(const std::string& name) {
    return ProbeInChild(name) == std::to_string(WAIT_TIMEOUT) ? "busy" : "free";
}

TEST(CoreMutex, RecursiveForTheOwnerAndReleasedAtCountZero) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    DWORD other = 0;
    std::thread([&] { other = WaitForSingleObject(mutex, 0); }).join();
    EXPECT_EQ(other, WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(mutex));
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
    std::thread([&] { other = WaitForSingleObject(mutex, 0); ReleaseMutex(mutex); }).join();
    EXPECT_EQ(other, WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(mutex));
}

TEST(CoreMutex, ReleaseByAnotherThreadIsRefused) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, nullptr);
    BOOL released = TRUE;
    DWORD error = 0;
    std::thread([&] {
        released = ReleaseMutex(mutex);
        error = GetLastError();
    }).join();
    EXPECT_FALSE(released);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_OWNER));
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST(CoreMutex, AbandonedWhenTheOwnerThreadEnds) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\abandon-thread");
    std::thread([&] {
        EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
        EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    }).join();
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_ABANDONED);
    // Owned with count 1 now: one release frees it for others.
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(Probe("Global\\abandon-thread"), "free");
    CloseHandle(mutex);
}

TEST(CoreMutex, AbandonedBeforeTheEndedThreadIsSignalled) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    unsigned id = 0;
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(
        nullptr, 0, [](void* m) -> unsigned { return WaitForSingleObject(static_cast<HANDLE>(m), 0); }, mutex, 0, &id));
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_ABANDONED);
    ReleaseMutex(mutex);
    CloseHandle(thread);
    CloseHandle(mutex);
}

TEST(CoreMutex, AbandonedForAWaiterBlockedWhenTheOwnerThreadEnds) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    std::atomic<bool> held{false};
    std::thread owner([&] {
        WaitForSingleObject(mutex, 0);
        held = true;
        Sleep(50);
    });
    while (!held) Sleep(1);
    EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_ABANDONED);
    owner.join();
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

TEST(CoreMutex, ClosingAnOwnedMutexDoesNotReleaseIt) {
    const char* name = "close-while-owned";
    HANDLE first = CreateMutexA(nullptr, TRUE, name);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE second = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_EQ(Probe(name), "busy");
    EXPECT_TRUE(ReleaseMutex(second));
    EXPECT_EQ(Probe(name), "free");
    CloseHandle(second);
}

TEST(CoreMutex, CreateOpensAnExistingMutexIgnoringTheOwnerFlag) {
    HANDLE first = CreateMutexA(nullptr, FALSE, "existing");
    HANDLE second = CreateMutexA(nullptr, TRUE, "existing");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(Probe("existing"), "free");
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
    EXPECT_EQ(Probe("existing"), "busy");
    ReleaseMutex(second);
    CloseHandle(first);
    CloseHandle(second);
}

struct NameCase {
    const char* name;
    DWORD createError;  // 0: created
};

class CoreMutexNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(CoreMutexNames, CreateAndOpenResults) {
    const NameCase& c = GetParam();
    SetLastError(12345);
    HANDLE created = CreateMutexA(nullptr, FALSE, c.name);
    if (c.createError != 0) {
        EXPECT_EQ(created, nullptr);
        EXPECT_EQ(GetLastError(), c.createError);
        SetLastError(0);
        EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, c.name), nullptr);
        EXPECT_EQ(GetLastError(), c.createError);
        return;
    }
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE opened = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, c.name);
    EXPECT_NE(opened, nullptr);
    CloseHandle(opened);
    CloseHandle(created);
}

INSTANTIATE_TEST_SUITE_P(Table, CoreMutexNames,
                         ::testing::Values(NameCase{"plain", 0}, NameCase{"Global\\global", 0},
                                           NameCase{"Local\\local", 0}, NameCase{"with space/and:odd*chars", 0},
                                           NameCase{"Global\\a\\b", ERROR_PATH_NOT_FOUND},
                                           NameCase{"a\\b", ERROR_PATH_NOT_FOUND}));

TEST(CoreMutex, LongNamesAreDistinctAndTooLongNamesRefused) {
    const std::string a(250, 'a'), b = std::string(249, 'a') + "b";
    HANDLE ha = CreateMutexA(nullptr, FALSE, a.c_str());
    HANDLE hb = CreateMutexA(nullptr, FALSE, b.c_str());
    ASSERT_NE(ha, nullptr);
    ASSERT_NE(hb, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    const std::string tooLong(MAX_PATH + 1, 'x');
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, tooLong.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    CloseHandle(ha);
    CloseHandle(hb);
}

TEST(CoreMutex, OpenOfAnAbsentMutexIsFileNotFound) {
    EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, "Global\\absent"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(CoreMutex, AnotherAccountsPrivateMutexIsAccessDenied) {
    HANDLE mine = CreateMutexA(nullptr, FALSE, "Global\\theirs");
    ASSERT_NE(mine, nullptr);
    const std::string file = platform::testing::Root() + "/objects/global/theirs";
    if (::chown(file.c_str(), ::geteuid() + 1, static_cast<gid_t>(-1)) != 0) GTEST_SKIP() << "cannot change the owner";
    EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, "Global\\theirs"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, "Global\\theirs"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    // Opened to everyone, it is reachable again.
    ::chmod(file.c_str(), 0666);
    HANDLE opened = OpenMutexA(SYNCHRONIZE, FALSE, "Global\\theirs");
    EXPECT_NE(opened, nullptr);
    CloseHandle(opened);
    CloseHandle(mine);
}

TEST(CoreMutex, GlobalAndLocalNamespacesAreDistinct) {
    HANDLE local = CreateMutexA(nullptr, TRUE, "Name");
    HANDLE global = CreateMutexA(nullptr, FALSE, "Global\\Name");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(Probe("Global\\Name"), "free");
    EXPECT_EQ(Probe("Local\\Name"), "busy");
    // Names are case-sensitive.
    EXPECT_EQ(Probe("name"), "free");
    ReleaseMutex(local);
    CloseHandle(local);
    CloseHandle(global);
}

TEST(CoreMutex, SessionZeroLocalNamesAreGlobal) {
    platform::testing::SetSession(0);
    HANDLE local = CreateMutexA(nullptr, FALSE, "Shared");
    HANDLE global = CreateMutexA(nullptr, FALSE, "Global\\Shared");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(local);
    CloseHandle(global);
}

TEST(CoreMutex, TimedWaitOnABusyMutexTimesOutNotEarly) {
    ChildProcess holder("hold-mutex", {"Global\\busy"});
    ASSERT_EQ(holder.ReadLine(), "held");
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\busy");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(mutex, 150), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    holder.WriteLine("release");
    EXPECT_EQ(holder.Wait(), 0);
    EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

TEST(CoreMutex, AbandonedWhenTheOwningProcessIsKilled) {
    ChildProcess holder("hold-mutex", {"Global\\killed"});
    ASSERT_EQ(holder.ReadLine(), "held");
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\killed");
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT);
    // A waiter blocked before the kill takes it over.
    DWORD waited = 0;
    std::thread waiter([&] {
        waited = WaitForSingleObject(mutex, INFINITE);
        ReleaseMutex(mutex);
    });
    holder.Kill(SIGKILL);
    EXPECT_EQ(holder.Wait(), -SIGKILL);
    waiter.join();
    EXPECT_EQ(waited, WAIT_ABANDONED);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

TEST(CoreMutex, AbandonedWhenTheOwningProcessExits) {
    ChildProcess holder("hold-mutex", {"Global\\exited"});
    ASSERT_EQ(holder.ReadLine(), "held");
    holder.WriteLine("exit");
    EXPECT_EQ(holder.Wait(), 0);
    ChildProcess next("hold-mutex", {"Global\\exited"});
    EXPECT_EQ(next.ReadLine(), "held-abandoned");
}

// PLATFORM_PEER_TEST_PROGRAM names platform_tests of the other build
// (32-bit for the 64-bit one and back): both share one mutex record.
TEST(CoreMutex, SharedWithTheOtherBuild) {
    const char* peer = std::getenv("PLATFORM_PEER_TEST_PROGRAM");
    if (peer == nullptr || *peer == '\0') GTEST_SKIP() << "PLATFORM_PEER_TEST_PROGRAM not set";
    ChildProcess holder("hold-mutex", {"Global\\peer"}, peer);
    ASSERT_EQ(holder.ReadLine(), "held");
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\peer");
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT);
    holder.WriteLine("release");
    EXPECT_EQ(holder.Wait(), 0);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    // Held here, the peer sees it busy; killed there, it is abandoned here.
    EXPECT_EQ(ProbeInChildOf(peer, "Global\\peer"), std::to_string(WAIT_TIMEOUT));
    ReleaseMutex(mutex);
    ChildProcess killed("hold-mutex", {"Global\\peer"}, peer);
    ASSERT_EQ(killed.ReadLine(), "held");
    killed.Kill(SIGKILL);
    killed.Wait();
    EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_ABANDONED);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

TEST(CoreMutex, WaitOnAStaleHandleFails) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    CloseHandle(mutex);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
