// The Still Image face against the fake scanner library: binding the
// library named under the device key, status, reset, diagnostic, escapes,
// error information and the device lock.
#include "MinidriverSupport.h"

#include <platform/testing.h>

#include <cstring>
#include <thread>

namespace {

using namespace wiatest;

constexpr DWORD kMonitor = STI_DEVICE_CREATE_FOR_MONITOR | STI_DEVICE_CREATE_DATA;
constexpr DWORD kData = STI_DEVICE_CREATE_DATA;
const std::string kFake = std::string("FakeScanner.dll") + '\0';

DWORD OnlineState(IStiUSD* driver) {
    STI_DEVICE_STATUS status{};
    status.dwSize = sizeof status;
    status.StatusMask = STI_DEVSTATUS_ONLINE_STATE;
    EXPECT_EQ(driver->GetStatus(&status), S_OK);
    return status.dwOnlineState;
}

struct BindingCase {
    const char* name;
    std::optional<std::string> dllName;  // exact bytes of the value
    DWORD expectedOnline;                // the fake answers busy; the real library finds no scanner
};

TEST(LibraryBinding, StatusCallBindsTheLibraryNamedUnderTheDeviceKeyAndFreesItAgain) {
    DriverModule module;
    FakeScanner fake;
    ASSERT_TRUE(fake.Loaded());
    fake->scannerStatus = SI_SCANNER_BUSY;
    const BindingCase cases[] = {
        {"named", kFake, STI_ONLINESTATE_BUSY},
        {"named without its terminator", std::string("FakeScanner.dll"), STI_ONLINESTATE_BUSY},
        {"no DeviceData: Pelidor.DLL", std::nullopt, STI_ONLINESTATE_OFFLINE},
        {"a name that does not fit the buffer", std::string(300, 'x'), STI_ONLINESTATE_OFFLINE},
        {"a missing library", std::string("Missing.dll") + '\0', STI_ONLINESTATE_OFFLINE},
    };
    for (const auto& c : cases) {
        DeviceKey key(c.dllName);
        if (!c.dllName) RegDeleteKeyA(key.Get(), "DeviceData");
        InitializedDriver device(module, kData, key.Get());
        ASSERT_EQ(device.initializeResult, S_OK) << c.name;
        const int opens = fake->opens;
        EXPECT_EQ(OnlineState(device.driver), c.expectedOnline) << c.name;
        if (c.expectedOnline == STI_ONLINESTATE_BUSY) {
            EXPECT_EQ(fake->opens, opens + 1) << c.name;
            EXPECT_FALSE(fake->open) << c.name << ": closed again after the call";
        }
    }
}

TEST(LibraryBinding, MissingExportLeavesNothingBoundAndTheLibraryFreed) {
    DriverModule module;
    DeviceKey key(kFake);
    platform::testing::Hide("FakeScanner.dll", "SI_Feed");
    InitializedDriver monitor(module, kMonitor, key.Get());
    EXPECT_EQ(monitor.initializeResult, kNotReady);
    EXPECT_EQ(GetModuleHandleA("FakeScanner.dll"), nullptr);
    InitializedDriver device(module, kData, key.Get());
    STI_DIAG diag{};
    EXPECT_EQ(device.driver->Diagnostic(&diag), kNotReady);
    EXPECT_EQ(OnlineState(device.driver), STI_ONLINESTATE_OFFLINE);
    EXPECT_EQ(GetModuleHandleA("FakeScanner.dll"), nullptr);
    // Unbound, reset and error information answer without the library.
    EXPECT_EQ(device.driver->DeviceReset(), kNotReady);
    STI_ERROR_INFO info{};
    info.dwVendorError = 77;
    info.szExtendedErrorText[0] = L'x';
    EXPECT_EQ(device.driver->GetLastErrorInfo(&info), S_OK);
    EXPECT_EQ(info.dwVendorError, 0u);
    EXPECT_EQ(info.szExtendedErrorText[0], L'\0');
}

TEST(StillImageFace, MonitorInstanceKeepsTheLibraryOpenAndMapsItsAnswers) {
    DriverModule module;
    FakeScanner fake;
    DeviceKey key(kFake);
    {
        InitializedDriver monitor(module, kMonitor, key.Get());
        ASSERT_EQ(monitor.initializeResult, S_OK);
        EXPECT_TRUE(fake->open);
        IStiUSD* d = monitor.driver;

        struct StatusCase {
            SIResult result;
            int status;
            DWORD online;
        };
        for (const StatusCase& c : {StatusCase{SI_OK, SI_SCANNER_READY, STI_ONLINESTATE_OPERATIONAL},
                                    StatusCase{SI_OK, SI_SCANNER_BUSY, STI_ONLINESTATE_BUSY},
                                    StatusCase{SI_OK, SI_SCANNER_NOT_READY, STI_ONLINESTATE_OFFLINE},
                                    StatusCase{SI_ERR_COMMUNICATION, SI_SCANNER_READY, STI_ONLINESTATE_OFFLINE}}) {
            fake->statusResult = c.result;
            fake->scannerStatus = c.status;
            EXPECT_EQ(OnlineState(d), c.online) << c.status << "/" << c.result;
        }

        struct ResultCase {
            SIResult result;
            HRESULT expected;
        };
        // No device file: the pipe reset does not replace the library's answer.
        for (const ResultCase& c : {ResultCase{SI_OK, S_OK}, ResultCase{SI_ERR_NOT_OPEN, kNotReady},
                                    ResultCase{SI_ERR_COMMUNICATION, E_FAIL}}) {
            fake->resetResult = c.result;
            EXPECT_EQ(d->DeviceReset(), c.expected) << c.result;
        }
        // A calibration that found the white reference only succeeded.
        for (const ResultCase& c : {ResultCase{SI_OK, S_OK}, ResultCase{SI_CALIBRATED_WHITE_ONLY, S_OK},
                                    ResultCase{SI_ERR_CALIBRATION_FAILED, E_FAIL}}) {
            fake->calibrateResult = c.result;
            EXPECT_EQ(d->Escape(0x1001, nullptr, 0, nullptr, 0, nullptr), c.expected) << c.result;
        }

        BYTE paper = 9;
        DWORD returned = 0;
        EXPECT_EQ(d->Escape(0x1002, nullptr, 0, &paper, 0, &returned), E_INVALIDARG);
        EXPECT_EQ(d->Escape(0x1002, nullptr, 0, &paper, 1, nullptr), E_INVALIDARG);
        EXPECT_EQ(paper, 9);
        fake->paperPresent = SI_PAPER_PRESENT;
        EXPECT_EQ(d->Escape(0x1002, nullptr, 0, &paper, 1, &returned), S_OK);
        EXPECT_EQ(paper, 1);
        EXPECT_EQ(returned, 1u);
        fake->paperResult = SI_ERR_COMMUNICATION;
        EXPECT_EQ(d->Escape(0x1002, nullptr, 0, &paper, 1, &returned), E_FAIL);
        // A pass-through code needs its returned-size pointer and the device file.
        EXPECT_EQ(d->Escape(0x8000201C, nullptr, 0, nullptr, 0, nullptr), E_INVALIDARG);
        EXPECT_EQ(d->Escape(0x8000201C, nullptr, 0, nullptr, 0, &returned), kNotReady);
        DWORD length = 4;
        BYTE buffer[4];
        EXPECT_EQ(d->RawReadData(buffer, &length, nullptr), kNotReady);

        fake->diagnosticWord = 7;
        STI_DIAG diag{};
        EXPECT_EQ(d->Diagnostic(&diag), S_OK);
        EXPECT_EQ(diag.sErrorInfo.dwVendorError, 7u);
        fake->diagnosticResult = SI_ERR_NOT_OPEN;
        fake->lastError = SI_ERR_NOT_OPEN;
        fake->lastErrorText = "interface not open";
        EXPECT_EQ(d->Diagnostic(&diag), kNotReady);
        EXPECT_EQ(diag.sErrorInfo.dwGenericError, static_cast<DWORD>(E_FAIL));
        EXPECT_EQ(diag.sErrorInfo.dwVendorError, static_cast<DWORD>(SI_ERR_NOT_OPEN));
        EXPECT_EQ(std::wstring(diag.sErrorInfo.szExtendedErrorText), L"interface not open");

        STI_USD_CAPS caps{};
        EXPECT_EQ(d->GetCapabilities(&caps), S_OK);
        EXPECT_EQ(caps.dwVersion, 0x01000003u);
        EXPECT_EQ(caps.dwGenericCaps, 0x11u);

        STINOTIFY notify{};
        EXPECT_EQ(d->GetNotificationData(&notify), static_cast<HRESULT>(0x80070103));
        HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        STI_DEVICE_STATUS status{};
        status.StatusMask = STI_DEVSTATUS_EVENTS_STATE;
        EXPECT_EQ(d->SetNotificationHandle(event), S_OK);
        EXPECT_EQ(d->GetStatus(&status), S_OK);
        EXPECT_EQ(status.dwEventHandlingState, STI_EVENTHANDLING_ENABLED);
        EXPECT_EQ(d->SetNotificationHandle(INVALID_HANDLE_VALUE), S_OK);
        EXPECT_EQ(d->GetStatus(&status), S_OK);
        EXPECT_EQ(status.dwEventHandlingState, 0u);
        CloseHandle(event);
    }
    EXPECT_FALSE(fake->open) << "the last release closes the monitor's interface";
    EXPECT_EQ(fake->closes, 1);
}

TEST(StillImageFace, OtherInstancesInTheMonitorsProcessUseItsOpenInterface) {
    DriverModule module;
    FakeScanner fake;
    DeviceKey key(kFake);
    InitializedDriver monitor(module, kMonitor, key.Get());
    ASSERT_EQ(monitor.initializeResult, S_OK);
    InitializedDriver device(module, kData, key.Get());
    fake->scannerStatus = SI_SCANNER_BUSY;
    EXPECT_EQ(OnlineState(device.driver), STI_ONLINESTATE_BUSY);
    EXPECT_TRUE(fake->open) << "the monitor's interface stays open";
    EXPECT_EQ(fake->closes, 0);
    // Escapes that need the library are the monitor's alone.
    EXPECT_EQ(device.driver->Escape(0x1001, nullptr, 0, nullptr, 0, nullptr), kNotReady);
}

TEST(StillImageFace, DeviceLockIsOwnedByOneThreadAndTimesOutForOthers) {
    DriverModule module;
    DeviceKey key(kFake);
    InitializedDriver first(module, kData, key.Get());
    InitializedDriver second(module, kData, key.Get());
    ASSERT_EQ(first.driver->LockDevice(), S_OK);
    HRESULT other = S_OK;
    HRESULT release = S_OK;
    DWORD lastError = 0;
    std::thread([&] {
        other = second.driver->LockDevice();
        second.driver->GetLastError(&lastError);
        release = second.driver->UnLockDevice();
    }).join();
    EXPECT_EQ(other, static_cast<HRESULT>(0x80070021));
    EXPECT_EQ(lastError, 0x80070021u);
    EXPECT_EQ(release, E_FAIL) << "a release by a thread that does not own the lock is reported";
    EXPECT_EQ(first.driver->UnLockDevice(), S_OK);
    std::thread([&] {
        other = second.driver->LockDevice();
        release = second.driver->UnLockDevice();
    }).join();
    EXPECT_EQ(other, S_OK);
    EXPECT_EQ(release, S_OK);
}

TEST(StillImageFace, InitializeNeedsADeviceControlAndAPortName) {
    DriverModule module;
    DeviceKey key(kFake);
    IUnknown* unknown = module.CreateDevice();
    IStiUSD* d = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IStiUSD, reinterpret_cast<void**>(&d)), S_OK);
    unknown->Release();
    EXPECT_EQ(d->Initialize(nullptr, STI_VERSION, key.Get()), E_INVALIDARG);
    EXPECT_EQ(d->Release(), 0u);
    InitializedDriver noPort(module, kData, key.Get(), L"");
    EXPECT_EQ(noPort.initializeResult, kNotReady);
    EXPECT_EQ(noPort.control.references.load(), 2u) << "kept once by the object";
}

}  // namespace
