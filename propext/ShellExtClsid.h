// The class id under which CShellExt is served: not compiled in, but read
// from the module's registration script, from the context-menu handler
// entry.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <optional>
#include <string_view>

inline constexpr UINT kRegistrationScript = 2001;
inline constexpr size_t kRegistrationScriptLimit = 1500;

// The 36 characters after the first hexadecimal digit that follows the
// first "{" after "ContextMenuHandlers", as a class id; nothing when the
// text is not there or is no class id.
std::optional<CLSID> ParseShellExtClsid(std::string_view script);

// Reads the module's registration script (at most 1500 bytes) and keeps
// the class id it names for DllGetClassObject.
void LoadShellExtClsid(HMODULE module);

// The kept class id; nothing when the script named none, and then no
// CShellExt is served.
std::optional<CLSID> ShellExtClsid();
