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

// ---- version information ----

namespace platform {
namespace {

uint16_t Word(const uint8_t* at) {
    uint16_t value;
    std::memcpy(&value, at, 2);
    return value;
}

size_t Align4(size_t offset) { return (offset + 3) & ~size_t{3}; }

std::string KeyOf(const uint8_t* block, size_t node, size_t* after) {
    std::string key;
    size_t at = node + 6;
    for (uint16_t unit = Word(block + at); unit != 0; unit = Word(block + at)) {
        key += unit < 0x100 ? static_cast<char>(unit) : '?';
        at += 2;
    }
    *after = at + 2;
    return key;
}

// The module of a file: a loaded one of that name, else loaded for the call.
class FileModule {
public:
    explicit FileModule(LPCSTR path) {
        std::string name = path ? path : "";
        const size_t slash = name.find_last_of("\\/");
        const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
        char own[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, own, sizeof own);
        const std::string ownName = own;
        const size_t ownSlash = ownName.find_last_of("\\/");
        if (::strcasecmp(ownName.substr(ownSlash + 1).c_str(), base.c_str()) == 0) {
            module_ = GetModuleHandleA(nullptr);
            return;
        }
        module_ = GetModuleHandleA(base.c_str());
        if (module_ == nullptr) {
            module_ = LoadLibraryA(path);
            loaded_ = module_ != nullptr;
        }
    }
    ~FileModule() {
        if (loaded_) FreeLibrary(module_);
    }
    FileModule(const FileModule&) = delete;
    FileModule& operator=(const FileModule&) = delete;
    HRSRC Version() const {
        return module_ ? FindResourceA(module_, MAKEINTRESOURCEA(1), RT_VERSION) : nullptr;
    }
    HMODULE Module() const { return module_; }

private:
    HMODULE module_ = nullptr;
    bool loaded_ = false;
};

}  // namespace
}  // namespace platform

WINBASEAPI DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle) {
    if (lpdwHandle) *lpdwHandle = 0;
    platform::FileModule file(lptstrFilename);
    HRSRC version = file.Version();
    if (version == nullptr) {
        SetLastError(1813);  // ERROR_RESOURCE_TYPE_NOT_FOUND
        return 0;
    }
    // Room after the block for the narrow copies of its texts.
    return SizeofResource(file.Module(), version) * 2;
}

WINBASEAPI BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD, DWORD dwLen, LPVOID lpData) {
    platform::FileModule file(lptstrFilename);
    HRSRC version = file.Version();
    if (version == nullptr || lpData == nullptr) {
        SetLastError(1813);
        return FALSE;
    }
    const DWORD size = SizeofResource(file.Module(), version);
    if (dwLen < size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memset(lpData, 0, dwLen);
    std::memcpy(lpData, LockResource(LoadResource(file.Module(), version)), size);
    return TRUE;
}

WINBASEAPI BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen) {
    if (pBlock == nullptr || lpSubBlock == nullptr || lplpBuffer == nullptr) return FALSE;
    auto* block = static_cast<uint8_t*>(const_cast<void*>(pBlock));
    const size_t rootLength = platform::Word(block);
    // Walk the path one key at a time from the root node.
    std::vector<std::string> keys;
    std::string path = lpSubBlock;
    size_t start = 0;
    while (start < path.size()) {
        const size_t end = path.find('\\', start);
        const std::string key = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!key.empty()) keys.push_back(key);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    size_t node = 0;
    for (const std::string& key : keys) {
        size_t after = 0;
        platform::KeyOf(block, node, &after);
        const uint16_t type = platform::Word(block + node + 4);
        const size_t valueBytes = type == 1 ? platform::Word(block + node + 2) * 2u : platform::Word(block + node + 2);
        size_t child = platform::Align4(platform::Align4(after) + valueBytes);
        const size_t end = node + platform::Word(block + node);
        bool found = false;
        while (child + 6 <= end) {
            size_t childAfter = 0;
            if (::strcasecmp(platform::KeyOf(block, child, &childAfter).c_str(), key.c_str()) == 0) {
                found = true;
                break;
            }
            const uint16_t length = platform::Word(block + child);
            if (length == 0) break;
            child = platform::Align4(child + length);
        }
        if (!found) return FALSE;
        node = child;
    }
    size_t after = 0;
    platform::KeyOf(block, node, &after);
    const size_t value = platform::Align4(after);
    const uint16_t valueLength = platform::Word(block + node + 2);
    if (platform::Word(block + node + 4) == 1 && !keys.empty()) {
        // A text: its narrow copy lives after the block.
        char* narrow = reinterpret_cast<char*>(block + rootLength + value / 2);
        for (uint16_t i = 0; i < valueLength; ++i) {
            const uint16_t unit = platform::Word(block + value + 2 * i);
            narrow[i] = unit < 0x100 ? static_cast<char>(unit) : '?';
        }
        *lplpBuffer = narrow;
        if (puLen) *puLen = valueLength;
        return valueLength > 0;
    }
    *lplpBuffer = block + value;
    if (puLen) *puLen = valueLength;
    return valueLength > 0;
}
