// The prefeed against the fake scanner library, woken by a real interrupt
// of the virtual scanner: a sheet that is gone when the delay ends is not
// fed, and nothing of the attempt is left behind as an error.
#include "MinidriverSupport.h"

#include <emulator/VirtualScanner.h>
#include <platform/testing.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace wiatest;
using namespace std::chrono_literals;

constexpr DWORD kMonitor = STI_DEVICE_CREATE_FOR_MONITOR | STI_DEVICE_CREATE_DATA;

void SetDword(HKEY device, const char* name, DWORD value) {
    HKEY data = nullptr;
    ASSERT_EQ(RegCreateKeyExA(device, "DeviceData", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &data, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(data, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(data);
}

// A light sheet of 1 x 2 inches (600 dpi), the smallest the feeder takes.
std::filesystem::path Sheet() {
    const auto path = std::filesystem::path(platform::testing::Root()) / "sheet.pgm";
    std::ofstream out(path, std::ios::binary);
    out << "P5\n600 1200\n255\n" << std::string(600 * 1200, '\xF0');
    return path;
}

int Read(int& counter) { return std::atomic_ref<int>(counter).load(); }

TEST(PrefeedPaper, SheetGoneAfterTheDelayIsNotFedAndLeavesNoError) {
    // The paper the library finds when the delay has passed.
    struct Row {
        const char* what;
        int paper;
        int feeds;
    };
    for (const Row r : {Row{"sheet still there", SI_PAPER_PRESENT, 1}, Row{"sheet taken out", SI_PAPER_ABSENT, 0}}) {
        emulator::VirtualScanner scanner("RM310-GL841", {{"clock", "real"}});
        scanner.Serve(platform::testing::Root(), 0);
        DriverModule module;
        FakeScanner fake;
        ASSERT_TRUE(fake.Loaded());
        fake->eventFlags = SI_EVENT_PAPER_IN;
        fake->paperPresent = r.paper;
        DeviceKey key(std::string("FakeScanner.dll") + '\0');
        SetDword(key.Get(), "PrefeedEnable", 1);
        SetDword(key.Get(), "PrefeedDelayInMs", 200);
        {
            InitializedDriver monitor(module, kMonitor, key.Get(), L"\\\\.\\usbscan0");
            ASSERT_EQ(monitor.initializeResult, S_OK) << r.what;
            scanner.InsertSheet(Sheet());
            // The attempt has looked at the paper after its delay (bounded
            // wait; the interrupt and the delay take well under it).
            for (int i = 0; i < 2000 && Read(fake->paperReads) == 0; ++i) std::this_thread::sleep_for(10ms);
            ASSERT_GT(Read(fake->paperReads), 0) << r.what << ": the prefeed never ran";
            for (int i = 0; i < 2000 && Read(fake->feeds) < r.feeds; ++i) std::this_thread::sleep_for(10ms);
            DWORD error = 1;
            EXPECT_EQ(monitor.driver->GetLastError(&error), S_OK);
            EXPECT_EQ(error, 0u) << r.what;
            STI_DEVICE_STATUS status{};
            status.dwSize = sizeof status;
            status.StatusMask = STI_DEVSTATUS_ONLINE_STATE;
            EXPECT_EQ(monitor.driver->GetStatus(&status), S_OK) << r.what;
            EXPECT_EQ(status.dwOnlineState, static_cast<DWORD>(STI_ONLINESTATE_OPERATIONAL)) << r.what;
        }
        // The driver is gone and its prefeed thread joined: every feed it
        // made is counted.
        EXPECT_EQ(Read(fake->feeds), r.feeds) << r.what;
        scanner.StopServing();
        for (const auto& v : scanner.Violations()) ADD_FAILURE() << v.rule << ": " << v.text;
    }
}

}  // namespace
