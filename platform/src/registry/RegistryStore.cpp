#include "registry/RegistryStore.h"

#include "core/Controls.h"
#include "file/UniqueFd.h"

#include <windows.h>
#include <winreg.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <string>

namespace platform::registry {
namespace {

constexpr std::string_view kVersionLine = "platform-registry 1";
constexpr std::string_view kMachine = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kUsers = "HKEY_USERS";
constexpr std::string_view kClassesRoot = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";
constexpr std::string_view kCurrentUser = "HKEY_USERS\\S-1-5-21-0-0-0-1000";
constexpr std::string_view kImageClass =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";

uint64_t NowFileTime() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return (static_cast<uint64_t>(now.tv_sec) + 11644473600ull) * 10000000ull +
           static_cast<uint64_t>(now.tv_nsec) / 100;
}

// ---- text form ----

bool Plain(unsigned char c) { return c > 0x20 && c < 0x7F && c != '%' && c != '"' && c != '[' && c != ']'; }

std::string Escape(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        if (Plain(c)) {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Unescape(std::string_view text, std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out->push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) return false;
        int high = HexDigit(text[i + 1]);
        int low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) return false;
        out->push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

std::string Serialize(const Tree& tree) {
    std::string out(kVersionLine);
    out.push_back('\n');
    static constexpr char kHex[] = "0123456789abcdef";
    for (const auto& [folded, key] : tree.keys) {
        out += "[" + Escape(key.path) + "] " + std::to_string(key.writeTime) + "\n";
        for (const auto& [foldedName, value] : key.values) {
            out += "\"" + Escape(value.name) + "\" " + std::to_string(value.type) + " ";
            for (uint8_t byte : value.data) {
                out.push_back(kHex[byte >> 4]);
                out.push_back(kHex[byte & 15]);
            }
            out.push_back('\n');
        }
    }
    return out;
}

Tree Parse(const std::string& text) {
    Tree tree;
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kVersionLine) return tree;
    Key* current = nullptr;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        if (line[0] == '[') {
            auto close = line.find(']');
            std::string path;
            // A line that names no key ("[]", only separators) is skipped
            // with its values, as a garbled one is.
            if (close == std::string::npos || !Unescape(std::string_view(line).substr(1, close - 1), &path) ||
                path.find_first_not_of('\\') == std::string::npos) {
                current = nullptr;
                continue;
            }
            bool created = false;
            current = &tree.Create(path, &created);
            current->writeTime = std::strtoull(line.c_str() + close + 1, nullptr, 10);
        } else if (line[0] == '"' && current != nullptr) {
            auto close = line.find('"', 1);
            if (close == std::string::npos) continue;
            Value value;
            if (!Unescape(std::string_view(line).substr(1, close - 1), &value.name)) continue;
            char* end = nullptr;
            value.type = static_cast<DWORD>(std::strtoul(line.c_str() + close + 1, &end, 10));
            std::string_view hex(end);
            if (!hex.empty() && hex[0] == ' ') hex.remove_prefix(1);
            for (size_t i = 0; i + 1 < hex.size(); i += 2) {
                value.data.push_back(static_cast<uint8_t>(HexDigit(hex[i]) * 16 + HexDigit(hex[i + 1])));
            }
            current->values[Fold(value.name)] = std::move(value);
        }
    }
    return tree;
}

std::vector<uint8_t> StringData(std::string_view text) {
    std::vector<uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

Tree DefaultTree() {
    Tree tree;
    bool created = false;
    for (auto path : {kClassesRoot, kCurrentUser, std::string_view("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum"),
                      std::string_view("HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software")}) {
        tree.Create(path, &created);
    }
    Key& image = tree.Create(kImageClass, &created);
    image.values[""] = Value{"", REG_SZ, StringData("Imaging devices")};
    image.values["CLASS"] = Value{"Class", REG_SZ, StringData("Image")};
    return tree;
}

// ---- the shared file ----

struct FileStamp {
    uint64_t generation = 0;
    uint64_t inode = 0;
    int64_t mtimeNs = 0;
    int64_t size = -1;
    bool operator==(const FileStamp&) const = default;
};

struct StoreState {
    std::mutex mutex;
    std::string root;
    UniqueFd lockFd;
    Tree tree;
    bool loaded = false;
    FileStamp stamp;
};

// Never destroyed: threads still running at exit may use the registry.
StoreState& State() {
    static auto* state = new StoreState;
    return *state;
}

std::string RegistryFile(const StoreState& state) { return state.root + "/registry"; }

// Switches to the current root when it changed; false when the lock file cannot be had.
bool Prepare(StoreState& state) {
    std::string root = platform::RootPath();
    if (root != state.root || !state.lockFd.Valid()) {
        state.root = root;
        state.loaded = false;
        state.lockFd = UniqueFd(::open((root + "/registry.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    }
    return state.lockFd.Valid();
}

void Flock(int fd, int operation) {
    while (::flock(fd, operation) != 0 && errno == EINTR) {
    }
}

FileStamp CurrentStamp(const StoreState& state) {
    FileStamp stamp;
    uint8_t bytes[8] = {};
    if (::pread(state.lockFd.Get(), bytes, sizeof bytes, 0) == static_cast<ssize_t>(sizeof bytes)) {
        for (int i = 7; i >= 0; --i) stamp.generation = (stamp.generation << 8) | bytes[i];
    }
    struct stat st {};
    if (::stat(RegistryFile(state).c_str(), &st) == 0) {
        stamp.inode = st.st_ino;
        stamp.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        stamp.size = st.st_size;
    }
    return stamp;
}

bool ReadWhole(const std::string& path, std::string* out) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) return false;
    out->clear();
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out->append(buffer, static_cast<size_t>(n));
    }
}

void Refresh(StoreState& state) {
    FileStamp stamp = CurrentStamp(state);
    if (state.loaded && stamp == state.stamp) return;
    std::string text;
    state.tree = ReadWhole(RegistryFile(state), &text) ? Parse(text) : Tree{};
    state.stamp = stamp;
    state.loaded = true;
}

bool Save(StoreState& state) {
    std::string text = Serialize(state.tree);
    std::string temporary = RegistryFile(state) + ".tmp." + std::to_string(::getpid());
    UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    bool ok = fd.Valid();
    for (size_t done = 0; ok && done < text.size();) {
        ssize_t n = ::write(fd.Get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else done += static_cast<size_t>(n);
    }
    fd.Reset();
    if (ok) ok = ::rename(temporary.c_str(), RegistryFile(state).c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        state.loaded = false;
        return false;
    }
    uint64_t generation = CurrentStamp(state).generation + 1;
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(generation >> (8 * i));
    ::pwrite(state.lockFd.Get(), bytes, sizeof bytes, 0);
    state.stamp = CurrentStamp(state);
    return true;
}

void InitializeLocked(StoreState& state) {
    struct stat st {};
    if (::stat(RegistryFile(state).c_str(), &st) == 0) return;
    Flock(state.lockFd.Get(), LOCK_EX);
    if (::stat(RegistryFile(state).c_str(), &st) != 0) {
        state.tree = DefaultTree();
        Save(state);
    }
    Flock(state.lockFd.Get(), LOCK_UN);
}

}  // namespace

std::string Fold(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

std::string_view LeafName(std::string_view path) {
    auto slash = path.find_last_of('\\');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

Key* Tree::Find(std::string_view path) {
    auto found = keys.find(Fold(path));
    return found == keys.end() ? nullptr : &found->second;
}

const Key* Tree::Find(std::string_view path) const {
    auto found = keys.find(Fold(path));
    return found == keys.end() ? nullptr : &found->second;
}

Key& Tree::Create(std::string_view path, bool* created) {
    *created = false;
    std::string stored;
    Key* key = nullptr;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        std::string_view part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty()) continue;
        std::string candidate = stored.empty() ? std::string(part) : stored + "\\" + std::string(part);
        Key& slot = keys[Fold(candidate)];
        if (slot.path.empty()) {
            slot.path = candidate;
            slot.writeTime = NowFileTime();
            *created = true;
        } else {
            *created = false;
        }
        stored = slot.path;
        key = &slot;
    }
    return *key;
}

void Tree::Erase(std::string_view path) { keys.erase(Fold(path)); }

std::vector<const Key*> Tree::Children(std::string_view path) const {
    std::vector<const Key*> children;
    std::string prefix = Fold(path) + "\\";
    for (auto it = keys.lower_bound(prefix); it != keys.end() && it->first.compare(0, prefix.size(), prefix) == 0;
         ++it) {
        if (it->first.find('\\', prefix.size()) == std::string::npos) children.push_back(&it->second);
    }
    return children;
}

void Tree::Touch(Key& key) { key.writeTime = NowFileTime(); }

void EnsureInitialized() {
    StoreState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (Prepare(state)) InitializeLocked(state);
}

void Read(const std::function<void(const Tree&)>& reader) {
    StoreState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!Prepare(state)) {
        reader(Tree{});
        return;
    }
    InitializeLocked(state);
    Flock(state.lockFd.Get(), LOCK_SH);
    Refresh(state);
    reader(state.tree);
    Flock(state.lockFd.Get(), LOCK_UN);
}

bool Write(const std::function<bool(Tree&)>& writer) {
    StoreState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!Prepare(state)) return false;
    InitializeLocked(state);
    Flock(state.lockFd.Get(), LOCK_EX);
    Refresh(state);
    bool ok = true;
    if (writer(state.tree)) ok = Save(state);
    Flock(state.lockFd.Get(), LOCK_UN);
    return ok;
}

std::string RootKeyPath(uintptr_t root) {
    switch (static_cast<uint32_t>(root)) {
    case 0x80000000u: return std::string(kClassesRoot);
    case 0x80000001u: return std::string(kCurrentUser);
    case 0x80000002u: return std::string(kMachine);
    case 0x80000003u: return std::string(kUsers);
    default: return std::string();
    }
}

// ---- key handles ----

namespace {

struct HandleTable {
    std::mutex mutex;
    std::map<uintptr_t, KeyHandle> open;
    uintptr_t next = 0x10000;
};

HandleTable& Handles() {
    static auto* table = new HandleTable;
    return *table;
}

bool IsRoot(HKEY key) {
    auto value = reinterpret_cast<uintptr_t>(key);
    return value == reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT) ||
           value == reinterpret_cast<uintptr_t>(HKEY_CURRENT_USER) ||
           value == reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE) || value == reinterpret_cast<uintptr_t>(HKEY_USERS);
}

}  // namespace

HKEY OpenHandle(const std::string& path, DWORD access) {
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> lock(table.mutex);
    uintptr_t value = table.next;
    table.next += 4;
    if (table.next >= 0x70000000u) table.next = 0x10000;
    table.open[value] = KeyHandle{path, access};
    return reinterpret_cast<HKEY>(value);
}

bool LookupHandle(HKEY key, KeyHandle* out) {
    if (IsRoot(key)) {
        *out = KeyHandle{RootKeyPath(reinterpret_cast<uintptr_t>(key)), KEY_ALL_ACCESS};
        return true;
    }
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto found = table.open.find(reinterpret_cast<uintptr_t>(key));
    if (found == table.open.end()) return false;
    *out = found->second;
    return true;
}

bool CloseHandle(HKEY key) {
    if (IsRoot(key)) return true;
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> lock(table.mutex);
    return table.open.erase(reinterpret_cast<uintptr_t>(key)) != 0;
}

}  // namespace platform::registry
