// The process's handle table.
#include "core/Handles.h"

#include "core/Controls.h"

#include <winbase.h>

#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

struct HandleTable {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
    uintptr_t next = 0;
};

// Never destroyed: threads still running at exit may close handles.
HandleTable& Table() {
    static HandleTable* table = new HandleTable;
    return *table;
}

constexpr uintptr_t kStep = 4;

bool IsReserved(uintptr_t value) {
    return value == 0 || value == static_cast<uintptr_t>(-1) || value == static_cast<uintptr_t>(-2);
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
    HandleTable& table = Table();
    std::lock_guard guard(table.lock);
    for (;;) {
        table.next += kStep;
        if (IsReserved(table.next) || table.objects.count(table.next) != 0) continue;
        table.objects.emplace(table.next, std::move(object));
        return reinterpret_cast<HANDLE>(table.next);
    }
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    HandleTable& table = Table();
    std::lock_guard guard(table.lock);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == table.objects.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE handle) {
    std::shared_ptr<KernelObject> object;
    {
        HandleTable& table = Table();
        std::lock_guard guard(table.lock);
        auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
        if (it == table.objects.end()) return false;
        object = std::move(it->second);
        table.objects.erase(it);
    }
    object->OnHandleClosed(handle);
    return true;
}

}  // namespace platform

namespace {
thread_local DWORD t_lastError = 0;
}

WINBASEAPI DWORD WINAPI GetLastError(void) { return t_lastError; }

WINBASEAPI void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

WINBASEAPI BOOL WINAPI CloseHandle(HANDLE hObject) {
    DWORD error = 0;
    if (platform::ShouldFail("CloseHandle", &error)) {
        SetLastError(error);
        return FALSE;
    }
    if (hObject == GetCurrentProcess() || hObject == GetCurrentThread()) return TRUE;
    if (!platform::RemoveHandle(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
