// The registry functions. They return their error and leave the last error alone.
#include "file/Injection.h"
#include "registry/RegistryStore.h"

#include <windows.h>
#include <winreg.h>

#include <algorithm>
#include <cstring>
#include <functional>

using platform::InjectedError;
namespace reg = platform::registry;

namespace {

// `base` extended by a relative key path; empty elements are skipped.
std::string Join(const std::string& base, LPCSTR subKey) {
    std::string path = base;
    if (subKey == nullptr) return path;
    std::string_view rest(subKey);
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('\\', start);
        if (end == std::string_view::npos) end = rest.size();
        if (end > start) path += "\\" + std::string(rest.substr(start, end - start));
        start = end + 1;
    }
    return path;
}

bool IsTopLevel(const std::string& path) { return path.find('\\') == std::string::npos; }

// Copies a name with its terminator; MORE_DATA when *capacity (characters,
// terminator included) is too small. *capacity becomes the name's length.
LSTATUS CopyName(std::string_view name, LPSTR buffer, LPDWORD capacity) {
    if (buffer == nullptr || capacity == nullptr) return ERROR_INVALID_PARAMETER;
    if (*capacity <= name.size()) return ERROR_MORE_DATA;
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    *capacity = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Copies value data; NULL data asks the size; MORE_DATA with the size when small.
LSTATUS CopyData(const reg::Value& value, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
    if (type != nullptr) *type = value.type;
    auto needed = static_cast<DWORD>(value.data.size());
    if (data == nullptr) {
        if (size != nullptr) *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed > 0) std::memcpy(data, value.data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

// Runs `reader` on the key behind a handle; KEY_DELETED when another handle
// deleted it.
LSTATUS ReadKey(HKEY hKey, const std::function<LSTATUS(const reg::Tree&, const reg::Key&)>& reader) {
    reg::KeyHandle handle;
    if (!reg::LookupHandle(hKey, &handle)) return ERROR_INVALID_HANDLE;
    LSTATUS status = ERROR_SUCCESS;
    reg::Read([&](const reg::Tree& tree) {
        const reg::Key* key = tree.Find(handle.path);
        status = key == nullptr ? ERROR_KEY_DELETED : reader(tree, *key);
    });
    return status;
}

// Runs `writer` on the key behind a handle opened with `access`; the tree
// is saved when the writer succeeds.
LSTATUS WriteKey(HKEY hKey, DWORD access, const std::function<LSTATUS(reg::Tree&, reg::Key&)>& writer) {
    reg::KeyHandle handle;
    if (!reg::LookupHandle(hKey, &handle)) return ERROR_INVALID_HANDLE;
    if ((handle.access & access) != access) return ERROR_ACCESS_DENIED;
    LSTATUS status = ERROR_SUCCESS;
    bool saved = reg::Write([&](reg::Tree& tree) {
        reg::Key* key = tree.Find(handle.path);
        status = key == nullptr ? ERROR_KEY_DELETED : writer(tree, *key);
        return status == ERROR_SUCCESS;
    });
    return status == ERROR_SUCCESS && !saved ? ERROR_GEN_FAILURE : status;
}

// Keys carry no class text.
void ClearClass(LPSTR text, LPDWORD length) {
    if (length == nullptr) return;
    if (text != nullptr && *length > 0) text[0] = '\0';
    *length = 0;
}

void SetFileTime(PFILETIME out, uint64_t ticks) {
    if (out == nullptr) return;
    out->dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    out->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

}  // namespace

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired, PHKEY phkResult) {
    if (DWORD injected = InjectedError("RegOpenKeyExA")) return static_cast<LSTATUS>(injected);
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::string stored;
    LSTATUS status = ReadKey(hKey, [&](const reg::Tree& tree, const reg::Key& key) -> LSTATUS {
        const reg::Key* found = tree.Find(Join(key.path, lpSubKey));
        if (found == nullptr) return ERROR_FILE_NOT_FOUND;
        stored = found->path;
        return ERROR_SUCCESS;
    });
    if (status == ERROR_SUCCESS) *phkResult = reg::OpenHandle(stored, samDesired);
    return status;
}

LSTATUS WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    if (DWORD injected = InjectedError("RegOpenKeyA")) return static_cast<LSTATUS>(injected);
    return RegOpenKeyExA(hKey, lpSubKey, 0, KEY_ALL_ACCESS, phkResult);
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR /*lpClass*/,
                               DWORD /*dwOptions*/, REGSAM samDesired, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/,
                               PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (DWORD injected = InjectedError("RegCreateKeyExA")) return static_cast<LSTATUS>(injected);
    if (phkResult == nullptr || lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    reg::KeyHandle handle;
    if (!reg::LookupHandle(hKey, &handle)) return ERROR_INVALID_HANDLE;
    std::string target = Join(handle.path, lpSubKey);
    LSTATUS status = ERROR_SUCCESS;
    bool created = false;
    std::string stored;
    bool saved = reg::Write([&](reg::Tree& tree) {
        if (!tree.Find(handle.path)) {
            status = ERROR_KEY_DELETED;
            return false;
        }
        if (const reg::Key* existing = tree.Find(target)) {
            stored = existing->path;
            return false;
        }
        if (!(handle.access & KEY_CREATE_SUB_KEY)) {
            status = ERROR_ACCESS_DENIED;
            return false;
        }
        stored = tree.Create(target, &created).path;
        return true;
    });
    if (status == ERROR_SUCCESS && !saved) status = ERROR_GEN_FAILURE;
    if (status != ERROR_SUCCESS) return status;
    *phkResult = reg::OpenHandle(stored, samDesired);
    if (lpdwDisposition != nullptr) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD /*lpReserved*/, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
    if (DWORD injected = InjectedError("RegQueryValueExA")) return static_cast<LSTATUS>(injected);
    std::string name = reg::Fold(lpValueName != nullptr ? lpValueName : "");
    return ReadKey(hKey, [&](const reg::Tree&, const reg::Key& key) -> LSTATUS {
        auto found = key.values.find(name);
        return found == key.values.end() ? ERROR_FILE_NOT_FOUND : CopyData(found->second, lpType, lpData, lpcbData);
    });
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType, const BYTE* lpData,
                              DWORD cbData) {
    if (DWORD injected = InjectedError("RegSetValueExA")) return static_cast<LSTATUS>(injected);
    if (lpData == nullptr && cbData > 0) return ERROR_INVALID_PARAMETER;
    std::string name = lpValueName != nullptr ? lpValueName : "";
    return WriteKey(hKey, KEY_SET_VALUE, [&](reg::Tree& tree, reg::Key& key) -> LSTATUS {
        reg::Value& value = key.values[reg::Fold(name)];
        if (value.name.empty()) value.name = name;
        value.type = dwType;
        value.data.assign(lpData, lpData + cbData);
        tree.Touch(key);
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD /*lpReserved*/,
                             LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    if (DWORD injected = InjectedError("RegEnumKeyExA")) return static_cast<LSTATUS>(injected);
    return ReadKey(hKey, [&](const reg::Tree& tree, const reg::Key& key) -> LSTATUS {
        auto children = tree.Children(key.path);
        if (dwIndex >= children.size()) return ERROR_NO_MORE_ITEMS;
        const reg::Key* child = children[dwIndex];
        LSTATUS status = CopyName(reg::LeafName(child->path), lpName, lpcchName);
        if (status != ERROR_SUCCESS) return status;
        ClearClass(lpClass, lpcchClass);
        SetFileTime(lpftLastWriteTime, child->writeTime);
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD /*lpReserved*/, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (DWORD injected = InjectedError("RegEnumValueA")) return static_cast<LSTATUS>(injected);
    return ReadKey(hKey, [&](const reg::Tree&, const reg::Key& key) -> LSTATUS {
        if (dwIndex >= key.values.size()) return ERROR_NO_MORE_ITEMS;
        const reg::Value& value = std::next(key.values.begin(), dwIndex)->second;
        LSTATUS status = CopyName(value.name, lpValueName, lpcchValueName);
        return status == ERROR_SUCCESS ? CopyData(value, lpType, lpData, lpcbData) : status;
    });
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD /*lpReserved*/,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    if (DWORD injected = InjectedError("RegQueryInfoKeyA")) return static_cast<LSTATUS>(injected);
    return ReadKey(hKey, [&](const reg::Tree& tree, const reg::Key& key) -> LSTATUS {
        auto children = tree.Children(key.path);
        DWORD longestKey = 0;
        for (const reg::Key* child : children) {
            longestKey = std::max(longestKey, static_cast<DWORD>(reg::LeafName(child->path).size()));
        }
        DWORD longestName = 0;
        DWORD longestData = 0;
        for (const auto& entry : key.values) {
            longestName = std::max(longestName, static_cast<DWORD>(entry.second.name.size()));
            longestData = std::max(longestData, static_cast<DWORD>(entry.second.data.size()));
        }
        ClearClass(lpClass, lpcchClass);
        auto put = [](LPDWORD out, DWORD value) {
            if (out != nullptr) *out = value;
        };
        put(lpcSubKeys, static_cast<DWORD>(children.size()));
        put(lpcbMaxSubKeyLen, longestKey);
        put(lpcbMaxClassLen, 0);
        put(lpcValues, static_cast<DWORD>(key.values.size()));
        put(lpcbMaxValueNameLen, longestName);
        put(lpcbMaxValueLen, longestData);
        put(lpcbSecurityDescriptor, 0);
        SetFileTime(lpftLastWriteTime, key.writeTime);
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    if (DWORD injected = InjectedError("RegDeleteValueA")) return static_cast<LSTATUS>(injected);
    std::string name = reg::Fold(lpValueName != nullptr ? lpValueName : "");
    return WriteKey(hKey, KEY_SET_VALUE, [&](reg::Tree& tree, reg::Key& key) -> LSTATUS {
        if (key.values.erase(name) == 0) return ERROR_FILE_NOT_FOUND;
        tree.Touch(key);
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    if (DWORD injected = InjectedError("RegDeleteKeyA")) return static_cast<LSTATUS>(injected);
    if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
    return WriteKey(hKey, 0, [&](reg::Tree& tree, reg::Key& key) -> LSTATUS {
        std::string target = Join(key.path, lpSubKey);
        if (IsTopLevel(target)) return ERROR_ACCESS_DENIED;
        if (!tree.Find(target)) return ERROR_FILE_NOT_FOUND;
        if (!tree.Children(target).empty()) return ERROR_ACCESS_DENIED;
        tree.Erase(target);
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    if (DWORD injected = InjectedError("RegCloseKey")) return static_cast<LSTATUS>(injected);
    return reg::CloseHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // extern "C"
