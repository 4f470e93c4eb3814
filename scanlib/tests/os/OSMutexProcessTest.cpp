// Global named mutexes shared with another process.
#include "os/OSMutex.h"
#include "os/OSWait.h"

#include <platform/testing.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// Child: holds the global mutex named by args[0], says "held", and lets it go
// when told "release" (or never, when killed first).
int HoldGlobalMutex(const std::vector<std::string>& args) {
    if (args.empty()) return 2;
    OSMutex mutex;
    if (!mutex.Create(args[0].c_str(), true) || mutex.Lock() != kWaitAcquired) return 3;
    std::printf("held\n");
    std::fflush(stdout);
    char line[64];
    if (std::fgets(line, sizeof line, stdin)) mutex.Release();
    return 0;
}

const bool registered = platform::testing::RegisterChildRole("hold-global-mutex", HoldGlobalMutex);

std::string UniqueName(const char* tag) {
    return std::string("OSMutexProcessTest_") + tag + "_" + std::to_string(GetCurrentProcessId());
}

}  // namespace

TEST(OSMutexProcessTest, GlobalNameOpensTheOtherProcesssMutex) {
    ASSERT_TRUE(registered);
    const std::string name = UniqueName("shared");
    platform::testing::ChildProcess child("hold-global-mutex", {name});
    ASSERT_TRUE(child.Started());
    ASSERT_EQ(child.ReadLine(), std::optional<std::string>("held"));

    OSMutex mutex;
    ASSERT_TRUE(mutex.Create(name.c_str(), true));
    EXPECT_EQ(mutex.Wait(0), kWaitTimeout);
    // The local namespace has a mutex of its own under the same name.
    OSMutex local;
    ASSERT_TRUE(local.Create(name.c_str(), false));
    EXPECT_EQ(local.Wait(0), kWaitAcquired);
    local.Release();

    ASSERT_TRUE(child.WriteLine("release"));
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(mutex.Wait(5000), kWaitAcquired);
    mutex.Release();
}

TEST(OSMutexProcessTest, KilledHolderLeavesItAbandonedAndAcquirable) {
    const std::string name = UniqueName("killed");
    platform::testing::ChildProcess child("hold-global-mutex", {name});
    ASSERT_TRUE(child.Started());
    ASSERT_EQ(child.ReadLine(), std::optional<std::string>("held"));
    OSMutex mutex;
    ASSERT_TRUE(mutex.Create(name.c_str(), true));
    EXPECT_EQ(mutex.Wait(0), kWaitTimeout);
    child.Kill();
    child.Wait();
    EXPECT_EQ(mutex.Wait(5000), kWaitAcquired);
    mutex.Release();
}
