// Resources of modules: each module registers the table its resource
// description was compiled into; lookups go by the module's handle, type and
// name (numbers or case-insensitive names).
#include "core/Controls.h"

#include <platform/resources.h>
#include <windows.h>

#include <dlfcn.h>
#include <link.h>
#include <strings.h>

#include <cstring>
#include <mutex>
#include <vector>

namespace platform {
namespace {

struct Registered {
    const PlatformResource* table;
    size_t count;
    uintptr_t module;
};

std::mutex& TableLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::vector<Registered>& Tables() {
    static auto* tables = new std::vector<Registered>;
    return *tables;
}

uintptr_t ModuleOf(const void* address) {
    Dl_info info{};
    if (::dladdr(address, &info) == 0) return 0;
    return reinterpret_cast<uintptr_t>(info.dli_fbase);
}

bool NameMatches(const char* name, uint16_t id, LPCSTR wanted) {
    if (IS_INTRESOURCE(wanted)) return name == nullptr && id == reinterpret_cast<uintptr_t>(wanted);
    if (wanted[0] == '#') return name == nullptr && id == static_cast<uint16_t>(std::atoi(wanted + 1));
    return name != nullptr && ::strcasecmp(name, wanted) == 0;
}

}  // namespace
}  // namespace platform

extern "C" PLATFORM_EXPORT void PlatformRegisterResources(const PlatformResource* table, size_t count) {
    std::lock_guard guard(platform::TableLock());
    platform::Tables().push_back({table, count, platform::ModuleOf(table)});
}

extern "C" PLATFORM_EXPORT void PlatformUnregisterResources(const PlatformResource* table) {
    std::lock_guard guard(platform::TableLock());
    std::erase_if(platform::Tables(), [&](const platform::Registered& r) { return r.table == table; });
}

WINBASEAPI HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType) {
    if (lpName == nullptr || lpType == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const uintptr_t module =
        reinterpret_cast<uintptr_t>(hModule ? hModule : GetModuleHandleA(nullptr));
    std::lock_guard guard(platform::TableLock());
    for (const auto& registered : platform::Tables()) {
        if (registered.module != module) continue;
        for (size_t i = 0; i < registered.count; ++i) {
            const PlatformResource& r = registered.table[i];
            if (platform::NameMatches(r.typeName, r.typeId, lpType) && platform::NameMatches(r.name, r.nameId, lpName))
                return reinterpret_cast<HRSRC>(const_cast<PlatformResource*>(&r));
        }
    }
    SetLastError(1813);  // ERROR_RESOURCE_TYPE_NOT_FOUND
    return nullptr;
}

WINBASEAPI HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo) {
    if (hResInfo == nullptr) return nullptr;
    return const_cast<unsigned char*>(reinterpret_cast<const PlatformResource*>(hResInfo)->data);
}

WINBASEAPI LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

WINBASEAPI DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo) {
    return hResInfo ? reinterpret_cast<const PlatformResource*>(hResInfo)->size : 0;
}

WINBASEAPI int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    if (lpBuffer == nullptr || cchBufferMax <= 0) return 0;
    *lpBuffer = 0;
    // Strings come in blocks of sixteen, each a length and UTF-16 units.
    HRSRC block = FindResourceA(hInstance, MAKEINTRESOURCEA(uID / 16 + 1), RT_STRING);
    if (block == nullptr) return 0;
    const uint8_t* at = static_cast<const uint8_t*>(LockResource(LoadResource(hInstance, block)));
    const uint8_t* end = at + SizeofResource(hInstance, block);
    for (UINT index = 0; at + 2 <= end; ++index) {
        uint16_t length;
        std::memcpy(&length, at, 2);
        at += 2;
        if (index == uID % 16) {
            int n = 0;
            for (; n < length && n < cchBufferMax - 1; ++n) {
                uint16_t unit;
                std::memcpy(&unit, at + 2 * n, 2);
                lpBuffer[n] = unit < 0x100 ? static_cast<char>(unit) : '?';
            }
            lpBuffer[n] = 0;
            return n;
        }
        at += 2 * length;
    }
    return 0;
}
