// The library-wide state behind the SI functions: one open scanner per
// process, the scan and calibration locks, the flags and the last result.
// The flags and the last result are plain: the interface is driven by one
// thread at a time.
#pragma once

#include "os/OSMutex.h"

#include <SIInterface.h>

#include <memory>

class ProcessingChain;
class Scanner;

struct LibraryState {
    bool interfaceOpen = false;
    bool scanOpen = false;
    SIResult lastResult = SI_OK;
    std::unique_ptr<Scanner> scanner;
    OSMutex scanLock;         // "<base>Scan", global
    OSMutex calibrationLock;  // "<base>Cal", global
};

// The process's state. It lives at namespace scope, so the process-detach
// close still finds it.
LibraryState& Library();

// The global processing chain the scanner is attached to.
ProcessingChain& Chain();
