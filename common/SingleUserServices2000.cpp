// User services of Windows 5.0: the user owns the shell process. Every
// entry point looked up at run time is checked before it is called, so an
// operation whose functions are missing fails instead of calling through
// nothing.
#include "SingleUserServices2000.h"

#include <vector>

namespace {

// An entry point of a loaded module; null when the module or the name is missing.
template <typename F>
bool Lookup(HMODULE module, const char* name, F* out) {
    *out = module != nullptr ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
    return *out != nullptr;
}

}  // namespace

SingleUserServices2000::SingleUserServices2000(DWORD waitLimit) : SingleUserServices(waitLimit) {}

SingleUserServices2000::~SingleUserServices2000() { FreeModules(); }

void SingleUserServices2000::FreeModules() {
    if (user32_ != nullptr) FreeLibrary(user32_);
    if (psapi_ != nullptr) FreeLibrary(psapi_);
    user32_ = psapi_ = nullptr;
    getProcessWindowStation_ = nullptr;
    setProcessWindowStation_ = nullptr;
    openWindowStation_ = nullptr;
    closeWindowStation_ = nullptr;
    setThreadDesktop_ = nullptr;
    closeDesktop_ = nullptr;
    enumProcesses_ = nullptr;
    enumProcessModules_ = nullptr;
    getModuleBaseName_ = nullptr;
}

bool SingleUserServices2000::Init() {
    FreeModules();
    user32_ = LoadLibraryA("user32.dll");
    psapi_ = LoadLibraryA("psapi.dll");
    bool found = user32_ != nullptr && psapi_ != nullptr;
    found = found && Lookup(user32_, "GetProcessWindowStation", &getProcessWindowStation_);
    found = found && Lookup(user32_, "SetProcessWindowStation", &setProcessWindowStation_);
    found = found && Lookup(user32_, "OpenWindowStationA", &openWindowStation_);
    found = found && Lookup(user32_, "CloseWindowStation", &closeWindowStation_);
    found = found && Lookup(user32_, "SetThreadDesktop", &setThreadDesktop_);
    found = found && Lookup(user32_, "CloseDesktop", &closeDesktop_);
    found = found && Lookup(psapi_, "EnumProcesses", &enumProcesses_);
    found = found && Lookup(psapi_, "EnumProcessModules", &enumProcessModules_);
    found = found && Lookup(psapi_, "GetModuleBaseNameA", &getModuleBaseName_);
    if (!found) FreeModules();
    return found;
}

bool SingleUserServices2000::EnterUserDesktop() {
    if (getProcessWindowStation_ == nullptr || setProcessWindowStation_ == nullptr || openWindowStation_ == nullptr ||
        closeWindowStation_ == nullptr || setThreadDesktop_ == nullptr)
        return false;
    savedStation_ = getProcessWindowStation_();
    savedDesktop_ = GetThreadDesktop(GetCurrentThreadId());
    userStation_ = openWindowStation_("Winsta0", FALSE, MAXIMUM_ALLOWED);
    if (userStation_ == nullptr) return false;
    setProcessWindowStation_(userStation_);
    userDesktop_ = OpenDesktopA("default", 0, FALSE, MAXIMUM_ALLOWED);
    if (userDesktop_ != nullptr) {
        setThreadDesktop_(userDesktop_);
        return true;
    }
    setProcessWindowStation_(savedStation_);
    closeWindowStation_(userStation_);
    userStation_ = nullptr;
    return false;
}

void SingleUserServices2000::LeaveUserDesktop() {
    if (setProcessWindowStation_ == nullptr || setThreadDesktop_ == nullptr || closeDesktop_ == nullptr ||
        closeWindowStation_ == nullptr)
        return;
    if (savedStation_ != nullptr) setProcessWindowStation_(savedStation_);
    if (savedDesktop_ != nullptr) setThreadDesktop_(savedDesktop_);
    if (userDesktop_ != nullptr) closeDesktop_(userDesktop_);
    if (userStation_ != nullptr) closeWindowStation_(userStation_);
    savedStation_ = nullptr;
    savedDesktop_ = nullptr;
    userDesktop_ = nullptr;
    userStation_ = nullptr;
}

bool SingleUserServices2000::RunProgram(std::string commandLine, bool wait) {
    HANDLE token = nullptr;
    if (!GetUserToken(&token, TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_QUERY)) return false;
    const bool result = StartProgram(token, commandLine, wait);
    CloseHandle(token);
    return result;
}

bool SingleUserServices2000::HasUserToken() {
    HANDLE token = nullptr;
    if (!GetUserToken(&token, TOKEN_QUERY)) return false;
    CloseHandle(token);
    return true;
}

bool SingleUserServices2000::OpenUserKey(std::string subKey, HKEY* key) {
    if (key == nullptr) return false;
    *key = nullptr;
    HANDLE token = nullptr;
    if (!GetUserToken(&token, TOKEN_QUERY)) return false;
    bool opened = false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size != 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
        char text[MAX_PATH];
        DWORD length = sizeof text;
        if (IsValidSid(sid) && FormatSidString(sid, text, &length)) {
            const std::string path = std::string(text) + "\\" + subKey;
            opened = RegOpenKeyExA(HKEY_USERS, path.c_str(), 0, KEY_READ, key) == ERROR_SUCCESS;
        }
    }
    if (!opened) *key = nullptr;
    CloseHandle(token);
    return opened;
}

bool SingleUserServices2000::GetUserToken(HANDLE* token, DWORD access) {
    if (token == nullptr || enumProcesses_ == nullptr || enumProcessModules_ == nullptr ||
        getModuleBaseName_ == nullptr)
        return false;
    *token = nullptr;
    std::vector<DWORD> ids(256);
    DWORD bytes = 0;
    for (;;) {
        const DWORD capacity = static_cast<DWORD>(ids.size() * sizeof(DWORD));
        if (!enumProcesses_(ids.data(), capacity, &bytes)) return false;
        if (bytes < capacity) break;
        ids.resize(ids.size() + 64);
    }
    for (size_t i = 0; i < bytes / sizeof(DWORD); ++i) {
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
        if (process == nullptr) continue;
        HMODULE module = nullptr;
        DWORD needed = 0;
        char name[MAX_PATH] = {};
        bool found = false;
        if (enumProcessModules_(process, &module, sizeof module, &needed) &&
            getModuleBaseName_(process, module, name, sizeof name) > 0 && lstrcmpiA(name, "explorer.exe") == 0)
            found = OpenProcessToken(process, access, token) != FALSE;
        CloseHandle(process);
        if (found) return true;
    }
    return false;
}
