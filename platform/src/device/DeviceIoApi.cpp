// DeviceIoControl and the completion functions of overlapped requests.
#include "device/DeviceConnection.h"
#include "device/DeviceFile.h"
#include "device/OverlappedStatus.h"
#include "file/FileObject.h"
#include "file/Injection.h"

#include <windows.h>

#include <platform/testing_io.h>

using namespace platform;

namespace {

// Requests on files complete when issued, so only device files have any to cancel.
BOOL Cancel(HANDLE handle, LPOVERLAPPED overlapped) {
    if (auto device = LookupHandleAs<DeviceFile>(handle, ObjectKind::DeviceFile)) return device->Cancel(overlapped);
    SetLastError(LookupHandleAs<FileObject>(handle, ObjectKind::File) ? ERROR_NOT_FOUND : ERROR_INVALID_HANDLE);
    return FALSE;
}

}  // namespace

extern "C" {

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                            LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                            LPOVERLAPPED lpOverlapped) {
    if (Injected("DeviceIoControl")) return FALSE;
    auto device = LookupHandleAs<DeviceFile>(hDevice, ObjectKind::DeviceFile);
    if (!device) {
        SetLastError(LookupHandle(hDevice) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return device->IoControl(dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize,
                             lpBytesReturned, lpOverlapped);
}

BOOL WINAPI GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped, LPDWORD lpNumberOfBytesTransferred,
                                BOOL bWait) {
    if (Injected("GetOverlappedResult")) return FALSE;
    if (lpOverlapped == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (auto device = LookupHandleAs<DeviceFile>(hFile, ObjectKind::DeviceFile)) {
        return device->OverlappedResult(lpOverlapped, lpNumberOfBytesTransferred, bWait);
    }
    if (!LookupHandleAs<FileObject>(hFile, ObjectKind::File)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // File requests complete when issued.
    if (lpNumberOfBytesTransferred != nullptr) {
        *lpNumberOfBytesTransferred = static_cast<DWORD>(lpOverlapped->InternalHigh);
    }
    DWORD error = ErrorFromStatus(lpOverlapped->Internal);
    if (lpOverlapped->Internal == kStatusPending) error = ERROR_IO_INCOMPLETE;
    if (error != 0) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI CancelIoEx(HANDLE hFile, LPOVERLAPPED lpOverlapped) {
    if (Injected("CancelIoEx")) return FALSE;
    return Cancel(hFile, lpOverlapped);
}

BOOL WINAPI CancelIo(HANDLE hFile) {
    if (Injected("CancelIo")) return FALSE;
    return Cancel(hFile, nullptr);
}

}  // extern "C"

namespace platform::testing {

uint64_t AbandonedRequests() { return AbandonedRequestCount(); }

}  // namespace platform::testing
