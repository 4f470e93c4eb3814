#include "server/SocketServer.h"
#include "core/ByteOrder.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <emulator/DeviceConnection.h>
#include <emulator/VirtualScanner.h>

#include "core/Device.h"

namespace emulator {
namespace {

constexpr std::uint32_t kHeaderWords = 5;  // id, op, code, inLength, outLength
constexpr std::uint32_t kMaxPayload = 16u << 20;

bool ReadExact(int fd, std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::read(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The socket address of the endpoint; paths too long for sun_path are
// reached through the open device folder.
sockaddr_un Address(const std::filesystem::path& endpoint, int dirFd)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string path = endpoint.string();
    if (path.size() >= sizeof addr.sun_path)
        path = "/proc/self/fd/" + std::to_string(dirFd) + "/" + endpoint.filename().string();
    std::memcpy(addr.sun_path, path.c_str(), std::min(path.size(), sizeof addr.sun_path - 1));
    return addr;
}

}  // namespace

struct SocketServer::Client {
    int fd = -1;
    std::mutex write;
    bool closed = false;
    bool stamped = false;  // replies carry the device time (asked by a clock meeting)
    std::unique_ptr<DeviceConnection> connection;

    void Reply(std::uint32_t id, const DeviceReply& reply, bool stampLater = false)
    {
        std::vector<std::uint8_t> frame;
        frame.reserve(24 + reply.data.size());
        const std::uint32_t count = std::min<std::uint32_t>(reply.count, static_cast<std::uint32_t>(reply.data.size()));
        std::lock_guard lock(write);
        const std::uint32_t stamp = stamped ? 8 : 0;
        AppendLe(frame, 12 + static_cast<std::uint32_t>(reply.data.size()) + stamp);
        AppendLe(frame, id);
        AppendLe(frame, reply.error);
        AppendLe(frame, reply.data.empty() ? reply.count : count);
        frame.insert(frame.end(), reply.data.begin(), reply.data.end());
        if (stamp != 0) {
            const auto time = static_cast<std::uint64_t>(reply.timeNs);
            AppendLe(frame, static_cast<std::uint32_t>(time));
            AppendLe(frame, static_cast<std::uint32_t>(time >> 32));
        }
        if (!closed)
            WriteAll(fd, frame.data(), frame.size());
        // The answer that turns stamps on goes out without one.
        if (stampLater && reply.error == kErrorSuccess)
            stamped = true;
    }

    void Shutdown()
    {
        std::lock_guard lock(write);
        if (!closed)
            ::shutdown(fd, SHUT_RDWR);
    }
};

SocketServer::SocketServer(std::shared_ptr<Device> device, const std::filesystem::path& root, unsigned number)
    : device_(std::move(device))
{
    const std::filesystem::path folder = root / "devices";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    endpoint_ = folder / ("usbscan" + std::to_string(number));
    dirFd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0)
        throw Error("cannot open " + folder.string());
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(dirFd_);
        throw Error("cannot create a pipe");
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    try {
        Listen();
    } catch (...) {
        ::close(wakeRead_);
        ::close(wakeWrite_);
        ::close(dirFd_);
        throw;
    }
    device_->SetPlugListener([this](bool plugged) { PlugChanged(plugged); });
    {
        // Unplugged before serving: no endpoint until plugged.
        std::lock_guard lock(mutex_);
        if (!device_->WithState([&] { return device_->Plugged(); })) {
            plugged_ = false;
            CloseListener();
        }
    }
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

SocketServer::~SocketServer()
{
    device_->SetPlugListener(nullptr);
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        for (auto& client : clients_)
            client->Shutdown();
    }
    [[maybe_unused]] auto n = ::write(wakeWrite_, "x", 1);
    changed_.notify_all();
    acceptor_.join();
    {
        std::lock_guard lock(mutex_);
        CloseListener();
    }
    for (;;) {
        std::list<std::thread> threads;
        {
            std::lock_guard lock(mutex_);
            threads.swap(threads_);
        }
        if (threads.empty())
            break;
        for (auto& t : threads)
            t.join();
    }
    ::close(wakeRead_);
    ::close(wakeWrite_);
    ::close(dirFd_);
}

void SocketServer::Listen()
{
    const sockaddr_un addr = Address(endpoint_, dirFd_);
    struct stat st{};
    if (::fstatat(dirFd_, endpoint_.filename().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool live = probe >= 0 && ::connect(probe, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
        if (probe >= 0)
            ::close(probe);
        if (live)
            throw Error("device busy");
        ::unlinkat(dirFd_, endpoint_.filename().c_str(), 0);
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw Error(std::string("cannot create a socket: ") + std::strerror(errno));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
        const int err = errno;
        ::close(fd);
        throw Error("cannot serve " + endpoint_.string() + ": " + std::strerror(err));
    }
    listenFd_ = fd;
}

void SocketServer::CloseListener()
{
    if (listenFd_ < 0)
        return;
    ::close(listenFd_);
    listenFd_ = -1;
    ::unlinkat(dirFd_, endpoint_.filename().c_str(), 0);
}

void SocketServer::PlugChanged(bool plugged)
{
    {
        std::lock_guard lock(mutex_);
        if (stop_ || plugged == plugged_)
            return;
        plugged_ = plugged;
        if (plugged) {
            try {
                Listen();
            } catch (const Error&) {
                plugged_ = false;
            }
        } else {
            // Gone: connections are closed and the endpoint removed.
            CloseListener();
            for (auto& client : clients_)
                client->Shutdown();
        }
    }
    [[maybe_unused]] auto n = ::write(wakeWrite_, "x", 1);
    changed_.notify_all();
}

void SocketServer::AcceptLoop()
{
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (listenFd_ < 0) {
            changed_.wait(lock, [&] { return stop_ || listenFd_ >= 0; });
            continue;
        }
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        lock.unlock();
        ::poll(fds, 2, -1);
        char drain[64];
        while (::read(wakeRead_, drain, sizeof drain) > 0) {
        }
        lock.lock();
        if (stop_ || listenFd_ != fds[0].fd || !(fds[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        auto client = std::make_shared<Client>();
        client->fd = fd;
        client->connection = std::make_unique<DeviceConnection>(device_, device_->OpenConnection());
        clients_.push_back(client);
        threads_.emplace_back([this, client] { ServeClient(client); });
    }
}

void SocketServer::ServeClient(std::shared_ptr<Client> client)
{
    std::vector<std::uint8_t> frame;
    for (;;) {
        std::uint8_t sizeBytes[4];
        if (!ReadExact(client->fd, sizeBytes, 4))
            break;
        const std::uint32_t size = LoadLe32(sizeBytes);
        if (size < kHeaderWords * 4)
            break;
        if (size > kHeaderWords * 4 + kMaxPayload + 12) {
            // Refused: read past it and answer with an error.
            std::uint8_t head[4];
            if (!ReadExact(client->fd, head, 4))
                break;
            std::vector<std::uint8_t> sink(64 * 1024);
            std::uint64_t left = size - 4u;
            bool ok = true;
            while (left > 0 && ok) {
                const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, sink.size()));
                ok = ReadExact(client->fd, sink.data(), n);
                left -= n;
            }
            if (!ok)
                break;
            client->Reply(LoadLe32(head), DeviceReply{kErrorInvalidParameter, 0, {}});
            continue;
        }
        frame.resize(size);
        if (!ReadExact(client->fd, frame.data(), size))
            break;
        const std::uint32_t id = LoadLe32(frame, 0);
        const std::uint32_t op = LoadLe32(frame, 4);
        DeviceRequest request;
        request.code = LoadLe32(frame, 8);
        const std::uint32_t inLength = LoadLe32(frame, 12);
        request.outLength = LoadLe32(frame, 16);
        if (inLength != size - kHeaderWords * 4 || op < 1 || op > 4) {
            if (op != 4)
                client->Reply(id, DeviceReply{kErrorInvalidParameter, 0, {}});
            continue;
        }
        request.op = static_cast<RequestOp>(op);
        request.input.assign(frame.begin() + kHeaderWords * 4, frame.end());
        if (request.op == RequestOp::Cancel) {
            client->connection->Cancel(request.code);
            continue;
        }
        const bool stampLater = request.op == RequestOp::Ioctl && request.code == kIoctlClockSync &&
                                request.input.size() == 12 && (request.input[8] & kClockSyncStamp) != 0;
        client->connection->Submit(id, std::move(request),
                                   [client, stampLater](std::uint32_t replyId, const DeviceReply& reply) {
                                       client->Reply(replyId, reply, stampLater);
                                   });
    }
    // Closing the connection cancels what is still pending.
    client->connection.reset();
    {
        std::lock_guard lock(client->write);
        client->closed = true;
        ::close(client->fd);
    }
    std::lock_guard lock(mutex_);
    clients_.remove(client);
}

}  // namespace emulator
