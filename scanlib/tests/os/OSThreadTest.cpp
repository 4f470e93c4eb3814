#include "os/OSEvent.h"
#include "os/OSThread.h"
#include "os/OSWait.h"
#include "os/ThreadCallback.h"

#include <platform/testing.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

namespace {

// Waits for its release event, then answers arg + 1.
class GatedCallback : public ThreadCallback {
public:
    GatedCallback() { gate.Create(nullptr, true); }
    int Run(int arg) override {
        seen = arg;
        gate.WaitInfinite();
        return arg + 1;
    }
    OSEvent gate;
    std::atomic<int> seen{-1};
};

}  // namespace

TEST(OSThreadTest, NeverStartedThread) {
    OSThread thread;
    EXPECT_EQ(thread.Wait(0), kWaitAcquired);
    EXPECT_FALSE(thread.SetPriority(0));
}

TEST(OSThreadTest, RunsTheCallbackAndEnds) {
    GatedCallback callback;
    OSThread thread;
    ASSERT_TRUE(thread.Start(&callback, 41));
    EXPECT_FALSE(thread.Start(&callback, 1));
    EXPECT_EQ(thread.Wait(0), kWaitTimeout);
    callback.gate.Set();
    EXPECT_EQ(thread.Wait(static_cast<int>(INFINITE)), kWaitAcquired);
    EXPECT_EQ(callback.seen, 41);
}

TEST(OSThreadTest, WithoutCallbackTheThreadEndsAtOnce) {
    OSThread thread;
    ASSERT_TRUE(thread.Start(nullptr, 0));
    EXPECT_EQ(thread.Wait(static_cast<int>(INFINITE)), kWaitAcquired);
}

TEST(OSThreadTest, PriorityLevels) {
    GatedCallback callback;
    OSThread thread;
    ASSERT_TRUE(thread.Start(&callback, 0));
    struct Case {
        int level;
        bool accepted;
    };
    for (const Case& c : {Case{0, true}, Case{1, true}, Case{2, true}, Case{3, true}, Case{-1, true}, Case{-2, true},
                          Case{-3, true}, Case{4, false}, Case{-4, false}, Case{15, false}}) {
        EXPECT_EQ(thread.SetPriority(c.level), c.accepted) << "level " << c.level;
    }
    callback.gate.Set();
    thread.Wait(static_cast<int>(INFINITE));
}

TEST(OSThreadTest, RefusedPriorityRaiseStillSucceeds) {
    platform::testing::RefusePriority(true);
    GatedCallback callback;
    OSThread thread;
    ASSERT_TRUE(thread.Start(&callback, 0));
    EXPECT_TRUE(thread.SetPriority(2));
    callback.gate.Set();
    thread.Wait(static_cast<int>(INFINITE));
}
