// A scanner library with every SI_* export, whose answers the tests set
// through FakeLibraryControl and which records the calls it gets.
#include "FakeLibraryState.h"

#include <SIInterface.h>

#include <algorithm>
#include <cstddef>
#include <string>

namespace {

FakeLibraryState state;

SIResult Call(const char* name, SIResult result = SI_OK) {
    state.calls.emplace_back(name);
    return result;
}

}  // namespace

extern "C" {

SI_EXPORT FakeLibraryState* FakeLibraryControl() { return &state; }

SI_EXPORT SIResult SI_OpenInterface(const char* name) {
    state.calls.emplace_back(std::string("SI_OpenInterface ") + (name ? name : "(null)"));
    return state.openResult;
}
SI_EXPORT SIResult SI_CloseInterface(void) { return Call("SI_CloseInterface"); }
SI_EXPORT SIResult SI_GetPaperStatus(int* present) {
    const size_t asked = static_cast<size_t>(std::count_if(state.calls.begin(), state.calls.end(), [](const auto& c) {
        return c == "SI_GetPaperStatus";
    }));
    state.calls.emplace_back("SI_GetPaperStatus");
    *present = state.paper.empty() ? SI_PAPER_ABSENT : state.paper[std::min(asked, state.paper.size() - 1)];
    return state.paperResult;
}
SI_EXPORT SIResult SI_Calibrate(int argument, SIProgressCallback progress) {
    state.calls.emplace_back("SI_Calibrate " + std::to_string(argument) + (progress ? " callback" : " null"));
    return state.calibrateResult;
}
SI_EXPORT SIResult SI_Clean(SIProgressCallback progress) {
    state.calls.emplace_back(std::string("SI_Clean") + (progress ? " callback" : " null"));
    return state.cleanResult;
}
SI_EXPORT SIResult SI_GetScannerStatus(int* status) {
    *status = SI_SCANNER_READY;
    return Call("SI_GetScannerStatus");
}
SI_EXPORT SIResult SI_GetButtonStatus(int, int* pressed) {
    *pressed = 0;
    return Call("SI_GetButtonStatus");
}
SI_EXPORT SIResult SI_GetProperty(SIProperty*) { return Call("SI_GetProperty"); }
SI_EXPORT SIResult SI_SetProperty(const SIProperty*) { return Call("SI_SetProperty"); }
SI_EXPORT SIResult SI_Reset(void) { return Call("SI_Reset"); }
SI_EXPORT SIResult SI_Diagnostic(int, int*) { return Call("SI_Diagnostic"); }
SI_EXPORT SIResult SI_GetLastError(void) { return Call("SI_GetLastError"); }
SI_EXPORT SIResult SI_GetLastErrorText(const char** text) {
    *text = "";
    return Call("SI_GetLastErrorText");
}
SI_EXPORT SIResult SI_StartScan(void) { return Call("SI_StartScan"); }
SI_EXPORT SIResult SI_ReadImageData(uint8_t*, uint32_t, uint32_t, int* linesRead) {
    *linesRead = 0;
    return Call("SI_ReadImageData");
}
SI_EXPORT SIResult SI_EndScan(void) { return Call("SI_EndScan"); }
SI_EXPORT SIResult SI_GetEvent(SIEvent*) { return Call("SI_GetEvent"); }
SI_EXPORT SIResult SI_IsCalibrated(int* calibrated) {
    *calibrated = 1;
    return Call("SI_IsCalibrated");
}
SI_EXPORT SIResult SI_FeedPaperOut(void) { return Call("SI_FeedPaperOut"); }
SI_EXPORT SIResult SI_Feed(void) { return Call("SI_Feed"); }

}  // extern "C"
