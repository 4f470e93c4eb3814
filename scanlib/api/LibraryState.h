// The library-wide state behind the SI functions: one open scanner per
// process, the scan and calibration locks, the flags and the last result.
// The flags and the last result are plain: the interface is driven by one
// thread at a time. What a call may not pull from under another (the model,
// the chain) is guarded by the count of calls running: a close while any
// runs, from a progress callback or from another thread, is refused.
#pragma once

#include "os/OSMutex.h"

#include <SIInterface.h>

#include <memory>
#include <mutex>

class ProcessingChain;
class Scanner;

struct LibraryState {
    bool interfaceOpen = false;
    bool scanOpen = false;
    SIResult lastResult = SI_OK;
    std::unique_ptr<Scanner> scanner;
    OSMutex scanLock;         // "<base>Scan", global
    OSMutex calibrationLock;  // "<base>Cal", global
    int scanSides = 1;        // sides the open scan delivers: 2 for duplex
    uint32_t lastLinesMs = 0;  // when the open scan last delivered lines
    std::mutex callsMutex;    // guards callsRunning, and a close's teardown
    int callsRunning = 0;
};

// Counts one SI call as running for its scope. Taken while a close tears
// down, it waits for the close to finish (the call then finds it closed).
class RunningCall {
public:
    RunningCall();
    ~RunningCall();
    RunningCall(const RunningCall&) = delete;
    RunningCall& operator=(const RunningCall&) = delete;
};

// The process's state. It lives at namespace scope, so the process-detach
// close still finds it.
LibraryState& Library();

// The global processing chain the scanner is attached to.
ProcessingChain& Chain();
