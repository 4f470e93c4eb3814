// Free functions of the operating-system layer: sleep, clocks, process id,
// debug output, the Windows version class and the bulk chunk size.
#pragma once

#include <cstddef>
#include <cstdint>

void OSSleep(int ms);
// Milliseconds of the multimedia clock.
uint32_t OSGetTime();
// Stores the performance counter as the process-wide start value.
void OSStartStopwatch();
// Microseconds since the last OSStartStopwatch.
int64_t OSElapsedMicroseconds();
void OSDebugOutput(const char* text);
uint32_t OSGetProcessId();

// Windows version classes that the usbscan port and the models branch on.
enum OSKind : int {
    kOSOther = 0,     // also 5.1, 6.1 and a failed version query
    kOS2000 = 1,      // 5.0
    kOSMe = 2,        // 4.90
    kOS98 = 3,        // 4.10
    kOSServer2003 = 6,  // 5.2
    kOSVista = 7,     // 6.0
};
int GetOSKind();

// True when the platform reports the NT family (dwPlatformId 2).
bool IsWindowsNT();

// The largest bulk transfer the controller drivers issue in one piece.
constexpr int GetMaxBulkChunk() { return 0xF000; }

// Writes n triplets r[i], g[i], b[i] to dst.
void InterleavePlanes(uint8_t* dst, const uint8_t* r, const uint8_t* g, const uint8_t* b, size_t n);
