// Processes as kernel objects: programs started through the platform, the
// console user's shell and this process itself.
#pragma once

#include "sync/Waitable.h"
#include "wtsapi32/ConsoleSession.h"

#include <string>

namespace platform {

class ProcessObject final : public Waitable {
public:
    // Signalled once SetEnded is called: by the watcher of a process started
    // here; this process, the shell and processes opened by id never are.
    ProcessObject(DWORD id, std::string programName, UserIdentity user, DWORD session);
    ~ProcessObject() override;

    DWORD Id() const { return id_; }
    const std::string& ProgramName() const { return programName_; }
    const UserIdentity& User() const { return user_; }
    DWORD SessionId() const { return session_; }

    bool TryConsume() override;
    void OnHandleClosed(HANDLE) override;
    // Exit code, STILL_ACTIVE while running.
    DWORD ExitCode();
    // Marks the process ended and wakes waits.
    void SetEnded(DWORD exitCode);

private:
    DWORD id_;
    std::string programName_;  // base name of the program file
    UserIdentity user_;
    DWORD session_;
    bool ended_ = false;
    DWORD exitCode_;
};

// A new handle to `process`, counted for the tests.
HANDLE NewProcessHandle(std::shared_ptr<ProcessObject> process);
std::shared_ptr<ProcessObject> LookupProcess(HANDLE handle);

// The process with this id, if the machine has one: the shell, this process,
// or a live process started through CreateProcess*.
std::shared_ptr<ProcessObject> FindProcess(DWORD id);
// Ids of the machine's processes: this one, the live ones started through
// CreateProcess*, and the shell when it runs.
std::vector<DWORD> MachineProcessIds();

}  // namespace platform
