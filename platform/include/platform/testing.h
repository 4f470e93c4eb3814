// Test controls of the emulated machine: its root, the Windows version and
// WOW64 state reported, hidden modules and exports, failure injection,
// scripted message boxes, debug-output capture, clocks, and child-process
// tests. Every setting applies to this process at once; ChildEnvironment()
// carries the settings to child processes.
#pragma once

#include <windef.h>
#include <winerror.h>
#include <winnt.h>

#include <platform/testing_io.h>
#include <platform/testing_sessions.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct IStillImageW;

namespace platform::testing {

// A fresh emulated machine under $TMPDIR for the lifetime of the object:
// created, initialised, made the current root (and the children's), then
// removed; the previous root is restored.
class PLATFORM_EXPORT ScopedRoot {
public:
    ScopedRoot();
    ~ScopedRoot();
    ScopedRoot(const ScopedRoot&) = delete;
    ScopedRoot& operator=(const ScopedRoot&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

PLATFORM_EXPORT void SetRoot(const std::string& path);
PLATFORM_EXPORT std::string Root();

// Puts every control back to the values this process started with (its
// environment); the test main does so before each test.
PLATFORM_EXPORT void ResetControls();

PLATFORM_EXPORT void SetWindowsVersion(DWORD major, DWORD minor, DWORD platformId = VER_PLATFORM_WIN32_NT,
                                            DWORD build = 0);
// std::nullopt: report the real state.
PLATFORM_EXPORT void SetWow64(std::optional<bool> wow64);
// Hides module!export from GetProcAddress, or the whole module from
// LoadLibraryA when exportName is empty.
PLATFORM_EXPORT void Hide(const std::string& module, const std::string& exportName = "");
PLATFORM_EXPORT void RefusePriority(bool refuse);
// The next `count` calls of `function` after `skip` successful ones fail with
// `error` (count 0: every later call).
PLATFORM_EXPORT void InjectFailure(const std::string& function, DWORD error = ERROR_GEN_FAILURE,
                                        unsigned skip = 0, unsigned count = 0);
PLATFORM_EXPORT void ClearFailures();
PLATFORM_EXPORT void SetClockOffset(int64_t milliseconds);
// Folders searched last by LoadLibraryA, separated by ':'.
PLATFORM_EXPORT void SetLibraryPath(const std::string& folders);
PLATFORM_EXPORT void SetSession(int session);

// Message boxes: answers are used in order, then the default button.
struct MessageBoxRecord {
    std::string text;
    std::string caption;
    UINT type = 0;
};
PLATFORM_EXPORT void QueueMessageBoxAnswer(int answer);
PLATFORM_EXPORT std::vector<MessageBoxRecord> MessageBoxes();
PLATFORM_EXPORT std::vector<UINT> MessageBeeps();

// Global memory blocks allocated and not yet freed with GlobalFree.
PLATFORM_EXPORT size_t LiveGlobalBlocks();

// Debug output: captured lines are "[pid] text" without the line end.
PLATFORM_EXPORT void CaptureDebugOutput(bool capture = true);
PLATFORM_EXPORT std::vector<std::string> TakeDebugOutput();

// Still Image: the factory behind StiCreateInstanceW (empty: an empty client).
using StillImageFactory = std::function<HRESULT(IStillImageW** out)>;
PLATFORM_EXPORT void SetStillImageFactory(StillImageFactory factory);

// NAME=value pairs that give a child process this process's controls.
PLATFORM_EXPORT std::vector<std::string> ChildEnvironment();

// ---- child-process tests ----
// A test program runs a registered role instead of its tests when started
// with PLATFORM_TEST_CHILD=<role>; the role's result is the exit status.
// Roles talk to the parent through their standard input and output.
using ChildRole = int (*)(const std::vector<std::string>& args);
PLATFORM_EXPORT bool RegisterChildRole(const std::string& name, ChildRole role);
// Runs the role named by the environment, if any; the test main calls it.
PLATFORM_EXPORT std::optional<int> RunChildRoleFromEnvironment(int argc, char** argv);

class PLATFORM_EXPORT ChildProcess {
public:
    // Starts this test program (or `program`) as a child running `role`, with
    // ChildEnvironment() and then `environment` (NAME=value pairs, replacing
    // those of the same name); the child's stdin and stdout are pipes to us.
    ChildProcess(const std::string& role, const std::vector<std::string>& args = {},
                 const std::string& program = "", const std::vector<std::string>& environment = {});
    ~ChildProcess();  // kills and reaps a child still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    int Pid() const { return pid_; }
    // A line from the child's stdout without its end; nullopt at end of file.
    std::optional<std::string> ReadLine();
    bool WriteLine(const std::string& line);
    // Exit code, or -signal when a signal ended it.
    int Wait();
    void Kill(int signal = 9);

private:
    int pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string buffered_;
    std::optional<int> status_;
};

}  // namespace platform::testing
