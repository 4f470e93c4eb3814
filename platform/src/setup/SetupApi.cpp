// Setup classes and device instances, read from the registry:
//   HKLM\SYSTEM\CurrentControlSet\Control\Class\{GUID}  (default = description, "Class" = name)
//   HKLM\SYSTEM\CurrentControlSet\Enum\<enum>\<device>\<instance>
#include "file/Injection.h"
#include "file/PathMap.h"
#include "registry/RegistryStore.h"

#include <windows.h>
#include <setupapi.h>

#include <platform/testing_io.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace platform {
namespace {

namespace reg = registry;

constexpr std::string_view kClassRoot = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class";
constexpr std::string_view kEnumRoot = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum";

struct PropertyName {
    DWORD property;
    std::string_view value;
};

constexpr std::array<PropertyName, 7> kProperties{{
    {SPDRP_DEVICEDESC, "DeviceDesc"},
    {SPDRP_HARDWAREID, "HardwareID"},
    {SPDRP_CLASS, "Class"},
    {SPDRP_CLASSGUID, "ClassGUID"},
    {SPDRP_DRIVER, "Driver"},
    {SPDRP_MFG, "Mfg"},
    {SPDRP_FRIENDLYNAME, "FriendlyName"},
}};

std::string FormatGuid(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1, guid.Data2,
                  guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
                  guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

std::optional<GUID> ParseGuid(std::string_view text) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
    std::string copy(text);
    GUID guid{};
    unsigned data2 = 0;
    unsigned data3 = 0;
    unsigned bytes[8] = {};
    unsigned data1 = 0;
    int consumed = 0;
    if (std::sscanf(copy.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%n", &data1, &data2, &data3, &bytes[0],
                    &bytes[1], &bytes[2], &bytes[3], &bytes[4], &bytes[5], &bytes[6], &bytes[7], &consumed) != 11 ||
        consumed != 38) {
        return std::nullopt;
    }
    guid.Data1 = data1;
    guid.Data2 = static_cast<uint16_t>(data2);
    guid.Data3 = static_cast<uint16_t>(data3);
    for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<uint8_t>(bytes[i]);
    return guid;
}

// A REG_SZ value as text, without its terminator.
std::optional<std::string> StringValue(const reg::Key& key, std::string_view name) {
    auto found = key.values.find(reg::Fold(name));
    if (found == key.values.end()) return std::nullopt;
    const auto& data = found->second.data;
    std::string text(data.begin(), data.end());
    if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    return text;
}

std::optional<DWORD> DwordValue(const reg::Key& key, std::string_view name) {
    auto found = key.values.find(reg::Fold(name));
    if (found == key.values.end() || found->second.data.size() != 4) return std::nullopt;
    const auto& d = found->second.data;
    return static_cast<DWORD>(d[0] | (d[1] << 8) | (d[2] << 16) | (static_cast<DWORD>(d[3]) << 24));
}

std::string ClassKeyPath(const GUID& guid) { return std::string(kClassRoot) + "\\" + FormatGuid(guid); }

// ---- device information sets ----

struct DeviceEntry {
    std::string instancePath;  // full registry path of the instance key
    GUID classGuid{};
};

struct DeviceSets {
    std::mutex mutex;
    std::map<uintptr_t, std::vector<DeviceEntry>> sets;
    uintptr_t next = 0x20000;
};

DeviceSets& Sets() {
    static auto* sets = new DeviceSets;
    return *sets;
}

// Entry `index` of a set: 0, INVALID_HANDLE (no such set) or NO_MORE_ITEMS.
DWORD EntryAt(HDEVINFO set, DWORD index, DeviceEntry* out) {
    DeviceSets& sets = Sets();
    std::lock_guard<std::mutex> lock(sets.mutex);
    auto found = sets.sets.find(reinterpret_cast<uintptr_t>(set));
    if (found == sets.sets.end()) return ERROR_INVALID_HANDLE;
    if (index >= found->second.size()) return ERROR_NO_MORE_ITEMS;
    *out = found->second[index];
    return 0;
}

bool ValidDeviceData(const SP_DEVINFO_DATA* data) {
    if (data != nullptr && data->cbSize == sizeof(SP_DEVINFO_DATA)) return true;
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return false;
}

// The entry that SetupDiEnumDeviceInfo described in `data`.
bool FindEntry(HDEVINFO set, const SP_DEVINFO_DATA* data, DeviceEntry* out) {
    if (!ValidDeviceData(data)) return false;
    DWORD error = data->DevInst == 0 ? static_cast<DWORD>(ERROR_NO_MORE_ITEMS) : EntryAt(set, data->DevInst - 1, out);
    if (error == ERROR_NO_MORE_ITEMS) error = ERROR_INVALID_PARAMETER;
    if (error != 0) SetLastError(error);
    return error == 0;
}

void PutDword(reg::Key& key, std::string_view name, DWORD value) {
    std::vector<uint8_t> data{static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    key.values[reg::Fold(name)] = reg::Value{std::string(name), REG_DWORD, std::move(data)};
}

void PutString(reg::Key& key, std::string_view name, std::string_view text, DWORD type = REG_SZ) {
    std::vector<uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    if (type == REG_MULTI_SZ) data.push_back(0);
    key.values[reg::Fold(name)] = reg::Value{std::string(name), type, std::move(data)};
}

}  // namespace
}  // namespace platform

using namespace platform;

extern "C" {

BOOL WINAPI SetupDiClassGuidsFromNameA(LPCSTR ClassName, LPGUID ClassGuidList, DWORD ClassGuidListSize,
                                       LPDWORD RequiredSize) {
    if (Injected("SetupDiClassGuidsFromNameA")) return FALSE;
    if (ClassName == nullptr || (ClassGuidList == nullptr && ClassGuidListSize > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<GUID> matches;
    reg::Read([&](const reg::Tree& tree) {
        for (const reg::Key* key : tree.Children(kClassRoot)) {
            auto name = StringValue(*key, "Class");
            auto guid = ParseGuid(reg::LeafName(key->path));
            if (name && guid && EqualsIgnoreCase(*name, ClassName)) matches.push_back(*guid);
        }
    });
    if (RequiredSize != nullptr) *RequiredSize = static_cast<DWORD>(matches.size());
    if (ClassGuidListSize < matches.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    for (size_t i = 0; i < matches.size(); ++i) ClassGuidList[i] = matches[i];
    return TRUE;
}

BOOL WINAPI SetupDiClassNameFromGuidA(const GUID* ClassGuid, LPSTR ClassName, DWORD ClassNameSize,
                                      LPDWORD RequiredSize) {
    if (Injected("SetupDiClassNameFromGuidA")) return FALSE;
    if (ClassGuid == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::optional<std::string> name;
    reg::Read([&](const reg::Tree& tree) {
        if (const reg::Key* key = tree.Find(ClassKeyPath(*ClassGuid))) name = StringValue(*key, "Class");
    });
    if (!name) {
        SetLastError(ERROR_INVALID_CLASS);
        return FALSE;
    }
    auto needed = static_cast<DWORD>(name->size() + 1);
    if (RequiredSize != nullptr) *RequiredSize = needed;
    if (ClassName == nullptr || ClassNameSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(ClassName, name->c_str(), needed);
    return TRUE;
}

HKEY WINAPI SetupDiOpenClassRegKeyExA(const GUID* ClassGuid, REGSAM samDesired, DWORD Flags, LPCSTR MachineName,
                                      PVOID /*Reserved*/) {
    auto* invalid = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    if (Injected("SetupDiOpenClassRegKeyExA")) return invalid;
    if (MachineName != nullptr || Flags != DIOCR_INSTALLER) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return invalid;
    }
    std::string path = ClassGuid != nullptr ? ClassKeyPath(*ClassGuid) : std::string(kClassRoot);
    std::string stored;
    reg::Read([&](const reg::Tree& tree) {
        if (const reg::Key* key = tree.Find(path)) stored = key->path;
    });
    if (stored.empty()) {
        SetLastError(ERROR_INVALID_CLASS);
        return invalid;
    }
    return reg::OpenHandle(stored, samDesired);
}

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, LPCSTR Enumerator, HWND /*hwndParent*/, DWORD Flags) {
    if (Injected("SetupDiGetClassDevsA")) return INVALID_HANDLE_VALUE;
    if (ClassGuid == nullptr && !(Flags & DIGCF_ALLCLASSES)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::vector<DeviceEntry> entries;
    reg::Read([&](const reg::Tree& tree) {
        for (const reg::Key* enumerator : tree.Children(kEnumRoot)) {
            if (Enumerator != nullptr && !EqualsIgnoreCase(reg::LeafName(enumerator->path), Enumerator)) continue;
            for (const reg::Key* device : tree.Children(enumerator->path)) {
                for (const reg::Key* instance : tree.Children(device->path)) {
                    auto guidText = StringValue(*instance, "ClassGUID");
                    auto guid = guidText ? ParseGuid(*guidText) : std::nullopt;
                    if (!guid) continue;
                    if (!(Flags & DIGCF_ALLCLASSES) && std::memcmp(&*guid, ClassGuid, sizeof(GUID)) != 0) continue;
                    if ((Flags & DIGCF_PRESENT) && DwordValue(*instance, "Present").value_or(1) == 0) continue;
                    entries.push_back(DeviceEntry{instance->path, *guid});
                }
            }
        }
    });
    DeviceSets& sets = Sets();
    std::lock_guard<std::mutex> lock(sets.mutex);
    uintptr_t handle = sets.next;
    sets.next += 4;
    sets.sets[handle] = std::move(entries);
    return reinterpret_cast<HDEVINFO>(handle);
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex, PSP_DEVINFO_DATA DeviceInfoData) {
    if (Injected("SetupDiEnumDeviceInfo")) return FALSE;
    if (!ValidDeviceData(DeviceInfoData)) return FALSE;
    DeviceEntry entry;
    if (DWORD error = EntryAt(DeviceInfoSet, MemberIndex, &entry)) {
        SetLastError(error);
        return FALSE;
    }
    DeviceInfoData->ClassGuid = entry.classGuid;
    DeviceInfoData->DevInst = MemberIndex + 1;
    DeviceInfoData->Reserved = 0;
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                              DWORD Property, LPDWORD PropertyRegDataType, LPBYTE PropertyBuffer,
                                              DWORD PropertyBufferSize, LPDWORD RequiredSize) {
    if (Injected("SetupDiGetDeviceRegistryPropertyA")) return FALSE;
    DeviceEntry entry;
    if (!FindEntry(DeviceInfoSet, DeviceInfoData, &entry)) return FALSE;
    const PropertyName* property = nullptr;
    for (const PropertyName& candidate : kProperties) {
        if (candidate.property == Property) property = &candidate;
    }
    if (property == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::optional<reg::Value> value;
    reg::Read([&](const reg::Tree& tree) {
        if (const reg::Key* key = tree.Find(entry.instancePath)) {
            auto found = key->values.find(reg::Fold(property->value));
            if (found != key->values.end()) value = found->second;
        }
    });
    if (!value) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    auto needed = static_cast<DWORD>(value->data.size());
    if (PropertyRegDataType != nullptr) *PropertyRegDataType = value->type;
    if (RequiredSize != nullptr) *RequiredSize = needed;
    if (PropertyBuffer == nullptr || PropertyBufferSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (needed > 0) std::memcpy(PropertyBuffer, value->data.data(), needed);
    return TRUE;
}

HKEY WINAPI SetupDiOpenDevRegKey(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Scope,
                                 DWORD /*HwProfile*/, DWORD KeyType, REGSAM samDesired) {
    auto* invalid = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    if (Injected("SetupDiOpenDevRegKey")) return invalid;
    DeviceEntry entry;
    if (!FindEntry(DeviceInfoSet, DeviceInfoData, &entry)) return invalid;
    if (Scope != DICS_FLAG_GLOBAL || (KeyType != DIREG_DRV && KeyType != DIREG_DEV)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return invalid;
    }
    std::string stored;
    reg::Read([&](const reg::Tree& tree) {
        const reg::Key* instance = tree.Find(entry.instancePath);
        if (instance == nullptr) return;
        std::string path = entry.instancePath + "\\Device Parameters";
        if (KeyType == DIREG_DRV) {
            auto driver = StringValue(*instance, "Driver");
            if (!driver) return;
            path = std::string(kClassRoot) + "\\" + *driver;
        }
        if (const reg::Key* key = tree.Find(path)) stored = key->path;
    });
    if (stored.empty()) {
        SetLastError(ERROR_KEY_DOES_NOT_EXIST);
        return invalid;
    }
    return reg::OpenHandle(stored, samDesired);
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    if (Injected("SetupDiDestroyDeviceInfoList")) return FALSE;
    DeviceSets& sets = Sets();
    std::lock_guard<std::mutex> lock(sets.mutex);
    if (sets.sets.erase(reinterpret_cast<uintptr_t>(DeviceInfoSet)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"

namespace platform::testing {

std::string InstallDevice(const DeviceInstall& device) {
    if (device.enumerator.empty() || device.deviceId.empty() || device.instanceId.empty() ||
        !ParseGuid(device.classGuid)) {
        return std::string();
    }
    std::string instanceName = device.enumerator + "\\" + device.deviceId + "\\" + device.instanceId;
    std::string guid = FormatGuid(*ParseGuid(device.classGuid));
    bool saved = reg::Write([&](reg::Tree& tree) {
        bool created = false;
        reg::Key& classKey = tree.Create(std::string(kClassRoot) + "\\" + guid, &created);
        if (created) {
            PutString(classKey, "", device.className + " devices");
            PutString(classKey, "Class", device.className);
        }
        reg::Key& instance = tree.Create(std::string(kEnumRoot) + "\\" + instanceName, &created);
        std::string driver;
        if (auto existing = StringValue(instance, "Driver")) {
            driver = *existing;
        } else {
            int number = 0;
            for (const reg::Key* child : tree.Children(classKey.path)) {
                number = std::max(number, std::atoi(std::string(reg::LeafName(child->path)).c_str()) + 1);
            }
            char name[16];
            std::snprintf(name, sizeof name, "%04d", number);
            driver = guid + "\\" + name;
        }
        tree.Create(std::string(kClassRoot) + "\\" + driver, &created);
        tree.Create(instance.path + "\\Device Parameters", &created);
        PutString(instance, "ClassGUID", guid);
        PutString(instance, "Class", device.className);
        PutString(instance, "DeviceDesc", device.description);
        if (!device.friendlyName.empty()) PutString(instance, "FriendlyName", device.friendlyName);
        if (!device.manufacturer.empty()) PutString(instance, "Mfg", device.manufacturer);
        if (!device.hardwareId.empty()) PutString(instance, "HardwareID", device.hardwareId, REG_MULTI_SZ);
        PutString(instance, "Driver", driver);
        PutDword(instance, "Present", device.present ? 1 : 0);
        tree.Touch(instance);
        return true;
    });
    return saved ? instanceName : std::string();
}

bool SetDevicePresent(const std::string& instancePath, bool present) {
    bool found = false;
    bool saved = reg::Write([&](reg::Tree& tree) {
        reg::Key* instance = tree.Find(std::string(kEnumRoot) + "\\" + instancePath);
        if (instance == nullptr) return false;
        found = true;
        PutDword(*instance, "Present", present ? 1 : 0);
        tree.Touch(*instance);
        return true;
    });
    return found && saved;
}

}  // namespace platform::testing
