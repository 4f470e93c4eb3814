// Process objects, the record of started processes and the machine's
// process list.
#include "kernel32/ProcessObject.h"

#include "core/Controls.h"

#include <platform/testing_sessions.h>
#include <winbase.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>

namespace platform {
namespace {

std::atomic<int> g_openProcessHandles{0};

std::string SelfProgramName() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    const std::string full(path, static_cast<size_t>(n));
    return full.substr(full.rfind('/') + 1);
}

bool Alive(DWORD id) { return ::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM; }

}  // namespace

ProcessObject::ProcessObject(DWORD id, std::string programName, UserIdentity user, DWORD session)
    : Waitable(ObjectKind::Process),
      id_(id),
      programName_(std::move(programName)),
      user_(std::move(user)),
      session_(session),
      exitCode_(STILL_ACTIVE) {}

ProcessObject::~ProcessObject() = default;

bool ProcessObject::TryConsume() { return ended_; }

void ProcessObject::OnHandleClosed(HANDLE) { --g_openProcessHandles; }

DWORD ProcessObject::ExitCode() {
    std::lock_guard guard(Lock());
    return exitCode_;
}

void ProcessObject::SetEnded(DWORD exitCode) {
    std::lock_guard guard(Lock());
    ended_ = true;
    exitCode_ = exitCode;
    WakeWaiters();
}

HANDLE NewProcessHandle(std::shared_ptr<ProcessObject> process) {
    ++g_openProcessHandles;
    return InsertHandle(std::move(process));
}

std::shared_ptr<ProcessObject> LookupProcess(HANDLE handle) {
    return LookupHandleAs<ProcessObject>(handle, ObjectKind::Process);
}

std::shared_ptr<ProcessObject> FindProcess(DWORD id) {
    if (id == kShellProcessId) {
        if (!ShellRunning()) return nullptr;
        return std::make_shared<ProcessObject>(id, kShellProgram, ConsoleUser(), ConsoleSession());
    }
    if (id == static_cast<DWORD>(::getpid()))
        return std::make_shared<ProcessObject>(id, SelfProgramName(), ProcessUser(), static_cast<DWORD>(Session()));
    for (const auto& started : testing::StartedProcesses()) {
        if (started.processId != id || !Alive(id)) continue;
        const std::string name = started.program.substr(started.program.rfind('/') + 1);
        const UserIdentity user = started.asUser ? ConsoleUser() : ProcessUser();
        return std::make_shared<ProcessObject>(id, name, UserIdentity{started.user, user.sid}, started.session);
    }
    return nullptr;
}

std::vector<DWORD> MachineProcessIds() {
    std::vector<DWORD> ids{static_cast<DWORD>(::getpid())};
    for (const auto& started : testing::StartedProcesses())
        if (Alive(started.processId) && std::find(ids.begin(), ids.end(), started.processId) == ids.end())
            ids.push_back(started.processId);
    if (ShellRunning()) ids.push_back(kShellProcessId);
    return ids;
}

}  // namespace platform

int platform::testing::OpenProcessHandles() { return platform::g_openProcessHandles.load(); }
