// GetVersionExA: the Windows version the machine reports (PLATFORM_WINVER).
#include "core/Controls.h"

#include <winbase.h>

#include <cstring>

WINBASEAPI BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
    if (platform::FailNow("GetVersionExA")) return FALSE;
    if (lpVersionInformation == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD size = lpVersionInformation->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const auto version = platform::WindowsVersion();
    lpVersionInformation->dwMajorVersion = version.major;
    lpVersionInformation->dwMinorVersion = version.minor;
    lpVersionInformation->dwBuildNumber = version.build;
    lpVersionInformation->dwPlatformId = version.platformId;
    // Service Pack 1 belongs to the default 6.1.7601 only.
    const bool servicePack = version.major == 6 && version.minor == 1 && version.build == 7601;
    std::memset(lpVersionInformation->szCSDVersion, 0, sizeof lpVersionInformation->szCSDVersion);
    if (servicePack) std::strcpy(lpVersionInformation->szCSDVersion, "Service Pack 1");
    if (size == sizeof(OSVERSIONINFOEXA)) {
        auto* ex = reinterpret_cast<LPOSVERSIONINFOEXA>(lpVersionInformation);
        ex->wServicePackMajor = servicePack ? 1 : 0;
        ex->wServicePackMinor = 0;
        ex->wSuiteMask = 0;
        ex->wProductType = VER_NT_WORKSTATION;
        ex->wReserved = 0;
    }
    return TRUE;
}
