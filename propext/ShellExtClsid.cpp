#include "ShellExtClsid.h"

#include <objbase.h>

#include <mutex>
#include <string>

namespace {

constexpr size_t kClsidDigits = 36;

std::mutex clsidLock;
std::optional<CLSID> shellExtClsid;

}  // namespace

std::optional<CLSID> ParseShellExtClsid(std::string_view script) {
    const size_t handlers = script.find("ContextMenuHandlers");
    if (handlers == std::string_view::npos) return std::nullopt;
    const size_t brace = script.find('{', handlers);
    if (brace == std::string_view::npos) return std::nullopt;
    const size_t first = script.find_first_of("0123456789ABCDEFabcdef", brace);
    // The class id must lie inside the text.
    if (first == std::string_view::npos || script.size() - first < kClsidDigits) return std::nullopt;
    std::wstring text = L"{";
    for (const char c : script.substr(first, kClsidDigits)) text += static_cast<wchar_t>(static_cast<unsigned char>(c));
    text += L"}";
    CLSID clsid{};
    if (FAILED(CLSIDFromString(text.c_str(), &clsid))) return std::nullopt;
    return clsid;
}

void LoadShellExtClsid(HMODULE module) {
    std::optional<CLSID> found;
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(kRegistrationScript), "REGISTRY");
    if (resource != nullptr) {
        const auto* data = static_cast<const char*>(LockResource(LoadResource(module, resource)));
        size_t size = SizeofResource(module, resource);
        if (size > kRegistrationScriptLimit) size = kRegistrationScriptLimit;
        if (data != nullptr) found = ParseShellExtClsid(std::string_view(data, size));
    }
    std::lock_guard guard(clsidLock);
    shellExtClsid = found;
}

std::optional<CLSID> ShellExtClsid() {
    std::lock_guard guard(clsidLock);
    return shellExtClsid;
}
