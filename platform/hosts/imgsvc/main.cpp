// imgsvc: the image-acquisition service host of one emulated machine. It
// loads each installed Still Image device's driver by class identifier,
// keeps one instance open for the event monitor, and serves the Still Image
// requests of every other process on a Unix socket under the root's
// services folder, one driver instance and one thread per connection.
//
//   imgsvc --root DIR     serve the machine at DIR (one host per machine)
//   imgsvc --root DIR --stop
#include "ClientSession.h"
#include "DriverInstance.h"
#include "HostLog.h"
#include "WiaFace.h"

#include "sti/ImageServiceProtocol.h"
#include "sti/ServiceConnection.h"
#include "sti/StillImageDevices.h"

#include <objbase.h>
#include <process.h>
#include <windows.h>

#include <platform/testing.h>
#include <platform/wia_service.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr char kUsage[] = "usage: imgsvc --root DIR [--stop]";

std::atomic<int> listening{-1};
std::atomic<int> sessions{0};
std::mutex clientsMutex;
std::vector<int> clients;

// A monitor instance of one device: open mode for the event monitor, a
// notification event set, and a thread that takes the events it raises.
struct Monitor {
    imgsvc::DriverInstance instance;
    HANDLE notification = nullptr;
    std::string name;
};

std::vector<std::unique_ptr<Monitor>>& Monitors() {
    static auto* monitors = new std::vector<std::unique_ptr<Monitor>>;
    return *monitors;
}

unsigned __stdcall MonitorEvents(void* argument) {
    auto* monitor = static_cast<Monitor*>(argument);
    for (;;) {
        if (WaitForSingleObject(monitor->notification, INFINITE) != WAIT_OBJECT_0) return 0;
        STINOTIFY notify{};
        notify.dwSize = sizeof notify;
        if (monitor->instance.Driver() && SUCCEEDED(monitor->instance.Driver()->GetNotificationData(&notify))) {
            WCHAR text[40] = {};
            StringFromGUID2(notify.guidNotificationCode, text, 40);
            imgsvc::HostLog("event " + platform::sti::Narrow(text) + " from " + monitor->name);
            platform::wia::RaiseServiceEvent(platform::sti::Widen(monitor->name), notify.guidNotificationCode, L"");
        }
    }
}

std::mutex monitorsMutex;

// Makes a monitor for each installed device that has none yet: every
// device at start, the new ones after an arrival.
void StartMonitors() {
    std::lock_guard<std::mutex> guard(monitorsMutex);
    for (const auto& device : platform::sti::InstalledDevices()) {
        const std::string name = platform::sti::Narrow(device.internalName);
        bool known = false;
        for (const auto& existing : Monitors()) known = known || existing->name == name;
        if (known) continue;
        auto monitor = std::make_unique<Monitor>();
        monitor->name = name;
        const HRESULT result =
            monitor->instance.Create(device, STI_DEVICE_CREATE_FOR_MONITOR | STI_DEVICE_CREATE_DATA);
        imgsvc::HostLog("monitor of " + monitor->name + ": " + std::to_string(result));
        if (FAILED(result)) continue;
        monitor->notification = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        monitor->instance.Driver()->SetNotificationHandle(monitor->notification);
        unsigned id = 0;
        const uintptr_t thread = _beginthreadex(nullptr, 0, &MonitorEvents, monitor.get(), 0, &id);
        if (thread != 0) CloseHandle(reinterpret_cast<HANDLE>(thread));
        imgsvc::AttachWiaFace(device.internalName, monitor->instance.Driver());
        Monitors().push_back(std::move(monitor));
    }
}

// Device arrivals are served on one thread for the host's life, so the
// monitor instances made for them belong to a thread that does not end
// with the client that reported the arrival.
struct Arrivals {
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t asked = 0;
    uint64_t done = 0;
    bool serving = false;
};

Arrivals& ArrivalQueue() {
    static auto* arrivals = new Arrivals;
    return *arrivals;
}

unsigned __stdcall ServeArrivals(void*) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    Arrivals& arrivals = ArrivalQueue();
    for (;;) {
        uint64_t asked = 0;
        {
            std::unique_lock<std::mutex> lock(arrivals.mutex);
            arrivals.changed.wait(lock, [&] { return arrivals.asked != arrivals.done; });
            asked = arrivals.asked;
        }
        imgsvc::HostLog("device arrival");
        StartMonitors();
        {
            std::lock_guard<std::mutex> lock(arrivals.mutex);
            arrivals.done = asked;
        }
        arrivals.changed.notify_all();
    }
}

// Asks the arrival thread for the new devices' monitors and waits for them.
void DevicesChanged() {
    Arrivals& arrivals = ArrivalQueue();
    std::unique_lock<std::mutex> lock(arrivals.mutex);
    if (!arrivals.serving) {
        lock.unlock();
        StartMonitors();
        return;
    }
    const uint64_t ticket = ++arrivals.asked;
    arrivals.changed.notify_all();
    arrivals.changed.wait(lock, [&] { return arrivals.done >= ticket; });
}

// Ends the host: no new connections, every client's connection shut so its
// thread ends and releases its instance, then the monitors.
[[noreturn]] void Stop() {
    const int fd = listening.exchange(-1);
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
    {
        std::lock_guard<std::mutex> lock(clientsMutex);
        for (int client : clients) ::shutdown(client, SHUT_RDWR);
    }
    for (int i = 0; i < 500 && sessions.load() > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    imgsvc::DetachWiaFaces();
    {
        std::lock_guard<std::mutex> guard(monitorsMutex);
        Monitors().clear();
    }
    imgsvc::HostLog("stopped");
    std::_Exit(0);
}

unsigned __stdcall ServeConnection(void* argument) {
    const int fd = static_cast<int>(reinterpret_cast<intptr_t>(argument));
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const bool stop = imgsvc::ServeClient(fd, DevicesChanged);
    {
        std::lock_guard<std::mutex> lock(clientsMutex);
        std::erase(clients, fd);
    }
    ::close(fd);
    CoUninitialize();
    --sessions;
    if (stop) Stop();
    return 0;
}

int Listen(const std::string& path) {
    ::unlink(path.c_str());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

int main(int argc, char** argv) {
    std::string root;
    bool stop = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--root" && i + 1 < argc) {
            root = argv[++i];
        } else if (arg == "--stop") {
            stop = true;
        } else {
            std::cerr << "imgsvc: unknown argument " << arg << "\n" << kUsage << "\n";
            return 2;
        }
    }
    if (root.empty()) {
        const char* env = std::getenv("PLATFORM_ROOT");
        if (env == nullptr || *env == '\0') {
            std::cerr << "imgsvc: missing --root\n" << kUsage << "\n";
            return 2;
        }
        root = env;
    }
    platform::testing::SetRoot(root);
    if (stop) {
        platform::sti::StopHost(root);
        return 0;
    }

    ::mkdir(platform::sti::ServicesFolder(root).c_str(), 0777);
    // One host per machine: the lock is held for the host's whole life.
    const int lock = ::open(platform::sti::HostLockPath(root).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        std::cerr << "imgsvc: a host already serves " << root << "\n";
        return 1;
    }
    imgsvc::OpenHostLog(platform::sti::LogPath(root));
    imgsvc::HostLog("starting for " + root);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    platform::wia::ServeDriverLogClass();
    StartMonitors();
    {
        unsigned id = 0;
        const uintptr_t thread = _beginthreadex(nullptr, 0, &ServeArrivals, nullptr, 0, &id);
        if (thread != 0) {
            CloseHandle(reinterpret_cast<HANDLE>(thread));
            std::lock_guard<std::mutex> guard(ArrivalQueue().mutex);
            ArrivalQueue().serving = true;
        }
    }

    const int fd = Listen(platform::sti::SocketPath(root));
    if (fd < 0) {
        imgsvc::HostLog("cannot listen");
        return 1;
    }
    listening = fd;
    for (;;) {
        const int client = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR) continue;
            if (listening.load() < 0) break;
            continue;
        }
        {
            std::lock_guard<std::mutex> guard(clientsMutex);
            clients.push_back(client);
        }
        ++sessions;
        unsigned id = 0;
        const uintptr_t thread = _beginthreadex(nullptr, 0, &ServeConnection,
                                                reinterpret_cast<void*>(static_cast<intptr_t>(client)), 0, &id);
        if (thread == 0) {
            ::close(client);
            --sessions;
            continue;
        }
        CloseHandle(reinterpret_cast<HANDLE>(thread));
    }
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}
