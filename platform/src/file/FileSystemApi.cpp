// Path-level file functions: attributes, folders, deletion, temporary files
// and free space.
#include "core/Controls.h"
#include "file/FileInfo.h"
#include "file/Injection.h"
#include "file/PathMap.h"
#include "file/Permissions.h"
#include "file/ShareLocks.h"
#include "security/WorldAccess.h"
#include "file/UniqueFd.h"

#include <windows.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace platform {
namespace {

bool MapOrFail(LPCSTR path, MappedPath* mapped) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    DWORD error = 0;
    if (!MapPath(path, mapped, &error)) {
        SetLastError(error);
        return false;
    }
    return true;
}

bool IsFolder(const std::string& native) {
    struct stat st {};
    return ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// FILE_NOT_FOUND when the folder holding `native` exists, else PATH_NOT_FOUND.
DWORD MissingError(const std::string& native) {
    return IsFolder(ParentOf(native)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

std::atomic<uint32_t> g_tempCounter{0};

// Start of the temporary-name counter: mixes the process id and the time.
uint32_t NextTempNumber() {
    static const uint32_t seed = [] {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        return static_cast<uint32_t>(::getpid()) * 2654435761u ^ static_cast<uint32_t>(now.tv_nsec);
    }();
    uint32_t n = (seed + g_tempCounter.fetch_add(1)) & 0xFFFFu;
    return n == 0 ? 1 : n;
}

}  // namespace
}  // namespace platform

using namespace platform;

extern "C" {

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
    if (Injected("GetFileAttributesA")) return INVALID_FILE_ATTRIBUTES;
    MappedPath mapped;
    if (!MapOrFail(lpFileName, &mapped)) return INVALID_FILE_ATTRIBUTES;
    struct statx st {};
    if (!StatPath(mapped.native, &st)) {
        SetLastError(MissingError(mapped.native));
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(st);
}

BOOL WINAPI GetFileAttributesExA(LPCSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId, LPVOID lpFileInformation) {
    if (Injected("GetFileAttributesExA")) return FALSE;
    if (fInfoLevelId != GetFileExInfoStandard || lpFileInformation == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    MappedPath mapped;
    if (!MapOrFail(lpFileName, &mapped)) return FALSE;
    struct statx st {};
    if (!StatPath(mapped.native, &st)) {
        SetLastError(MissingError(mapped.native));
        return FALSE;
    }
    auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(lpFileInformation);
    data->dwFileAttributes = AttributesOf(st);
    data->ftCreationTime = CreationTimeOf(st);
    data->ftLastAccessTime = ToFileTime(st.stx_atime.tv_sec, st.stx_atime.tv_nsec);
    data->ftLastWriteTime = ToFileTime(st.stx_mtime.tv_sec, st.stx_mtime.tv_nsec);
    uint64_t size = SizeOf(st);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    if (Injected("CreateDirectoryA")) return FALSE;
    MappedPath mapped;
    if (!MapOrFail(lpPathName, &mapped)) return FALSE;
    if (::mkdir(mapped.native.c_str(), 0777) != 0) {
        if (errno == EEXIST) {
            SetLastError(ERROR_ALREADY_EXISTS);
        } else if (errno == ENOENT || errno == ENOTDIR) {
            SetLastError(ERROR_PATH_NOT_FOUND);
        } else {
            SetLastError(errno == EACCES || errno == EPERM ? ERROR_ACCESS_DENIED : ERROR_GEN_FAILURE);
        }
        return FALSE;
    }
    if (GrantsWorldAccess(lpSecurityAttributes)) ::chmod(mapped.native.c_str(), 0777);
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    if (Injected("DeleteFileA")) return FALSE;
    MappedPath mapped;
    if (!MapOrFail(lpFileName, &mapped)) return FALSE;
    struct stat st {};
    if (::lstat(mapped.native.c_str(), &st) != 0) {
        SetLastError(MissingError(mapped.native));
        return FALSE;
    }
    if (S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    UniqueFd probe(::open(mapped.native.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (probe.Valid()) {
        DWORD shareError = LockForDelete(probe.Get());
        if (shareError != 0) {
            ReleaseDeleteGate(probe.Get());
            SetLastError(shareError);
            return FALSE;
        }
    }
    int result = ::unlink(mapped.native.c_str());
    int unlinkErrno = errno;
    if (probe.Valid()) ReleaseDeleteGate(probe.Get());
    if (result != 0) {
        SetLastError(unlinkErrno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    if (Injected("MoveFileExA")) return FALSE;
    MappedPath from;
    MappedPath to;
    if (!MapOrFail(lpExistingFileName, &from) || !MapOrFail(lpNewFileName, &to)) return FALSE;
    struct stat st {};
    if (::lstat(from.native.c_str(), &st) != 0) {
        SetLastError(MissingError(from.native));
        return FALSE;
    }
    struct stat target {};
    const bool replacing = ::lstat(to.native.c_str(), &target) == 0;
    if (replacing) {
        if (!(dwFlags & MOVEFILE_REPLACE_EXISTING)) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
        if (S_ISDIR(target.st_mode) || S_ISDIR(st.st_mode)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }
    // Moving a file, like deleting the one it replaces, needs every open of
    // both to share delete access.
    UniqueFd source(::open(from.native.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    UniqueFd replaced(replacing ? ::open(to.native.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK) : -1);
    DWORD shareError = source.Valid() ? LockForDelete(source.Get()) : 0;
    if (shareError == 0 && replaced.Valid()) {
        shareError = LockForDelete(replaced.Get());
        if (shareError != 0) ReleaseDeleteGate(replaced.Get());
    }
    if (shareError != 0) {
        if (source.Valid()) ReleaseDeleteGate(source.Get());
        SetLastError(shareError);
        return FALSE;
    }
    const int result = ::rename(from.native.c_str(), to.native.c_str());
    const int renameErrno = errno;
    if (replaced.Valid()) ReleaseDeleteGate(replaced.Get());
    if (source.Valid()) ReleaseDeleteGate(source.Get());
    if (result != 0) {
        SetLastError(renameErrno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
    if (Injected("GetTempPathA")) return 0;
    std::string path = NativeOf("C:\\Windows\\Temp") + "/";
    auto length = static_cast<DWORD>(path.size());
    if (lpBuffer == nullptr || nBufferLength <= length) return length + 1;
    std::memcpy(lpBuffer, path.c_str(), path.size() + 1);
    return length;
}

UINT WINAPI GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique, LPSTR lpTempFileName) {
    if (Injected("GetTempFileNameA")) return 0;
    if (lpPathName == nullptr || lpTempFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string folder(lpPathName);
    MappedPath mapped;
    if (!MapOrFail(folder.empty() ? "." : folder.c_str(), &mapped)) return 0;
    if (!IsFolder(mapped.native)) {
        SetLastError(ERROR_DIRECTORY);
        return 0;
    }
    std::string prefix = lpPrefixString != nullptr ? std::string(lpPrefixString).substr(0, 3) : std::string();
    const bool native = mapped.kind == PathKind::Native && !folder.empty() && folder[0] == '/';
    const char separator = native ? '/' : '\\';
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder.push_back(separator);

    auto nameFor = [&](UINT number) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X", number & 0xFFFFu);
        return prefix + hex + ".tmp";
    };
    auto finish = [&](UINT number) -> UINT {
        std::string full = folder + nameFor(number);
        if (full.size() >= MAX_PATH) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return 0;
        }
        std::memcpy(lpTempFileName, full.c_str(), full.size() + 1);
        return number;
    };
    if (uUnique != 0) return finish(uUnique);

    for (int attempt = 0; attempt < 0x10000; ++attempt) {
        UINT number = NextTempNumber();
        std::string target = mapped.native + "/" + nameFor(number);
        int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            if (ParentGrantsWorld(target)) ::fchmod(fd, 0666);
            ::close(fd);
            return finish(number);
        }
        if (errno != EEXIST) {
            SetLastError(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_GEN_FAILURE);
            return 0;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

BOOL WINAPI GetDiskFreeSpaceExA(LPCSTR lpDirectoryName, PULARGE_INTEGER lpFreeBytesAvailableToCaller,
                                PULARGE_INTEGER lpTotalNumberOfBytes, PULARGE_INTEGER lpTotalNumberOfFreeBytes) {
    if (Injected("GetDiskFreeSpaceExA")) return FALSE;
    MappedPath mapped;
    if (!MapOrFail(lpDirectoryName != nullptr ? lpDirectoryName : "C:\\", &mapped)) return FALSE;
    struct statvfs vfs {};
    if (::statvfs(mapped.native.c_str(), &vfs) != 0) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_GEN_FAILURE);
        return FALSE;
    }
    uint64_t available = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    uint64_t total = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    uint64_t free = static_cast<uint64_t>(vfs.f_bfree) * vfs.f_frsize;
    if (auto override = FreeSpaceOverride()) available = free = *override;
    // The deepest folder the test gave its own free space that holds this one.
    size_t deepest = 0;
    for (const auto& [folder, bytes] : FreeSpaceFolders()) {
        std::string native = NativeOf(folder);
        while (native.size() > 1 && native.back() == '/') native.pop_back();
        const bool inside = !native.empty() && mapped.native.rfind(native, 0) == 0 &&
                            (mapped.native.size() == native.size() || mapped.native[native.size()] == '/');
        if (inside && native.size() > deepest) {
            deepest = native.size();
            available = free = bytes;
        }
    }
    if (lpFreeBytesAvailableToCaller != nullptr) lpFreeBytesAvailableToCaller->QuadPart = available;
    if (lpTotalNumberOfBytes != nullptr) lpTotalNumberOfBytes->QuadPart = total;
    if (lpTotalNumberOfFreeBytes != nullptr) lpTotalNumberOfFreeBytes->QuadPart = free;
    return TRUE;
}

}  // extern "C"
