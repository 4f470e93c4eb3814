#include "os/OSMutex.h"
#include "os/OSWait.h"
#include "os/ScopedLock.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

// A name no other test uses.
std::string UniqueName(const char* tag) {
    return std::string("OSMutexTest_") + tag + "_" + std::to_string(GetCurrentProcessId());
}

// The wait result another thread gets on the mutex of that name.
int WaitFromOtherThread(const std::string& name, bool global, int ms) {
    int result = 0;
    std::thread([&] {
        OSMutex other;
        if (!other.Create(name.c_str(), global)) {
            result = 99;
            return;
        }
        result = other.Wait(ms);
        if (result == kWaitAcquired) other.Release();
    }).join();
    return result;
}

}  // namespace

TEST(OSMutexTest, WaitWithoutHandleIsNoHandle) {
    OSMutex mutex;
    EXPECT_EQ(mutex.Wait(0), kWaitNoHandle);
    EXPECT_EQ(mutex.Lock(), kWaitNoHandle);
    EXPECT_FALSE(mutex.Release());
}

TEST(OSMutexTest, SecondCreateKeepsTheFirstHandle) {
    const std::string name = UniqueName("twice");
    OSMutex mutex;
    ASSERT_TRUE(mutex.Create(name.c_str(), false));
    ASSERT_EQ(mutex.Lock(), kWaitAcquired);
    // A second Create under another name changes nothing: still the held mutex.
    EXPECT_TRUE(mutex.Create((name + "_other").c_str(), false));
    EXPECT_EQ(WaitFromOtherThread(name, false, 0), kWaitTimeout);
    EXPECT_TRUE(mutex.Release());
    EXPECT_EQ(WaitFromOtherThread(name, false, 0), kWaitAcquired);
}

TEST(OSMutexTest, RecursiveForTheOwner) {
    OSMutex mutex;
    ASSERT_TRUE(mutex.Create(nullptr, false));
    EXPECT_EQ(mutex.Wait(0), kWaitAcquired);
    EXPECT_EQ(mutex.Wait(0), kWaitAcquired);
    EXPECT_TRUE(mutex.Release());
    EXPECT_TRUE(mutex.Release());
    EXPECT_FALSE(mutex.Release());
}

TEST(OSMutexTest, GlobalAndLocalNamesAreDistinct) {
    const std::string name = UniqueName("namespace");
    OSMutex global;
    ASSERT_TRUE(global.Create(name.c_str(), true));
    ASSERT_EQ(global.Lock(), kWaitAcquired);
    EXPECT_EQ(WaitFromOtherThread(name, true, 0), kWaitTimeout);
    EXPECT_EQ(WaitFromOtherThread(name, false, 0), kWaitAcquired);
    // The global form is the "Global\" object itself.
    HANDLE raw = OpenMutexA(SYNCHRONIZE, FALSE, ("Global\\" + name).c_str());
    ASSERT_NE(raw, nullptr);
    CloseHandle(raw);
    global.Release();
}

TEST(OSMutexTest, AbandonedMutexCountsAsAcquired) {
    const std::string name = UniqueName("abandoned");
    std::thread([&] {
        OSMutex holder;
        ASSERT_TRUE(holder.Create(name.c_str(), true));
        ASSERT_EQ(holder.Lock(), kWaitAcquired);
        // Ends without releasing.
    }).join();
    OSMutex mutex;
    ASSERT_TRUE(mutex.Create(name.c_str(), true));
    EXPECT_EQ(mutex.Wait(1000), kWaitAcquired);
    mutex.Release();
}

namespace {

// Counts what ScopedLock asks of a mutex, answering waits as told.
class ScriptedMutex : public OSMutex {
public:
    explicit ScriptedMutex(int answer) : answer_(answer) {}
    int Wait(int) override { return answer_; }
    bool Release() override {
        ++releases;
        return true;
    }
    int releases = 0;

private:
    int answer_;
};

}  // namespace

TEST(ScopedLockTest, ReleasesOnlyWhatItTook) {
    struct Case {
        int answer;
        bool locked;
        int releases;
    };
    for (const Case& c : {Case{kWaitAcquired, true, 1}, Case{kWaitTimeout, false, 0}, Case{kWaitNoHandle, false, 0},
                          Case{kWaitFailed, false, 0}}) {
        ScriptedMutex mutex(c.answer);
        {
            ScopedLock lock(&mutex);
            EXPECT_EQ(lock.Lock(100), c.locked);
        }
        EXPECT_EQ(mutex.releases, c.releases) << "wait answer " << c.answer;
    }
}

TEST(ScopedLockTest, NeverLockedReleasesNothing) {
    ScriptedMutex mutex(kWaitAcquired);
    { ScopedLock lock(&mutex); }
    EXPECT_EQ(mutex.releases, 0);
}

TEST(ScopedLockTest, KeptLockIsLeftHeld) {
    ScriptedMutex mutex(kWaitAcquired);
    {
        ScopedLock lock(&mutex);
        ASSERT_EQ(lock.Acquire(0), kWaitAcquired);
        lock.Keep();
    }
    EXPECT_EQ(mutex.releases, 0);
}
