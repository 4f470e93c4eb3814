#include "device/DeviceFile.h"

#include <windows.h>

namespace platform {

class DeviceConnection {};

DeviceFile::DeviceFile(std::shared_ptr<DeviceConnection> connection, bool overlapped)
    : KernelObject(ObjectKind::DeviceFile), connection_(std::move(connection)), overlapped_(overlapped) {}
DeviceFile::~DeviceFile() = default;

HANDLE DeviceFile::Open(const MappedPath&, DWORD, DWORD) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}
BOOL DeviceFile::Read(void*, DWORD, LPDWORD, LPOVERLAPPED) { SetLastError(ERROR_NOT_SUPPORTED); return FALSE; }
BOOL DeviceFile::Write(const void*, DWORD, LPDWORD, LPOVERLAPPED) { SetLastError(ERROR_NOT_SUPPORTED); return FALSE; }
BOOL DeviceFile::IoControl(DWORD, const void*, DWORD, void*, DWORD, LPDWORD, LPOVERLAPPED) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}
BOOL DeviceFile::OverlappedResult(LPOVERLAPPED, LPDWORD, BOOL) { SetLastError(ERROR_NOT_SUPPORTED); return FALSE; }
BOOL DeviceFile::Cancel(LPOVERLAPPED) { SetLastError(ERROR_NOT_FOUND); return FALSE; }
void DeviceFile::OnHandleClosed(HANDLE) {}
uint64_t AbandonedRequestCount() { return 0; }

}  // namespace platform
