// The emulated machine's root: chosen from PLATFORM_ROOT (or a per-user
// default) at first use, laid out once per root and process.
#include "core/Root.h"
#include "sti/ServiceConnection.h"

#include "core/Controls.h"

#include <platform/testing.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>

namespace platform {
namespace {

struct RootState {
    std::mutex lock;
    std::string root;
    std::set<std::string> initialised;
};

RootState& State() {
    static RootState* state = new RootState;
    return *state;
}

constexpr const char* kFolders[] = {
    "drives/c/Windows/System32",
    "drives/c/Windows/Temp",
    "drives/c/ProgramData",
    "drives/c/Program Files",
    "drives/c/Users/User/AppData/Roaming",
    "drives/c/Users/User/AppData/Local",
    "drives/c/Users/User/Documents",
    "devices",
    "objects/global",
    "services",
};

std::string DefaultRoot() {
    if (const char* env = std::getenv("PLATFORM_ROOT"); env && *env) return env;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share/platform-root";
}

}  // namespace

bool InitialiseRoot(const std::string& root) {
    std::error_code ec;
    std::filesystem::create_directories(root, ec);
    int fd = ::open((root + "/init.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    ::flock(fd, LOCK_EX);
    bool ok = true;
    for (const char* folder : kFolders) {
        std::filesystem::create_directories(root + "/" + folder, ec);
        if (ec) ok = false;
    }
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return ok;
}

void SetRootPath(const std::string& path) {
    RootState& state = State();
    std::lock_guard guard(state.lock);
    state.root = path;
    if (!path.empty()) {
        state.initialised.insert(path);
        InitialiseRoot(path);
    }
}

std::string RootPathIfSet() {
    RootState& state = State();
    std::lock_guard guard(state.lock);
    return state.root;
}

std::string RootPath() {
    RootState& state = State();
    std::lock_guard guard(state.lock);
    if (state.root.empty()) state.root = DefaultRoot();
    if (state.initialised.insert(state.root).second) InitialiseRoot(state.root);
    return state.root;
}

}  // namespace platform

namespace platform::testing {

void SetRoot(const std::string& path) { SetRootPath(path); }

std::string Root() { return RootPath(); }

ScopedRoot::ScopedRoot() : previous_(RootPathIfSet()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/platform-root-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
        SetRootPath(path_);
    }
}

ScopedRoot::~ScopedRoot() {
    if (!path_.empty()) platform::sti::StopHost(path_);
    SetRootPath(previous_);
    if (!path_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
}

}  // namespace platform::testing
