#include "os/OSEvent.h"
#include "os/OSWait.h"

#include <gtest/gtest.h>

TEST(OSEventTest, WaitWithoutHandleIsNoHandle) {
    OSEvent event;
    EXPECT_EQ(event.Wait(0), kWaitNoHandle);
    EXPECT_EQ(event.WaitInfinite(), kWaitNoHandle);
    EXPECT_FALSE(event.Set());
    EXPECT_FALSE(event.Reset());
}

TEST(OSEventTest, SecondCreateIsRefused) {
    OSEvent event;
    ASSERT_TRUE(event.Create(nullptr, false));
    EXPECT_FALSE(event.Create(nullptr, false));
    event.Close();
    EXPECT_EQ(event.Wait(0), kWaitNoHandle);
    EXPECT_TRUE(event.Create(nullptr, true));
}

TEST(OSEventTest, AutoResetReleasesOneWait) {
    OSEvent event;
    ASSERT_TRUE(event.Create(nullptr, false));
    EXPECT_EQ(event.Wait(0), kWaitTimeout);
    ASSERT_TRUE(event.Set());
    EXPECT_EQ(event.Wait(0), kWaitAcquired);
    EXPECT_EQ(event.Wait(0), kWaitTimeout);
}

TEST(OSEventTest, ManualResetStaysSignalledUntilReset) {
    OSEvent event;
    ASSERT_TRUE(event.Create(nullptr, true));
    ASSERT_TRUE(event.Set());
    EXPECT_EQ(event.Wait(0), kWaitAcquired);
    EXPECT_EQ(event.WaitInfinite(), kWaitAcquired);
    ASSERT_TRUE(event.Reset());
    EXPECT_EQ(event.Wait(0), kWaitTimeout);
}
