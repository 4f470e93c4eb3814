// The shell's special folders and the Windows folders.
#include "file/Injection.h"
#include "file/PathMap.h"

#include <windows.h>
#include <shlobj.h>

#include <sys/stat.h>

#include <array>
#include <cstring>
#include <string_view>

namespace platform {
namespace {

struct SpecialFolder {
    int csidl;
    std::string_view path;
};

constexpr std::array<SpecialFolder, 7> kSpecialFolders{{
    {CSIDL_PERSONAL, "C:\\Users\\User\\Documents"},
    {CSIDL_APPDATA, "C:\\Users\\User\\AppData\\Roaming"},
    {CSIDL_LOCAL_APPDATA, "C:\\Users\\User\\AppData\\Local"},
    {CSIDL_COMMON_APPDATA, "C:\\ProgramData"},
    {CSIDL_WINDOWS, "C:\\Windows"},
    {CSIDL_SYSTEM, "C:\\Windows\\System32"},
    {CSIDL_PROGRAM_FILES, "C:\\Program Files"},
}};

bool IsFolder(const std::string& native) {
    struct stat st {};
    return ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates every missing folder of `native` below the root.
bool CreateFolders(const std::string& native) {
    for (size_t slash = native.find('/', 1); ; slash = native.find('/', slash + 1)) {
        std::string part = native.substr(0, slash);
        if (!IsFolder(part) && ::mkdir(part.c_str(), 0777) != 0 && !IsFolder(part)) return false;
        if (slash == std::string::npos) return true;
    }
}

// Copies `text` into a caller's buffer of `size` bytes: its length, or the
// size needed (terminator included) when it does not fit.
UINT CopyOut(std::string_view text, LPSTR buffer, UINT size) {
    auto length = static_cast<UINT>(text.size());
    if (buffer == nullptr || size <= length) return length + 1;
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return length;
}

}  // namespace
}  // namespace platform

using namespace platform;

extern "C" {

HRESULT WINAPI SHGetFolderPathA(HWND /*hwnd*/, int csidl, HANDLE /*hToken*/, DWORD /*dwFlags*/, LPSTR pszPath) {
    DWORD injected = InjectedError("SHGetFolderPathA");
    if (injected != 0) return HRESULT_FROM_WIN32(injected);
    if (pszPath == nullptr) return E_INVALIDARG;
    const bool create = (csidl & CSIDL_FLAG_CREATE) != 0;
    const int folder = csidl & 0xFF;
    for (const SpecialFolder& entry : kSpecialFolders) {
        if (entry.csidl != folder) continue;
        std::memcpy(pszPath, entry.path.data(), entry.path.size());
        pszPath[entry.path.size()] = '\0';
        std::string native = NativeOf(entry.path);
        if (IsFolder(native)) return S_OK;
        if (create) return CreateFolders(native) ? S_OK : E_FAIL;
        return S_FALSE;
    }
    pszPath[0] = '\0';
    return E_INVALIDARG;
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    if (Injected("GetWindowsDirectoryA")) return 0;
    return CopyOut("C:\\Windows", lpBuffer, uSize);
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    if (Injected("GetSystemDirectoryA")) return 0;
    return CopyOut("C:\\Windows\\System32", lpBuffer, uSize);
}

}  // extern "C"
