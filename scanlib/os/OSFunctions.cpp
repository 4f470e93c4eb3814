#include "os/OSFunctions.h"

#include <windows.h>
#include <mmsystem.h>

#include <array>
#include <atomic>

namespace {

struct VersionClass {
    DWORD major;
    DWORD minor;
    int kind;
};

constexpr std::array<VersionClass, 5> kVersionClasses{{
    {4, 10, kOS98},
    {4, 90, kOSMe},
    {5, 0, kOS2000},
    {5, 2, kOSServer2003},
    {6, 0, kOSVista},
}};

std::atomic<int64_t> stopwatchStart{0};

bool QueryVersion(OSVERSIONINFOA& info) {
    info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    return GetVersionExA(&info) != FALSE;
}

}  // namespace

void OSSleep(int ms) { Sleep(static_cast<DWORD>(ms)); }

uint32_t OSGetTime() { return timeGetTime(); }

void OSStartStopwatch() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    stopwatchStart.store(now.QuadPart);
}

int64_t OSElapsedMicroseconds() {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    if (frequency.QuadPart == 0) return 0;
    return (now.QuadPart - stopwatchStart.load()) * 1000000 / frequency.QuadPart;
}

void OSDebugOutput(const char* text) { OutputDebugStringA(text); }

uint32_t OSGetProcessId() { return GetCurrentProcessId(); }

int GetOSKind() {
    OSVERSIONINFOA info;
    if (!QueryVersion(info)) return kOSOther;
    for (const auto& row : kVersionClasses) {
        if (row.major == info.dwMajorVersion && row.minor == info.dwMinorVersion) return row.kind;
    }
    return kOSOther;
}

bool IsWindowsNT() {
    OSVERSIONINFOA info;
    return QueryVersion(info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void InterleavePlanes(uint8_t* dst, const uint8_t* r, const uint8_t* g, const uint8_t* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        *dst++ = r[i];
        *dst++ = g[i];
        *dst++ = b[i];
    }
}
