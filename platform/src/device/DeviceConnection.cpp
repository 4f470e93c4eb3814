#include "device/DeviceConnection.h"

#include "device/OverlappedStatus.h"
#include "device/WireProtocol.h"
#include "time/ProcessClock.h"

#include <windows.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace platform {
namespace {

std::atomic<uint64_t> g_abandoned{0};

// How often the receiver looks for requests whose issuer went away.
constexpr int kAbandonPollMs = 100;

bool ReadExactly(int fd, uint8_t* buffer, size_t length) {
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::recv(fd, buffer + done, length - done, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The event handle still names the object it named when the request was
// issued. The handle table's lock is a leaf lock, so this may run under ours.
bool EventAlive(HANDLE event, const std::weak_ptr<KernelObject>& issued) {
    if (event == nullptr) return true;
    auto now = LookupHandle(event);
    return now != nullptr && now == issued.lock();
}

}  // namespace

uint64_t AbandonedRequestCount() { return g_abandoned.load(); }

DeviceConnection::DeviceConnection(UniqueFd socket) : socket_(std::move(socket)) {}

DeviceConnection::~DeviceConnection() {
    if (receiver_.joinable()) {
        if (receiver_.get_id() == std::this_thread::get_id()) {
            receiver_.detach();
        } else {
            ::shutdown(socket_.Get(), SHUT_RDWR);
            receiver_.join();
        }
    }
}

std::shared_ptr<DeviceConnection> DeviceConnection::Connect(const std::string& path, DWORD* error) {
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.Valid()) {
        *error = ERROR_GEN_FAILURE;
        return nullptr;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string target = path;
    UniqueFd folder;
    // sun_path holds 108 bytes: reach longer endpoints through their folder.
    if (target.size() >= sizeof(address.sun_path)) {
        auto slash = path.find_last_of('/');
        folder = UniqueFd(::open(path.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!folder.Valid()) {
            *error = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
        target = "/proc/self/fd/" + std::to_string(folder.Get()) + path.substr(slash);
        if (target.size() >= sizeof(address.sun_path)) {
            *error = ERROR_FILENAME_EXCED_RANGE;
            return nullptr;
        }
    }
    std::memcpy(address.sun_path, target.c_str(), target.size() + 1);
    int result;
    do {
        result = ::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        *error = (errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR) ? ERROR_FILE_NOT_FOUND
                 : errno == EACCES                                           ? ERROR_ACCESS_DENIED
                                                                             : ERROR_GEN_FAILURE;
        return nullptr;
    }
    auto connection = std::make_shared<DeviceConnection>(std::move(socket));
    connection->receiver_ = std::thread([self = connection] { self->ReceiveLoop(); });
    return connection;
}

uint32_t DeviceConnection::NextIdLocked() {
    uint32_t id = nextId_++;
    if (nextId_ == 0) nextId_ = 1;
    return id;
}

bool DeviceConnection::Send(const std::vector<uint8_t>& frame) {
    std::lock_guard<std::mutex> lock(sendMutex_);
    return SendLocked(frame);
}

bool DeviceConnection::SendLocked(const std::vector<uint8_t>& frame) {
    size_t done = 0;
    while (done < frame.size()) {
        ssize_t n = ::send(socket_.Get(), frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void DeviceConnection::SendCancels(const std::vector<uint32_t>& ids) {
    for (uint32_t target : ids) {
        uint32_t id;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (closed_ || gone_) return;
            id = NextIdLocked();
        }
        Send(wire::EncodeRequest(id, wire::kCancel, target, {}, 0));
    }
}

std::shared_ptr<DeviceRequest> DeviceConnection::Issue(uint32_t op, uint32_t code, std::span<const uint8_t> input,
                                                       void* output, uint32_t outputSize, bool dataReply,
                                                       LPOVERLAPPED overlapped, DWORD* error, bool turnsOnStamps) {
    if (input.size() > wire::kMaxTransfer || outputSize > wire::kMaxTransfer) {
        *error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    auto request = std::make_shared<DeviceRequest>();
    request->overlapped = overlapped;
    request->output = static_cast<uint8_t*>(output);
    request->outputSize = outputSize;
    request->dataReply = dataReply;
    if (overlapped != nullptr && overlapped->hEvent != nullptr) {
        request->event = overlapped->hEvent;
        request->eventObject = LookupHandle(request->event);
        if (request->eventObject.expired()) {
            *error = ERROR_INVALID_HANDLE;
            return nullptr;
        }
        // A completion of this connection that is still about to set the
        // event must not set it after the reset below.
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return signalling_.count(request->event) == 0; });
        }
        ResetEvent(request->event);
    }
    if (overlapped != nullptr) {
        overlapped->Internal = kStatusPending;
        overlapped->InternalHigh = 0;
    }

    // Registered and sent under the send lock, so that a cancel of this
    // request from another thread reaches the device after the request.
    std::lock_guard<std::mutex> sending(sendMutex_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_ || gone_) {
            *error = closed_ ? ERROR_INVALID_HANDLE : ERROR_DEVICE_NOT_CONNECTED;
            if (overlapped != nullptr) overlapped->Internal = StatusFromError(*error);
            return nullptr;
        }
        request->id = NextIdLocked();
        pending_[request->id] = request;
        if (turnsOnStamps) stampsFrom_.store(request->id);
    }
    if (!SendLocked(wire::EncodeRequest(request->id, op, code, input, outputSize))) {
        bool wasPending;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            wasPending = pending_.erase(request->id) != 0;
            if (wasPending && overlapped != nullptr) overlapped->Internal = StatusFromError(ERROR_DEVICE_NOT_CONNECTED);
        }
        FailAll(ERROR_DEVICE_NOT_CONNECTED, false);
        if (wasPending) {
            *error = ERROR_DEVICE_NOT_CONNECTED;
            return nullptr;
        }
    }
    return request;
}

bool DeviceConnection::CompleteLocked(const RequestPtr& request, DWORD error, DWORD count,
                                      std::vector<RequestPtr>* signal) {
    pending_.erase(request->id);
    request->error = error;
    request->count = count;
    // An issuer that closed its event is gone, and its OVERLAPPED and buffer
    // with it: the request is dropped without touching them.
    if (!EventAlive(request->event, request->eventObject)) {
        request->state = DeviceRequest::State::Done;
        g_abandoned.fetch_add(1);
        return false;
    }
    if (request->overlapped != nullptr) {
        request->overlapped->InternalHigh = count;
        request->overlapped->Internal = StatusFromError(error);
    }
    if (request->event != nullptr) {
        request->state = DeviceRequest::State::Signalling;
        ++signalling_[request->event];
    } else {
        request->state = DeviceRequest::State::Done;
    }
    signal->push_back(request);
    return true;
}

void DeviceConnection::Signal(const std::vector<RequestPtr>& requests) {
    for (const auto& request : requests) {
        if (request->event != nullptr) SetEvent(request->event);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& request : requests) {
        if (request->state == DeviceRequest::State::Signalling) {
            request->state = DeviceRequest::State::Done;
            if (--signalling_[request->event] == 0) signalling_.erase(request->event);
        }
    }
    changed_.notify_all();
}

void DeviceConnection::Deliver(uint32_t id, DWORD error, DWORD count, std::span<const uint8_t> data) {
    std::vector<RequestPtr> signal;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = pending_.find(id);
        if (found == pending_.end()) return;  // completed already: a late reply
        RequestPtr request = found->second;
        if (request->dataReply) {
            count = static_cast<DWORD>(std::min<size_t>({data.size(), request->outputSize, count}));
            if (count > 0 && EventAlive(request->event, request->eventObject)) {
                std::memcpy(request->output, data.data(), count);
            }
        }
        CompleteLocked(request, error, count, &signal);
    }
    Signal(signal);
}

void DeviceConnection::DropAbandoned() {
    std::vector<uint32_t> cancelled;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<RequestPtr> dead;
        for (const auto& [id, request] : pending_) {
            if (!EventAlive(request->event, request->eventObject)) dead.push_back(request);
        }
        std::vector<RequestPtr> none;
        for (const auto& request : dead) {
            CompleteLocked(request, ERROR_OPERATION_ABORTED, 0, &none);
            cancelled.push_back(request->id);
        }
    }
    SendCancels(cancelled);
}

size_t DeviceConnection::Cancel(LPOVERLAPPED overlapped) {
    std::vector<RequestPtr> signal;
    std::vector<uint32_t> ids;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<RequestPtr> matching;
        for (const auto& [id, request] : pending_) {
            if (overlapped == nullptr || request->overlapped == overlapped) matching.push_back(request);
        }
        for (const auto& request : matching) {
            ids.push_back(request->id);
            CompleteLocked(request, ERROR_OPERATION_ABORTED, 0, &signal);
        }
    }
    SendCancels(ids);
    Signal(signal);
    return ids.size();
}

void DeviceConnection::FailAll(DWORD error, bool tellDevice) {
    std::vector<RequestPtr> signal;
    std::vector<uint32_t> ids;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (error == ERROR_DEVICE_NOT_CONNECTED) gone_ = true;
        std::vector<RequestPtr> all;
        for (const auto& entry : pending_) all.push_back(entry.second);
        for (const auto& request : all) {
            ids.push_back(request->id);
            CompleteLocked(request, error, 0, &signal);
        }
    }
    if (tellDevice) SendCancels(ids);
    Signal(signal);
}

bool DeviceConnection::WaitDone(const std::shared_ptr<DeviceRequest>& request, DWORD milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto done = [&] { return request->state == DeviceRequest::State::Done; };
    if (milliseconds == INFINITE) {
        changed_.wait(lock, done);
        return true;
    }
    return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), done);
}

bool DeviceConnection::Result(LPOVERLAPPED overlapped, bool wait, DWORD* error, DWORD* count) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto inFlight = [&] {
        return std::any_of(pending_.begin(), pending_.end(),
                           [&](const auto& entry) { return entry.second->overlapped == overlapped; });
    };
    if (overlapped->Internal == kStatusPending && inFlight()) {
        if (!wait) {
            *error = ERROR_IO_INCOMPLETE;
            return false;
        }
        changed_.wait(lock, [&] { return overlapped->Internal != kStatusPending || !inFlight(); });
    }
    if (overlapped->Internal == kStatusPending) {
        *error = ERROR_IO_INCOMPLETE;
        return false;
    }
    *count = static_cast<DWORD>(overlapped->InternalHigh);
    *error = ErrorFromStatus(overlapped->Internal);
    return *error == 0;
}

bool DeviceConnection::MeetClock(uint64_t target, bool stamp, DWORD milliseconds, uint64_t* deviceNow,
                                 bool* isVirtual) {
    std::vector<uint8_t> input;
    wire::PutU32(input, static_cast<uint32_t>(target));
    wire::PutU32(input, static_cast<uint32_t>(target >> 32));
    wire::PutU32(input, stamp ? kClockSyncStamp : 0);
    uint8_t output[16] = {};
    DWORD error = 0;
    auto request = Issue(wire::kIoctl, kIoctlClockSync, input, output, sizeof output, true, nullptr, &error, stamp);
    if (!request) return false;
    if (!WaitDone(request, milliseconds)) {
        Cancel(nullptr);
        return false;
    }
    if (request->error != 0 || request->count != sizeof output) return false;
    *deviceNow = static_cast<uint64_t>(wire::GetU32(output)) | static_cast<uint64_t>(wire::GetU32(output + 4)) << 32;
    *isVirtual = (wire::GetU32(output + 8) & kClockSyncVirtual) != 0;
    return true;
}

void DeviceConnection::Close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;
        closed_ = true;
    }
    if (attached_.exchange(false)) DetachDeviceClock(this);
    // The device cancels a closed connection's requests itself.
    FailAll(ERROR_OPERATION_ABORTED, false);
    ::shutdown(socket_.Get(), SHUT_RDWR);
    if (receiver_.joinable() && receiver_.get_id() != std::this_thread::get_id()) receiver_.join();
}

void DeviceConnection::ReceiveLoop() {
    const int fd = socket_.Get();
    std::vector<uint8_t> body;
    bool stamped = false;  // answers end with the device time
    auto lastCheck = std::chrono::steady_clock::now();
    for (;;) {
        pollfd poller{fd, POLLIN, 0};
        int ready = ::poll(&poller, 1, kAbandonPollMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            DropAbandoned();
            lastCheck = std::chrono::steady_clock::now();
            continue;
        }
        uint8_t sizeBytes[4];
        if (ready < 0 || !ReadExactly(fd, sizeBytes, sizeof sizeBytes)) break;
        uint32_t size = wire::GetU32(sizeBytes);
        const size_t stamp = stamped ? 8 : 0;
        if (size < wire::kReplyFixed + stamp || size > wire::kReplyFixed + stamp + wire::kMaxTransfer) break;
        body.resize(size);
        if (!ReadExactly(fd, body.data(), size)) break;
        const uint32_t id = wire::GetU32(body.data());
        const uint32_t error = wire::GetU32(body.data() + 4);
        if (stamped && attached_.load()) {
            const uint8_t* time = body.data() + size - 8;
            const uint64_t device = static_cast<uint64_t>(wire::GetU32(time)) | static_cast<uint64_t>(wire::GetU32(time + 4)) << 32;
            // Seen before the answer is delivered: whoever it wakes sees the time it came at.
            ProcessTimeSeen(static_cast<uint64_t>(static_cast<int64_t>(device) + clockOffset_.load()));
        }
        Deliver(id, error, wire::GetU32(body.data() + 8),
                std::span<const uint8_t>(body).subspan(wire::kReplyFixed, size - wire::kReplyFixed - stamp));
        if (!stamped && id == stampsFrom_.load() && error == 0) stamped = true;
        if (std::chrono::steady_clock::now() - lastCheck >= std::chrono::milliseconds(kAbandonPollMs)) {
            DropAbandoned();
            lastCheck = std::chrono::steady_clock::now();
        }
    }
    bool closing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing = closed_;
    }
    // The device went away (unplugged, or it broke the framing); its clock
    // no longer sets the process's time.
    if (!closing) {
        if (attached_.exchange(false)) DetachDeviceClock(this);
        FailAll(ERROR_DEVICE_NOT_CONNECTED, false);
    }
}

}  // namespace platform
