#include "device/DevicePort.h"
#include "FakeDevicePort.h"
#include "os/OSMutex.h"
#include "os/OSWait.h"

#include <platform/testing.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

int WaitFromOtherThread(const std::string& name) {
    int result = 0;
    std::thread([&] {
        OSMutex other;
        other.Create(name.c_str(), true);
        result = other.Wait(0);
        if (result == kWaitAcquired) other.Release();
    }).join();
    return result;
}

}  // namespace

TEST(DevicePortTest, DefaultDeviceValues) {
    MockDevicePort port;
    int value = 7;
    EXPECT_FALSE(port.GetDeviceValue("PrefeedEnable", &value));
    EXPECT_EQ(value, 7);
    EXPECT_FALSE(port.SetDeviceValue("PrefeedEnable", 1));
    EXPECT_TRUE(port.IsDevicePresent("anything"));
}

TEST(DevicePortTest, DeviceLockIsNamedAfterTheProduct) {
    EXPECT_EQ(MockDevicePort::DeviceLockName(L"RM310"), "RM310_Lock");
    EXPECT_EQ(MockDevicePort::DeviceLockName(L""), "_Lock");
}

TEST(DevicePortTest, ReleasesOnlyTheHoldsItCounted) {
    const std::wstring product = L"PortTest" + std::to_wstring(GetCurrentProcessId());
    const std::string name = MockDevicePort::DeviceLockName(product);
    MockDevicePort port;
    ASSERT_TRUE(port.CreateDeviceLock(product));

    // The same thread already holds the mutex through another handle.
    OSMutex outer;
    ASSERT_TRUE(outer.Create(name.c_str(), true));
    ASSERT_EQ(outer.Lock(), kWaitAcquired);

    ASSERT_EQ(port.AcquireDeviceLock(0), kWaitAcquired);
    EXPECT_EQ(port.DeviceLockHolds(), 1);
    EXPECT_TRUE(port.ReleaseDeviceLock());
    // A retried unlock must not take the outer hold away.
    EXPECT_FALSE(port.ReleaseDeviceLock());
    EXPECT_EQ(WaitFromOtherThread(name), kWaitTimeout);
    outer.Release();
    EXPECT_EQ(WaitFromOtherThread(name), kWaitAcquired);
}

TEST(DevicePortTest, CloseReleasesEveryHold) {
    const std::wstring product = L"PortClose" + std::to_wstring(GetCurrentProcessId());
    MockDevicePort port;
    ASSERT_TRUE(port.CreateDeviceLock(product));
    ASSERT_EQ(port.AcquireDeviceLock(0), kWaitAcquired);
    ASSERT_EQ(port.AcquireDeviceLock(0), kWaitAcquired);
    port.CloseDeviceLock();
    EXPECT_EQ(port.DeviceLockHolds(), 0);
    EXPECT_EQ(WaitFromOtherThread(MockDevicePort::DeviceLockName(product)), kWaitAcquired);
}

TEST(DevicePortTest, PortKindByBuild) {
    struct Case {
        bool wow64;
        int kind;
        int expected32;
        int expected64;
    };
    for (const Case& c : {Case{false, 0, 0, 0}, Case{false, 1, 1, 1}, Case{false, 2, -1, -1}, Case{false, -1, -1, -1},
                          Case{true, 0, 1, 0}, Case{true, 1, 1, 1}, Case{true, 2, 1, -1}}) {
        platform::testing::SetWow64(c.wow64);
        const int expected = sizeof(void*) == 4 ? c.expected32 : c.expected64;
        EXPECT_EQ(EffectiveDevicePortKind(PortKind{c.kind}), PortKind{expected})
            << "wow64 " << c.wow64 << " kind " << c.kind;
    }
}

TEST(DevicePortTest, MissingWow64QueryMeansNotWow64) {
    platform::testing::SetWow64(true);
    platform::testing::Hide("kernel32", "IsWow64Process");
    EXPECT_EQ(EffectiveDevicePortKind(PortKind::StillImage), PortKind::StillImage);
    EXPECT_EQ(EffectiveDevicePortKind(PortKind{2}), PortKind::None);
}

TEST(DevicePortTest, UnknownKindMakesNoPort) {
    platform::testing::SetWow64(false);
    EXPECT_EQ(CreateDevicePort(PortKind{2}), nullptr);
}
