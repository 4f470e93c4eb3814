// Device files against a small fake device speaking the wire protocol.
#include <windows.h>
#include <usbscan.h>

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The device-private clock meeting each open sends first.
constexpr uint32_t kClockMeeting = 0x80003FF8;

uint32_t U32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

void Put(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

bool ReadAll(int fd, uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t r = ::recv(fd, p, n, 0);
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

struct Received {
    int connection = 0;
    uint32_t id = 0, op = 0, code = 0, outLength = 0;
    std::vector<uint8_t> input;
};

// Serves devices/usbscanN of the current root. Requests are queued for the
// test to answer, in any order, unless `autoReply` answers them at once.
class FakeDevice {
public:
    struct Answer {
        Answer(uint32_t e, std::vector<uint8_t> d, std::optional<uint32_t> c = std::nullopt)
            : error(e), data(std::move(d)), count(c) {}
        uint32_t error;
        std::vector<uint8_t> data;
        std::optional<uint32_t> count;  // default: data size
    };
    using AutoReply = std::function<std::optional<Answer>(const Received&)>;

    explicit FakeDevice(const std::string& endpoint, AutoReply autoReply = {})
        : endpoint_(endpoint), autoReply_(std::move(autoReply)) {
        ::mkdir(endpoint.substr(0, endpoint.find_last_of('/')).c_str(), 0777);
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, endpoint.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << endpoint;
        EXPECT_EQ(::listen(listener_, 8), 0);
        acceptor_ = std::thread([this] { AcceptLoop(); });
    }

    static std::string EndpointFor(int number) {
        return platform::testing::Root() + "/devices/usbscan" + std::to_string(number);
    }

    ~FakeDevice() { Unplug(); }

    std::optional<Received> Next(std::chrono::milliseconds timeout = 5000ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [&] { return !queue_.empty(); })) return std::nullopt;
        Received next = std::move(queue_.front());
        queue_.pop_front();
        return next;
    }

    // The next request that is not a cancel.
    std::optional<Received> NextRequest(std::chrono::milliseconds timeout = 5000ms) {
        for (;;) {
            auto next = Next(timeout);
            if (!next || next->op != 4) return next;
            std::lock_guard<std::mutex> lock(mutex_);
            cancels_.push_back(next->code);
        }
    }

    std::vector<uint32_t> Cancels() {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = queue_.begin(); it != queue_.end();) {
            if (it->op == 4) {
                cancels_.push_back(it->code);
                it = queue_.erase(it);
            } else {
                ++it;
            }
        }
        return cancels_;
    }

    void Reply(const Received& request, const Answer& answer) {
        std::vector<uint8_t> frame;
        Put(frame, static_cast<uint32_t>(12 + answer.data.size()));
        Put(frame, request.id);
        Put(frame, answer.error);
        Put(frame, answer.count.value_or(static_cast<uint32_t>(answer.data.size())));
        frame.insert(frame.end(), answer.data.begin(), answer.data.end());
        std::lock_guard<std::mutex> lock(mutex_);
        if (request.connection < static_cast<int>(connections_.size())) {
            ::send(connections_[request.connection], frame.data(), frame.size(), MSG_NOSIGNAL);
        }
    }

    // Whether connection `index` was closed by the client.
    bool Disconnected(int index, std::chrono::milliseconds timeout = 5000ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return closed_.count(index) != 0; });
    }

    void Unplug() {
        if (listener_ < 0) return;
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        listener_ = -1;
        ::unlink(endpoint_.c_str());
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (int fd : connections_) ::shutdown(fd, SHUT_RDWR);
        }
        if (acceptor_.joinable()) acceptor_.join();
        for (auto& reader : readers_) reader.join();
        readers_.clear();
        for (int fd : connections_) ::close(fd);
        connections_.clear();
    }

private:
    void AcceptLoop() {
        for (;;) {
            int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) return;
            std::lock_guard<std::mutex> lock(mutex_);
            int index = static_cast<int>(connections_.size());
            connections_.push_back(fd);
            readers_.emplace_back([this, fd, index] { ReadLoop(fd, index); });
        }
    }

    void ReadLoop(int fd, int index) {
        for (;;) {
            uint8_t header[24];
            if (!ReadAll(fd, header, 4) || !ReadAll(fd, header + 4, 20)) break;
            Received request;
            request.connection = index;
            request.id = U32(header + 4);
            request.op = U32(header + 8);
            request.code = U32(header + 12);
            uint32_t inLength = U32(header + 16);
            request.outLength = U32(header + 20);
            EXPECT_EQ(U32(header), 20 + inLength);
            request.input.resize(inLength);
            if (inLength > 0 && !ReadAll(fd, request.input.data(), inLength)) break;
            // A device with no clock of its own to tell, as a real one.
            if (request.op == 3 && request.code == kClockMeeting) {
                Reply(request, {ERROR_INVALID_FUNCTION, {}});
                continue;
            }
            if (autoReply_ && request.op != 4) {
                if (auto answer = autoReply_(request)) {
                    Reply(request, *answer);
                    continue;
                }
            }
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(std::move(request));
            changed_.notify_all();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        closed_.insert(index);
        changed_.notify_all();
    }

    std::string endpoint_;
    AutoReply autoReply_;
    int listener_ = -1;
    std::thread acceptor_;
    std::vector<std::thread> readers_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> connections_;
    std::deque<Received> queue_;
    std::vector<uint32_t> cancels_;
    std::set<int> closed_;
};

// An overlapped request with its own manual-reset event.
struct Pending {
    OVERLAPPED overlapped{};
    Pending() { overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~Pending() {
        if (overlapped.hEvent != nullptr) CloseHandle(overlapped.hEvent);
    }
    Pending(const Pending&) = delete;
    Pending& operator=(const Pending&) = delete;
    DWORD Wait(DWORD ms = 5000) { return WaitForSingleObject(overlapped.hEvent, ms); }
};

HANDLE OpenDevice(int number, DWORD flags = FILE_FLAG_OVERLAPPED) {
    std::string name = "\\\\.\\usbscan" + std::to_string(number);
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, flags, nullptr);
}

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> list) { return std::vector<uint8_t>(list); }

class IoDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        device_ = std::make_unique<FakeDevice>(FakeDevice::EndpointFor(0));
        handle_ = OpenDevice(0);
        ASSERT_NE(handle_, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        device_.reset();
    }

    // A full round trip: its reply follows every earlier reply on the connection.
    void RoundTrip() {
        Pending request;
        uint8_t byte = 0;
        ASSERT_FALSE(ReadFile(handle_, &byte, 1, nullptr, &request.overlapped));
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
        auto received = device_->NextRequest();
        ASSERT_TRUE(received);
        device_->Reply(*received, {0, Bytes({7})});
        DWORD count = 0;
        ASSERT_TRUE(GetOverlappedResult(handle_, &request.overlapped, &count, TRUE));
        EXPECT_EQ(byte, 7);
    }

    std::unique_ptr<FakeDevice> device_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST_F(IoDeviceTest, ReadPendsThenCompletesWithTheDeviceBytes) {
    Pending request;
    uint8_t buffer[4] = {};
    DWORD count = 99;
    EXPECT_FALSE(ReadFile(handle_, buffer, sizeof buffer, &count, &request.overlapped));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_EQ(request.overlapped.Internal, 0x103u);

    auto received = device_->NextRequest();
    ASSERT_TRUE(received);
    EXPECT_EQ(received->op, 1u);
    EXPECT_EQ(received->outLength, 4u);
    EXPECT_TRUE(received->input.empty());

    EXPECT_FALSE(GetOverlappedResult(handle_, &request.overlapped, &count, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));

    device_->Reply(*received, {0, Bytes({1, 2, 3})});
    ASSERT_EQ(request.Wait(), WAIT_OBJECT_0);
    ASSERT_TRUE(GetOverlappedResult(handle_, &request.overlapped, &count, FALSE));
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[2], 3);
    EXPECT_EQ(buffer[3], 0);
}

TEST_F(IoDeviceTest, WriteSendsTheDataAndTakesTheCountFromTheReply) {
    Pending request;
    const uint8_t data[5] = {9, 8, 7, 6, 5};
    EXPECT_FALSE(WriteFile(handle_, data, sizeof data, nullptr, &request.overlapped));
    auto received = device_->NextRequest();
    ASSERT_TRUE(received);
    EXPECT_EQ(received->op, 2u);
    EXPECT_EQ(received->input, std::vector<uint8_t>(data, data + 5));
    EXPECT_EQ(received->outLength, 0u);
    device_->Reply(*received, {0, {}, 4});
    DWORD count = 0;
    ASSERT_TRUE(GetOverlappedResult(handle_, &request.overlapped, &count, TRUE));
    EXPECT_EQ(count, 4u);
}

TEST_F(IoDeviceTest, DeviceErrorsReachGetOverlappedResult) {
    Pending request;
    uint8_t buffer[2];
    EXPECT_FALSE(ReadFile(handle_, buffer, sizeof buffer, nullptr, &request.overlapped));
    auto received = device_->NextRequest();
    ASSERT_TRUE(received);
    device_->Reply(*received, {ERROR_GEN_FAILURE, {}});
    DWORD count = 5;
    EXPECT_FALSE(GetOverlappedResult(handle_, &request.overlapped, &count, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(count, 0u);
}

TEST_F(IoDeviceTest, RepliesInAnyOrderReachTheirOwnRequests) {
    Pending requests[3];
    uint8_t buffers[3][2] = {};
    for (int i = 0; i < 3; ++i) {
        ASSERT_FALSE(ReadFile(handle_, buffers[i], 2, nullptr, &requests[i].overlapped));
    }
    std::vector<Received> received;
    for (int i = 0; i < 3; ++i) {
        auto next = device_->NextRequest();
        ASSERT_TRUE(next);
        received.push_back(*next);
    }
    for (int i = 2; i >= 0; --i) {
        device_->Reply(received[i], {0, Bytes({static_cast<uint8_t>(10 + i), static_cast<uint8_t>(20 + i)})});
    }
    for (int i = 0; i < 3; ++i) {
        DWORD count = 0;
        ASSERT_TRUE(GetOverlappedResult(handle_, &requests[i].overlapped, &count, TRUE));
        EXPECT_EQ(count, 2u);
        EXPECT_EQ(buffers[i][0], 10 + i);
        EXPECT_EQ(buffers[i][1], 20 + i);
    }
}

TEST_F(IoDeviceTest, CancelAfterTimeOutLeavesNoLateWrite) {
    auto buffer = std::make_unique<uint8_t[]>(16);
    std::memset(buffer.get(), 0xAA, 16);
    auto request = std::make_unique<Pending>();
    ASSERT_FALSE(ReadFile(handle_, buffer.get(), 16, nullptr, &request->overlapped));
    auto received = device_->NextRequest();
    ASSERT_TRUE(received);
    EXPECT_EQ(request->Wait(20), static_cast<DWORD>(WAIT_TIMEOUT));

    ASSERT_TRUE(CancelIoEx(handle_, &request->overlapped));
    DWORD count = 1;
    EXPECT_FALSE(GetOverlappedResult(handle_, &request->overlapped, &count, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(CancelIoEx(handle_, &request->overlapped));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));

    // The issuer's buffer and OVERLAPPED go away; the late reply must not reach them.
    std::vector<uint8_t> kept(buffer.get(), buffer.get() + 16);
    request.reset();
    buffer.reset();
    device_->Reply(*received, {0, std::vector<uint8_t>(16, 0x55)});
    RoundTrip();
    EXPECT_EQ(kept, std::vector<uint8_t>(16, 0xAA));
    auto cancels = device_->Cancels();
    ASSERT_EQ(cancels.size(), 1u);
    EXPECT_EQ(cancels[0], received->id);
}

TEST_F(IoDeviceTest, CancelIoWithoutOverlappedCancelsEveryRequestOfTheHandle) {
    Pending first, second;
    uint8_t a = 0, b = 0;
    ASSERT_FALSE(ReadFile(handle_, &a, 1, nullptr, &first.overlapped));
    ASSERT_FALSE(ReadFile(handle_, &b, 1, nullptr, &second.overlapped));
    ASSERT_TRUE(device_->NextRequest());
    ASSERT_TRUE(device_->NextRequest());
    ASSERT_TRUE(CancelIo(handle_));
    for (Pending* request : {&first, &second}) {
        EXPECT_EQ(request->Wait(), WAIT_OBJECT_0);
        DWORD count = 0;
        EXPECT_FALSE(GetOverlappedResult(handle_, &request->overlapped, &count, FALSE));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    }
    EXPECT_FALSE(CancelIo(handle_));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));
}

TEST_F(IoDeviceTest, CloseCancelsPendingRequestsAndDisconnects) {
    Pending request;
    uint8_t buffer[4];
    std::memset(buffer, 0xAA, sizeof buffer);
    ASSERT_FALSE(ReadFile(handle_, buffer, sizeof buffer, nullptr, &request.overlapped));
    auto received = device_->NextRequest();
    ASSERT_TRUE(received);
    ASSERT_TRUE(CloseHandle(handle_));
    handle_ = INVALID_HANDLE_VALUE;
    EXPECT_EQ(request.Wait(0), WAIT_OBJECT_0);
    EXPECT_NE(request.overlapped.Internal, 0x103u);
    EXPECT_TRUE(device_->Disconnected(received->connection));
    device_->Reply(*received, {0, Bytes({1, 2, 3, 4})});
    EXPECT_EQ(buffer[0], 0xAA);
}

TEST_F(IoDeviceTest, UnplugFailsPendingAndLaterRequests) {
    Pending request;
    uint8_t buffer[4];
    ASSERT_FALSE(ReadFile(handle_, buffer, sizeof buffer, nullptr, &request.overlapped));
    ASSERT_TRUE(device_->NextRequest());
    device_->Unplug();
    DWORD count = 0;
    EXPECT_FALSE(GetOverlappedResult(handle_, &request.overlapped, &count, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));

    Pending later;
    EXPECT_FALSE(ReadFile(handle_, buffer, sizeof buffer, nullptr, &later.overlapped));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(OpenDevice(0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(IoDeviceTest, ClosedEventAbandonsThePendingRequest) {
    uint64_t before = platform::testing::AbandonedRequests();
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    uint8_t buffer[4];
    ASSERT_FALSE(ReadFile(handle_, buffer, sizeof buffer, nullptr, &overlapped));
    auto received = device_->NextRequest();
    ASSERT_TRUE(received);
    CloseHandle(overlapped.hEvent);
    for (int i = 0; i < 500 && platform::testing::AbandonedRequests() == before; ++i) Sleep(10);
    EXPECT_EQ(platform::testing::AbandonedRequests(), before + 1);
    for (int i = 0; i < 500 && device_->Cancels().empty(); ++i) Sleep(10);
    ASSERT_EQ(device_->Cancels().size(), 1u);
    EXPECT_EQ(device_->Cancels()[0], received->id);
}

TEST_F(IoDeviceTest, ReadRegistersSendsTheNeutralBlockAndFillsTheOutput) {
    uint8_t value = 0;
    IO_BLOCK block{0x84, 1, &value, 0x10};
    Pending request;
    ASSERT_FALSE(DeviceIoControl(handle_, IOCTL_READ_REGISTERS, &block, sizeof block, &value, 1, nullptr,
                                 &request.overlapped));
    auto received = device_->NextRequest();
    ASSERT_TRUE(received);
    EXPECT_EQ(received->op, 3u);
    EXPECT_EQ(received->code, static_cast<uint32_t>(IOCTL_READ_REGISTERS));
    EXPECT_EQ(received->input, Bytes({0x84, 0, 0, 0, 0x10, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(received->outLength, 1u);
    device_->Reply(*received, {0, Bytes({0x5A})});
    DWORD count = 0;
    ASSERT_TRUE(GetOverlappedResult(handle_, &request.overlapped, &count, TRUE));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(value, 0x5A);
}

TEST_F(IoDeviceTest, WriteRegistersSendsTheBlockAndItsData) {
    uint8_t pairs[4] = {0x01, 0x20, 0x02, 0x30};
    IO_BLOCK block{0x83, 4, pairs, 0};
    Pending request;
    ASSERT_FALSE(DeviceIoControl(handle_, IOCTL_WRITE_REGISTERS, &block, sizeof block, nullptr, 0, nullptr,
                                 &request.overlapped));
    auto received = device_->NextRequest();
    ASSERT_TRUE(received);
    EXPECT_EQ(received->input, Bytes({0x83, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0x01, 0x20, 0x02, 0x30}));
    EXPECT_EQ(received->outLength, 0u);
    device_->Reply(*received, {0, {}, 4});
    DWORD count = 0;
    ASSERT_TRUE(GetOverlappedResult(handle_, &request.overlapped, &count, TRUE));
    EXPECT_EQ(count, 4u);
}

TEST_F(IoDeviceTest, IoBlockOfTheWrongSizeIsRefusedWithoutARequest) {
    uint8_t value = 0;
    IO_BLOCK block{0x84, 1, &value, 0};
    Pending request;
    for (DWORD size : {static_cast<DWORD>(sizeof block - 4), static_cast<DWORD>(sizeof block + 4), 0u}) {
        EXPECT_FALSE(DeviceIoControl(handle_, IOCTL_READ_REGISTERS, &block, size, &value, 1, nullptr,
                                     &request.overlapped));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << size;
    }
    EXPECT_FALSE(device_->Next(50ms));
}

TEST_F(IoDeviceTest, OtherControlCodesPassTheCallersBytes) {
    DEVICE_DESCRIPTOR descriptor{};
    uint8_t input[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    Pending request;
    ASSERT_FALSE(DeviceIoControl(handle_, IOCTL_GET_DEVICE_DESCRIPTOR, input, sizeof input, &descriptor,
                                 sizeof descriptor, nullptr, &request.overlapped));
    auto received = device_->NextRequest();
    ASSERT_TRUE(received);
    EXPECT_EQ(received->input, std::vector<uint8_t>(input, input + 8));
    EXPECT_EQ(received->outLength, 8u);
    device_->Reply(*received, {0, Bytes({0xC4, 0x17, 0xF0, 0x00, 0x00, 0x01, 0x09, 0x04})});
    DWORD count = 0;
    ASSERT_TRUE(GetOverlappedResult(handle_, &request.overlapped, &count, TRUE));
    EXPECT_EQ(count, 8u);
    EXPECT_EQ(descriptor.usVendorId, 0x17C4);
    EXPECT_EQ(descriptor.usProductId, 0x00F0);
    EXPECT_EQ(descriptor.usLanguageId, 0x0409);

    // A pipe type passed as output only (METHOD_BUFFERED) sends nothing.
    ULONG pipe = ALL_PIPE;
    Pending reset;
    ASSERT_FALSE(DeviceIoControl(handle_, IOCTL_RESET_PIPE, nullptr, 0, &pipe, sizeof pipe, nullptr,
                                 &reset.overlapped));
    received = device_->NextRequest();
    ASSERT_TRUE(received);
    EXPECT_TRUE(received->input.empty());
    device_->Reply(*received, {0, {}});
    DWORD resetCount = 0;
    EXPECT_TRUE(GetOverlappedResult(handle_, &reset.overlapped, &resetCount, TRUE));
}

TEST_F(IoDeviceTest, CloseAfterTheIssuerLeftDoesNotTouchItsOverlapped) {
    uint64_t before = platform::testing::AbandonedRequests();
    auto request = std::make_unique<Pending>();
    auto buffer = std::make_unique<uint8_t[]>(8);
    ASSERT_FALSE(ReadFile(handle_, buffer.get(), 8, nullptr, &request->overlapped));
    ASSERT_TRUE(device_->NextRequest());
    request.reset();
    buffer.reset();
    ASSERT_TRUE(CloseHandle(handle_));
    handle_ = INVALID_HANDLE_VALUE;
    EXPECT_EQ(platform::testing::AbandonedRequests(), before + 1);
}

TEST_F(IoDeviceTest, MissingOverlappedOrOversizedTransferIsRefusedWithoutARequest) {
    uint8_t buffer[1];
    EXPECT_FALSE(ReadFile(handle_, buffer, 1, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    std::vector<uint8_t> large(16 * 1024 * 1024 + 1);
    Pending request;
    EXPECT_FALSE(ReadFile(handle_, large.data(), static_cast<DWORD>(large.size()), nullptr, &request.overlapped));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(device_->Next(50ms));
}

TEST(IoDeviceOpenTest, AbsentEndpointAndWrongDispositionFail) {
    EXPECT_EQ(OpenDevice(3), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    FakeDevice device(FakeDevice::EndpointFor(3));
    EXPECT_EQ(CreateFileA("\\\\.\\usbscan3", GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    HANDLE upper = CreateFileA("\\\\.\\USBSCAN3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr);
    EXPECT_NE(upper, INVALID_HANDLE_VALUE);
    HANDLE second = OpenDevice(3);
    EXPECT_NE(second, INVALID_HANDLE_VALUE);
    CloseHandle(upper);
    CloseHandle(second);
}

FakeDevice::AutoReply EchoLength() {
    return [](const Received& request) -> std::optional<FakeDevice::Answer> {
        return FakeDevice::Answer{0, std::vector<uint8_t>(request.outLength, 0x42), {}};
    };
}

TEST(IoDeviceSyncTest, SyncCompletionReturnsTrueWithTheCount) {
    FakeDevice device(FakeDevice::EndpointFor(0), EchoLength());
    platform::testing::SetSyncCompletion(5000);
    HANDLE handle = OpenDevice(0);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    Pending request;
    uint8_t buffer[3] = {};
    DWORD count = 0;
    ASSERT_TRUE(ReadFile(handle, buffer, sizeof buffer, &count, &request.overlapped));
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(buffer[2], 0x42);
    EXPECT_EQ(request.Wait(0), WAIT_OBJECT_0);
    CloseHandle(handle);
}

TEST(IoDeviceSyncTest, HandleWithoutOverlappedFlagWaitsForTheReply) {
    FakeDevice device(FakeDevice::EndpointFor(0), EchoLength());
    HANDLE handle = OpenDevice(0, 0);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    uint8_t buffer[5] = {};
    DWORD count = 0;
    ASSERT_TRUE(ReadFile(handle, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(buffer[4], 0x42);
    CloseHandle(handle);
}

TEST(IoDeviceLongPathTest, LongEndpointPathsAreReachedThroughTheirFolder) {
    // Nest the root deep enough that the endpoint exceeds sun_path.
    std::string deep = platform::testing::Root() + "/" + std::string(60, 'd') + "/" + std::string(60, 'e');
    ASSERT_EQ(::mkdir((platform::testing::Root() + "/" + std::string(60, 'd')).c_str(), 0777), 0);
    ASSERT_EQ(::mkdir(deep.c_str(), 0777), 0);
    ASSERT_EQ(::mkdir((deep + "/drives").c_str(), 0777), 0);
    platform::testing::SetRoot(deep);
    std::string endpoint = deep + "/devices/usbscan0";
    ASSERT_GE(endpoint.size(), sizeof(sockaddr_un{}.sun_path));
    // bind() needs a short name too: bind relative to the folder.
    std::string folder = deep + "/devices";
    ::mkdir(folder.c_str(), 0777);
    char previous[4096];
    ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(::chdir(folder.c_str()), 0);
    int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "usbscan0");
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::chdir(previous), 0);
    HANDLE handle = OpenDevice(0);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    ::close(listener);
}

}  // namespace
