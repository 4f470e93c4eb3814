// While a scanner on a virtual clock is open, this process's sleeps and timed
// waits run on the scanner's time: they move it on once every thread waits,
// never past an answer the scanner still owes, and the clock functions follow.
#include "os/OSFunctions.h"

#include <emulator/VirtualScanner.h>
#include <gtest/gtest.h>
#include <platform/testing.h>
#include <process.h>
#include <usbscan.h>
#include <windows.h>

#include <chrono>
#include <memory>

namespace {

using namespace std::chrono_literals;

class VirtualClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        scanner_ = std::make_unique<emulator::VirtualScanner>("RM410", emulator::SwitchOverrides{{"clock", "virtual"}});
        scanner_->Serve(platform::testing::Root());
        device_ = CreateFileA("\\\\.\\usbscan0", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(device_, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        if (device_ != INVALID_HANDLE_VALUE) CloseHandle(device_);
        EXPECT_TRUE(scanner_->Violations().empty());
    }

    std::unique_ptr<emulator::VirtualScanner> scanner_;
    HANDLE device_ = INVALID_HANDLE_VALUE;
};

TEST_F(VirtualClockTest, SleepMovesTheScannersTimeOnByItsLength) {
    const auto before = scanner_->Now();
    const uint32_t ticks = OSGetTime();
    OSSleep(5000);
    const auto slept = scanner_->Now() - before;
    EXPECT_GE(slept, 5000ms);
    EXPECT_LT(slept, 5010ms) << "the scanner ran past the sleep";
    const uint32_t elapsed = OSGetTime() - ticks;
    EXPECT_GE(elapsed, 5000u);
    EXPECT_LE(elapsed, 5010u);
}

TEST_F(VirtualClockTest, TimedWaitEndsOnTheScannersTime) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    const auto before = scanner_->Now();
    EXPECT_EQ(WaitForSingleObject(event, 3000), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_GE(scanner_->Now() - before, 3000ms);
    CloseHandle(event);
}

TEST_F(VirtualClockTest, AnAnswerOnItsWayIsWaitedForWithoutRunningToTheTimeOut) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    for (int i = 0; i < 50; ++i) {
        const auto before = scanner_->Now();
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        uint8_t request[8] = {};
        DEVICE_DESCRIPTOR descriptor{};
        DWORD count = 0;
        if (!DeviceIoControl(device_, IOCTL_GET_DEVICE_DESCRIPTOR, request, sizeof request, &descriptor,
                             sizeof descriptor, nullptr, &overlapped)) {
            ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
            ASSERT_EQ(WaitForSingleObject(event, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
        }
        ASSERT_TRUE(GetOverlappedResult(device_, &overlapped, &count, FALSE));
        EXPECT_EQ(descriptor.usProductId, 0x00F1);
        EXPECT_LT(scanner_->Now() - before, 1s) << "request " << i << " ran the clock to its time-out";
    }
    CloseHandle(event);
}

TEST_F(VirtualClockTest, ThreadsAllWaitingBeforeTimeMoves) {
    // A thread that sleeps longer wakes after one that sleeps shorter, in
    // the scanner's time, however the host schedules them.
    struct Shared {
        std::chrono::nanoseconds wokeAt{};
        emulator::VirtualScanner* scanner;
    } shared{{}, scanner_.get()};
    auto sleeper = [](void* p) -> unsigned {
        auto* s = static_cast<Shared*>(p);
        Sleep(700);
        s->wokeAt = s->scanner->Now();
        return 0;
    };
    const auto before = scanner_->Now();
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, sleeper, &shared, 0, nullptr));
    ASSERT_NE(thread, nullptr);
    Sleep(200);
    const auto mainWoke = scanner_->Now();
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(thread);
    EXPECT_GE(mainWoke - before, 200ms);
    EXPECT_LT(mainWoke - before, 700ms);
    EXPECT_GE(shared.wokeAt - before, 700ms);
}

TEST_F(VirtualClockTest, ClosingTheScannerGivesTheHostsClockBackWithoutGoingBack) {
    OSSleep(2000);
    const uint32_t onScanner = OSGetTime();
    CloseHandle(device_);
    device_ = INVALID_HANDLE_VALUE;
    OSSleep(1);
    EXPECT_GE(static_cast<int32_t>(OSGetTime() - onScanner), 0);
}

}  // namespace
