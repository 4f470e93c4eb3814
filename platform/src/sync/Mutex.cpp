// Mutex handles: unnamed ones in private memory, named ones in a page file
// under objects/<namespace>/ mapped shared and never unmapped.
#include "sync/MutexObject.h"

#include "core/Controls.h"
#include "security/WorldAccess.h"

#include <winbase.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

namespace platform {
namespace {

constexpr size_t kPage = 4096;
constexpr size_t kLongestFileName = 200;

struct Mappings {
    std::mutex lock;
    std::map<std::string, MutexRecord*> byPath;
};

Mappings& GetMappings() {
    static Mappings* mappings = new Mappings;
    return *mappings;
}

// Bytes outside [A-Za-z0-9._-] become %XX; long names are shortened with a hash.
std::string EscapeName(const std::string& name) {
    std::string escaped;
    for (unsigned char c : name) {
        if (std::isalnum(c) || c == '.' || c == '_' || c == '-') {
            escaped += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            escaped += hex;
        }
    }
    if (escaped.size() <= kLongestFileName) return escaped;
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
    char suffix[20];
    std::snprintf(suffix, sizeof suffix, "~%016llx", static_cast<unsigned long long>(hash));
    return escaped.substr(0, kLongestFileName - 17) + suffix;
}

struct ObjectPath {
    std::string folder;
    std::string file;
};

// Splits "Global\X", "Local\X" or "X" into the namespace folder and file.
bool ResolveName(const std::string& name, ObjectPath* path, DWORD* error) {
    if (name.size() > MAX_PATH) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    std::string rest = name;
    bool global = false;
    if (rest.rfind("Global\\", 0) == 0) {
        global = true;
        rest = rest.substr(7);
    } else if (rest.rfind("Local\\", 0) == 0) {
        rest = rest.substr(6);
    }
    if (rest.find('\\') != std::string::npos) {
        *error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    const int session = Session();
    std::string ns = global || session == 0 ? "global" : "session-" + std::to_string(session);
    path->folder = RootPath() + "/objects/" + ns;
    path->file = path->folder + "/" + EscapeName(rest);
    return true;
}

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    default: return ERROR_GEN_FAILURE;
    }
}

// Maps the page of an open object file (initialising it when new) once per
// process and path.
MutexRecord* MapRecord(const std::string& file, int fd, bool* created) {
    Mappings& mappings = GetMappings();
    std::lock_guard guard(mappings.lock);
    ::flock(fd, LOCK_EX);
    struct stat st;
    bool fresh = ::fstat(fd, &st) == 0 && st.st_size < static_cast<off_t>(kPage);
    if (fresh && ::ftruncate(fd, kPage) != 0) {
        ::flock(fd, LOCK_UN);
        return nullptr;
    }
    MutexRecord* record = nullptr;
    if (auto it = mappings.byPath.find(file); it != mappings.byPath.end()) {
        record = it->second;
    } else {
        void* page = ::mmap(nullptr, kPage, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (page != MAP_FAILED) {
            record = static_cast<MutexRecord*>(page);
            mappings.byPath.emplace(file, record);
        }
    }
    if (record != nullptr && __atomic_load_n(&record->magic, __ATOMIC_ACQUIRE) != kMutexMagic) {
        fresh = true;
        __atomic_store_n(&record->magic, kMutexMagic, __ATOMIC_RELEASE);
    }
    ::flock(fd, LOCK_UN);
    *created = fresh;
    return record;
}

// Objects of another account are reachable only when opened to everyone;
// checked here too, since root passes every file permission.
bool Accessible(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return false;
    return st.st_uid == ::geteuid() || (st.st_mode & 0006) == 0006;
}

HANDLE NewHandle(MutexRecord* record) { return InsertHandle(std::make_shared<MutexObject>(record)); }

}  // namespace

MutexObject::MutexObject(MutexRecord* record) : KernelObject(ObjectKind::Mutex), record_(record) {}

}  // namespace platform

using platform::MutexRecord;

WINBASEAPI HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName) {
    if (platform::FailNow("CreateMutexA")) return nullptr;
    MutexRecord* record = nullptr;
    bool created = true;
    if (lpName == nullptr) {
        record = platform::NewPrivateMutexRecord();
    } else {
        platform::ObjectPath path;
        DWORD error = 0;
        if (!platform::ResolveName(lpName, &path, &error)) {
            SetLastError(error);
            return nullptr;
        }
        std::error_code ec;
        std::filesystem::create_directories(path.folder, ec);
        const bool world = platform::GrantsWorldAccess(lpMutexAttributes);
        int fd = ::open(path.file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, world ? 0666 : 0600);
        if (fd < 0 || !platform::Accessible(fd)) {
            SetLastError(fd < 0 ? platform::ErrorFromErrno(errno) : ERROR_ACCESS_DENIED);
            if (fd >= 0) ::close(fd);
            return nullptr;
        }
        record = platform::MapRecord(path.file, fd, &created);
        if (record != nullptr && created && world) ::fchmod(fd, 0666);
        ::close(fd);
        if (record == nullptr) {
            SetLastError(ERROR_GEN_FAILURE);
            return nullptr;
        }
    }
    HANDLE handle = platform::NewHandle(record);
    if (created && bInitialOwner) platform::AcquireMutex(record, std::nullopt);
    SetLastError(created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
    return handle;
}

WINBASEAPI HANDLE WINAPI OpenMutexA(DWORD, BOOL, LPCSTR lpName) {
    if (platform::FailNow("OpenMutexA")) return nullptr;
    if (lpName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    platform::ObjectPath path;
    DWORD error = 0;
    if (!platform::ResolveName(lpName, &path, &error)) {
        SetLastError(error);
        return nullptr;
    }
    int fd = ::open(path.file.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 || !platform::Accessible(fd)) {
        SetLastError(fd < 0 ? platform::ErrorFromErrno(errno) : ERROR_ACCESS_DENIED);
        if (fd >= 0) ::close(fd);
        return nullptr;
    }
    bool created = false;
    MutexRecord* record = platform::MapRecord(path.file, fd, &created);
    ::close(fd);
    if (record == nullptr) {
        SetLastError(ERROR_GEN_FAILURE);
        return nullptr;
    }
    return platform::NewHandle(record);
}

WINBASEAPI BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
    if (platform::FailNow("ReleaseMutex")) return FALSE;
    auto mutex = platform::LookupHandleAs<platform::MutexObject>(hMutex, platform::ObjectKind::Mutex);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!platform::ReleaseMutexRecord(mutex->Record())) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}
