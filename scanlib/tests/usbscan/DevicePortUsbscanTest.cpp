#include "device/DevicePortUsbscan.h"

#include <emulator/VirtualScanner.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <platform/testing.h>
#include <windows.h>

#include "device/DeviceIOException.h"
#include "device/PortLocker.h"

namespace {

namespace pt = platform::testing;
using emulator::VirtualScanner;

const DeviceId kRM310{0x17C4, 0x00F0, L"Vendor", L"RM310"};
const DeviceId kRM410{0x17C4, 0x00F1, L"Vendor", L"RM410"};
const DeviceId kOther{0x1234, 0x5678, L"Vendor", L"Other"};

// Holds the device lock of a product until told to let go.
int HoldLockRole(const std::vector<std::string>& args) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, ("Global\\" + args.at(0) + "_Lock").c_str());
    if (!mutex || WaitForSingleObject(mutex, 5000) != WAIT_OBJECT_0) return 1;
    std::printf("held\n");
    std::fflush(stdout);
    char line[16];
    if (!std::fgets(line, sizeof line, stdin)) return 2;
    ReleaseMutex(mutex);
    return 0;
}
const bool kRoleRegistered = pt::RegisterChildRole("hold-device-lock", HoldLockRole);

class UsbscanPortTest : public ::testing::Test {
protected:
    // A virtual scanner served as \\.\usbscan<device> of this test's machine.
    VirtualScanner& Serve(const char* board, unsigned device, const emulator::SwitchOverrides& switches = {}) {
        scanners_.push_back(std::make_unique<VirtualScanner>(board, switches));
        scanners_.back()->Serve(pt::Root(), device);
        return *scanners_.back();
    }

    void TearDown() override {
        for (const auto& scanner : scanners_) EXPECT_TRUE(scanner->Violations().empty()) << scanner->StateLine();
        port_.Close();
        scanners_.clear();
        pt::SetWindowsVersion(6, 1);
    }

    DevicePortUsbscan port_;
    std::vector<std::unique_ptr<VirtualScanner>> scanners_;
};

TEST_F(UsbscanPortTest, OpensTheLowestDeviceNumberThatMatchesAnyRow) {
    Serve("RM310-GL841", 3);
    Serve("RM410", 1);
    int matched = -1;
    ASSERT_TRUE(port_.Open({kOther, kRM310, kRM410}, &matched));
    EXPECT_EQ(matched, 2);  // device 1 (RM410) comes before device 3
    EXPECT_EQ(port_.GetVendorId(), 0x17C4);
    EXPECT_EQ(port_.GetProductId(), 0x00F1);

    uint16_t vid = 0, pid = 0, bcd = 0;
    ASSERT_TRUE(port_.GetDeviceDescriptor(&vid, &pid, &bcd));
    EXPECT_EQ(pid, 0x00F1);
    EXPECT_EQ(bcd, 0x0100);
}

TEST_F(UsbscanPortTest, EarlierRowWinsAndNoMatchLeavesThePortClosed) {
    Serve("RM310-GL841", 0);
    int matched = -1;
    const DeviceId twin{0x17C4, 0x00F0, L"Vendor", L"Twin"};
    ASSERT_TRUE(port_.Open({twin, kRM310}, &matched));
    EXPECT_EQ(matched, 0);

    ASSERT_FALSE(port_.Open({kOther}, &matched));
    EXPECT_EQ(matched, 0);
    EXPECT_FALSE(port_.IsOpen());
    uint8_t byte = 0;
    EXPECT_FALSE(port_.ReadBulk(&byte, 1));  // a closed port answers false, no exception
}

TEST_F(UsbscanPortTest, DeviceThatNeverAnswersTheDescriptorIsSkipped) {
    Serve("RM410", 0).InjectFault("timeout ON ioctl:0x80002018");
    Serve("RM310-GL841", 1);
    const uint64_t abandonedBefore = pt::AbandonedRequests();
    int matched = -1;
    ASSERT_TRUE(port_.Open({kRM410, kRM310}, &matched));
    EXPECT_EQ(matched, 1);
    EXPECT_EQ(pt::AbandonedRequests(), abandonedBefore);  // the late request was cancelled, not left behind
}

TEST_F(UsbscanPortTest, RegisterWritesAndReadsReachTheChip) {
    auto& scanner = Serve("RM310-GL841", 0);
    int matched = 0;
    ASSERT_TRUE(port_.Open({kRM310}, &matched));
    const uint8_t pairs[] = {0x5B, 0x12, 0x5C, 0x34};
    ASSERT_TRUE(port_.WriteRegisters(0x83, 0, pairs, sizeof pairs));
    EXPECT_EQ(scanner.Register(0x5B), 0x12);
    EXPECT_EQ(scanner.Register(0x5C), 0x34);

    const uint8_t select = 0x5C;
    ASSERT_TRUE(port_.WriteRegisters(0x83, 0, &select, 1));
    uint8_t value = 0;
    unsigned count = 0;
    ASSERT_TRUE(port_.ReadRegisters(0x84, 0, &value, 1, &count));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(value, 0x34);
}

TEST_F(UsbscanPortTest, BulkUploadLandsInGammaMemory) {
    auto& scanner = Serve("RM310-GL841", 0);
    int matched = 0;
    ASSERT_TRUE(port_.Open({kRM310}, &matched));
    const uint8_t pointer[] = {0x5B, 0x00, 0x5C, 0x00};
    ASSERT_TRUE(port_.WriteRegisters(0x83, 0, pointer, sizeof pointer));
    const uint8_t select = 0x28;
    ASSERT_TRUE(port_.WriteRegisters(0x83, 0, &select, 1));
    std::vector<uint8_t> data(512);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    const uint8_t header[8] = {1, 0, 0x82, 0, 0x00, 0x02, 0, 0};
    ASSERT_TRUE(port_.WriteRegisters(0x82, 0, header, sizeof header));
    ASSERT_TRUE(port_.WriteBulk(data.data(), static_cast<int>(data.size())));
    const auto words = scanner.GammaWords(0, 3);
    EXPECT_THAT(words, ::testing::ElementsAre(0x0100, 0x0302, 0x0504));
}

TEST_F(UsbscanPortTest, TimedOutRequestIsCancelledAndTheNextOneWorks) {
    auto& scanner = Serve("RM310-GL841", 0);
    int matched = 0;
    ASSERT_TRUE(port_.Open({kRM310}, &matched));
    const uint8_t pairs[] = {0x5B, 0x77};
    ASSERT_TRUE(port_.WriteRegisters(0x83, 0, pairs, sizeof pairs));
    const uint8_t select = 0x5B;
    ASSERT_TRUE(port_.WriteRegisters(0x83, 0, &select, 1));

    scanner.InjectFault("timeout ON control-in");
    uint8_t value = 0xEE;
    unsigned count = 99;
    try {
        port_.ReadRegisters(0x84, 0, &value, 1, &count);
        FAIL() << "expected a time-out";
    } catch (const DeviceIOException& e) {
        EXPECT_EQ(e.Code(), 256);
        EXPECT_EQ(e.Message(), "Timeout.");
    }
    EXPECT_EQ(value, 0xEE);  // nothing was written into the buffer
    ASSERT_TRUE(port_.ReadRegisters(0x84, 0, &value, 1, &count));
    EXPECT_EQ(value, 0x77);
}

TEST_F(UsbscanPortTest, ShortTransfersFail) {
    auto& scanner = Serve("RM310-GL841", 0);
    int matched = 0;
    ASSERT_TRUE(port_.Open({kRM310}, &matched));
    const uint8_t select = 0x5B;
    ASSERT_TRUE(port_.WriteRegisters(0x83, 0, &select, 1));

    scanner.InjectFault("short:1 ON control-in");
    uint8_t value = 0;
    unsigned count = 99;
    EXPECT_THROW(port_.ReadRegisters(0x84, 0, &value, 1, &count), DeviceIOException);
    EXPECT_EQ(count, 0u);  // the count delivered

    const uint8_t pairs[] = {0x5B, 0x01, 0x5C, 0x02};
    scanner.InjectFault("short:2 ON control-out");
    EXPECT_THROW(port_.WriteRegisters(0x83, 0, pairs, sizeof pairs), DeviceIOException);
}

TEST_F(UsbscanPortTest, ShortRegisterWriteIsAcceptedOnVersion52) {
    auto& scanner = Serve("RM310-GL841", 0);
    pt::SetWindowsVersion(5, 2);
    int matched = 0;
    ASSERT_TRUE(port_.Open({kRM310}, &matched));  // takes the version class at its end
    const uint8_t pairs[] = {0x5B, 0x01, 0x5C, 0x02};
    scanner.InjectFault("short:2 ON control-out");
    EXPECT_TRUE(port_.WriteRegisters(0x83, 0, pairs, sizeof pairs));
}

TEST_F(UsbscanPortTest, UnpluggedDeviceFailsItsTransfers) {
    auto& scanner = Serve("RM310-GL841", 0);
    int matched = 0;
    ASSERT_TRUE(port_.Open({kRM310}, &matched));
    scanner.Unplug();
    const uint8_t select = 0x5B;
    try {
        port_.WriteRegisters(0x83, 0, &select, 1);
        FAIL() << "expected a transfer failure";
    } catch (const DeviceIOException& e) {
        EXPECT_EQ(e.Code(), 256);
    }
    scanner.Plug();
}

TEST_F(UsbscanPortTest, DeviceLockHeldByAnotherProcess) {
    Serve("RM310-GL841", 0);
    int matched = 0;
    ASSERT_TRUE(port_.Open({kRM310}, &matched));
    pt::ChildProcess child("hold-device-lock", {"RM310"});
    ASSERT_TRUE(child.Started());
    ASSERT_EQ(child.ReadLine(), std::optional<std::string>("held"));

    EXPECT_FALSE(port_.Lock());
    uint16_t vid = 0xAAAA, pid = 0xBBBB, bcd = 0;
    EXPECT_FALSE(port_.GetDeviceDescriptor(&vid, &pid, &bcd));  // no stale ids
    EXPECT_EQ(vid, 0xAAAA);
    {
        PortLocker locker(&port_);
        try {
            locker.Lock();
            FAIL() << "a sequence must not run without the device lock";
        } catch (const DeviceIOException& e) {
            EXPECT_EQ(e.Code(), 19);
        }
    }

    child.WriteLine("go");
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_TRUE(port_.Lock());
    EXPECT_TRUE(port_.Unlock());
}

TEST_F(UsbscanPortTest, DevicePresenceComesFromTheInstallationDatabase) {
    pt::DeviceInstall device;
    device.deviceId = "VID_17C4&PID_00F0";
    device.description = "Generic scanner";
    device.friendlyName = "RM310 Document Scanner";
    ASSERT_FALSE(pt::InstallDevice(device).empty());
    pt::DeviceInstall other;
    other.deviceId = "VID_17C4&PID_00F1";
    other.instanceId = "0001";
    other.description = "RM410 scanner";
    ASSERT_FALSE(pt::InstallDevice(other).empty());

    EXPECT_TRUE(port_.IsDevicePresent("rm310"));
    EXPECT_TRUE(port_.IsDevicePresent("RM410"));  // no friendly name: the description
    EXPECT_FALSE(port_.IsDevicePresent("RM460"));
    EXPECT_FALSE(port_.IsDevicePresent("RM310 Document Scanner Pro"));
}

}  // namespace
