// A scanner library with the twenty SI_ names whose answers a test sets
// through FakeScannerState, so the minidriver's use of the library can be
// seen without a scanner.
#include "FakeScannerState.h"

#include <SIInterface.h>

#include <atomic>

namespace {

FakeScannerState state;

SIResult Count(int* counter, SIResult result) {
    ++*counter;
    return result;
}

}  // namespace

extern "C" {

SI_EXPORT FakeScannerState* FakeScannerControl() { return &state; }

SI_EXPORT SIResult SI_OpenInterface(const char*) {
    ++state.opens;
    if (state.open) return SI_ERR_ALREADY_OPEN;
    if (state.openResult == SI_OK) state.open = true;
    return state.openResult;
}
SI_EXPORT SIResult SI_CloseInterface(void) {
    ++state.closes;
    state.open = false;
    return SI_OK;
}
SI_EXPORT SIResult SI_GetScannerStatus(int* status) {
    *status = state.scannerStatus;
    return state.statusResult;
}
SI_EXPORT SIResult SI_GetPaperStatus(int* present) {
    std::atomic_ref<int>(state.paperReads).fetch_add(1);
    *present = state.paperPresent;
    return state.paperResult;
}
SI_EXPORT SIResult SI_Reset(void) { return Count(&state.resets, state.resetResult); }
SI_EXPORT SIResult SI_Diagnostic(int, int* words) {
    if (words) *words = state.diagnosticWord;
    return state.diagnosticResult;
}
SI_EXPORT SIResult SI_Calibrate(int, SIProgressCallback) { return Count(&state.calibrations, state.calibrateResult); }
SI_EXPORT SIResult SI_GetLastError(void) { return state.lastError; }
SI_EXPORT SIResult SI_GetLastErrorText(const char** text) {
    *text = state.lastErrorText;
    return SI_OK;
}
SI_EXPORT SIResult SI_GetButtonStatus(int, int* pressed) {
    *pressed = 0;
    return SI_OK;
}
SI_EXPORT SIResult SI_GetProperty(SIProperty*) { return SI_OK; }
SI_EXPORT SIResult SI_SetProperty(const SIProperty*) { return SI_OK; }
SI_EXPORT SIResult SI_StartScan(void) { return SI_OK; }
SI_EXPORT SIResult SI_ReadImageData(uint8_t*, uint32_t, uint32_t, int* linesRead) {
    *linesRead = 0;
    return SI_END_OF_PAGE;
}
SI_EXPORT SIResult SI_EndScan(void) { return SI_OK; }
SI_EXPORT SIResult SI_GetEvent(SIEvent* event) {
    if (event) event->events = state.eventFlags;
    return SI_OK;
}
SI_EXPORT SIResult SI_IsCalibrated(int* calibrated) {
    *calibrated = 1;
    return SI_OK;
}
SI_EXPORT SIResult SI_FeedPaperOut(void) { return SI_OK; }
SI_EXPORT SIResult SI_Feed(void) {
    std::atomic_ref<int>(state.feeds).fetch_add(1);
    return SI_OK;
}
SI_EXPORT SIResult SI_Clean(SIProgressCallback) { return SI_OK; }

}  // extern "C"
