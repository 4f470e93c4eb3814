// A handle on a device endpoint (\\.\usbscanN): requests travel to the
// device over a Unix stream socket; replies are matched by id on a receiver
// thread, copied into the caller's buffer and signalled through OVERLAPPED.
#pragma once

#include "core/Handles.h"
#include "file/PathMap.h"

#include <windef.h>
#include <minwinbase.h>

#include <cstdint>
#include <memory>

namespace platform {

class DeviceConnection;

class DeviceFile : public KernelObject {
public:
    DeviceFile(std::shared_ptr<DeviceConnection> connection, bool overlapped);
    ~DeviceFile() override;

    // Connects to the endpoint; sets the last error and returns
    // INVALID_HANDLE_VALUE on failure.
    static HANDLE Open(const MappedPath& path, DWORD disposition, DWORD flags);

    BOOL Read(void* buffer, DWORD length, LPDWORD done, LPOVERLAPPED overlapped);
    BOOL Write(const void* buffer, DWORD length, LPDWORD done, LPOVERLAPPED overlapped);
    BOOL IoControl(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                   LPDWORD returned, LPOVERLAPPED overlapped);
    BOOL OverlappedResult(LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait);
    // Cancels the request of `overlapped`, or all of this handle's when null.
    BOOL Cancel(LPOVERLAPPED overlapped);

    void OnHandleClosed(HANDLE handle) override;

private:
    std::shared_ptr<DeviceConnection> connection_;
    bool overlapped_;
};

}  // namespace platform
