#include "os/SecurityAttributes.h"

#include "os/OSFunctions.h"

#include <utility>

namespace {

constexpr char kDescriptor[] = "D:P(D;OICI;WDWO;;;WD)(A;OICI;GA;;;WD)";
constexpr DWORD kSddlRevision1 = 1;

using ConvertFunction = BOOL(WINAPI*)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);

}  // namespace

SecurityAttributes::SecurityAttributes() {
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = nullptr;
    attributes_.bInheritHandle = FALSE;
    if (!IsWindowsNT()) return;
    HMODULE advapi = LoadLibraryA("AdvApi32.dll");
    if (!advapi) return;
    auto convert = reinterpret_cast<ConvertFunction>(reinterpret_cast<void*>(
        GetProcAddress(advapi, "ConvertStringSecurityDescriptorToSecurityDescriptorA")));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (convert && convert(kDescriptor, kSddlRevision1, &descriptor, nullptr)) {
        attributes_.lpSecurityDescriptor = descriptor;
        valid_ = true;
    }
    FreeLibrary(advapi);
}

SecurityAttributes::~SecurityAttributes() {
    // A mutex created after this (a thread still running while the library
    // unloads) gets no attributes rather than a freed descriptor.
    valid_ = false;
    if (attributes_.lpSecurityDescriptor) LocalFree(std::exchange(attributes_.lpSecurityDescriptor, nullptr));
}

SecurityAttributes& ProcessSecurityAttributes() {
    // Built on first use, freed when the library unloads, so loading and
    // freeing the library repeatedly loses nothing.
    static SecurityAttributes instance;
    return instance;
}
