// CreateFileA and the functions on open file handles.
#include "core/Controls.h"
#include "core/Handles.h"
#include "device/DeviceFile.h"
#include "device/OverlappedStatus.h"
#include "file/FileObject.h"
#include "file/Injection.h"
#include "file/PathMap.h"
#include "file/Permissions.h"
#include "file/ShareLocks.h"
#include "security/WorldAccess.h"

#include <windows.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>

namespace platform {
namespace {

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOSPC: return ERROR_DISK_FULL;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_GEN_FAILURE;
    }
}

bool FolderExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// GENERIC_ALL grants reading, writing and deleting.
DWORD NormalizeAccess(DWORD access) {
    if (access & GENERIC_ALL) access |= GENERIC_READ | GENERIC_WRITE | DELETE;
    return access;
}

int OpenFlagsFor(DWORD access) {
    bool read = (access & GENERIC_READ) != 0;
    bool write = (access & GENERIC_WRITE) != 0;
    if (write) return read ? O_RDWR : O_WRONLY;
    return O_RDONLY;
}

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

HANDLE OpenFile(const MappedPath& mapped, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES attributes,
                DWORD disposition, DWORD flags) {
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return Fail(ERROR_INVALID_PARAMETER);
    if (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE)) return Fail(ERROR_INVALID_PARAMETER);
    const std::string& path = mapped.native;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
    if (mapped.trailingSeparator) return Fail(ERROR_INVALID_NAME);

    int baseFlags = OpenFlagsFor(access) | O_CLOEXEC;
    bool creates = disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    bool existed = false;
    bool created = false;
    UniqueFd fd;
    // An existing file is opened first so that *_ALWAYS can tell; a new one
    // is made exclusively, retrying when another process makes it meanwhile.
    for (int attempt = 0; attempt < 8 && !fd.Valid(); ++attempt) {
        if (disposition != CREATE_NEW) {
            fd = UniqueFd(::open(path.c_str(), baseFlags));
            if (fd.Valid()) {
                existed = true;
                break;
            }
            if (errno != ENOENT) return Fail(ErrorFromErrno(errno));
            if (!creates) {
                return Fail(FolderExists(ParentOf(path)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
            }
        }
        fd = UniqueFd(::open(path.c_str(), baseFlags | O_CREAT | O_EXCL, 0666));
        if (fd.Valid()) {
            created = true;
            break;
        }
        if (errno == EEXIST) {
            if (disposition == CREATE_NEW) return Fail(ERROR_FILE_EXISTS);
            continue;
        }
        if (errno == ENOENT) return Fail(ERROR_PATH_NOT_FOUND);
        return Fail(ErrorFromErrno(errno));
    }
    if (!fd.Valid()) return Fail(ERROR_GEN_FAILURE);
    if (created && (GrantsWorldAccess(attributes) || ParentGrantsWorld(path))) ::fchmod(fd.Get(), 0666);

    // Share markers need a readable open.
    UniqueFd lockFd;
    int markerFd = fd.Get();
    if ((baseFlags & O_ACCMODE) == O_WRONLY) {
        lockFd = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        markerFd = lockFd.Valid() ? lockFd.Get() : -1;
    }
    if (markerFd >= 0) {
        DWORD shareError = AcquireShare(markerFd, access, share);
        if (shareError != 0) {
            if (created) ::unlink(path.c_str());
            return Fail(shareError);
        }
    }
    if (existed && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)) {
        if (::ftruncate(fd.Get(), 0) != 0) return Fail(ErrorFromErrno(errno));
    }
    // Delete on close: the name goes now, the data with the last descriptor,
    // so neither a close nor the death of the process can leave the file.
    if ((flags & FILE_FLAG_DELETE_ON_CLOSE) && ::unlink(path.c_str()) != 0) return Fail(ErrorFromErrno(errno));

    auto object = std::make_shared<FileObject>(std::move(fd), std::move(lockFd), access,
                                               (flags & FILE_FLAG_OVERLAPPED) != 0);
    HANDLE handle = InsertHandle(std::move(object));
    if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) {
        SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    }
    return handle;
}

std::shared_ptr<FileObject> LookupFile(HANDLE handle) {
    auto file = LookupHandleAs<FileObject>(handle, ObjectKind::File);
    if (!file) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

void CompleteAtOnce(LPOVERLAPPED overlapped, DWORD error, DWORD count) {
    overlapped->Internal = StatusFromError(error);
    overlapped->InternalHigh = count;
    if (overlapped->hEvent != nullptr) SetEvent(overlapped->hEvent);
}

uint64_t OffsetOf(const OVERLAPPED* overlapped) {
    return (static_cast<uint64_t>(overlapped->OffsetHigh) << 32) | overlapped->Offset;
}

// Read or write on a file; an overlapped handle completes at once at the
// OVERLAPPED's offset.
template <typename Transfer>
BOOL FileTransfer(FileObject& file, DWORD length, LPDWORD done, LPOVERLAPPED overlapped, Transfer transfer) {
    if (done != nullptr) *done = 0;
    if (file.Overlapped() && overlapped == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD total = 0;
    DWORD error = 0;
    const bool positioned = overlapped != nullptr;
    uint64_t offset = positioned ? OffsetOf(overlapped) : 0;
    while (total < length) {
        ssize_t n = transfer(total, length - total, positioned, static_cast<off_t>(offset + total));
        if (n < 0) {
            if (errno == EINTR) continue;
            error = ErrorFromErrno(errno);
            break;
        }
        if (n == 0) break;
        total += static_cast<DWORD>(n);
    }
    if (done != nullptr) *done = total;
    if (overlapped != nullptr) CompleteAtOnce(overlapped, error, total);
    if (error != 0) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

}  // namespace
}  // namespace platform

using namespace platform;

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/) {
    if (Injected("CreateFileA")) return INVALID_HANDLE_VALUE;
    if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    MappedPath mapped;
    DWORD error = 0;
    if (!MapPath(lpFileName, &mapped, &error)) return Fail(error);
    if (mapped.kind == PathKind::Device) {
        return DeviceFile::Open(mapped, dwCreationDisposition, dwFlagsAndAttributes);
    }
    DWORD access = NormalizeAccess(dwDesiredAccess);
    // Deleting on close is a delete access: every other open must share it.
    if (dwFlagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) access |= DELETE;
    return OpenFile(mapped, access, dwShareMode, lpSecurityAttributes,
                    dwCreationDisposition, dwFlagsAndAttributes);
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
    if (Injected("ReadFile")) return FALSE;
    if (lpBuffer == nullptr && nNumberOfBytesToRead > 0) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (auto device = LookupHandleAs<DeviceFile>(hFile, ObjectKind::DeviceFile)) {
        return device->Read(lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped);
    }
    auto file = LookupFile(hFile);
    if (!file) return FALSE;
    if (!(file->Access() & GENERIC_READ)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto* bytes = static_cast<uint8_t*>(lpBuffer);
    int fd = file->Fd();
    return FileTransfer(*file, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped,
                        [&](DWORD at, DWORD count, bool positioned, off_t offset) {
                            return positioned ? ::pread(fd, bytes + at, count, offset) : ::read(fd, bytes + at, count);
                        });
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped) {
    if (Injected("WriteFile")) return FALSE;
    if (lpBuffer == nullptr && nNumberOfBytesToWrite > 0) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (auto device = LookupHandleAs<DeviceFile>(hFile, ObjectKind::DeviceFile)) {
        return device->Write(lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten, lpOverlapped);
    }
    auto file = LookupFile(hFile);
    if (!file) return FALSE;
    if (!(file->Access() & GENERIC_WRITE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const auto* bytes = static_cast<const uint8_t*>(lpBuffer);
    int fd = file->Fd();
    return FileTransfer(*file, nNumberOfBytesToWrite, lpNumberOfBytesWritten, lpOverlapped,
                        [&](DWORD at, DWORD count, bool positioned, off_t offset) {
                            return positioned ? ::pwrite(fd, bytes + at, count, offset)
                                              : ::write(fd, bytes + at, count);
                        });
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
    if (Injected("SetFilePointer")) return INVALID_SET_FILE_POINTER;
    auto file = LookupFile(hFile);
    if (!file) return INVALID_SET_FILE_POINTER;
    int64_t distance = lpDistanceToMoveHigh != nullptr
                           ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh))
                                                   << 32) |
                                                  static_cast<uint32_t>(lDistanceToMove))
                           : static_cast<int64_t>(lDistanceToMove);
    int64_t base = 0;
    switch (dwMoveMethod) {
    case FILE_BEGIN: break;
    case FILE_CURRENT: base = ::lseek(file->Fd(), 0, SEEK_CUR); break;
    case FILE_END: {
        struct stat st {};
        if (::fstat(file->Fd(), &st) != 0) {
            SetLastError(ErrorFromErrno(errno));
            return INVALID_SET_FILE_POINTER;
        }
        base = st.st_size;
        break;
    }
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_SET_FILE_POINTER;
    }
    int64_t target = base + distance;
    if (target < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (::lseek(file->Fd(), static_cast<off_t>(target), SEEK_SET) < 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    auto low = static_cast<DWORD>(static_cast<uint64_t>(target) & 0xFFFFFFFFu);
    if (lpDistanceToMoveHigh != nullptr) {
        *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
        if (low == INVALID_SET_FILE_POINTER) SetLastError(ERROR_SUCCESS);
    }
    return low;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    if (Injected("GetFileSize")) return INVALID_FILE_SIZE;
    auto file = LookupFile(hFile);
    if (!file) return INVALID_FILE_SIZE;
    struct stat st {};
    if (::fstat(file->Fd(), &st) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    auto size = static_cast<uint64_t>(st.st_size);
    if (lpFileSizeHigh != nullptr) {
        *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
        if (static_cast<DWORD>(size) == INVALID_FILE_SIZE) SetLastError(ERROR_SUCCESS);
    }
    return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
    if (Injected("SetEndOfFile")) return FALSE;
    auto file = LookupFile(hFile);
    if (!file) return FALSE;
    off_t position = ::lseek(file->Fd(), 0, SEEK_CUR);
    if (position < 0 || ::ftruncate(file->Fd(), position) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    if (Injected("FlushFileBuffers")) return FALSE;
    auto file = LookupFile(hFile);
    if (!file) return FALSE;
    if (::fsync(file->Fd()) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"
