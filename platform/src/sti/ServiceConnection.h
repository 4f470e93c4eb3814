// A client's connection to the image-acquisition service host of the
// current machine, starting the host on demand (once, under a lock).
#pragma once

#include "sti/ImageServiceProtocol.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform::sti {

class ServiceConnection {
public:
    // Connects to the host of the current root, starting it when none runs;
    // Connected() is false when that failed.
    ServiceConnection();
    ~ServiceConnection();
    ServiceConnection(const ServiceConnection&) = delete;
    ServiceConnection& operator=(const ServiceConnection&) = delete;

    bool Connected() const { return fd_ >= 0; }
    // One request and its reply; nullopt when the connection is gone.
    std::optional<std::vector<uint8_t>> Call(const Writer& request);

private:
    int fd_ = -1;
    std::mutex mutex_;
};

// Starts the host of `root` unless one runs; true when it answers.
bool EnsureHost(const std::string& root);
// Asks the host of `root` to end and waits (bounded) until it has.
void StopHost(const std::string& root);
// Tells a running host of `root` that devices were installed and waits for
// its answer; starts no host.
void NotifyDevicesChanged(const std::string& root);

}  // namespace platform::sti
