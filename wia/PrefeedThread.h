// The prefeed thread of the monitor instance: woken when paper is inserted,
// it waits the configured delay and draws the sheet the configured distance
// into the scanner, so that it sits ready for the next scan.
#pragma once

#include "LibraryAccess.h"
#include "OSObject.h"

#include <windows.h>

class PrefeedThread final : public OSThread {
public:
    // The device values under "DeviceData", read and limited.
    struct Settings {
        bool enabled = false;
        DWORD delayMs = 1000;
        DWORD distance = 13;  // hundredths of an inch
    };
    // False when "DeviceData" can't be opened.
    static bool ReadSettings(HKEY deviceKey, Settings* settings);
    // Y offset in lines for a distance at a resolution.
    static int32_t OffsetLines(int32_t resolution, DWORD distance);
    // The last entry of a resolution list that is at most 600, else 300.
    static int32_t FeedResolution(const int32_t* items, int32_t count);

    // Both events exist before any thread does: a quit set before the
    // thread first waits is not lost.
    PrefeedThread();
    ~PrefeedThread() override;

    // Keeps the key and the binding and starts the thread once.
    bool Start(HKEY deviceKey, LibraryAccess* library, HANDLE scanLock);
    void Trigger();
    // Sets quit and joins the thread; afterwards nothing calls the library.
    void Stop();

    void Run() override;

private:
    // One attempt; false when quit was seen.
    bool Prefeed();

    OSObject trigger_;
    OSObject quit_;
    HKEY deviceKey_ = nullptr;
    LibraryAccess* library_ = nullptr;
    HANDLE scanLock_ = nullptr;
};
