// The host's WIA face as another process sees it: the service host runs as
// its own process over the virtual scanner; this test is its client.
#include "WiaFixture.h"

#include <emulator/ImageDeviceEntry.h>
#include <platform/testing.h>
#include <platform/testing_io.h>

#include <objbase.h>
#include <sti.h>
#include <wia.h>
#include <windows.h>

#include <chrono>
#include <thread>

namespace wiadevice {
namespace {

using namespace std::chrono_literals;
using platform::wia::ServiceClient;
using platform::wia::Transfer;

class WiaServiceClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::testing::SetWindowsVersion(5, 1);
        // The host makes the device requests: the scanner keeps the real clock.
        scanner_ = std::make_unique<emulator::VirtualScanner>(
            "RM310-GL841", emulator::SwitchOverrides{{"speed", "8"}, {"clock", "real"}});
        scanner_->Serve(platform::testing::Root(), 0);
        ASSERT_FALSE(
            platform::testing::InstallStillImageDevice(emulator::ImageDeviceEntry("RM310-GL841", 0, *scanner_)).empty());
        ASSERT_TRUE(platform::testing::StartImageService());
    }
    void TearDown() override {
        platform::testing::StopImageService();
        for (const auto& v : scanner_->Violations()) ADD_FAILURE() << "violation " << v.rule << ": " << v.text;
        scanner_->StopServing();
    }
    std::unique_ptr<emulator::VirtualScanner> scanner_;
};

GUID Guid(const char* text) {
    GUID guid{};
    std::wstring wide(text, text + strlen(text));
    CLSIDFromString(wide.c_str(), &guid);
    return guid;
}

TEST_F(WiaServiceClientTest, PropertiesEventsAndACancelFromASecondConnection) {
    ServiceClient client;
    ASSERT_TRUE(client.Connected());
    const auto devices = client.Devices();
    ASSERT_EQ(devices.size(), 1u);
    const std::wstring device = devices[0].name;
    LONG value = 0;
    ASSERT_EQ(client.ReadLong(device, 1, WIA_IPS_XRES, &value), S_OK);
    EXPECT_EQ(client.WriteLongs(device, 1, {{WIA_IPS_XRES, 123}}), E_INVALIDARG);
    ASSERT_EQ(client.WriteLongs(device, 1, {{WIA_IPS_XRES, 300}, {WIA_IPA_DATATYPE, WIA_DATA_COLOR}}), S_OK);
    ASSERT_EQ(client.ReadLong(device, 1, WIA_IPS_YRES, &value), S_OK);
    EXPECT_EQ(value, 300) << "the vertical resolution follows";
    std::vector<platform::wia::Capability> caps;
    ASSERT_EQ(client.Capabilities(device, WIA_DEVICE_COMMANDS | WIA_DEVICE_EVENTS, &caps), S_OK);
    EXPECT_EQ(caps.size(), 5u);

    client.Events(0);
    scanner_->Press();
    scanner_->Release();
    bool seen = false;
    for (int i = 0; i < 20 && !seen; ++i) {
        for (const auto& e : client.Events(1000)) {
            seen = seen || (IsEqualGUID(e.event, Guid(emulator::kScanButtonEvent)) && e.deviceId == device);
        }
    }
    EXPECT_TRUE(seen) << "the button reached the client";

    scanner_->InsertSheet(WriteSheet("front.pgm", {4.0, 6.0}));
    std::thread canceller([&] {
        for (int i = 0; i < 4000 && scanner_->LinesScanned() < 100; ++i) std::this_thread::sleep_for(5ms);
        ServiceClient other;
        EXPECT_EQ(other.Cancel(device), S_OK);
    });
    const auto result =
        client.Acquire(device, 1, Transfer::Callback, (std::filesystem::path(platform::testing::Root()) / "p").string());
    canceller.join();
    EXPECT_EQ(result.result, S_FALSE);
}

TEST_F(WiaServiceClientTest, SuspendKeepsAnotherProcessOffTheDeviceUntilResume) {
    // This process's Still Image device, as another application has it:
    // its lock requests are served by the host beside the WIA face.
    IStillImageW* still = nullptr;
    ASSERT_EQ(StiCreateInstanceW(GetModuleHandleA(nullptr), STI_VERSION, &still, nullptr), S_OK);
    ServiceClient client;
    const auto devices = client.Devices();
    ASSERT_EQ(devices.size(), 1u);
    std::wstring device = devices[0].name;
    IStiDevice* other = nullptr;
    ASSERT_EQ(still->CreateDevice(device.data(), STI_DEVICE_CREATE_DATA, &other, nullptr), S_OK);
    still->Release();

    ASSERT_EQ(client.NotifyPnp(device, WIA_EVENT_POWER_SUSPEND), S_OK);
    EXPECT_EQ(other->LockDevice(1000), static_cast<HRESULT>(0x80070021)) << "the sleeping device is locked";
    // The resume comes on another connection (another host thread).
    ServiceClient resumer;
    ASSERT_EQ(resumer.NotifyPnp(device, WIA_EVENT_POWER_RESUME), S_OK);
    ASSERT_EQ(other->LockDevice(1000), S_OK);
    EXPECT_EQ(other->UnLockDevice(), S_OK);
    other->Release();
    LONG value = 0;
    EXPECT_EQ(client.ReadLong(device, 1, WIA_IPS_XRES, &value), S_OK);
}

// The monitor instance's driver opens its WIA log in the host: the host
// serves the log class, and the driver's first line reaches the log file.
TEST_F(WiaServiceClientTest, TheDriversWiaLogLivesInTheHostAndWritesToItsFile) {
    HANDLE file = CreateFileA(platform::wia::kDriverLogFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "the host's driver log file exists";
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
    CloseHandle(file);
    const size_t opened = text.find(" INIT log opened\r\n");
    ASSERT_NE(opened, std::string::npos) << text;
    const size_t line = text.find(" TRACE 1 0 Logging COM object created successfully\r\n");
    ASSERT_NE(line, std::string::npos) << text;
    EXPECT_LT(opened, line) << "the driver initialises its object before it logs";
}

// A device installed while the host runs: the host makes its monitor (and
// serves it) without a restart, so its button reaches a client.
TEST(WiaDeviceArrivalTest, ADeviceInstalledAfterTheHostStartedGetsItsMonitor) {
    platform::testing::SetWindowsVersion(5, 1);
    emulator::VirtualScanner scanner("RM310-GL841", emulator::SwitchOverrides{{"speed", "8"}, {"clock", "real"}});
    scanner.Serve(platform::testing::Root(), 0);
    ASSERT_TRUE(platform::testing::StartImageService());
    struct StopHost {
        ~StopHost() { platform::testing::StopImageService(); }
    } stopHost;
    {
        ServiceClient before;
        ASSERT_TRUE(before.Connected());
        EXPECT_TRUE(before.Devices().empty());
    }

    ASSERT_FALSE(
        platform::testing::InstallStillImageDevice(emulator::ImageDeviceEntry("RM310-GL841", 0, scanner)).empty());
    ServiceClient client;
    ASSERT_TRUE(client.Connected());
    const auto devices = client.Devices();
    ASSERT_EQ(devices.size(), 1u) << "the host serves the new device";
    const std::wstring device = devices[0].name;
    client.Events(0);
    scanner.Press();
    scanner.Release();
    bool seen = false;
    for (int i = 0; i < 20 && !seen; ++i) {
        for (const auto& e : client.Events(1000)) {
            seen = seen || (IsEqualGUID(e.event, Guid(emulator::kScanButtonEvent)) && e.deviceId == device);
        }
    }
    EXPECT_TRUE(seen) << "the new device's monitor raised the button";
    platform::testing::StopImageService();
    for (const auto& v : scanner.Violations()) ADD_FAILURE() << "violation " << v.rule << ": " << v.text;
    scanner.StopServing();
}

}  // namespace
}  // namespace wiadevice
