// The registrar of the COM servers: runs a registration script (the ATL
// registrar's text format) against the registry, entering or removing what
// it names, and records the registration of a type library.
//
// The subset understood:
//   HKCR | HKEY_CLASSES_ROOT | HKCU | HKLM { key... }
//   key:   [NoRemove | ForceRemove | Delete] NAME [= s 'text' | = d 'number'] [{ key... | val... }]
//   val:   val NAME = s 'text' | val NAME = d 'number'
// NAME is a word or a quoted 'text' ('' stands for one quote); %NAME% in
// any text is replaced by its replacement (%MODULE%: the module's path).
// Registering creates every key and sets its values; ForceRemove keys are
// removed whole first. Unregistering removes every key not marked NoRemove
// with all below it, and the values of the NoRemove keys; Delete keys are
// removed when registering.
#pragma once

#include <windows.h>

#include <span>
#include <string>
#include <string_view>

namespace atl {

struct Replacement {
    std::string name;   // without the percent signs
    std::string value;
};

// S_OK; E_INVALIDARG for a script that does not parse (nothing is changed
// then); the registry's failure as an HRESULT.
HRESULT UpdateRegistryFromScript(std::string_view script, std::span<const Replacement> replacements,
                                 bool doRegister);

// The script in resource (type "REGISTRY", id) of the module, with
// %MODULE% = the module's file path.
HRESULT UpdateRegistryFromResource(HMODULE module, UINT id, bool doRegister);

// The module's type library (resource type "TYPELIB", id 1) is not
// interpreted: its registration is recorded in the debug output.
HRESULT RegisterTypeLibrary(HMODULE module, bool doRegister);

}  // namespace atl
