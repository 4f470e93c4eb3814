#include "wiaservice/ServiceEvents.h"

#include <platform/wia_service.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace platform::wia {
namespace {

struct Queue {
    std::mutex mutex;
    std::condition_variable raised;
    std::deque<ServiceEvent> events;
};

Queue& Events() {
    static auto* queue = new Queue;
    return *queue;
}

}  // namespace

void QueueServiceEvent(const std::wstring& deviceId, const GUID& event, const std::wstring& item) {
    Queue& queue = Events();
    {
        std::lock_guard<std::mutex> lock(queue.mutex);
        queue.events.push_back(ServiceEvent{deviceId, event, item});
    }
    queue.raised.notify_all();
}

void RaiseServiceEvent(const std::wstring& deviceId, const GUID& event, const std::wstring& item) {
    QueueServiceEvent(deviceId, event, item);
}

std::vector<ServiceEvent> TakeServiceEvents() { return WaitServiceEvents(0); }

std::vector<ServiceEvent> WaitServiceEvents(DWORD ms) {
    Queue& queue = Events();
    std::unique_lock<std::mutex> lock(queue.mutex);
    queue.raised.wait_for(lock, std::chrono::milliseconds(ms), [&] { return !queue.events.empty(); });
    std::vector<ServiceEvent> out(queue.events.begin(), queue.events.end());
    queue.events.clear();
    return out;
}

}  // namespace platform::wia
