// Threads: _beginthreadex, exit codes, priorities mapped onto nice values.
#include "sync/RobustMutex.h"
#include "sync/Waitable.h"

#include "core/Controls.h"

#include <process.h>
#include <winbase.h>

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>

namespace platform {
namespace {

struct PriorityLevel {
    int level;
    int nice;
};

constexpr std::array<PriorityLevel, 7> kPriorities{{
    {THREAD_PRIORITY_IDLE, 19},
    {THREAD_PRIORITY_LOWEST, 10},
    {THREAD_PRIORITY_BELOW_NORMAL, 5},
    {THREAD_PRIORITY_NORMAL, 0},
    {THREAD_PRIORITY_ABOVE_NORMAL, -5},
    {THREAD_PRIORITY_HIGHEST, -10},
    {THREAD_PRIORITY_TIME_CRITICAL, -20},
}};

constexpr size_t kDefaultStack = 1024 * 1024;

// The control block shared by the thread and its handles.
class ThreadObject final : public Waitable {
public:
    ThreadObject() : Waitable(ObjectKind::Thread) {}

    bool TryConsume() override { return finished_; }
    void Finish(DWORD code) {
        std::lock_guard guard(Lock());
        exitCode_ = code;
        finished_ = true;
        WakeWaiters();
    }
    DWORD ExitCode() {
        std::lock_guard guard(Lock());
        return finished_ ? exitCode_ : STILL_ACTIVE;
    }

    std::atomic<pid_t> tid{0};
    std::atomic<int> priority{THREAD_PRIORITY_NORMAL};

private:
    bool finished_ = false;
    DWORD exitCode_ = 0;
};

struct StartBlock {
    std::shared_ptr<ThreadObject> object;
    unsigned(__stdcall* proc)(void*);
    void* arg;
};

pid_t CurrentTid() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

// Priority of threads not started here (main, std::thread): the last level set.
thread_local int t_ownPriority = THREAD_PRIORITY_NORMAL;
// The control block of a thread started here, seen from inside it.
thread_local ThreadObject* t_self = nullptr;

void* ThreadMain(void* raw) {
    std::unique_ptr<StartBlock> start(static_cast<StartBlock*>(raw));
    ClaimStartedThread();
    start->object->tid = CurrentTid();
    t_self = start->object.get();
    unsigned code = start->proc(start->arg);
    // As on Windows, what the thread still owns is abandoned before its
    // handle is signalled.
    AbandonOwnedMutexes();
    start->object->Finish(code);
    return nullptr;
}

// Resolves a handle to the thread's id and priority slot.
bool ThreadTarget(HANDLE handle, pid_t* tid, std::atomic<int>** slot, std::shared_ptr<ThreadObject>* keep) {
    if (handle == GetCurrentThread()) {
        *tid = CurrentTid();
        *slot = t_self ? &t_self->priority : nullptr;
        return true;
    }
    *keep = LookupHandleAs<ThreadObject>(handle, ObjectKind::Thread);
    if (!*keep) return false;
    *tid = (*keep)->tid;
    *slot = &(*keep)->priority;
    return true;
}

}  // namespace
}  // namespace platform

extern "C" PLATFORM_EXPORT uintptr_t _beginthreadex(void*, unsigned stack_size, unsigned(__stdcall* start_address)(void*),
                                                    void* arglist, unsigned initflag, unsigned* thrdaddr) {
    using namespace platform;
    if (FailNow("_beginthreadex")) {
        errno = EAGAIN;
        return 0;
    }
    if (initflag != 0 || start_address == nullptr) {
        errno = EINVAL;
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto object = std::make_shared<ThreadObject>();
    auto start = std::make_unique<StartBlock>(StartBlock{object, start_address, arglist});
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    size_t stack = 0;
    pthread_attr_getstacksize(&attr, &stack);
    // The requested size is a minimum: never less than the default stack.
    stack = std::max({stack, kDefaultStack, static_cast<size_t>(stack_size)});
    pthread_attr_setstacksize(&attr, stack);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    // The id is known before the handle is handed out.
    std::atomic<pid_t>* tidSlot = &object->tid;
    HANDLE handle = InsertHandle(object);
    // Counted from now: the virtual clock never moves on before the new
    // thread has run up to its first wait.
    CountStartingThread();
    pthread_t thread;
    int rc = pthread_create(&thread, &attr, ThreadMain, start.get());
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        UncountStartingThread();
        RemoveHandle(handle);
        errno = rc;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    start.release();
    while (tidSlot->load() == 0) sched_yield();
    if (thrdaddr != nullptr) *thrdaddr = static_cast<unsigned>(tidSlot->load());
    return reinterpret_cast<uintptr_t>(handle);
}

WINBASEAPI BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    using namespace platform;
    if (FailNow("GetExitCodeThread")) return FALSE;
    auto thread = LookupHandleAs<ThreadObject>(hThread, ObjectKind::Thread);
    if (!thread || lpExitCode == nullptr) {
        SetLastError(thread ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpExitCode = thread->ExitCode();
    return TRUE;
}

WINBASEAPI BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
    using namespace platform;
    if (FailNow("SetThreadPriority")) return FALSE;
    const PriorityLevel* level = nullptr;
    for (const auto& p : kPriorities)
        if (p.level == nPriority) level = &p;
    if (level == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    pid_t tid = 0;
    std::atomic<int>* slot = nullptr;
    std::shared_ptr<ThreadObject> keep;
    if (!ThreadTarget(hThread, &tid, &slot, &keep)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // A refused change (unprivileged raise) still counts as done: callers
    // treat a failure here as fatal.
    if (!PriorityChangesRefused()) {
        if (::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), level->nice) != 0 && errno != EPERM &&
            errno != EACCES && errno != ESRCH) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }
    if (slot) *slot = nPriority;
    else t_ownPriority = nPriority;
    return TRUE;
}

WINBASEAPI int WINAPI GetThreadPriority(HANDLE hThread) {
    using namespace platform;
    if (FailNow("GetThreadPriority")) return THREAD_PRIORITY_ERROR_RETURN;
    pid_t tid = 0;
    std::atomic<int>* slot = nullptr;
    std::shared_ptr<ThreadObject> keep;
    if (!ThreadTarget(hThread, &tid, &slot, &keep)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return THREAD_PRIORITY_ERROR_RETURN;
    }
    return slot ? slot->load() : t_ownPriority;
}

WINBASEAPI HANDLE WINAPI GetCurrentThread(void) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }

WINBASEAPI DWORD WINAPI GetCurrentThreadId(void) { return static_cast<DWORD>(platform::CurrentTid()); }
