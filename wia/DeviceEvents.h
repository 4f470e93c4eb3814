// The device events the device's registry declares: one record per subkey
// of "Events", in enumeration order.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct RegistryEvent {
    GUID guid{};              // all zero when the subkey has no usable "GUID"
    std::string name;         // the subkey's name
    std::string description;  // its default value
};

// Fills `events` from the "Events" subkey of the device key; 0 or the
// registry error.
LONG ReadEventsFromRegistry(HKEY deviceKey, std::vector<RegistryEvent>* events);
