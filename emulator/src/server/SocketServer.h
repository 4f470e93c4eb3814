// Serves one device on <root>/devices/usbscanN: a Unix stream socket per
// host handle, little-endian framed requests in, replies out in any order.
#pragma once

#include <condition_variable>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace emulator {

class Device;

class SocketServer {
public:
    // Error "device busy" when a live server holds the endpoint.
    SocketServer(std::shared_ptr<Device> device, const std::filesystem::path& root, unsigned number);
    ~SocketServer();
    SocketServer(const SocketServer&) = delete;
    SocketServer& operator=(const SocketServer&) = delete;

    const std::filesystem::path& Endpoint() const { return endpoint_; }

private:
    struct Client;

    void Listen();
    void CloseListener();
    void AcceptLoop();
    void ServeClient(std::shared_ptr<Client> client);
    void PlugChanged(bool plugged);

    std::shared_ptr<Device> device_;
    std::filesystem::path endpoint_;
    int dirFd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;

    std::mutex mutex_;
    std::condition_variable changed_;
    int listenFd_ = -1;
    bool plugged_ = true;
    bool stop_ = false;
    std::list<std::shared_ptr<Client>> clients_;
    std::list<std::thread> threads_;
    std::thread acceptor_;
};

}  // namespace emulator
