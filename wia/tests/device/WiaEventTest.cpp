// The interrupt listener and the prefeed thread against the virtual
// scanner's button and sheet insertion; the button during a transfer; power
// suspend and resume; destruction while the threads wait or feed.
#include "WiaFixture.h"

#include <emulator/ImageDeviceEntry.h>
#include <platform/testing.h>
#include <platform/testing_io.h>

#include <objbase.h>
#include <wia.h>
#include <windows.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace wiadevice {
namespace {

using namespace std::chrono_literals;
using platform::wia::Transfer;

GUID Guid(const char* text) {
    GUID guid{};
    std::wstring wide(text, text + strlen(text));
    CLSIDFromString(wide.c_str(), &guid);
    return guid;
}

// Waits (up to 20 s) for an event of the device and returns it.
std::optional<GUID> NextEvent() {
    const auto events = platform::wia::WaitServiceEvents(20000);
    if (events.empty()) return std::nullopt;
    return events.front().event;
}

// Waits until the motor has stood still for a while; its position then.
int64_t SettledMotor(emulator::VirtualScanner& scanner) {
    int64_t last = scanner.MotorPosition();
    for (int stillFor = 0, i = 0; i < 400 && stillFor < 10; ++i) {
        std::this_thread::sleep_for(50ms);
        const int64_t now = scanner.MotorPosition();
        stillFor = now == last && scanner.Engine() == emulator::EngineState::Idle ? stillFor + 1 : 0;
        last = now;
    }
    return last;
}

class WiaEventTest : public WiaDeviceTest {
protected:
    // The service's monitor, and a listener known to be waiting: a button
    // press has come through (its event is dropped).
    void Monitor() {
        monitor_ = std::make_unique<platform::wia::EventMonitor>(Driver(), L"device");
        ASSERT_TRUE(PressForEvent()) << "the listener never answered";
        platform::wia::TakeServiceEvents();
    }
    // Presses the button until an event comes (an interrupt that comes
    // before the listener's first wait reaches the scanner finds no reader).
    std::optional<GUID> PressForEvent() {
        for (int attempt = 0; attempt < 10; ++attempt) {
            Scanner().Press();
            Scanner().Release();
            const auto events = platform::wia::WaitServiceEvents(2000);
            if (!events.empty()) return events.front().event;
        }
        return std::nullopt;
    }
    void TearDown() override {
        monitor_.reset();
        WiaDeviceTest::TearDown();
    }
    std::unique_ptr<platform::wia::EventMonitor> monitor_;
};

TEST_F(WiaEventTest, ButtonRaisesTheScanButtonEventOnce) {
    Open("RM310-GL841", 5, 1);
    Monitor();
    const auto event = PressForEvent();
    ASSERT_TRUE(event);
    EXPECT_TRUE(IsEqualGUID(*event, Guid(emulator::kScanButtonEvent)));
    // The monitor fetched it: a second fetch finds nothing.
    STINOTIFY notify{};
    notify.dwSize = sizeof notify;
    EXPECT_EQ(Driver()->GetNotificationData(&notify), static_cast<HRESULT>(0x80070103));
}

TEST_F(WiaEventTest, InsertedSheetRaisesPaperInAndIsDrawnInByTheDistance) {
    Open("RM310-GL841", 5, 1);
    SetDeviceValue("PrefeedEnable", 1);
    SetDeviceValue("PrefeedDelayInMs", 200);
    SetDeviceValue("PrefeedDistance", 13);
    Monitor();
    const int64_t before = Scanner().MotorPosition();
    Scanner().InsertSheet(WriteSheet("front.pgm"));
    const auto event = NextEvent();
    ASSERT_TRUE(event);
    EXPECT_TRUE(IsEqualGUID(*event, Guid(emulator::kPaperInEvent)));
    // 13/100 inch at 600 dpi is 78 lines; the motor runs 600 steps per inch.
    const int64_t moved = SettledMotor(Scanner()) - before;
    EXPECT_NEAR(static_cast<double>(moved), 78, 2.0);
}

TEST_F(WiaEventTest, InterruptsBeforeTheMonitorsHandleAreNotLost) {
    // The sheet and the button come while nobody waits for the driver's
    // notification yet: the monitor that subscribes afterwards still gets
    // each event.
    struct Row {
        const char* what;
        const char* event;
    };
    for (const Row r : {Row{"button", emulator::kScanButtonEvent}, Row{"paper", emulator::kPaperInEvent}}) {
        Open("RM310-GL841", 5, 1);
        if (std::string(r.what) == "paper") {
            Scanner().InsertSheet(WriteSheet("front.pgm"));
        } else {
            Scanner().Press();
            Scanner().Release();
        }
        std::this_thread::sleep_for(300ms);  // the listener decodes before anyone subscribes
        monitor_ = std::make_unique<platform::wia::EventMonitor>(Driver(), L"device");
        const auto event = NextEvent();
        ASSERT_TRUE(event) << r.what;
        EXPECT_TRUE(IsEqualGUID(*event, Guid(r.event))) << r.what;
        monitor_.reset();
        CloseDriver();
        Scanner().StopServing();
        for (const auto& v : Scanner().Violations()) ADD_FAILURE() << v.rule << ": " << v.text;
        scanner_.reset();
        platform::wia::TakeServiceEvents();
    }
}

TEST_F(WiaEventTest, PrefeedDistancesAreClampedAndTextEnables) {
    // Steps of the motor (600 per inch) for the distance in hundredths; 0
    // feeds the shortest distance the library moves, not nothing.
    struct Row {
        DWORD distance;
        int64_t least, most;
    };
    for (const Row r : {Row{0, 1, 12}, Row{99, 238, 242}, Row{25, 148, 152}}) {
        Open("RM310-GL841", 5, 1);
        SetDeviceText("PrefeedEnable", "1");
        SetDeviceValue("PrefeedDelayInMs", 50);
        SetDeviceValue("PrefeedDistance", r.distance);
        Monitor();
        const int64_t before = Scanner().MotorPosition();
        Scanner().InsertSheet(WriteSheet("front.pgm"));
        ASSERT_TRUE(NextEvent());
        const int64_t moved = SettledMotor(Scanner()) - before;
        EXPECT_GE(moved, r.least) << r.distance;
        EXPECT_LE(moved, r.most) << r.distance;
        monitor_.reset();
        CloseDriver();
        Scanner().StopServing();
        for (const auto& v : Scanner().Violations()) ADD_FAILURE() << v.rule << ": " << v.text;
        scanner_.reset();
        platform::wia::TakeServiceEvents();
    }
}

TEST_F(WiaEventTest, NoPrefeedWithoutTheEnableValue) {
    Open("RM310-GL841", 5, 1);
    SetDeviceValue("PrefeedDelayInMs", 200);
    Monitor();
    const int64_t before = Scanner().MotorPosition();
    Scanner().InsertSheet(WriteSheet("front.pgm"));
    ASSERT_TRUE(NextEvent());
    EXPECT_EQ(SettledMotor(Scanner()), before);
}

TEST_F(WiaEventTest, ButtonDuringATransferAbortsItAndRaisesNothing) {
    Open("RM310-GL841", 5, 1);
    BYTE* feeder = Service().Feeder();
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_XRES, 300}, {WIA_IPA_DATATYPE, WIA_DATA_COLOR}}), S_OK);
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_XEXTENT, 900}, {WIA_IPS_YEXTENT, 1500}}), S_OK);
    Monitor();
    Scanner().InsertSheet(WriteSheet("front.pgm", {4.0, 6.0}));
    ASSERT_TRUE(NextEvent());  // paper in
    std::thread presser([&] {
        for (int i = 0; i < 2000 && Scanner().LinesScanned() < 100; ++i) std::this_thread::sleep_for(5ms);
        Scanner().Press();
        Scanner().Release();
    });
    const auto result = Service().Acquire(feeder, Transfer::Callback, Prefix("page"));
    presser.join();
    EXPECT_EQ(result.result, S_FALSE);
    EXPECT_TRUE(platform::wia::WaitServiceEvents(500).empty()) << "the button raised an event";
}

TEST_F(WiaEventTest, PaperEmptyFailsBeforeAnyMotorMoves) {
    Open("RM310-GL841", 5, 1);
    const int64_t before = Scanner().MotorPosition();
    const auto result = Service().Acquire(Service().Feeder(), Transfer::Callback, Prefix("page"));
    EXPECT_EQ(result.result, WIA_ERROR_PAPER_EMPTY);
    EXPECT_TRUE(result.pages.empty());
    EXPECT_EQ(Scanner().MotorPosition(), before);
}

TEST_F(WiaEventTest, ClosingDuringAPrefeedDelayAndAListenerWaitLeavesNothingPending) {
    Open("RM310-GL841", 5, 1);
    SetDeviceValue("PrefeedEnable", 1);
    SetDeviceValue("PrefeedDelayInMs", 2500);
    Monitor();
    const uint64_t abandoned = platform::testing::AbandonedRequests();
    Scanner().InsertSheet(WriteSheet("front.pgm"));
    ASSERT_TRUE(NextEvent());
    const int64_t before = Scanner().MotorPosition();
    monitor_.reset();
    CloseDriver();  // joins the listener (its wait cancelled) and the prefeed thread (in its delay)
    EXPECT_EQ(platform::testing::AbandonedRequests(), abandoned);
    EXPECT_EQ(Scanner().MotorPosition(), before) << "nothing fed after the close";
}

// A second instance of the driver, as another process's Still Image client
// would have it: it only takes and gives the device lock.
IStiUSD* LockingInstance() {
    CLSID clsid{};
    std::wstring text(emulator::kDriverClass, emulator::kDriverClass + strlen(emulator::kDriverClass));
    CLSIDFromString(text.c_str(), &clsid);
    IStiUSD* usd = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IStiUSD, reinterpret_cast<void**>(&usd)))) {
        return nullptr;
    }
    auto* control = new TestDeviceControl(L"\\\\.\\usbscan0", STI_DEVICE_CREATE_DATA);
    usd->Initialize(control, STI_VERSION, nullptr);
    control->Release();
    return usd;
}

TEST_F(WiaEventTest, SuspendKeepsOthersOffAndResumeFromAnotherThreadGivesTheDeviceBack) {
    Open("RM310-GL841", 5, 1);
    IStiUSD* other = LockingInstance();
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(Service().NotifyPnp(WIA_EVENT_POWER_SUSPEND), S_OK);
    HRESULT locked = S_OK;
    std::thread([&] { locked = other->LockDevice(); }).join();
    EXPECT_EQ(locked, static_cast<HRESULT>(0x80070021)) << "the sleeping device is locked";
    std::thread([&] { EXPECT_EQ(Service().NotifyPnp(WIA_EVENT_POWER_RESUME), S_OK); }).join();
    std::thread([&] {
        locked = other->LockDevice();
        if (locked == S_OK) other->UnLockDevice();
    }).join();
    EXPECT_EQ(locked, S_OK);
    other->Release();
    // The library is open again: a page scans.
    Scanner().InsertSheet(WriteSheet("front.pgm"));
    EXPECT_EQ(Service().Acquire(Service().Feeder(), Transfer::File, Prefix("page")).result, S_OK);
}

TEST_F(WiaEventTest, ResumeThatCannotBindGivesTheLockBackAndALaterResumeWorks) {
    Open("RM310-GL841", 5, 1);
    ASSERT_EQ(Service().NotifyPnp(WIA_EVENT_POWER_SUSPEND), S_OK);
    platform::testing::InjectFailure("LoadLibraryA", ERROR_MOD_NOT_FOUND, 0, 1);
    ASSERT_EQ(Service().NotifyPnp(WIA_EVENT_POWER_RESUME), S_OK);
    IStiUSD* other = LockingInstance();
    ASSERT_NE(other, nullptr);
    HRESULT locked = E_FAIL;
    std::thread([&] {
        locked = other->LockDevice();
        if (locked == S_OK) other->UnLockDevice();
    }).join();
    EXPECT_EQ(locked, S_OK) << "a failed resume keeps no lock";
    other->Release();
    // Still suspended: transfers fail without touching the device.
    Scanner().InsertSheet(WriteSheet("front.pgm"));
    EXPECT_TRUE(FAILED(Service().Acquire(Service().Feeder(), Transfer::File, Prefix("none")).result));
    ASSERT_EQ(Service().NotifyPnp(WIA_EVENT_POWER_RESUME), S_OK);
    EXPECT_EQ(Service().Acquire(Service().Feeder(), Transfer::File, Prefix("page")).result, S_OK);
}

TEST_F(WiaEventTest, ResumeWithTheDeviceGoneTriesTenTimesThenGivesTheLockBack) {
    Open("RM310-GL841", 5, 1);
    ASSERT_EQ(Service().NotifyPnp(WIA_EVENT_POWER_SUSPEND), S_OK);
    Scanner().Unplug();
    // A second of settling, then ten opens three seconds apart (platform clock).
    const DWORD start = GetTickCount();
    ASSERT_EQ(Service().NotifyPnp(WIA_EVENT_POWER_RESUME), S_OK);
    EXPECT_GE(GetTickCount() - start, 1000u + 9u * 3000u) << "fewer than ten attempts";
    IStiUSD* other = LockingInstance();
    ASSERT_NE(other, nullptr);
    HRESULT locked = E_FAIL;
    std::thread([&] {
        locked = other->LockDevice();
        if (locked == S_OK) other->UnLockDevice();
    }).join();
    EXPECT_EQ(locked, S_OK) << "the failed resume keeps no lock";
    other->Release();
    // Still suspended: a transfer fails at once, without the device.
    Scanner().Plug();
    Scanner().InsertSheet(WriteSheet("front.pgm"));
    const int64_t before = Scanner().MotorPosition();
    EXPECT_TRUE(FAILED(Service().Acquire(Service().Feeder(), Transfer::File, Prefix("none")).result));
    EXPECT_EQ(Scanner().MotorPosition(), before);
}

TEST_F(WiaEventTest, UnpluggedAndPluggedInAgainTheDeviceComesBack) {
    Open("RM310-GL841", 5, 1);
    Monitor();
    Scanner().Unplug();
    ASSERT_EQ(Service().NotifyPnp(WIA_EVENT_DEVICE_DISCONNECTED), S_OK);
    std::this_thread::sleep_for(300ms);
    Scanner().Plug();
    ASSERT_EQ(Service().NotifyPnp(WIA_EVENT_DEVICE_CONNECTED), S_OK);
    // The service hands its notification handle over again after a connect.
    monitor_.reset();
    Monitor();
    platform::wia::TakeServiceEvents();
    const auto event = PressForEvent();
    ASSERT_TRUE(event) << "the listener runs again";
    EXPECT_TRUE(IsEqualGUID(*event, Guid(emulator::kScanButtonEvent)));
    Scanner().InsertSheet(WriteSheet("front.pgm"));
    platform::wia::WaitServiceEvents(2000);
    EXPECT_EQ(Service().Acquire(Service().Feeder(), Transfer::File, Prefix("page")).result, S_OK);
}

}  // namespace
}  // namespace wiadevice
