// User services of a single-user system: the caller is the user.
#include "SingleUserServices.h"

SingleUserServices::SingleUserServices(DWORD waitLimit) : UserServices(waitLimit) {}

bool SingleUserServices::EnterUserDesktop() { return true; }

void SingleUserServices::LeaveUserDesktop() {}

bool SingleUserServices::RunProgram(std::string commandLine, bool wait) {
    return StartProgram(nullptr, commandLine, wait);
}

bool SingleUserServices::HasUserToken() { return true; }

int SingleUserServices::ShowMessage(const char* text, const char* caption, int style) {
    return MessageBoxA(nullptr, text, caption, static_cast<UINT>(style) | MB_SERVICE_NOTIFICATION);
}

bool SingleUserServices::OpenUserKey(std::string subKey, HKEY* key) {
    if (key == nullptr) return false;
    *key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, key) == ERROR_SUCCESS) return true;
    *key = nullptr;
    return false;
}

bool SingleUserServices::Init() { return true; }

bool SingleUserServices::StartProgram(HANDLE token, const std::string& commandLine, bool wait) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    char desktop[] = "default";
    startup.lpDesktop = desktop;
    PROCESS_INFORMATION process{};
    std::string line = commandLine;  // the process functions may write into it
    const BOOL started = token != nullptr ? CreateProcessAsUserA(token, nullptr, line.data(), nullptr, nullptr, FALSE,
                                                                 0, nullptr, "C:\\", &startup, &process)
                                          : CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                                           "C:\\", &startup, &process);
    if (!started) return false;
    bool result = true;
    if (wait) result = WaitForSingleObject(process.hProcess, WaitLimit()) == WAIT_OBJECT_0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}
