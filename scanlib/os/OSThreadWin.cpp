#include "os/OSThreadWin.h"

#include "os/OSWait.h"
#include "os/ThreadCallback.h"

#include <process.h>

#include <array>
#include <new>
#include <utility>

namespace {

// Library levels and the Win32 priorities they stand for.
constexpr std::array<std::pair<int, int>, 7> kPriorityLevels{{
    {0, THREAD_PRIORITY_NORMAL},
    {1, THREAD_PRIORITY_ABOVE_NORMAL},
    {2, THREAD_PRIORITY_HIGHEST},
    {3, THREAD_PRIORITY_TIME_CRITICAL},
    {-1, THREAD_PRIORITY_BELOW_NORMAL},
    {-2, THREAD_PRIORITY_LOWEST},
    {-3, THREAD_PRIORITY_IDLE},
}};

}  // namespace

std::unique_ptr<OSThreadInterface> CreateOSThread() {
    return std::unique_ptr<OSThreadInterface>(new (std::nothrow) OSThreadWin());
}

OSThreadWin::~OSThreadWin() { Close(); }

unsigned __stdcall OSThreadWin::ThreadProc(void* self) {
    auto* thread = static_cast<OSThreadWin*>(self);
    if (!thread->callback_) return 0;
    return static_cast<unsigned>(thread->callback_->Run(thread->arg_));
}

bool OSThreadWin::Start(ThreadCallback* cb, int arg) {
    if (handle_) return false;
    callback_ = cb;
    arg_ = arg;
    uintptr_t handle = _beginthreadex(security_.Attributes(), 0, &OSThreadWin::ThreadProc, this, 0, &threadId_);
    handle_ = reinterpret_cast<HANDLE>(handle);
    return handle_ != nullptr;
}

int OSThreadWin::Wait(int ms) {
    if (!handle_) return kWaitAcquired;
    return MapWaitResult(WaitForSingleObject(handle_, static_cast<DWORD>(ms)), false);
}

bool OSThreadWin::SetPriority(int level) {
    if (!handle_) return false;
    for (const auto& [library, win32] : kPriorityLevels) {
        if (library == level) return SetThreadPriority(handle_, win32) != FALSE;
    }
    return false;
}

void OSThreadWin::Close() {
    if (handle_) {
        CloseHandle(handle_);
        handle_ = nullptr;
    }
}
