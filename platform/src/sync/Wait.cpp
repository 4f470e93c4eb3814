// WaitForSingleObject and WaitForMultipleObjects.
#include "sync/MutexObject.h"
#include "sync/Waitable.h"

#include "core/Controls.h"

#include <winbase.h>

#include <vector>

namespace platform {
namespace {

Waitable* AsWaitable(const std::shared_ptr<KernelObject>& object) {
    if (!object) return nullptr;
    const ObjectKind kind = object->Kind();
    if (kind != ObjectKind::Event && kind != ObjectKind::Thread && kind != ObjectKind::Process) return nullptr;
    return static_cast<Waitable*>(object.get());
}

DWORD Failed(DWORD error) {
    SetLastError(error);
    return WAIT_FAILED;
}

}  // namespace
}  // namespace platform

WINBASEAPI DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    using namespace platform;
    if (FailNow("WaitForSingleObject")) return WAIT_FAILED;
    auto object = LookupHandle(hHandle);
    if (!object) return Failed(ERROR_INVALID_HANDLE);
    const Deadline deadline = DeadlineAfter(dwMilliseconds);
    if (object->Kind() == ObjectKind::Mutex) {
        switch (AcquireMutex(static_cast<MutexObject*>(object.get())->Record(), deadline)) {
        case AcquireResult::Acquired: return WAIT_OBJECT_0;
        case AcquireResult::Abandoned: return WAIT_ABANDONED;
        case AcquireResult::TimedOut: return WAIT_TIMEOUT;
        }
    }
    Waitable* waitable = AsWaitable(object);
    if (waitable == nullptr) return Failed(ERROR_INVALID_HANDLE);
    return WaitForAny({waitable}, deadline) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

WINBASEAPI DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                               DWORD dwMilliseconds) {
    using namespace platform;
    if (FailNow("WaitForMultipleObjects")) return WAIT_FAILED;
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr) return Failed(ERROR_INVALID_PARAMETER);
    if (bWaitAll) {
        DebugLine("WaitForMultipleObjects: waiting for all objects is not supported");
        return Failed(ERROR_NOT_SUPPORTED);
    }
    // The objects stay alive for the wait even when their handles are closed.
    std::vector<std::shared_ptr<KernelObject>> objects;
    std::vector<Waitable*> waitables;
    for (DWORD i = 0; i < nCount; ++i) {
        auto object = LookupHandle(lpHandles[i]);
        if (!object) return Failed(ERROR_INVALID_HANDLE);
        if (object->Kind() == ObjectKind::Mutex) {
            DebugLine("WaitForMultipleObjects: mutexes are not supported");
            return Failed(ERROR_NOT_SUPPORTED);
        }
        Waitable* waitable = AsWaitable(object);
        if (waitable == nullptr) return Failed(ERROR_INVALID_HANDLE);
        waitables.push_back(waitable);
        objects.push_back(std::move(object));
    }
    auto index = WaitForAny(waitables, DeadlineAfter(dwMilliseconds));
    return index ? WAIT_OBJECT_0 + static_cast<DWORD>(*index) : WAIT_TIMEOUT;
}
