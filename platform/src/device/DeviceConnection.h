// One connection to a device endpoint: the requests in flight and the
// receiver thread that completes them.
#pragma once

#include "core/Handles.h"
#include "file/UniqueFd.h"

#include <windef.h>
#include <minwinbase.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace platform {

// The device-private clock meeting (the device answers INVALID_FUNCTION
// when it has none): u64 target device time, u32 flags in; u64 device
// time, u32 flags, u32 0 out.
constexpr uint32_t kIoctlClockSync = 0x80003FF8;
constexpr uint32_t kClockSyncStamp = 1;    // in: later answers carry the device time
constexpr uint32_t kClockSyncVirtual = 1;  // out: the device runs on a virtual clock
constexpr uint64_t kDeviceNoTarget = ~uint64_t{0};

struct DeviceRequest {
    enum class State { Pending, Signalling, Done };

    uint32_t id = 0;
    LPOVERLAPPED overlapped = nullptr;  // the caller's, on overlapped handles
    HANDLE event = nullptr;
    std::weak_ptr<KernelObject> eventObject;
    uint8_t* output = nullptr;
    uint32_t outputSize = 0;
    bool dataReply = false;  // the reply's bytes go to `output`
    State state = State::Pending;
    DWORD error = 0;
    DWORD count = 0;
};

class DeviceConnection : public std::enable_shared_from_this<DeviceConnection> {
public:
    explicit DeviceConnection(UniqueFd socket);
    ~DeviceConnection();
    DeviceConnection(const DeviceConnection&) = delete;
    DeviceConnection& operator=(const DeviceConnection&) = delete;

    // Connects to the endpoint at `path`; null with *error on failure.
    static std::shared_ptr<DeviceConnection> Connect(const std::string& path, DWORD* error);

    // Sends a request. The result is pending or already complete; null with
    // *error when nothing was sent (nothing is then pending).
    std::shared_ptr<DeviceRequest> Issue(uint32_t op, uint32_t code, std::span<const uint8_t> input,
                                         void* output, uint32_t outputSize, bool dataReply,
                                         LPOVERLAPPED overlapped, DWORD* error, bool turnsOnStamps = false);

    // Waits up to `milliseconds` (INFINITE) until the request is complete and signalled.
    bool WaitDone(const std::shared_ptr<DeviceRequest>& request, DWORD milliseconds);

    // GetOverlappedResult for a request of this connection.
    bool Result(LPOVERLAPPED overlapped, bool wait, DWORD* error, DWORD* count);

    // Completes the matching pending requests (all when null) with
    // OPERATION_ABORTED and tells the device; returns how many.
    size_t Cancel(LPOVERLAPPED overlapped);

    // Cancels everything and disconnects; nothing is written afterwards.
    void Close();

    // Meets the device's clock: runs it on to `target` (device time) when it
    // is virtual and answers its time. With `stamp` every later answer on
    // this connection carries the device time. False when the device has no
    // clock to meet or did not answer within `milliseconds` (host time).
    bool MeetClock(uint64_t target, bool stamp, DWORD milliseconds, uint64_t* deviceNow, bool* isVirtual);
    // Process time minus device time, for a connection attached to the process's clock.
    int64_t ClockOffset() const { return clockOffset_.load(); }
    void SetClockOffset(int64_t offset) { clockOffset_.store(offset); }
    void MarkAttached() { attached_.store(true); }

private:
    using RequestPtr = std::shared_ptr<DeviceRequest>;

    void ReceiveLoop();
    void Deliver(uint32_t id, DWORD error, DWORD count, std::span<const uint8_t> data);
    void DropAbandoned();
    void FailAll(DWORD error, bool tellDevice);
    // Marks a request complete and writes its OVERLAPPED; false (nothing
    // written, counted as abandoned) when its issuer closed the event.
    bool CompleteLocked(const RequestPtr& request, DWORD error, DWORD count, std::vector<RequestPtr>* signal);
    void Signal(const std::vector<RequestPtr>& requests);
    uint32_t NextIdLocked();  // never 0
    bool Send(const std::vector<uint8_t>& frame);
    bool SendLocked(const std::vector<uint8_t>& frame);  // sendMutex_ held
    void SendCancels(const std::vector<uint32_t>& ids);

    UniqueFd socket_;
    std::mutex sendMutex_;  // taken before mutex_ when both are held
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<uint32_t, RequestPtr> pending_;
    std::map<HANDLE, int> signalling_;  // events about to be set
    uint32_t nextId_ = 1;
    bool closed_ = false;
    bool gone_ = false;
    std::atomic<uint32_t> stampsFrom_{0};  // the answer after which answers are stamped
    std::atomic<int64_t> clockOffset_{0};
    std::atomic<bool> attached_{false};
    std::thread receiver_;
};

// Requests detached because their issuer closed their event while they pended.
uint64_t AbandonedRequestCount();

}  // namespace platform
