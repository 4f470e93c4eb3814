// User services of Windows 5.1 and later: the user of the console session.
#include "MultiUserServices.h"

#include <string>

namespace {

// An entry point of a loaded module; null when the module or the name is missing.
template <typename F>
bool Lookup(HMODULE module, const char* name, F* out) {
    *out = module != nullptr ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
    return *out != nullptr;
}

}  // namespace

MultiUserServices::MultiUserServices(DWORD waitLimit) : SingleUserServices2000(waitLimit) {}

MultiUserServices::~MultiUserServices() {
    if (wtsapi32_ != nullptr) FreeLibrary(wtsapi32_);
}

bool MultiUserServices::Init() {
    const bool base = SingleUserServices2000::Init();
    if (wtsapi32_ != nullptr) FreeLibrary(wtsapi32_);
    wtsapi32_ = LoadLibraryA("wtsapi32.dll");
    bool found = wtsapi32_ != nullptr;
    found = Lookup(wtsapi32_, "WTSQueryUserToken", &queryUserToken_) && found;
    found = Lookup(wtsapi32_, "WTSQuerySessionInformationA", &querySessionInformation_) && found;
    found = Lookup(wtsapi32_, "WTSFreeMemory", &freeMemory_) && found;
    found = Lookup(wtsapi32_, "WTSSendMessageA", &sendMessage_) && found;
    HMODULE kernel32 = GetModuleHandleA("Kernel32.dll");
    found = kernel32 != nullptr && Lookup(kernel32, "WTSGetActiveConsoleSessionId", &activeConsoleSessionId_) && found;
    return base && found;
}

bool MultiUserServices::GetUserToken(HANDLE* token, DWORD) {
    if (token == nullptr || queryUserToken_ == nullptr || activeConsoleSessionId_ == nullptr) return false;
    *token = nullptr;
    return queryUserToken_(activeConsoleSessionId_(), token) != FALSE;
}

int MultiUserServices::ShowMessage(const char* text, const char* caption, int style) {
    if (sendMessage_ == nullptr || activeConsoleSessionId_ == nullptr) return 0;
    const DWORD session = activeConsoleSessionId_();
    if (session == 0xFFFFFFFFu) return 0;
    std::string title = caption != nullptr ? caption : "";
    std::string message = text != nullptr ? text : "";
    DWORD response = 0;
    if (!sendMessage_(WTS_CURRENT_SERVER_HANDLE, session, title.data(), static_cast<DWORD>(title.size()),
                      message.data(), static_cast<DWORD>(message.size()), static_cast<DWORD>(style), 0, &response,
                      TRUE))
        return 0;
    return static_cast<int>(response);
}
