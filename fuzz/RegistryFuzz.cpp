// The registry file of the emulated machine as every program reads it: any
// text in place of the file, then the reads and a write that saves it back.
#include <windows.h>

#include <platform/testing.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace {

std::string& RegistryPath() {
    static std::string path;
    return path;
}

void Walk(HKEY key, int depth) {
    for (DWORD i = 0; depth < 4; ++i) {
        char name[256];
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY child = nullptr;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &child) == ERROR_SUCCESS) {
            Walk(child, depth + 1);
            RegCloseKey(child);
        }
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof name;
        BYTE value[512];
        DWORD valueSize = sizeof value;
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, value, &valueSize) != ERROR_SUCCESS) break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static platform::testing::ScopedRoot root;
    HKEY key = nullptr;  // the first call lays out the registry file
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        RegCloseKey(key);
    }
    RegistryPath() = root.Path() + "/registry";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        // A new file (a new inode), so the store sees the change at once.
        std::ofstream out(RegistryPath() + ".next", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    std::rename((RegistryPath() + ".next").c_str(), RegistryPath().c_str());
    Walk(HKEY_LOCAL_MACHINE, 0);
    Walk(HKEY_USERS, 0);
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Fuzz", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        const DWORD one = 1;
        RegSetValueExA(key, "Value", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
        RegCloseKey(key);
    }
    Walk(HKEY_CURRENT_USER, 0);
    return 0;
}
