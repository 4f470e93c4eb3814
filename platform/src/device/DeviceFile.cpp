#include "device/DeviceFile.h"

#include "core/Controls.h"
#include "device/DeviceConnection.h"
#include "device/WireProtocol.h"
#include "time/ProcessClock.h"

#include <windows.h>
#include <usbscan.h>

#include <cstring>
#include <vector>

namespace platform {
namespace {

// How long an open waits for the device to tell its clock (host time).
constexpr DWORD kMeetClockMs = 10000;

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// IO_BLOCK as the device sees it, the same in both builds:
// {uOffset, uIndex, uLength} and, for a register write, the data.
bool TranslateIoBlock(DWORD code, const void* input, DWORD inputSize, std::vector<uint8_t>* neutral) {
    if (input == nullptr || inputSize != sizeof(IO_BLOCK)) return false;
    IO_BLOCK block;
    std::memcpy(&block, input, sizeof block);
    wire::PutU32(*neutral, block.uOffset);
    wire::PutU32(*neutral, block.uIndex);
    wire::PutU32(*neutral, block.uLength);
    if (code == IOCTL_WRITE_REGISTERS && block.uLength > 0) {
        if (block.pbyData == nullptr || block.uLength > wire::kMaxTransfer) return false;
        neutral->insert(neutral->end(), block.pbyData, block.pbyData + block.uLength);
    }
    return true;
}

}  // namespace

DeviceFile::DeviceFile(std::shared_ptr<DeviceConnection> connection, bool overlapped)
    : KernelObject(ObjectKind::DeviceFile), connection_(std::move(connection)), overlapped_(overlapped) {}

DeviceFile::~DeviceFile() { connection_->Close(); }

HANDLE DeviceFile::Open(const MappedPath& path, DWORD disposition, DWORD flags) {
    if (disposition != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    DWORD error = 0;
    auto connection = DeviceConnection::Connect(path.native, &error);
    if (!connection) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    // A device on a virtual clock sets the process's time while it is open.
    uint64_t deviceNow = 0;
    bool isVirtual = false;
    if (connection->MeetClock(0, true, kMeetClockMs, &deviceNow, &isVirtual) && isVirtual) {
        connection->MarkAttached();
        AttachDeviceClock(connection, deviceNow);
    }
    return InsertHandle(std::make_shared<DeviceFile>(std::move(connection), (flags & FILE_FLAG_OVERLAPPED) != 0));
}

// Issues one request. Without FILE_FLAG_OVERLAPPED it is waited for; with it
// the call pends unless the reply arrives within the sync-completion wait.
static BOOL Submit(DeviceConnection& connection, bool overlappedHandle, uint32_t op, uint32_t code,
                   std::span<const uint8_t> input, void* output, uint32_t outputSize, bool dataReply,
                   LPDWORD done, LPOVERLAPPED overlapped) {
    if (done != nullptr) *done = 0;
    if (overlappedHandle && overlapped == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    DWORD error = 0;
    auto request = connection.Issue(op, code, input, output, outputSize, dataReply,
                                    overlappedHandle ? overlapped : nullptr, &error);
    if (!request) return Fail(error);
    DWORD wait = overlappedHandle ? SyncCompletionMs() : INFINITE;
    if (wait == 0 || !connection.WaitDone(request, wait)) return Fail(ERROR_IO_PENDING);
    if (done != nullptr) *done = request->count;
    if (request->error != 0) return Fail(request->error);
    return TRUE;
}

BOOL DeviceFile::Read(void* buffer, DWORD length, LPDWORD done, LPOVERLAPPED overlapped) {
    return Submit(*connection_, overlapped_, wire::kRead, 0, {}, buffer, length, true, done, overlapped);
}

BOOL DeviceFile::Write(const void* buffer, DWORD length, LPDWORD done, LPOVERLAPPED overlapped) {
    std::span<const uint8_t> data(static_cast<const uint8_t*>(buffer), length);
    return Submit(*connection_, overlapped_, wire::kWrite, 0, data, nullptr, 0, false, done, overlapped);
}

BOOL DeviceFile::IoControl(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                           LPDWORD returned, LPOVERLAPPED overlapped) {
    if ((input == nullptr && inputSize > 0) || (output == nullptr && outputSize > 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::vector<uint8_t> request;
    if (code == IOCTL_READ_REGISTERS || code == IOCTL_WRITE_REGISTERS) {
        if (!TranslateIoBlock(code, input, inputSize, &request)) return Fail(ERROR_INVALID_PARAMETER);
    } else {
        // Buffered I/O: only the input bytes reach the device.
        const auto* bytes = static_cast<const uint8_t*>(input);
        request.assign(bytes, bytes + inputSize);
    }
    const bool dataReply = code != IOCTL_WRITE_REGISTERS;
    return Submit(*connection_, overlapped_, wire::kIoctl, code, request, output, dataReply ? outputSize : 0,
                  dataReply, returned, overlapped);
}

BOOL DeviceFile::OverlappedResult(LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) {
    DWORD error = 0;
    DWORD count = 0;
    bool ok = connection_->Result(overlapped, wait != FALSE, &error, &count);
    if (transferred != nullptr && error != ERROR_IO_INCOMPLETE) *transferred = count;
    if (!ok) return Fail(error);
    return TRUE;
}

BOOL DeviceFile::Cancel(LPOVERLAPPED overlapped) {
    if (connection_->Cancel(overlapped) == 0) return Fail(ERROR_NOT_FOUND);
    return TRUE;
}

void DeviceFile::OnHandleClosed(HANDLE) { connection_->Close(); }

}  // namespace platform
