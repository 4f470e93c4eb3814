// The answers of the fake scanner library and what it counted.
#pragma once

#include <SIInterface.h>

struct FakeScannerState {
    SIResult openResult = SI_OK;
    bool open = false;
    int opens = 0;
    int closes = 0;
    SIResult statusResult = SI_OK;
    int scannerStatus = SI_SCANNER_READY;
    SIResult paperResult = SI_OK;
    int paperPresent = SI_PAPER_ABSENT;
    SIResult resetResult = SI_OK;
    int resets = 0;
    SIResult diagnosticResult = SI_OK;
    int diagnosticWord = 0;
    SIResult calibrateResult = SI_OK;
    int calibrations = 0;
    SIResult lastError = 0;
    const char* lastErrorText = "";
    // What SI_GetEvent reports for any interrupt; paper reads and feeds
    // counted (other threads read them through std::atomic_ref).
    uint32_t eventFlags = 0;
    int paperReads = 0;
    int feeds = 0;
};

using FakeScannerControlFunction = FakeScannerState* (*)();
