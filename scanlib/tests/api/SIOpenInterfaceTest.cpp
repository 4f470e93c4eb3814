// The SI_ functions on an open interface, over the fake model "FAKE" on the
// usbscan port ("FAKE__").
#include "FakeScanner.h"

#include "api/LibraryState.h"

#include "device/DeviceIOException.h"
#include "device/DevicePort.h"
#include "os/OSMutex.h"
#include "os/ScanLog.h"
#include "os/OSWait.h"

#include <SIInterface.h>
#include <SIPropertyIds.h>

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr char kName[] = "FAKE__";
constexpr char kScanLock[] = "FAKEScan";
constexpr char kCalLock[] = "FAKECal";

// The wait result another thread gets on the global mutex of that name.
int WaitFromOtherThread(const char* name, int ms = 0) {
    return std::async(std::launch::async, [&] {
               OSMutex other;
               if (!other.Create(name, true)) return 99;
               const int result = other.Wait(ms);
               if (result == kWaitAcquired) other.Release();
               return result;
           })
        .get();
}

// Holds a global mutex on a thread of its own until destroyed.
class LockHolder {
public:
    explicit LockHolder(const char* name) {
        std::promise<void> held;
        auto heldFuture = held.get_future();
        thread_ = std::thread([this, name, held = std::move(held)]() mutable {
            OSMutex mutex;
            mutex.Create(name, true);
            mutex.Lock();
            held.set_value();
            release_.get_future().wait();
            mutex.Release();
        });
        heldFuture.wait();
    }
    ~LockHolder() {
        release_.set_value();
        thread_.join();
    }

private:
    std::promise<void> release_;
    std::thread thread_;
};

// Child: holds the global mutex named by args[0] until killed.
int HoldScannerLock(const std::vector<std::string>& args) {
    if (args.empty()) return 2;
    OSMutex mutex;
    if (!mutex.Create(args[0].c_str(), true) || mutex.Lock() != kWaitAcquired) return 3;
    std::printf("held\n");
    std::fflush(stdout);
    char line[16];
    while (std::fgets(line, sizeof line, stdin)) {
    }
    return 0;
}

const bool registered = platform::testing::RegisterChildRole("hold-scanner-lock", HoldScannerLock);

class SIOpenInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        FakeScanner::ResetScript();
    }
    void TearDown() override { SI_CloseInterface(); }

    // Opens with spooling off, so scans read the fake model directly.
    void Open() {
        ASSERT_EQ(SI_OpenInterface(kName), SI_OK);
        SIProperty spool{};
        spool.id = SI_PROP_SPOOL_ENABLE;
        spool.container = SI_CONTAINER_SINGLE;
        spool.itemType = SI_TYPE_BOOL;
        spool.value[0] = 0;
        ASSERT_EQ(SI_SetProperty(&spool), SI_OK);
    }

    // Records a 256 through a function that has no sticky check.
    void MakeSticky() {
        FakeScanner::script.paperThrows = DeviceIOException::kTransferFailure;
        int present = 0;
        ASSERT_EQ(SI_GetPaperStatus(&present), SI_ERR_COMMUNICATION);
        FakeScanner::script.paperThrows = 0;
    }

    uint8_t buffer_[64] = {};
    int count_ = -1;
};

}  // namespace

TEST_F(SIOpenInterfaceTest, OpenOnceThenAlreadyOpen) {
    Open();
    EXPECT_TRUE(FakeScanner::calls.portTaken);
    EXPECT_EQ(SI_OpenInterface(kName), SI_ERR_ALREADY_OPEN);
    EXPECT_EQ(SI_OpenInterface(nullptr), SI_ERR_ALREADY_OPEN);
    EXPECT_EQ(FakeScanner::calls.opens, 1);
    EXPECT_EQ(ScanLog::OpenCount(), 1);
    EXPECT_EQ(SI_CloseInterface(), SI_OK);
    EXPECT_EQ(SI_GetLastError(), SI_OK);
    EXPECT_EQ(ScanLog::OpenCount(), 0);
    EXPECT_EQ(SI_CloseInterface(), SI_ERR_NOT_OPEN);
}

TEST_F(SIOpenInterfaceTest, FailedOpensLeaveTheLibraryClosed) {
    struct Case {
        bool openResult;
        int throws;
        SIResult expected;
    };
    for (const Case& c : {Case{false, 0, SI_ERR_NO_HARDWARE}, Case{true, DeviceIOException::kBusy, SI_ERR_BUSY},
                          Case{true, DeviceIOException::kTransferFailure, SI_ERR_COMMUNICATION},
                          Case{true, -1, SI_ERR_INIT_FAILED}}) {
        FakeScanner::ResetScript();
        FakeScanner::script.openResult = c.openResult;
        FakeScanner::script.openThrows = c.throws;
        EXPECT_EQ(SI_OpenInterface(kName), c.expected);
        EXPECT_EQ(ScanLog::OpenCount(), 0);
        EXPECT_EQ(SI_CloseInterface(), SI_ERR_NOT_OPEN);
        // Nothing holds the locks; a later open works.
        FakeScanner::ResetScript();
        EXPECT_EQ(SI_OpenInterface(kName), SI_OK);
        EXPECT_EQ(SI_CloseInterface(), SI_OK);
    }
}

TEST_F(SIOpenInterfaceTest, ArgumentChecksComeAfterOpen) {
    Open();
    EXPECT_EQ(SI_GetProperty(nullptr), SI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(SI_SetProperty(nullptr), SI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(SI_GetScannerStatus(nullptr), SI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(SI_GetPaperStatus(nullptr), SI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(SI_GetButtonStatus(0, nullptr), SI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(SI_GetEvent(nullptr), SI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(SI_IsCalibrated(nullptr), SI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(SI_Diagnostic(0, nullptr), SI_ERR_INVALID_PARAMETER);
    // Without a scan, reading is refused before its arguments are looked at.
    EXPECT_EQ(SI_ReadImageData(nullptr, 1, 2, nullptr), SI_ERR_NOT_SCANNING);
    SIProperty unknown{};
    unknown.id = 60000;
    EXPECT_EQ(SI_GetProperty(&unknown), SI_ERR_PROPERTY_UNSUPPORTED);
    EXPECT_EQ(SI_SetProperty(&unknown), SI_ERR_PROPERTY_UNSUPPORTED);
    // A property that cannot answer does not report an untouched record as read.
    SIProperty deviceValue{};
    deviceValue.id = SI_PROP_PREFEED_DELAY;
    EXPECT_EQ(SI_GetProperty(&deviceValue), SI_ERR_PROPERTY_UNSUPPORTED);
}

TEST_F(SIOpenInterfaceTest, StickyCommunicationError) {
    Open();
    MakeSticky();
    SIProperty p{};
    p.id = 2;
    int words[4] = {};
    // Sticky before null for SI_SetProperty, null before sticky for SI_GetProperty.
    EXPECT_EQ(SI_SetProperty(nullptr), SI_ERR_COMMUNICATION);
    EXPECT_EQ(SI_GetProperty(nullptr), SI_ERR_INVALID_PARAMETER);
    MakeSticky();
    EXPECT_EQ(SI_GetProperty(&p), SI_ERR_COMMUNICATION);
    EXPECT_EQ(SI_SetProperty(&p), SI_ERR_COMMUNICATION);
    EXPECT_EQ(SI_StartScan(), SI_ERR_COMMUNICATION);
    EXPECT_EQ(SI_ReadImageData(buffer_, 1, 0, &count_), SI_ERR_NOT_SCANNING);
    MakeSticky();
    EXPECT_EQ(SI_Reset(), SI_ERR_COMMUNICATION);
    EXPECT_EQ(SI_Diagnostic(0, words), SI_ERR_COMMUNICATION);
    EXPECT_EQ(SI_Calibrate(0, nullptr), SI_ERR_COMMUNICATION);
    EXPECT_EQ(SI_Feed(), SI_ERR_COMMUNICATION);
    EXPECT_EQ(SI_FeedPaperOut(), SI_ERR_COMMUNICATION);
    EXPECT_EQ(SI_Clean(nullptr), SI_ERR_COMMUNICATION);
    EXPECT_EQ(FakeScanner::calls.feeds, 0);
    EXPECT_EQ(FakeScanner::calls.resets, 0);

    // An unchecked function records its own result and ends it.
    int status = -1;
    EXPECT_EQ(SI_GetScannerStatus(&status), SI_OK);
    EXPECT_EQ(SI_GetProperty(&p), SI_OK);

    // So does SI_EndScan without a scan.
    MakeSticky();
    EXPECT_EQ(SI_EndScan(), SI_OK);
    EXPECT_EQ(SI_Reset(), SI_OK);
    EXPECT_EQ(FakeScanner::calls.resets, 1);
}

TEST_F(SIOpenInterfaceTest, ScanHoldsTheScanLockUntilEndScan) {
    Open();
    EXPECT_EQ(WaitFromOtherThread(kScanLock), kWaitAcquired);
    ASSERT_EQ(SI_StartScan(), SI_OK);
    EXPECT_EQ(WaitFromOtherThread(kScanLock), kWaitTimeout);

    // Refused while scanning, and the lock stays as it was.
    EXPECT_EQ(SI_StartScan(), SI_ERR_BUSY);
    EXPECT_EQ(SI_Feed(), SI_ERR_BUSY);
    EXPECT_EQ(SI_FeedPaperOut(), SI_ERR_BUSY);
    EXPECT_EQ(SI_Clean(nullptr), SI_ERR_BUSY);
    EXPECT_EQ(SI_Calibrate(0, nullptr), SI_ERR_BUSY);
    EXPECT_EQ(FakeScanner::calls.feeds + FakeScanner::calls.ejects, 0);
    EXPECT_EQ(WaitFromOtherThread(kScanLock), kWaitTimeout);
    EXPECT_EQ(WaitFromOtherThread(kCalLock), kWaitAcquired);
    int status = -1;
    EXPECT_EQ(SI_GetScannerStatus(&status), SI_OK);
    EXPECT_EQ(status, SI_SCANNER_BUSY);

    EXPECT_EQ(SI_ReadImageData(buffer_, 1, 2, &count_), SI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(SI_ReadImageData(nullptr, 1, 0, &count_), SI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(SI_ReadImageData(buffer_, 1, 0, nullptr), SI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(SI_ReadImageData(buffer_, 0, 0, &count_), SI_OK);
    EXPECT_EQ(count_, 0);
    EXPECT_EQ(FakeScanner::calls.reads, 0);

    EXPECT_EQ(SI_ReadImageData(buffer_, 2, 0, &count_), SI_OK);
    EXPECT_EQ(count_, 2);
    EXPECT_EQ(SI_ReadImageData(buffer_, 2, 0, &count_), SI_OK);
    EXPECT_EQ(count_, 1);
    count_ = -1;
    EXPECT_EQ(SI_ReadImageData(buffer_, 2, 0, &count_), SI_END_OF_PAGE);
    EXPECT_EQ(count_, 0);
    const char* text = nullptr;
    ASSERT_EQ(SI_GetLastErrorText(&text), SI_OK);
    EXPECT_STREQ(text, "There is no more image data for this page");

    EXPECT_EQ(SI_EndScan(), SI_OK);
    EXPECT_EQ(FakeScanner::calls.ends, 1);
    EXPECT_EQ(WaitFromOtherThread(kScanLock), kWaitAcquired);
    EXPECT_EQ(SI_ReadImageData(buffer_, 1, 0, &count_), SI_ERR_NOT_SCANNING);
}

TEST_F(SIOpenInterfaceTest, FailedStartReleasesTheLock) {
    Open();
    FakeScanner::script.startResult = false;
    EXPECT_EQ(SI_StartScan(), SI_ERR_UNKNOWN);
    EXPECT_EQ(WaitFromOtherThread(kScanLock), kWaitAcquired);
    EXPECT_EQ(SI_ReadImageData(buffer_, 1, 0, &count_), SI_ERR_NOT_SCANNING);
}

TEST_F(SIOpenInterfaceTest, DeviceFailureDuringReadEndsTheScan) {
    Open();
    ASSERT_EQ(SI_StartScan(), SI_OK);
    FakeScanner::script.readThrows = DeviceIOException::kTransferFailure;
    count_ = 7;
    EXPECT_EQ(SI_ReadImageData(buffer_, 1, 0, &count_), SI_ERR_COMMUNICATION);
    EXPECT_EQ(count_, 7);
    EXPECT_EQ(FakeScanner::calls.ends, 1);
    EXPECT_EQ(WaitFromOtherThread(kScanLock), kWaitAcquired);
    EXPECT_EQ(SI_StartScan(), SI_ERR_COMMUNICATION);
    EXPECT_EQ(SI_ReadImageData(buffer_, 1, 0, &count_), SI_ERR_NOT_SCANNING);
}

TEST_F(SIOpenInterfaceTest, StickyEndScanKeepsTheScanUntilClose) {
    Open();
    ASSERT_EQ(SI_StartScan(), SI_OK);
    MakeSticky();
    EXPECT_EQ(SI_EndScan(), SI_ERR_COMMUNICATION);
    EXPECT_EQ(WaitFromOtherThread(kScanLock), kWaitTimeout);
    EXPECT_EQ(SI_CloseInterface(), SI_OK);
    EXPECT_EQ(FakeScanner::calls.ends, 1);
    EXPECT_EQ(WaitFromOtherThread(kScanLock), kWaitAcquired);
}

TEST_F(SIOpenInterfaceTest, CloseDuringAScanEndsItAndReleasesTheLock) {
    Open();
    ASSERT_EQ(SI_StartScan(), SI_OK);
    EXPECT_EQ(SI_CloseInterface(), SI_OK);
    EXPECT_EQ(FakeScanner::calls.ends, 1);
    EXPECT_EQ(WaitFromOtherThread(kScanLock), kWaitAcquired);
}

TEST_F(SIOpenInterfaceTest, ScanLockHeldElsewhereMeansBusy) {
    Open();
    LockHolder holder(kScanLock);
    EXPECT_EQ(SI_Feed(), SI_ERR_BUSY);
    EXPECT_EQ(SI_StartScan(), SI_ERR_BUSY);
    int status = -1;
    EXPECT_EQ(SI_GetScannerStatus(&status), SI_OK);
    EXPECT_EQ(status, SI_SCANNER_BUSY);
    EXPECT_EQ(FakeScanner::calls.feeds + FakeScanner::calls.starts, 0);
}

TEST_F(SIOpenInterfaceTest, AnotherProcessHoldingTheScanLockMakesUsBusy) {
    ASSERT_TRUE(registered);
    Open();
    platform::testing::ChildProcess child("hold-scanner-lock", {kScanLock});
    ASSERT_TRUE(child.Started());
    ASSERT_EQ(child.ReadLine(), std::optional<std::string>("held"));
    EXPECT_EQ(SI_FeedPaperOut(), SI_ERR_BUSY);
    int status = -1;
    EXPECT_EQ(SI_GetScannerStatus(&status), SI_OK);
    EXPECT_EQ(status, SI_SCANNER_BUSY);
    // Killed, the holder leaves the lock abandoned, which counts as free.
    child.Kill();
    child.Wait();
    EXPECT_EQ(SI_FeedPaperOut(), SI_OK);
    EXPECT_EQ(FakeScanner::calls.ejects, 1);
}

TEST_F(SIOpenInterfaceTest, CalibrationLockHeldElsewhereReleasesTheScanLock) {
    Open();
    {
        LockHolder holder(kCalLock);
        EXPECT_EQ(SI_Calibrate(0, nullptr), SI_ERR_BUSY);
        EXPECT_EQ(WaitFromOtherThread(kScanLock), kWaitAcquired);
        // The paper sensor is read once the wait is over, lock or not.
        int present = 0;
        EXPECT_EQ(SI_GetPaperStatus(&present), SI_OK);
        EXPECT_EQ(present, SI_PAPER_PRESENT);
    }
    EXPECT_EQ(SI_StartScan(), SI_OK);
}

TEST_F(SIOpenInterfaceTest, CalibrationEndsWithLocksReleasedAndPropertiesRestored) {
    Open();
    SIProperty p{};
    p.id = 23;
    p.container = SI_CONTAINER_SINGLE;
    p.itemType = SI_TYPE_BOOL;
    p.value[0] = 1;
    ASSERT_EQ(SI_SetProperty(&p), SI_OK);
    // The calibrator clears property 23; whatever it answers, the value the
    // caller set is back afterwards and both locks are free.
    for (const SIResult answer : {SI_ERR_CALIBRATION_FAILED, SI_OK, SI_CALIBRATED_WHITE_ONLY}) {
        FakeScanner::script.calibrateResult = answer;
        EXPECT_EQ(SI_Calibrate(0, nullptr), answer);
        EXPECT_EQ(WaitFromOtherThread(kScanLock), kWaitAcquired);
        EXPECT_EQ(WaitFromOtherThread(kCalLock), kWaitAcquired);
        SIProperty read{};
        read.id = 23;
        ASSERT_EQ(SI_GetProperty(&read), SI_OK);
        EXPECT_EQ(read.value[0], 1u) << "after " << answer;
    }
    EXPECT_EQ(SI_StartScan(), SI_OK);
}

TEST_F(SIOpenInterfaceTest, StatusMapping) {
    Open();
    struct Case {
        int model;
        int status;
    };
    for (const Case& c : {Case{0, 0}, Case{1, 1}, Case{2, 2}, Case{3, 0}, Case{-1, 0}}) {
        FakeScanner::script.status = c.model;
        int status = -1;
        EXPECT_EQ(SI_GetScannerStatus(&status), SI_OK);
        EXPECT_EQ(status, c.status) << "model status " << c.model;
    }
}

TEST_F(SIOpenInterfaceTest, EventsAndDiagnostics) {
    Open();
    SIEvent event{};
    event.count = 2;
    EXPECT_EQ(SI_GetEvent(&event), SI_ERR_UNKNOWN);
    event.count = 1;
    EXPECT_EQ(SI_GetEvent(&event), SI_OK);
    EXPECT_EQ(event.events, static_cast<uint32_t>(SI_EVENT_SCAN_BUTTON));
    int words[2] = {};
    EXPECT_EQ(SI_Diagnostic(0, words), SI_OK);
    EXPECT_EQ(words[0], 1);
    int pressed = -1;
    EXPECT_EQ(SI_GetButtonStatus(1, &pressed), SI_ERR_INVALID_PARAMETER);
}

TEST_F(SIOpenInterfaceTest, FeedFailureIsMappedAndSticky) {
    Open();
    FakeScanner::script.feedThrows = DeviceIOException::kTransferFailure;
    EXPECT_EQ(SI_Feed(), SI_ERR_COMMUNICATION);
    FakeScanner::script.feedThrows = 0;
    EXPECT_EQ(SI_Feed(), SI_ERR_COMMUNICATION);
    EXPECT_EQ(FakeScanner::calls.feeds, 1);
    FakeScanner::script.feedThrows = -1;
    int status = 0;
    SI_GetScannerStatus(&status);
    EXPECT_EQ(SI_Feed(), SI_ERR_UNKNOWN);
    EXPECT_EQ(WaitFromOtherThread(kScanLock), kWaitAcquired);
}

namespace {

int cleanCalls = 0;
int cancelAtFirst(int) {
    ++cleanCalls;
    return 0;
}
int percents[16];
int keepGoing(int percent) {
    percents[cleanCalls++] = percent;
    return 1;
}

}  // namespace

TEST_F(SIOpenInterfaceTest, CleanCancelledAtOnceFeedsOnceEjectsAndRestores) {
    Open();
    cleanCalls = 0;
    EXPECT_EQ(SI_Clean(cancelAtFirst), SI_ERR_CANCELLED);
    EXPECT_EQ(cleanCalls, 1);
    EXPECT_EQ(FakeScanner::calls.feeds, 1);
    EXPECT_EQ(FakeScanner::calls.ejects, 1);
    // Drawn in by two inches at the optical 300 dpi, at the capped feed rate.
    EXPECT_EQ(LastFeed().yResolution, 300);
    EXPECT_EQ(LastFeed().yOffset, 600);
    EXPECT_EQ(LastFeed().reverse, 0);
    EXPECT_FLOAT_EQ(LastFeed().feedRate, 1.2f);

    struct Expect {
        SIPropertyId id;
        int slot;
        uintptr_t value;
    };
    for (const Expect& e : {Expect{5, 1, 200}, Expect{12, 4, 0}, Expect{23, 0, 0}}) {
        SIProperty p{};
        p.id = e.id;
        ASSERT_EQ(SI_GetProperty(&p), SI_OK);
        EXPECT_EQ(p.value[e.slot], e.value) << "property " << e.id;
    }
    EXPECT_EQ(WaitFromOtherThread(kScanLock), kWaitAcquired);
}

TEST_F(SIOpenInterfaceTest, CleanRunsFiveRoundsForwardAndBack) {
    Open();
    cleanCalls = 0;
    EXPECT_EQ(SI_Clean(keepGoing), SI_OK);
    EXPECT_EQ(FakeScanner::calls.feeds, 11);
    EXPECT_EQ(FakeScanner::calls.ejects, 1);
    ASSERT_EQ(cleanCalls, 12);
    const int expected[12] = {10, 18, 26, 34, 42, 50, 58, 66, 74, 82, 90, 100};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(percents[i], expected[i]) << i;
    EXPECT_EQ(SI_GetLastError(), SI_OK);
}

TEST_F(SIOpenInterfaceTest, CleanStopsAtTheFirstFailingFeed) {
    Open();
    FakeScanner::script.feedThrows = DeviceIOException::kBusy;
    EXPECT_EQ(SI_Clean(nullptr), SI_ERR_BUSY);
    EXPECT_EQ(FakeScanner::calls.feeds, 1);
    EXPECT_EQ(FakeScanner::calls.ejects, 1);
}

TEST_F(SIOpenInterfaceTest, CleanAfterACommunicationFailureStillEjectsAndRestores) {
    Open();
    FakeScanner& model = dynamic_cast<FakeScanner&>(*Library().scanner);
    model.yOffset.SetInt(77);
    model.reverseFeed.SetInt(1);
    const int32_t yResolution = model.yResolution.GetInt();
    FakeScanner::script.feedThrows = DeviceIOException::kTransferFailure;
    EXPECT_EQ(SI_Clean(nullptr), SI_ERR_COMMUNICATION);
    // The sticky 256 is in force, yet the settings are back and the sheet went out.
    EXPECT_EQ(FakeScanner::calls.ejects, 1);
    EXPECT_EQ(model.yOffset.GetInt(), 77);
    EXPECT_EQ(model.reverseFeed.GetInt(), 1);
    EXPECT_EQ(model.yResolution.GetInt(), yResolution);
}

namespace {

SIResult closeFromCallback = SI_OK;
int CloseFromCallback(int) {
    closeFromCallback = SI_CloseInterface();
    return 1;
}

}  // namespace

TEST_F(SIOpenInterfaceTest, CloseFromAProgressCallbackIsRefusedWhileTheCallRuns) {
    Open();
    FakeScanner::script.calibrateResult = SI_OK;
    closeFromCallback = SI_OK;
    EXPECT_EQ(SI_Calibrate(0, CloseFromCallback), SI_OK);
    EXPECT_EQ(closeFromCallback, SI_ERR_BUSY);
    closeFromCallback = SI_OK;
    EXPECT_EQ(SI_Clean(CloseFromCallback), SI_OK);
    EXPECT_EQ(closeFromCallback, SI_ERR_BUSY);
    // Nothing was torn down and no lock is left held.
    EXPECT_EQ(FakeScanner::calls.ejects, 1);  // the cleaning cycle ran to its end
    EXPECT_EQ(WaitFromOtherThread(kScanLock), kWaitAcquired);
    EXPECT_EQ(WaitFromOtherThread(kCalLock), kWaitAcquired);
    EXPECT_EQ(SI_CloseInterface(), SI_OK);
}

TEST_F(SIOpenInterfaceTest, CloseFromAnotherThreadDuringAReadIsRefused) {
    Open();
    ASSERT_EQ(SI_StartScan(), SI_OK);
    SIResult fromOther = SI_OK;
    FakeScanner::script.onRead = [&] {
        fromOther = std::async(std::launch::async, [] { return SI_CloseInterface(); }).get();
    };
    EXPECT_EQ(SI_ReadImageData(buffer_, 1, 0, &count_), SI_OK);
    EXPECT_EQ(count_, 1);
    EXPECT_EQ(fromOther, SI_ERR_BUSY);
    FakeScanner::script.onRead = nullptr;
    EXPECT_EQ(SI_EndScan(), SI_OK);
    EXPECT_EQ(SI_CloseInterface(), SI_OK);
}

TEST_F(SIOpenInterfaceTest, DuringAScanOnlyCallsThatCannotHarmThePageRun) {
    Open();
    ASSERT_EQ(SI_StartScan(), SI_OK);
    SIProperty p{};
    p.id = 23;
    ASSERT_EQ(SI_GetProperty(&p), SI_OK);
    EXPECT_EQ(SI_SetProperty(&p), SI_ERR_BUSY);
    EXPECT_EQ(SI_Reset(), SI_ERR_BUSY);
    EXPECT_EQ(FakeScanner::calls.resets, 0);
    struct Case {
        int code;
        SIResult expected;
    };
    for (const Case& c : {Case{SI_DIAG_READ_TEST, SI_ERR_BUSY}, Case{SI_DIAG_GPIO_WRITE, SI_ERR_BUSY},
                          Case{SI_DIAG_DEVICE_CHECK, SI_OK}, Case{SI_DIAG_GPIO_READ, SI_OK}}) {
        int words[2] = {};
        EXPECT_EQ(SI_Diagnostic(c.code, words), c.expected) << "code " << c.code;
    }
    // A simplex scan has one side.
    EXPECT_EQ(SI_ReadImageData(buffer_, 1, 1, &count_), SI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(FakeScanner::calls.reads, 0);
    EXPECT_EQ(SI_EndScan(), SI_OK);
    EXPECT_EQ(SI_SetProperty(&p), SI_OK);
    EXPECT_EQ(SI_Reset(), SI_OK);
}

// A scanner that stops delivering lines: the reads answer "nothing yet" for
// as long as a front end's own retries may run (the TWAIN data source gives
// up after 12 s), then the page fails with 256 and the scan is closed.
TEST_F(SIOpenInterfaceTest, PageThatMakesNoProgressEndsWithACommunicationFailure) {
    Open();
    ASSERT_EQ(SI_StartScan(), SI_OK);
    ASSERT_EQ(SI_ReadImageData(buffer_, 1, 0, &count_), SI_OK);
    ASSERT_EQ(count_, 1);
    FakeScanner::script.stalled = true;
    for (const int64_t ms : {0, 6000, 12500}) {
        platform::testing::SetClockOffset(ms);
        count_ = -1;
        EXPECT_EQ(SI_ReadImageData(buffer_, 1, 0, &count_), SI_OK) << ms;
        EXPECT_EQ(count_, 0) << ms;
    }
    platform::testing::SetClockOffset(30000);
    EXPECT_EQ(SI_ReadImageData(buffer_, 1, 0, &count_), SI_ERR_COMMUNICATION);
    EXPECT_EQ(FakeScanner::calls.ends, 1);
    EXPECT_EQ(WaitFromOtherThread(kScanLock), kWaitAcquired);
    EXPECT_EQ(SI_ReadImageData(buffer_, 1, 0, &count_), SI_ERR_NOT_SCANNING);

    // Lines that keep coming, however slowly, keep the page alive.
    int status = 0;
    SI_GetScannerStatus(&status);
    FakeScanner::script.stalled = false;
    FakeScanner::script.linesLeft = 10;
    ASSERT_EQ(SI_StartScan(), SI_OK);
    for (int i = 1; i <= 4; ++i) {
        platform::testing::SetClockOffset(30000 + i * 15000);
        EXPECT_EQ(SI_ReadImageData(buffer_, 1, 0, &count_), SI_OK) << i;
        EXPECT_EQ(count_, 1) << i;
    }
    EXPECT_EQ(SI_EndScan(), SI_OK);
    platform::testing::SetClockOffset(0);
}

TEST_F(SIOpenInterfaceTest, TheDebugOutputTracesOpenCloseAndFailures) {
    platform::testing::CaptureDebugOutput(true);
    Open();
    EXPECT_EQ(SI_Diagnostic(SI_DIAG_DEVICE_CHECK, nullptr), SI_ERR_INVALID_PARAMETER);
    int words[2] = {};
    EXPECT_EQ(SI_Diagnostic(SI_DIAG_DEVICE_CHECK, words), SI_OK);
    EXPECT_EQ(SI_CloseInterface(), SI_OK);
    EXPECT_EQ(SI_Feed(), SI_ERR_NOT_OPEN);  // no log once closed
    std::vector<std::string> lines = platform::testing::TakeDebugOutput();
    platform::testing::CaptureDebugOutput(false);
    for (std::string& line : lines) line = line.substr(line.find("] ") + 2);  // drop the "[pid] "
    EXPECT_EQ(lines, (std::vector<std::string>{"SI_OpenInterface: FAKE__ open",
                                               "SI_Diagnostic: 14 A parameter was invalid.",
                                               "SI_CloseInterface: closed"}));
}

TEST(SIOpenWithoutPortTest, EachNameFormOpensOverItsOwnPort) {
    // The plain name takes the Still Image port, the "__" name the usbscan
    // port; a 32-bit process on 64-bit Windows takes usbscan for either.
    platform::testing::SetWow64(false);
    EXPECT_EQ(EffectiveDevicePortKind(PortKind::StillImage), PortKind::StillImage);
    EXPECT_EQ(EffectiveDevicePortKind(PortKind::Usbscan), PortKind::Usbscan);
    EXPECT_EQ(EffectiveDevicePortKind(PortKind{2}), PortKind::None);
    EXPECT_EQ(CreateDevicePort(PortKind{2}), nullptr);
    FakeScanner::ResetScript();
    for (const char* name : {"FAKE", "FAKE__"}) {
        EXPECT_NE(CreateDevicePort(std::string_view(name).ends_with("__") ? PortKind::Usbscan : PortKind::StillImage), nullptr) << name;
        EXPECT_EQ(SI_OpenInterface(name), SI_OK) << name;
        EXPECT_EQ(SI_CloseInterface(), SI_OK) << name;
    }
    EXPECT_EQ(FakeScanner::calls.opens, 2);
    if constexpr (sizeof(void*) == 4) {
        platform::testing::SetWow64(true);
        EXPECT_EQ(EffectiveDevicePortKind(PortKind::StillImage), PortKind::Usbscan) << "under WOW64 the plain name uses usbscan too";
    }
    platform::testing::SetWow64(std::nullopt);
}
