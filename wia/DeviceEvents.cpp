#include "DeviceEvents.h"

#include "TextConversion.h"

#include <objbase.h>

LONG ReadEventsFromRegistry(HKEY deviceKey, std::vector<RegistryEvent>* events) {
    events->clear();
    HKEY eventsKey = nullptr;
    LONG result = RegOpenKeyExA(deviceKey, "Events", 0, KEY_READ, &eventsKey);
    if (result != ERROR_SUCCESS) return result;
    DWORD count = 0;
    DWORD longestName = 0;
    result = RegQueryInfoKeyA(eventsKey, nullptr, nullptr, nullptr, &count, &longestName, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) {
        RegCloseKey(eventsKey);
        return result;
    }
    events->resize(count);
    for (DWORD index = 0; index < count; ++index) {
        std::string name(longestName + 1, '\0');
        DWORD nameSize = longestName + 1;
        result = RegEnumKeyExA(eventsKey, index, name.data(), &nameSize, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS) break;
        name.resize(nameSize);
        RegistryEvent& record = (*events)[index];
        record.name = name;
        HKEY eventKey = nullptr;
        if (RegOpenKeyExA(eventsKey, name.c_str(), 0, KEY_READ, &eventKey) != ERROR_SUCCESS) continue;
        DWORD longestValue = 0;
        if (RegQueryInfoKeyA(eventKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             &longestValue, nullptr, nullptr) == ERROR_SUCCESS) {
            std::string text(longestValue + 1, '\0');
            DWORD size = longestValue;
            DWORD type = 0;
            if (RegQueryValueExA(eventKey, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) ==
                    ERROR_SUCCESS &&
                type == REG_SZ) {
                record.description = text.c_str();
            }
            size = longestValue;
            std::string guid(longestValue + 1, '\0');
            if (RegQueryValueExA(eventKey, "GUID", nullptr, &type, reinterpret_cast<BYTE*>(guid.data()), &size) ==
                    ERROR_SUCCESS &&
                type == REG_SZ) {
                const std::wstring wide = AnsiToWide(guid.c_str());
                GUID parsed{};
                if (SUCCEEDED(CLSIDFromString(wide.c_str(), &parsed))) record.guid = parsed;
            }
        }
        RegCloseKey(eventKey);
    }
    RegCloseKey(eventsKey);
    return result == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : result;
}
