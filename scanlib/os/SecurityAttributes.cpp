#include "os/SecurityAttributes.h"

#include "os/OSFunctions.h"

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
    if (attributes_.lpSecurityDescriptor) LocalFree(attributes_.lpSecurityDescriptor);
}

SecurityAttributes& ProcessSecurityAttributes() {
    // Built on first use and never destroyed: mutexes may still be created by
    // worker threads while the process exits.
    static SecurityAttributes* const instance = new SecurityAttributes();
    return *instance;
}
