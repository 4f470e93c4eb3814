// The twenty exported SI_ functions. Each runs its checks in a fixed order,
// records its result as the last result (except the two error-text
// functions) and lets no exception out.
#include <SIInterface.h>

#include "api/CleaningCycle.h"
#include "api/LibraryState.h"
#include "api/OpenSequence.h"
#include "api/ResultCodes.h"
#include "api/SIResultMapping.h"
#include "engine/calibration/Calibrator.h"
#include "engine/chain/ProcessingChain.h"
#include "engine/model/Scanner.h"
#include "engine/properties/Property.h"
#include "os/OSFunctions.h"
#include "os/ScanLog.h"
#include "os/ScopedLock.h"

#include <SIPropertyIds.h>

#include <array>
#include <mutex>
#include <vector>


namespace {

constexpr int kScanLockMs = 2000;
constexpr int kCalibrationLockMs = 5000;
constexpr int kPaperLockMs = 1000;
// A page that delivers no line for this long has stopped: the read fails
// with 256. Longer than the 12 s for which the TWAIN data source retries
// empty reads itself, so its own time-out still comes first.
constexpr uint32_t kStalledPageMs = 20000;

// Stores the result as the last one; a failure also goes to the scan log
// with the call that gave it.
SIResult Record(const char* call, SIResult result) {
    Library().lastResult = result;
    if (result != SI_OK && result != SI_END_OF_PAGE && result != SI_CALIBRATED_WHITE_ONLY) {
        LogLine line;
        line << call << ": " << result << " " << ResultCodeText(static_cast<int32_t>(result));
    }
    return result;
}

bool Sticky() { return Library().lastResult == SI_ERR_COMMUNICATION; }

// Ends the scan of the chain and of the model after a failure, swallowing
// whatever they throw: the caller already has the result it reports.
void EndScanBestEffort() {
    try {
        Chain().EndScan();
        return;
    } catch (...) {
    }
    try {
        if (Library().scanner) Library().scanner->EndScan();
    } catch (...) {
    }
}

// Closes the open scan: ends it best effort, releases the scan lock.
void AbandonScan() {
    LibraryState& state = Library();
    EndScanBestEffort();
    state.scanLock.Release();
    state.scanOpen = false;
}

// The sides the scan being started delivers: two when duplex is on.
int ScanSides() {
    Property* duplex = Chain().FindProperty(SI_PROP_DUPLEX);
    return duplex && duplex->GetInt() == 1 ? 2 : 1;
}

// The values a calibration measures: exposures, front-end offsets, gains
// and reference voltage. They are not among the values saved and restored
// around it (a finished calibration keeps them), so a calibration that is
// cancelled or fails puts them back from this copy.
class CalibrationValues {
public:
    void Take() {
        for (const uint16_t id : kIds) {
            SIProperty record{};
            record.id = id;
            Property* p = Chain().FindProperty(id);
            if (p && p->Get(&record)) records_.push_back(record);
        }
    }
    void PutBack() {
        for (const SIProperty& record : records_) {
            if (Property* p = Chain().FindProperty(record.id)) p->Set(&record);
        }
    }

private:
    static constexpr std::array<uint16_t, 12> kIds{
        SI_PROP_EXPOSURE_RED,     SI_PROP_EXPOSURE_GREEN,  SI_PROP_EXPOSURE_BLUE,   SI_PROP_AFE_OFFSET_RED,
        SI_PROP_AFE_OFFSET_GREEN, SI_PROP_AFE_OFFSET_BLUE, SI_PROP_AFE_OFFSET_GRAY, SI_PROP_AFE_GAIN_RED,
        SI_PROP_AFE_GAIN_GREEN,   SI_PROP_AFE_GAIN_BLUE,   SI_PROP_AFE_GAIN_GRAY,   SI_PROP_AFE_VREF};
    std::vector<SIProperty> records_;
};

// The shape shared by SI_Feed, SI_FeedPaperOut and SI_Clean: open, sticky,
// the scan lock for 2000 ms, refused while a scan is open, then work.
template <typename Work>
SIResult UnderScanLock(const char* call, Work&& work) {
    const RunningCall running;
    LibraryState& state = Library();
    if (!state.interfaceOpen) return Record(call, SI_ERR_NOT_OPEN);
    if (Sticky()) return Record(call, SI_ERR_COMMUNICATION);
    ScopedLock scan(&state.scanLock);
    if (const int wait = scan.Acquire(kScanLockMs); wait != kWaitAcquired) return Record(call, LockFailure(wait));
    if (state.scanOpen) return Record(call, SI_ERR_BUSY);
    return Record(call, RunMapped(work));
}

}  // namespace

extern "C" {

SI_EXPORT SIResult SI_OpenInterface(const char* name) {
    if (Library().interfaceOpen) return Record(__func__, SI_ERR_ALREADY_OPEN);
    if (!name) return Record(__func__, SI_ERR_INVALID_PARAMETER);
    const SIResult result = RunMapped([&] { return RunOpenSequence(name); }, SI_ERR_INIT_FAILED);
    if (result == SI_OK) {
        LogLine line;
        line << "SI_OpenInterface: " << name << " open";
    }
    return Record(__func__, result);
}

SI_EXPORT SIResult SI_CloseInterface(void) {
    LibraryState& state = Library();
    // Held through the teardown: a call that starts meanwhile waits, then
    // finds the interface closed.
    std::lock_guard<std::mutex> guard(state.callsMutex);
    if (!state.interfaceOpen) return Record(__func__, SI_ERR_NOT_OPEN);
    // A call still running (this close comes from its progress callback, or
    // from another thread) uses the model and the chain: refused.
    if (state.callsRunning > 0) return Record(__func__, SI_ERR_BUSY);
    // An open scan holds the scan lock; closing the handle would not release
    // it, and every other process would stay busy.
    if (state.scanOpen) AbandonScan();
    try {
        Chain().Detach();  // stops and joins the spooler's worker first
    } catch (...) {
    }
    state.scanner.reset();
    state.calibrationLock.Close();
    state.scanLock.Close();
    {
        LogLine line;
        line << "SI_CloseInterface: closed";
    }
    ScanLog::Close();
    state.interfaceOpen = false;
    state.scanOpen = false;
    return Record(__func__, SI_OK);
}

SI_EXPORT SIResult SI_GetLastError(void) { return Library().lastResult; }

SI_EXPORT SIResult SI_GetLastErrorText(const char** text) {
    if (!text) return SI_ERR_INVALID_PARAMETER;
    *text = ResultCodeText(static_cast<int32_t>(Library().lastResult));
    return SI_OK;
}

SI_EXPORT SIResult SI_GetProperty(SIProperty* property) {
    const RunningCall running;
    if (!Library().interfaceOpen) return Record(__func__, SI_ERR_NOT_OPEN);
    if (!property) return Record(__func__, SI_ERR_INVALID_PARAMETER);
    if (Sticky()) return Record(__func__, SI_ERR_COMMUNICATION);
    return Record(__func__, RunMapped([&] {
        Property* found = Chain().FindProperty(property->id);
        if (!found) return SIResult{SI_ERR_PROPERTY_UNSUPPORTED};
        // A property that cannot answer (a device value without its device)
        // leaves the record untouched: never report that as success.
        return found->Get(property) ? SIResult{SI_OK} : SIResult{SI_ERR_PROPERTY_UNSUPPORTED};
    }));
}

SI_EXPORT SIResult SI_SetProperty(const SIProperty* property) {
    const RunningCall running;
    if (!Library().interfaceOpen) return Record(__func__, SI_ERR_NOT_OPEN);
    if (Sticky()) return Record(__func__, SI_ERR_COMMUNICATION);
    if (!property) return Record(__func__, SI_ERR_INVALID_PARAMETER);
    // The running page was set up from the properties; a change now would
    // describe lines the scanner does not deliver.
    if (Library().scanOpen) return Record(__func__, SI_ERR_BUSY);
    return Record(__func__, RunMapped([&] {
        Property* found = Chain().FindProperty(property->id);
        if (!found) return SIResult{SI_ERR_PROPERTY_UNSUPPORTED};
        return found->Set(property) ? SIResult{SI_OK} : SIResult{SI_ERR_PROPERTY_INVALID};
    }));
}

SI_EXPORT SIResult SI_StartScan(void) {
    const RunningCall running;
    LibraryState& state = Library();
    if (!state.interfaceOpen) return Record(__func__, SI_ERR_NOT_OPEN);
    if (Sticky()) return Record(__func__, SI_ERR_COMMUNICATION);
    if (state.scanOpen) return Record(__func__, SI_ERR_BUSY);
    ScopedLock scan(&state.scanLock);
    if (const int wait = scan.Acquire(kScanLockMs); wait != kWaitAcquired) return Record(__func__, LockFailure(wait));
    const SIResult result = RunMapped([] { return Chain().StartScan() ? SIResult{SI_OK} : SIResult{SI_ERR_UNKNOWN}; });
    if (result == SI_OK) {
        // The scan lock stays held until SI_EndScan.
        scan.Keep();
        state.scanOpen = true;
        state.scanSides = ScanSides();
        state.lastLinesMs = OSGetTime();
    }
    return Record(__func__, result);
}

SI_EXPORT SIResult SI_ReadImageData(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) {
    const RunningCall running;
    LibraryState& state = Library();
    if (!state.interfaceOpen) return Record(__func__, SI_ERR_NOT_OPEN);
    if (!state.scanOpen) return Record(__func__, SI_ERR_NOT_SCANNING);
    // A simplex scan has no side 1: its lines would be taken from side 0.
    if (!buffer || !linesRead || side >= static_cast<uint32_t>(state.scanSides)) {
        return Record(__func__, SI_ERR_INVALID_PARAMETER);
    }
    if (Sticky()) return Record(__func__, SI_ERR_COMMUNICATION);
    if (lines == 0) {
        *linesRead = 0;
        return Record(__func__, SI_OK);
    }
    try {
        int got = 0;
        const SIResult result = static_cast<SIResult>(Chain().ReadImageData(buffer, lines, side, &got));
        if (result == SI_OK && got == 0 && OSGetTime() - state.lastLinesMs > kStalledPageMs) {
            AbandonScan();
            return Record(__func__, SI_ERR_COMMUNICATION);
        }
        if (got > 0) state.lastLinesMs = OSGetTime();
        if (result == SI_OK || result == SI_END_OF_PAGE) *linesRead = got;
        return Record(__func__, result);
    } catch (const DeviceIOException& e) {
        AbandonScan();
        return Record(__func__, e.Code() == DeviceIOException::kBusy ? SI_ERR_BUSY : SI_ERR_COMMUNICATION);
    } catch (...) {
        return Record(__func__, SI_ERR_UNKNOWN);
    }
}

SI_EXPORT SIResult SI_EndScan(void) {
    const RunningCall running;
    LibraryState& state = Library();
    if (!state.interfaceOpen) return Record(__func__, SI_ERR_NOT_OPEN);
    if (!state.scanOpen) return Record(__func__, SI_OK);
    if (Sticky()) return Record(__func__, SI_ERR_COMMUNICATION);
    const SIResult result = RunMapped([] {
        Chain().EndScan();
        return SIResult{SI_OK};
    });
    state.scanLock.Release();
    state.scanOpen = false;
    return Record(__func__, result);
}

SI_EXPORT SIResult SI_GetScannerStatus(int* status) {
    const RunningCall running;
    LibraryState& state = Library();
    if (!state.interfaceOpen) return Record(__func__, SI_ERR_NOT_OPEN);
    if (!status) return Record(__func__, SI_ERR_INVALID_PARAMETER);
    if (state.scanOpen) {
        *status = SI_SCANNER_BUSY;
        return Record(__func__, SI_OK);
    }
    {
        ScopedLock probe(&state.scanLock);
        const int wait = probe.Acquire(0);
        if (wait == kWaitTimeout) {
            *status = SI_SCANNER_BUSY;
            return Record(__func__, SI_OK);
        }
        if (wait != kWaitAcquired) return Record(__func__, SI_ERR_UNKNOWN);
    }
    try {
        switch (state.scanner->GetScannerStatus()) {
            case SI_SCANNER_READY: *status = SI_SCANNER_READY; break;
            case SI_SCANNER_BUSY: *status = SI_SCANNER_BUSY; break;
            default: *status = SI_SCANNER_NOT_READY; break;
        }
    } catch (const DeviceIOException& e) {
        *status = e.Code() == DeviceIOException::kBusy ? SI_SCANNER_BUSY : SI_SCANNER_NOT_READY;
    } catch (...) {
        return Record(__func__, SI_ERR_UNKNOWN);
    }
    return Record(__func__, SI_OK);
}

SI_EXPORT SIResult SI_GetPaperStatus(int* present) {
    const RunningCall running;
    LibraryState& state = Library();
    if (!state.interfaceOpen) return Record(__func__, SI_ERR_NOT_OPEN);
    if (!present) return Record(__func__, SI_ERR_INVALID_PARAMETER);
    // A calibration holds this lock; past the wait the sensor is read anyway.
    ScopedLock calibration(&state.calibrationLock);
    const int wait = calibration.Acquire(kPaperLockMs);
    if (wait != kWaitAcquired && wait != kWaitTimeout) return Record(__func__, SI_ERR_UNKNOWN);
    return Record(__func__, RunMapped([&] { return static_cast<SIResult>(state.scanner->GetPaperStatus(present)); }));
}

SI_EXPORT SIResult SI_GetButtonStatus(int button, int* pressed) {
    const RunningCall running;
    LibraryState& state = Library();
    if (!state.interfaceOpen) return Record(__func__, SI_ERR_NOT_OPEN);
    if (!pressed) return Record(__func__, SI_ERR_INVALID_PARAMETER);
    return Record(__func__, RunMapped([&] { return static_cast<SIResult>(state.scanner->GetButtonStatus(button, pressed)); }));
}

SI_EXPORT SIResult SI_GetEvent(SIEvent* event) {
    const RunningCall running;
    LibraryState& state = Library();
    if (!state.interfaceOpen) return Record(__func__, SI_ERR_NOT_OPEN);
    if (!event) return Record(__func__, SI_ERR_INVALID_PARAMETER);
    return Record(__func__, RunMapped([&] { return state.scanner->DebounceEvent(event) ? SIResult{SI_OK} : SIResult{SI_ERR_UNKNOWN}; }));
}

SI_EXPORT SIResult SI_IsCalibrated(int* calibrated) {
    const RunningCall running;
    LibraryState& state = Library();
    if (!state.interfaceOpen) return Record(__func__, SI_ERR_NOT_OPEN);
    if (!calibrated) return Record(__func__, SI_ERR_INVALID_PARAMETER);
    return Record(__func__, RunMapped([&] {
        *calibrated = state.scanner->ReloadCalibration() ? 1 : 0;
        return SIResult{SI_OK};
    }));
}

SI_EXPORT SIResult SI_Reset(void) {
    const RunningCall running;
    LibraryState& state = Library();
    if (!state.interfaceOpen) return Record(__func__, SI_ERR_NOT_OPEN);
    if (Sticky()) return Record(__func__, SI_ERR_COMMUNICATION);
    if (state.scanOpen) return Record(__func__, SI_ERR_BUSY);  // would reset the running page's settings
    return Record(__func__, RunMapped([&] {
        Chain().ResetAll();
        state.scanner->ResetPipes();
        return SIResult{SI_OK};
    }));
}

SI_EXPORT SIResult SI_Diagnostic(int code, int* words) {
    const RunningCall running;
    LibraryState& state = Library();
    if (!state.interfaceOpen) return Record(__func__, SI_ERR_NOT_OPEN);
    if (!words) return Record(__func__, SI_ERR_INVALID_PARAMETER);
    if (Sticky()) return Record(__func__, SI_ERR_COMMUNICATION);
    // During a scan, a read test would take the page's lines and a driven
    // line could switch the lamp or the motor: busy. The port check and a
    // line read leave the page alone.
    if (state.scanOpen && (code == SI_DIAG_READ_TEST || code == SI_DIAG_GPIO_WRITE)) return Record(__func__, SI_ERR_BUSY);
    return Record(__func__, RunMapped([&] {
        return static_cast<SIResult>(state.scanner->Diagnostic(code, reinterpret_cast<uint32_t*>(words)));
    }));
}

SI_EXPORT SIResult SI_Calibrate(int argument, SIProgressCallback progress) {
    const RunningCall running;
    (void)argument;  // the calibrator takes only the callback; callers pass 0
    LibraryState& state = Library();
    if (!state.interfaceOpen) return Record(__func__, SI_ERR_NOT_OPEN);
    if (Sticky()) return Record(__func__, SI_ERR_COMMUNICATION);
    // Declared calibration first so the scan lock is released first; taken
    // scan first, in the library's lock order.
    ScopedLock calibration(&state.calibrationLock);
    ScopedLock scan(&state.scanLock);
    if (const int wait = scan.Acquire(kScanLockMs); wait != kWaitAcquired) return Record(__func__, LockFailure(wait));
    if (const int wait = calibration.Acquire(kCalibrationLockMs); wait != kWaitAcquired) return Record(__func__, LockFailure(wait));
    if (state.scanOpen) return Record(__func__, SI_ERR_BUSY);

    state.scanOpen = true;
    bool saved = false;
    CalibrationValues before;
    SIResult result = RunMapped([&] {
        before.Take();
        Chain().SaveRestoreAll(true);
        saved = true;
        Chain().ResetAll();
        Calibrator* calibrator = state.scanner->GetCalibrator();
        if (!calibrator) return SIResult{SI_ERR_CALIBRATION_FAILED};
        calibrator->UseChain(&Chain());
        return static_cast<SIResult>(calibrator->Calibrate(progress));
    });
    const bool calibrated = result == SI_OK || result == SI_CALIBRATED_WHITE_ONLY;
    if (!calibrated) {
        // Cancelled or failed: the chips go back to what they held before.
        RunMapped([&] {
            before.PutBack();
            state.scanner->AbandonCalibration();
            return SIResult{SI_OK};
        });
    }
    if (saved) {
        const SIResult restored = RunMapped([] {
            Chain().SaveRestoreAll(false);
            return SIResult{SI_OK};
        });
        // A calibration that succeeded reports a failed restore instead.
        if (calibrated && restored != SI_OK) result = restored;
    }
    state.scanOpen = false;
    return Record(__func__, result);
}

SI_EXPORT SIResult SI_Feed(void) {
    return UnderScanLock(__func__, [] {
        Library().scanner->Feed();
        return SIResult{SI_OK};
    });
}

SI_EXPORT SIResult SI_FeedPaperOut(void) {
    return UnderScanLock(__func__, [] {
        Library().scanner->FeedPaperOut();
        return SIResult{SI_OK};
    });
}

SI_EXPORT SIResult SI_Clean(SIProgressCallback progress) {
    return UnderScanLock(__func__, [&] { return RunCleaningCycle(progress); });
}

}  // extern "C"
