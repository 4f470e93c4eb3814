// CreateProcessA and CreateProcessAsUserA start real processes: the program
// file found as Windows finds it, the command line split as the C run-time
// splits it, the working directory and environment as asked, and the
// session of the token. Every start is recorded in the machine's root so
// tests (and other processes) can see who was started where.
#include "advapi32/TokenObject.h"
#include "core/Controls.h"
#include "file/PathMap.h"
#include "kernel32/ProcessObject.h"

#include <platform/testing.h>
#include <processthreadsapi.h>
#include <winbase.h>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace platform {
namespace {

// Arguments of a command line by the C run-time's rules: blanks separate
// outside quotes; 2n backslashes before a quote give n and the quote
// toggles quoting; 2n+1 give n and a literal quote.
std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> args;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        std::string arg;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
            if (line[i] == '\\') {
                size_t slashes = 0;
                while (i < line.size() && line[i] == '\\') ++slashes, ++i;
                if (i < line.size() && line[i] == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(slashes, '\\');
                }
            } else if (line[i] == '"') {
                quoted = !quoted;
                ++i;
            } else {
                arg += line[i++];
            }
        }
        args.push_back(arg);
    }
    return args;
}

std::string ExecutableFolder() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    const std::string full(path, static_cast<size_t>(n));
    return full.substr(0, full.rfind('/'));
}

bool IsFile(const std::string& native) {
    struct stat st {};
    return ::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The file `name` in `folder`: the exact name, else a case-insensitive match.
std::optional<std::string> FindInFolder(const std::string& folder, const std::string& name) {
    if (IsFile(folder + "/" + name)) return folder + "/" + name;
    std::vector<std::string> matches;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir))
            if (EqualsIgnoreCase(entry->d_name, name)) matches.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    std::sort(matches.begin(), matches.end());
    for (const auto& match : matches)
        if (IsFile(folder + "/" + match)) return folder + "/" + match;
    return std::nullopt;
}

// The program file: a path, or a bare name searched in the executable's
// folder, the current folder, the system folders and the library path.
// Without an extension ".exe" is added (a Linux program is also found under
// its own name).
std::optional<std::string> ResolveProgram(const std::string& program, DWORD* error) {
    const auto slash = program.find_last_of("\\/");
    std::vector<std::string> names{program};
    if (program.find('.', slash == std::string::npos ? 0 : slash) == std::string::npos)
        names.insert(names.begin(), program + ".exe");
    *error = ERROR_FILE_NOT_FOUND;
    if (slash != std::string::npos) {
        for (const auto& name : names) {
            MappedPath mapped;
            if (!MapPath(name, &mapped, error)) return std::nullopt;
            if (IsFile(mapped.native)) return mapped.native;
        }
        *error = ERROR_FILE_NOT_FOUND;
        return std::nullopt;
    }
    std::vector<std::string> folders{ExecutableFolder(), "."};
    folders.push_back(DriveFolder('c') + "/Windows/System32");
    folders.push_back(DriveFolder('c') + "/Windows");
    for (const auto& folder : LibraryPath()) folders.push_back(folder);
    for (const auto& folder : folders)
        for (const auto& name : names)
            if (auto found = FindInFolder(folder, name)) return found;
    return std::nullopt;
}

// Windows runs any program file it can read: give it the execute permission
// where it can be read.
void MakeExecutable(const std::string& native) {
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0 || ::access(native.c_str(), X_OK) == 0) return;
    ::chmod(native.c_str(), (st.st_mode & 07777) | ((st.st_mode & 0444) >> 2));
}

// Programs find the platform wherever they are, as Windows programs find
// the system's modules: the folder of this platform library and the library
// path come first in the loader's search (a folder of the other build is
// passed over by the loader for a program of that build).
std::string SystemLibraryPath(const std::vector<std::string>& env) {
    std::string path;
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&CreateProcessA), &info) != 0 && info.dli_fname != nullptr) {
        const std::string self = info.dli_fname;
        if (self.find('/') != std::string::npos) path = self.substr(0, self.rfind('/'));
    }
    for (const auto& folder : LibraryPath()) path += (path.empty() ? "" : ":") + folder;
    for (const auto& entry : env)
        if (entry.rfind("LD_LIBRARY_PATH=", 0) == 0 && entry.size() > 16) path += ":" + entry.substr(16);
    return path;
}

void SetPair(std::vector<std::string>& env, const std::string& pair) {
    const std::string name = pair.substr(0, pair.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.compare(0, name.size(), name) == 0; });
    env.push_back(pair);
}

// The child's environment: the given block or ours, with this process's
// controls as they are now (they may differ from our environment's) and the
// child's session.
std::vector<std::string> ChildEnvironmentFor(const char* block, DWORD session) {
    std::vector<std::string> env;
    if (block != nullptr) {
        for (const char* p = block; *p != '\0'; p += std::strlen(p) + 1) env.emplace_back(p);
    } else {
        for (char** e = environ; e && *e; ++e) env.emplace_back(*e);
    }
    for (const auto& pair : testing::ChildEnvironment()) SetPair(env, pair);
    SetPair(env, "PLATFORM_SESSION=" + std::to_string(session));
    SetPair(env, "LD_LIBRARY_PATH=" + SystemLibraryPath(env));
    return env;
}

std::string Field(std::string text) {
    std::replace(text.begin(), text.end(), '\t', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

std::string RecordPath() { return RootPath() + "/sessions/processes"; }

void Record(const testing::StartedProcess& p) {
    ::mkdir((RootPath() + "/sessions").c_str(), 0777);
    std::ostringstream line;
    line << p.processId << '\t' << (p.asUser ? 1 : 0) << '\t' << Field(p.user) << '\t' << p.session << '\t'
         << Field(p.desktop) << '\t' << Field(p.workingDirectory) << '\t' << Field(p.commandLine) << '\t'
         << Field(p.program) << '\n';
    const std::string text = line.str();
    const int fd = ::open(RecordPath().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return;
    // One write per line: lines of several processes never mix.
    [[maybe_unused]] const ssize_t written = ::write(fd, text.data(), text.size());
    ::close(fd);
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL Start(bool asUser, const UserIdentity& user, DWORD session, LPCSTR application, LPSTR commandLine,
           LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startup, LPPROCESS_INFORMATION info) {
    if (startup == nullptr || info == nullptr || (application == nullptr && commandLine == nullptr))
        return Fail(ERROR_INVALID_PARAMETER);
    const std::string line = commandLine ? commandLine : application;
    std::vector<std::string> args = SplitCommandLine(line);
    if (args.empty()) return Fail(ERROR_INVALID_PARAMETER);
    DWORD error = 0;
    auto program = ResolveProgram(application ? std::string(application) : args[0], &error);
    if (!program) return Fail(error);

    std::string folder;
    if (currentDirectory != nullptr) {
        MappedPath mapped;
        if (!MapPath(currentDirectory, &mapped, &error)) return Fail(error);
        struct stat st {};
        if (::stat(mapped.native.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return Fail(ERROR_DIRECTORY);
        folder = mapped.native;
    }
    MakeExecutable(*program);

    std::vector<std::string> env = ChildEnvironmentFor(static_cast<const char*>(environment), session);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program->c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        DebugLine("CreateProcess: " + *program + ": " + std::strerror(rc));
        return Fail(rc == ENOENT ? ERROR_FILE_NOT_FOUND : rc == ENOEXEC ? ERROR_BAD_EXE_FORMAT : ERROR_ACCESS_DENIED);
    }

    testing::StartedProcess started;
    started.processId = static_cast<DWORD>(pid);
    started.asUser = asUser;
    started.user = user.name;
    started.session = session;
    started.desktop = startup->lpDesktop ? startup->lpDesktop : "";
    started.workingDirectory = currentDirectory ? currentDirectory : "";
    started.commandLine = line;
    started.program = *program;
    Record(started);

    const std::string name = program->substr(program->rfind('/') + 1);
    auto process = std::make_shared<ProcessObject>(started.processId, name, user, session);
    std::thread([process, pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        const DWORD code = WIFEXITED(status) ? static_cast<DWORD>(WEXITSTATUS(status)) : 0xC0000005u;
        process->SetEnded(code);
    }).detach();

    info->hProcess = NewProcessHandle(process);
    info->hThread = NewProcessHandle(process);
    info->dwProcessId = started.processId;
    info->dwThreadId = started.processId;
    return TRUE;
}

}  // namespace
}  // namespace platform

std::vector<platform::testing::StartedProcess> platform::testing::StartedProcesses() {
    std::vector<StartedProcess> list;
    std::ifstream in(RecordPath());
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::string field;
        std::istringstream parts(line);
        while (std::getline(parts, field, '\t')) fields.push_back(field);
        if (fields.size() != 8) continue;
        StartedProcess p;
        p.processId = static_cast<DWORD>(std::stoul(fields[0]));
        p.asUser = fields[1] == "1";
        p.user = fields[2];
        p.session = static_cast<DWORD>(std::stoul(fields[3]));
        p.desktop = fields[4];
        p.workingDirectory = fields[5];
        p.commandLine = fields[6];
        p.program = fields[7];
        list.push_back(p);
    }
    return list;
}

WINBASEAPI BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                                      LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID lpEnvironment,
                                      LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                                      LPPROCESS_INFORMATION lpProcessInformation) {
    using namespace platform;
    if (FailNow("CreateProcessA")) return FALSE;
    return Start(false, ProcessUser(), static_cast<DWORD>(Session()), lpApplicationName, lpCommandLine, lpEnvironment,
                 lpCurrentDirectory, lpStartupInfo, lpProcessInformation);
}

WINBASEAPI BOOL WINAPI CreateProcessAsUserA(HANDLE hToken, LPCSTR lpApplicationName, LPSTR lpCommandLine,
                                            LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                                            LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                                            LPSTARTUPINFOA lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation) {
    using namespace platform;
    if (FailNow("CreateProcessAsUserA")) return FALSE;
    auto token = LookupToken(hToken);
    if (!token) return Fail(ERROR_INVALID_HANDLE);
    return Start(true, token->User(), token->SessionId(), lpApplicationName, lpCommandLine, lpEnvironment,
                 lpCurrentDirectory, lpStartupInfo, lpProcessInformation);
}

WINBASEAPI HANDLE WINAPI OpenProcess(DWORD, BOOL, DWORD dwProcessId) {
    using namespace platform;
    if (FailNow("OpenProcess")) return nullptr;
    auto process = FindProcess(dwProcessId);
    if (!process) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return NewProcessHandle(std::move(process));
}

WINBASEAPI BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    using namespace platform;
    if (FailNow("GetExitCodeProcess")) return FALSE;
    auto process = LookupProcess(hProcess);
    if (!process || lpExitCode == nullptr) return Fail(process ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    *lpExitCode = process->ExitCode();
    return TRUE;
}

WINBASEAPI BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD, PHANDLE TokenHandle) {
    using namespace platform;
    if (FailNow("OpenProcessToken")) return FALSE;
    if (TokenHandle == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (ProcessHandle == GetCurrentProcess()) {
        *TokenHandle = NewTokenHandle(ProcessUser(), static_cast<DWORD>(Session()));
        return TRUE;
    }
    auto process = LookupProcess(ProcessHandle);
    if (!process) return Fail(ERROR_INVALID_HANDLE);
    *TokenHandle = NewTokenHandle(process->User(), process->SessionId());
    return TRUE;
}
