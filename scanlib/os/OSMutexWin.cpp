#include "os/OSMutexWin.h"

#include "os/OSFunctions.h"
#include "os/OSWait.h"
#include "os/SecurityAttributes.h"

#include <new>
#include <string>

std::unique_ptr<OSMutexInterface> CreateOSMutex() {
    return std::unique_ptr<OSMutexInterface>(new (std::nothrow) OSMutexWin());
}

OSMutexWin::~OSMutexWin() { Close(); }

bool OSMutexWin::Create(const char* name, bool global) {
    if (handle_) return true;
    SECURITY_ATTRIBUTES* attributes = ProcessSecurityAttributes().Get();
    if (global && name && IsWindowsNT()) {
        const std::string globalName = std::string("Global\\") + name;
        handle_ = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, globalName.c_str());
        if (!handle_) {
            if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
            handle_ = CreateMutexA(attributes, FALSE, globalName.c_str());
        }
    } else {
        handle_ = CreateMutexA(attributes, FALSE, name);
    }
    return handle_ != nullptr;
}

void OSMutexWin::Close() {
    if (handle_) {
        CloseHandle(handle_);
        handle_ = nullptr;
    }
}

int OSMutexWin::Wait(int ms) {
    if (!handle_) return kWaitNoHandle;
    return MapWaitResult(WaitForSingleObject(handle_, static_cast<DWORD>(ms)), true);
}

int OSMutexWin::Lock() { return Wait(static_cast<int>(INFINITE)); }

bool OSMutexWin::Release() { return handle_ && ReleaseMutex(handle_); }
