// The Still Image client against the service host and the virtual scanner:
// the device list and values, a device opened for data and its requests,
// the lock across processes (a holder that dies leaves it abandoned), a
// stalled request, and the library's Still Image port on top of it.
#include "../sisupport/SIClient.h"
#include "ScanSupport.h"

#include <SIPropertyIds.h>

#include <emulator/ImageDeviceEntry.h>
#include <emulator/VirtualScanner.h>
#include <gtest/gtest.h>
#include <platform/testing.h>
#include <platform/testing_io.h>

#include <sti.h>
#include <stiusd.h>
#include <usbscan.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace siclient;
namespace pt = platform::testing;

constexpr HRESULT kNotReady = static_cast<HRESULT>(0x80070015);
constexpr HRESULT kLockTimeout = static_cast<HRESULT>(0x80070021);

// The service and one device of its list, opened for data.
class StillImageClient {
public:
    StillImageClient() {
        if (FAILED(StiCreateInstanceW(GetModuleHandleA(nullptr), STI_VERSION, &sti, nullptr))) sti = nullptr;
        if (!sti) return;
        DWORD count = 0;
        void* buffer = nullptr;
        if (SUCCEEDED(sti->GetDeviceList(0, 0, &count, &buffer)) && buffer) {
            auto* list = static_cast<STI_DEVICE_INFORMATIONW*>(buffer);
            for (DWORD i = 0; i < count; ++i) {
                devices.push_back({list[i].szDeviceInternalName, list[i].pszVendorDescription,
                                   list[i].pszDeviceDescription, list[i].pszPortName});
            }
            LocalFree(buffer);
        }
    }
    ~StillImageClient() {
        if (device) device->Release();
        if (sti) sti->Release();
    }
    StillImageClient(const StillImageClient&) = delete;
    StillImageClient& operator=(const StillImageClient&) = delete;

    HRESULT Open() {
        if (devices.empty()) return E_FAIL;
        std::wstring name = devices[0].internalName;
        return sti->CreateDevice(name.data(), STI_DEVICE_CREATE_DATA, &device, nullptr);
    }

    struct Listed {
        std::wstring internalName, vendor, description, port;
    };
    IStillImage* sti = nullptr;
    IStiDevice* device = nullptr;
    std::vector<Listed> devices;
};

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Another process that takes the device lock and holds it until told.
int LockHolder(const std::vector<std::string>&) {
    StillImageClient client;
    const HRESULT opened = client.Open();
    if (FAILED(opened)) {
        Say("open " + std::to_string(opened));
        return 1;
    }
    Say("lock " + std::to_string(client.device->LockDevice(2500)));
    char line[16];
    if (!std::fgets(line, sizeof line, stdin)) return 2;
    Say("unlock " + std::to_string(client.device->UnLockDevice()));
    return 0;
}
const bool kRegistered = pt::RegisterChildRole("sti-lock-holder", LockHolder);

// A client of whatever host serves the machine: the device descriptor and
// the chip information through it.
int DescriptorReader(const std::vector<std::string>&) {
    StillImageClient client;
    const HRESULT opened = client.Open();
    DEVICE_DESCRIPTOR descriptor{};
    DWORD returned = 0;
    BYTE info = 0xFF;
    IO_BLOCK block{0x8E, 1, &info, 0};
    DWORD count = 0;
    const HRESULT escaped = SUCCEEDED(opened) ? client.device->Escape(IOCTL_GET_DEVICE_DESCRIPTOR, &descriptor,
                                                                     sizeof descriptor, &descriptor,
                                                                     sizeof descriptor, &returned)
                                              : opened;
    const HRESULT read = SUCCEEDED(opened) ? client.device->RawReadCommand(&block, &count, nullptr) : opened;
    char line[96];
    std::snprintf(line, sizeof line, "%d %04X:%04X %d %u", static_cast<int>(escaped), descriptor.usVendorId,
                  descriptor.usProductId, static_cast<int>(read), static_cast<unsigned>(count));
    Say(line);
    return 0;
}
const bool kReaderRegistered = pt::RegisterChildRole("sti-descriptor-reader", DescriptorReader);

class StillImageDeviceTest : public DeviceTest {
protected:
    emulator::VirtualScanner& ServeInstalled() {
        auto& scanner = Serve("RM310-GL841", {{"speed", "4"}, {"clock", "real"}});  // the host makes the requests
        EXPECT_FALSE(pt::InstallStillImageDevice(emulator::ImageDeviceEntry("RM310-GL841", 0, scanner)).empty());
        return scanner;
    }
};

TEST_F(StillImageDeviceTest, ListAndValuesComeFromTheInstalledDevice) {
    ServeInstalled();
    StillImageClient client;
    ASSERT_EQ(client.devices.size(), 1u);
    EXPECT_EQ(client.devices[0].vendor, L"Tessaline Corp.");
    EXPECT_EQ(client.devices[0].description, L"RM310");
    EXPECT_EQ(client.devices[0].port, L"\\\\.\\usbscan0");

    std::wstring name = client.devices[0].internalName;
    wchar_t valueName[] = L"DLLName";
    char text[64] = {};
    DWORD type = 0;
    DWORD size = sizeof text;
    ASSERT_EQ(client.sti->GetDeviceValue(name.data(), valueName, &type, reinterpret_cast<BYTE*>(text), &size), S_OK);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(text, "Pelidor.dll");
    wchar_t prefeed[] = L"PrefeedDelayInMs";
    DWORD value = 750;
    ASSERT_EQ(client.sti->SetDeviceValue(name.data(), prefeed, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4), S_OK);
    DWORD back = 0;
    size = sizeof back;
    ASSERT_EQ(client.sti->GetDeviceValue(name.data(), prefeed, &type, reinterpret_cast<BYTE*>(&back), &size), S_OK);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(back, 750u);
    wchar_t missing[] = L"NoSuchValue";
    EXPECT_TRUE(FAILED(client.sti->GetDeviceValue(name.data(), missing, &type, reinterpret_cast<BYTE*>(&back), &size)));
}

TEST_F(StillImageDeviceTest, DeviceAnswersStatusDiagnosticEscapesAndRawRequestsThroughTheHost) {
    auto& scanner = ServeInstalled();
    StillImageClient client;
    ASSERT_EQ(client.Open(), S_OK);
    IStiDevice* d = client.device;

    STI_DEV_CAPS caps{};
    EXPECT_EQ(d->GetCapabilities(&caps), S_OK);
    EXPECT_EQ(caps.dwGeneric, STI_GENCAP_NOTIFICATIONS | STI_GENCAP_WIA);
    STI_DEVICE_STATUS status{};
    status.StatusMask = STI_DEVSTATUS_ONLINE_STATE;
    EXPECT_EQ(d->GetStatus(&status), S_OK);
    EXPECT_EQ(status.dwOnlineState, STI_ONLINESTATE_OPERATIONAL);
    STI_DIAG diag{};
    EXPECT_EQ(d->Diagnostic(&diag), S_OK);
    EXPECT_EQ(diag.sErrorInfo.dwGenericError, 0u);

    ASSERT_EQ(d->LockDevice(2500), S_OK);
    DEVICE_DESCRIPTOR descriptor{};
    DWORD returned = 0;
    EXPECT_EQ(d->Escape(IOCTL_GET_DEVICE_DESCRIPTOR, &descriptor, sizeof descriptor, &descriptor, sizeof descriptor,
                        &returned),
              S_OK);
    EXPECT_EQ(returned, 8u);
    EXPECT_EQ(descriptor.usVendorId, 0x17C4);
    EXPECT_EQ(descriptor.usProductId, 0x00F0);
    BYTE info = 0xFF;
    IO_BLOCK block{0x8E, 1, &info, 0};
    DWORD count = 0;
    EXPECT_EQ(d->RawReadCommand(&block, &count, nullptr), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(info & ~0x08, 0) << "chip information has only its packet-size bit";
    BYTE select = 0x01;
    IO_BLOCK write{0x83, 1, &select, 0};
    EXPECT_EQ(d->RawWriteCommand(&write, sizeof write, nullptr), S_OK);
    // The calibration and paper escapes belong to the monitor's instance.
    BYTE paper = 0;
    EXPECT_EQ(d->Escape(0x1002, nullptr, 0, &paper, 1, &returned), kNotReady);
    EXPECT_EQ(d->Escape(0x1001, nullptr, 0, nullptr, 0, nullptr), kNotReady);
    EXPECT_EQ(d->DeviceReset(), S_OK) << "the pipe reset on the device file answers";
    EXPECT_EQ(d->UnLockDevice(), S_OK);

    scanner.Unplug();
    EXPECT_EQ(d->GetStatus(&status), S_OK);
    EXPECT_EQ(status.dwOnlineState, STI_ONLINESTATE_OFFLINE);
    scanner.Plug();
}

TEST_F(StillImageDeviceTest, StalledRegisterReadFailsAfterItsTimeOutAndTheNextRequestIsServed) {
    auto& scanner = ServeInstalled();
    StillImageClient client;
    ASSERT_EQ(client.Open(), S_OK);
    scanner.InjectFault("timeout ON control-in");
    std::vector<BYTE> buffer(1, 0xAB);
    IO_BLOCK block{0x8E, 1, buffer.data(), 0};
    DWORD count = 0;
    EXPECT_EQ(client.device->RawReadCommand(&block, &count, nullptr), E_FAIL);
    EXPECT_EQ(buffer[0], 0xAB) << "nothing arrived for the failed request";
    BYTE info = 0xFF;
    IO_BLOCK next{0x8E, 1, &info, 0};
    EXPECT_EQ(client.device->RawReadCommand(&next, &count, nullptr), S_OK);
    EXPECT_EQ(count, 1u);
}

TEST_F(StillImageDeviceTest, LockHeldByAnotherProcessTimesOutAndAHolderThatDiesLeavesItAbandoned) {
    ServeInstalled();
    // The library on the Still Image port, opened before the other process
    // takes the lock (64-bit: a 32-bit process keeps to the usbscan port).
    const bool libraryRoute = sizeof(void*) == 8;
    if (libraryRoute) {
        ASSERT_EQ(SI_OpenInterface("RM310"), SI_OK);
    }
    pt::ChildProcess holder("sti-lock-holder");
    ASSERT_TRUE(holder.Started());
    ASSERT_EQ(holder.ReadLine().value_or(""), "lock 0");

    StillImageClient client;
    ASSERT_EQ(client.Open(), S_OK);
    EXPECT_EQ(client.device->LockDevice(2500), kLockTimeout);
    DWORD lastError = 0;
    EXPECT_EQ(client.device->GetLastError(&lastError), S_OK);
    EXPECT_EQ(lastError, static_cast<DWORD>(kLockTimeout));
    if (libraryRoute) {
        int paper = -1;
        EXPECT_EQ(SI_GetPaperStatus(&paper), SI_ERR_BUSY);
    }

    holder.Kill();
    holder.Wait();
    EXPECT_EQ(client.device->LockDevice(2500), S_OK);
    EXPECT_EQ(client.device->UnLockDevice(), S_OK);
    if (libraryRoute) {
        int status = -1;
        EXPECT_EQ(SI_GetScannerStatus(&status), SI_OK);
        EXPECT_EQ(status, SI_SCANNER_READY);
    }
}

// The host's messages are the same for both builds: a client of the other
// build (PLATFORM_PEER_TEST_PROGRAM) is served by this build's host.
TEST_F(StillImageDeviceTest, ClientOfTheOtherBuildIsServedByThisHost) {
    const char* peer = std::getenv("PLATFORM_PEER_TEST_PROGRAM");
    if (peer == nullptr || *peer == '\0') GTEST_SKIP() << "PLATFORM_PEER_TEST_PROGRAM not set";
    ServeInstalled();
    ASSERT_TRUE(pt::StartImageService());
    for (const std::string& program : {std::string(), std::string(peer)}) {
        pt::ChildProcess reader("sti-descriptor-reader", {}, program);
        EXPECT_EQ(reader.ReadLine().value_or(""), "0 17C4:00F0 0 1") << (program.empty() ? "this build" : program);
        EXPECT_EQ(reader.Wait(), 0);
    }
}

TEST_F(StillImageDeviceTest, ReleasedLockLetsTheOtherProcessIn) {
    ServeInstalled();
    pt::ChildProcess holder("sti-lock-holder");
    ASSERT_EQ(holder.ReadLine().value_or(""), "lock 0");
    holder.WriteLine("release");
    EXPECT_EQ(holder.ReadLine().value_or(""), "unlock 0");
    EXPECT_EQ(holder.Wait(), 0);
    StillImageClient client;
    ASSERT_EQ(client.Open(), S_OK);
    EXPECT_EQ(client.device->LockDevice(2500), S_OK);
    EXPECT_EQ(client.device->UnLockDevice(), S_OK);
}

}  // namespace
