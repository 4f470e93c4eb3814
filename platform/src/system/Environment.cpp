// The process environment as Windows programs read it.
#include <windows.h>

#include <cstdlib>
#include <cstring>

WINBASEAPI DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
    const char* value = lpName != nullptr ? std::getenv(lpName) : nullptr;
    if (value == nullptr) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    const auto length = static_cast<DWORD>(std::strlen(value));
    if (lpBuffer == nullptr || nSize <= length) return length + 1;
    std::memcpy(lpBuffer, value, length + 1);
    return length;
}
