#include "device/PortLocker.h"
#include "FakeDevicePort.h"

#include <gtest/gtest.h>

using ::testing::Return;

TEST(PortLockerTest, UnlocksAsOftenAsItLocked) {
    ::testing::StrictMock<MockDevicePort> port;
    EXPECT_CALL(port, Lock()).Times(2).WillRepeatedly(Return(true));
    EXPECT_CALL(port, Unlock()).Times(2).WillRepeatedly(Return(true));
    PortLocker locker(&port);
    EXPECT_TRUE(locker.Lock());
    EXPECT_TRUE(locker.Lock());
    EXPECT_EQ(locker.LockCount(), 2);
}

TEST(PortLockerTest, FailedLockIsBusyAndNotCounted) {
    ::testing::StrictMock<MockDevicePort> port;
    EXPECT_CALL(port, Lock()).WillOnce(Return(false));
    PortLocker locker(&port);
    try {
        locker.Lock();
        FAIL() << "a sequence must not run without the device lock";
    } catch (const DeviceIOException& e) {
        EXPECT_EQ(e.Code(), DeviceIOException::kBusy);
    }
    EXPECT_EQ(locker.LockCount(), 0);
}

TEST(PortLockerTest, FailedUnlockIsRetriedOnTheWayOut) {
    ::testing::StrictMock<MockDevicePort> port;
    EXPECT_CALL(port, Lock()).WillOnce(Return(true));
    EXPECT_CALL(port, Unlock()).WillOnce(Return(false)).WillOnce(Return(true));
    PortLocker locker(&port);
    ASSERT_TRUE(locker.Lock());
    EXPECT_FALSE(locker.Unlock());
    EXPECT_EQ(locker.LockCount(), 1);
}

TEST(PortLockerTest, UnlockWithoutLockDoesNotReachThePort) {
    ::testing::StrictMock<MockDevicePort> port;
    PortLocker locker(&port);
    EXPECT_FALSE(locker.Unlock());
}

TEST(PortLockerTest, ThrowingLockLeavesNothingToUnlock) {
    ::testing::StrictMock<MockDevicePort> port;
    EXPECT_CALL(port, Lock()).WillOnce(::testing::Throw(DeviceIOException(DeviceIOException::kBusy)));
    PortLocker locker(&port);
    EXPECT_THROW(locker.Lock(), DeviceIOException);
    EXPECT_EQ(locker.LockCount(), 0);
}
