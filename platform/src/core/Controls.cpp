// Test controls: read from the environment at first use, changed through
// platform::testing, and handed to children as environment pairs.
#include "core/Controls.h"

#include "core/DebugOutput.h"
#include "core/Root.h"
#include "wtsapi32/ConsoleSession.h"

#include <platform/testing.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <sstream>

namespace platform {
namespace {

struct Failure {
    std::string function;
    DWORD error = ERROR_GEN_FAILURE;
    unsigned skip = 0;
    std::optional<unsigned> remaining;  // nullopt: fails for ever
};

struct HiddenName {
    std::string module;  // lower case, without ".dll"
    std::string exportName;
};

struct ControlState {
    WindowsVersionInfo version;
    std::optional<bool> wow64;
    std::vector<HiddenName> hidden;
    std::optional<uint64_t> freeSpace;
    std::vector<std::pair<std::string, uint64_t>> freeSpaceOf;  // folder (as given), bytes
    bool refusePriority = false;
    std::vector<Failure> failures;
    std::deque<int> messageBoxAnswers;
    std::vector<testing::MessageBoxRecord> messageBoxes;
    std::vector<UINT> beeps;
    int64_t clockOffset = 0;
    std::string libraryPath;
    DWORD syncCompletion = 0;
    int session = 1;
    std::function<HRESULT(IStillImageW**)> stillImage;
};

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        if (!part.empty()) parts.push_back(part);
    return parts;
}

bool ParseUnsigned(const std::string& text, uint64_t* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (*end != '\0') return false;
    *value = parsed;
    return true;
}

std::string ModuleKey(std::string module) {
    std::transform(module.begin(), module.end(), module.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (module.size() > 4 && module.compare(module.size() - 4, 4, ".dll") == 0) module.resize(module.size() - 4);
    return module;
}

// "maj.min[.build][:platform]"
bool ParseVersion(const std::string& text, WindowsVersionInfo* version) {
    std::string numbers = text;
    WindowsVersionInfo parsed;
    parsed.build = 0;
    auto colon = text.find(':');
    if (colon != std::string::npos) {
        uint64_t platformId = 0;
        if (!ParseUnsigned(text.substr(colon + 1), &platformId)) return false;
        parsed.platformId = static_cast<DWORD>(platformId);
        numbers = text.substr(0, colon);
    }
    auto parts = Split(numbers, '.');
    if (parts.size() < 2 || parts.size() > 3) return false;
    uint64_t value[3] = {0, 0, 0};
    for (size_t i = 0; i < parts.size(); ++i)
        if (!ParseUnsigned(parts[i], &value[i])) return false;
    parsed.major = static_cast<DWORD>(value[0]);
    parsed.minor = static_cast<DWORD>(value[1]);
    parsed.build = static_cast<DWORD>(value[2]);
    *version = parsed;
    return true;
}

// "Func[:error][@skip][*count]"
bool ParseFailure(const std::string& text, Failure* failure) {
    size_t end = text.find_first_of(":@*");
    failure->function = text.substr(0, end);
    if (failure->function.empty()) return false;
    while (end != std::string::npos) {
        char kind = text[end];
        size_t next = text.find_first_of(":@*", end + 1);
        uint64_t value = 0;
        if (!ParseUnsigned(text.substr(end + 1, next == std::string::npos ? std::string::npos : next - end - 1),
                           &value))
            return false;
        if (kind == ':') failure->error = static_cast<DWORD>(value);
        if (kind == '@') failure->skip = static_cast<unsigned>(value);
        if (kind == '*') failure->remaining = static_cast<unsigned>(value);
        end = next;
    }
    return true;
}

void LoadFromEnvironment(ControlState& state) {
    state = ControlState{};
    ParseVersion(Env("PLATFORM_WINVER"), &state.version);
    std::string wow64 = Env("PLATFORM_WOW64");
    if (wow64 == "0" || wow64 == "1") state.wow64 = wow64 == "1";
    for (const auto& entry : Split(Env("PLATFORM_HIDE"), ';')) {
        auto bang = entry.find('!');
        state.hidden.push_back({ModuleKey(entry.substr(0, bang)),
                                bang == std::string::npos ? std::string() : entry.substr(bang + 1)});
    }
    uint64_t value = 0;
    if (ParseUnsigned(Env("PLATFORM_FREE_SPACE"), &value)) state.freeSpace = value;
    state.refusePriority = Env("PLATFORM_REFUSE_PRIORITY") == "1";
    for (const auto& entry : Split(Env("PLATFORM_FAIL"), ';')) {
        Failure failure;
        if (ParseFailure(entry, &failure)) state.failures.push_back(failure);
    }
    for (const auto& entry : Split(Env("PLATFORM_MSGBOX"), ','))
        if (ParseUnsigned(entry, &value)) state.messageBoxAnswers.push_back(static_cast<int>(value));
    std::string offset = Env("PLATFORM_CLOCK_OFFSET_MS");
    if (!offset.empty()) state.clockOffset = std::strtoll(offset.c_str(), nullptr, 10);
    state.libraryPath = Env("PLATFORM_LIBRARY_PATH");
    if (ParseUnsigned(Env("PLATFORM_SYNC_COMPLETION_MS"), &value)) state.syncCompletion = static_cast<DWORD>(value);
    if (ParseUnsigned(Env("PLATFORM_SESSION"), &value)) state.session = static_cast<int>(value);
}

struct Controls {
    std::mutex lock;
    ControlState state;
    std::atomic<bool> anyFailure{false};

    Controls() {
        LoadFromEnvironment(state);
        anyFailure = !state.failures.empty();
    }
};

// Never destroyed: threads running at exit still ask.
Controls& Get() {
    static Controls* controls = new Controls;
    return *controls;
}

template <typename F>
auto With(F&& f) {
    Controls& controls = Get();
    std::lock_guard guard(controls.lock);
    return f(controls.state);
}

}  // namespace

bool ShouldFail(const char* function, DWORD* error) {
    Controls& controls = Get();
    if (!controls.anyFailure.load(std::memory_order_relaxed)) return false;
    std::lock_guard guard(controls.lock);
    auto& failures = controls.state.failures;
    for (auto it = failures.begin(); it != failures.end(); ++it) {
        if (it->function != function) continue;
        if (it->skip > 0) {
            --it->skip;
            return false;
        }
        *error = it->error;
        if (it->remaining && --*it->remaining == 0) failures.erase(it);
        controls.anyFailure = !failures.empty();
        return true;
    }
    return false;
}

bool IsHidden(const std::string& module, const std::string& exportName) {
    std::string key = ModuleKey(module);
    return With([&](ControlState& s) {
        return std::any_of(s.hidden.begin(), s.hidden.end(), [&](const HiddenName& h) {
            return h.module == key && (h.exportName.empty() || h.exportName == exportName);
        });
    });
}

std::optional<uint64_t> FreeSpaceOverride() {
    return With([](ControlState& s) { return s.freeSpace; });
}
std::vector<std::pair<std::string, uint64_t>> FreeSpaceFolders() {
    return With([](ControlState& s) { return s.freeSpaceOf; });
}
DWORD SyncCompletionMs() {
    return With([](ControlState& s) { return s.syncCompletion; });
}
int Session() {
    return With([](ControlState& s) { return s.session; });
}
WindowsVersionInfo WindowsVersion() {
    return With([](ControlState& s) { return s.version; });
}
std::optional<bool> Wow64Override() {
    return With([](ControlState& s) { return s.wow64; });
}
bool PriorityChangesRefused() {
    return With([](ControlState& s) { return s.refusePriority; });
}
int64_t ClockOffsetMs() {
    return With([](ControlState& s) { return s.clockOffset; });
}
std::vector<std::string> LibraryPath() {
    return Split(With([](ControlState& s) { return s.libraryPath; }), ':');
}
std::optional<int> RecordMessageBox(const std::string& text, const std::string& caption, UINT type) {
    return With([&](ControlState& s) -> std::optional<int> {
        s.messageBoxes.push_back({text, caption, type});
        if (s.messageBoxAnswers.empty()) return std::nullopt;
        int answer = s.messageBoxAnswers.front();
        s.messageBoxAnswers.pop_front();
        return answer;
    });
}
void RecordMessageBeep(UINT type) {
    With([&](ControlState& s) { s.beeps.push_back(type); });
}
std::function<HRESULT(IStillImageW**)> StillImageFactoryOverride() {
    return With([](ControlState& s) { return s.stillImage; });
}

}  // namespace platform

namespace platform::testing {

void ResetControls() {
    Controls& controls = Get();
    std::lock_guard guard(controls.lock);
    LoadFromEnvironment(controls.state);
    controls.anyFailure = !controls.state.failures.empty();
    ResetSessionControls();
}

void SetWindowsVersion(DWORD major, DWORD minor, DWORD platformId, DWORD build) {
    With([&](ControlState& s) { s.version = {major, minor, build, platformId}; });
}
void SetWow64(std::optional<bool> wow64) {
    With([&](ControlState& s) { s.wow64 = wow64; });
}
void Hide(const std::string& module, const std::string& exportName) {
    With([&](ControlState& s) { s.hidden.push_back({ModuleKey(module), exportName}); });
}
void SetFreeSpace(std::optional<uint64_t> bytes) {
    With([&](ControlState& s) { s.freeSpace = bytes; });
}
void SetFreeSpaceOf(const std::string& folder, std::optional<uint64_t> bytes) {
    With([&](ControlState& s) {
        std::erase_if(s.freeSpaceOf, [&](const auto& entry) { return entry.first == folder; });
        if (bytes) s.freeSpaceOf.emplace_back(folder, *bytes);
    });
}
void RefusePriority(bool refuse) {
    With([&](ControlState& s) { s.refusePriority = refuse; });
}
void InjectFailure(const std::string& function, DWORD error, unsigned skip, unsigned count) {
    Controls& controls = Get();
    std::lock_guard guard(controls.lock);
    Failure failure{function, error, skip, std::nullopt};
    if (count != 0) failure.remaining = count;
    controls.state.failures.push_back(failure);
    controls.anyFailure = true;
}
void ClearFailures() {
    Controls& controls = Get();
    std::lock_guard guard(controls.lock);
    controls.state.failures.clear();
    controls.anyFailure = false;
}
void SetClockOffset(int64_t milliseconds) {
    With([&](ControlState& s) { s.clockOffset = milliseconds; });
}
void SetLibraryPath(const std::string& folders) {
    With([&](ControlState& s) { s.libraryPath = folders; });
}
void SetSyncCompletion(DWORD milliseconds) {
    With([&](ControlState& s) { s.syncCompletion = milliseconds; });
}
void SetSession(int session) {
    With([&](ControlState& s) { s.session = session; });
}
void QueueMessageBoxAnswer(int answer) {
    With([&](ControlState& s) { s.messageBoxAnswers.push_back(answer); });
}
std::vector<MessageBoxRecord> MessageBoxes() {
    return With([](ControlState& s) { return s.messageBoxes; });
}
std::vector<UINT> MessageBeeps() {
    return With([](ControlState& s) { return s.beeps; });
}
void SetStillImageFactory(StillImageFactory factory) {
    With([&](ControlState& s) { s.stillImage = std::move(factory); });
}

std::vector<std::string> ChildEnvironment() {
    std::vector<std::string> env;
    env.push_back("PLATFORM_ROOT=" + RootPath());
    With([&](ControlState& s) {
        const auto& v = s.version;
        env.push_back("PLATFORM_WINVER=" + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
                      std::to_string(v.build) + ":" + std::to_string(v.platformId));
        if (s.wow64) env.push_back(std::string("PLATFORM_WOW64=") + (*s.wow64 ? "1" : "0"));
        std::string hidden;
        for (const auto& h : s.hidden) hidden += h.module + (h.exportName.empty() ? "" : "!" + h.exportName) + ";";
        if (!hidden.empty()) env.push_back("PLATFORM_HIDE=" + hidden);
        if (s.freeSpace) env.push_back("PLATFORM_FREE_SPACE=" + std::to_string(*s.freeSpace));
        if (s.refusePriority) env.push_back("PLATFORM_REFUSE_PRIORITY=1");
        std::string failures;
        for (const auto& f : s.failures) {
            failures += f.function + ":" + std::to_string(f.error) + "@" + std::to_string(f.skip);
            if (f.remaining) failures += "*" + std::to_string(*f.remaining);
            failures += ";";
        }
        if (!failures.empty()) env.push_back("PLATFORM_FAIL=" + failures);
        std::string answers;
        for (int a : s.messageBoxAnswers) answers += (answers.empty() ? "" : ",") + std::to_string(a);
        if (!answers.empty()) env.push_back("PLATFORM_MSGBOX=" + answers);
        if (s.clockOffset != 0) env.push_back("PLATFORM_CLOCK_OFFSET_MS=" + std::to_string(s.clockOffset));
        if (!s.libraryPath.empty()) env.push_back("PLATFORM_LIBRARY_PATH=" + s.libraryPath);
        if (s.syncCompletion != 0) env.push_back("PLATFORM_SYNC_COMPLETION_MS=" + std::to_string(s.syncCompletion));
        env.push_back("PLATFORM_SESSION=" + std::to_string(s.session));
    });
    for (auto& pair : SessionEnvironment()) env.push_back(std::move(pair));
    std::string debug = DebugOutputEnvironment();
    if (!debug.empty()) env.push_back("PLATFORM_DEBUG_OUTPUT=" + debug);
    return env;
}

}  // namespace platform::testing
