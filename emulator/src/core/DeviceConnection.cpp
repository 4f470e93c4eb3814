#include <emulator/DeviceConnection.h>

#include <condition_variable>
#include <mutex>

#include "core/Device.h"

namespace emulator {

DeviceConnection::DeviceConnection(std::shared_ptr<Device> device, std::uint32_t number)
    : device_(std::move(device)), number_(number)
{
}

DeviceConnection::~DeviceConnection() { device_->CloseConnection(number_); }

void DeviceConnection::Submit(std::uint32_t id, DeviceRequest request, Completion done)
{
    device_->Submit(number_, id, std::move(request), std::move(done));
}

void DeviceConnection::Cancel(std::uint32_t id) { device_->Cancel(number_, id); }

bool DeviceConnection::Closed() const { return device_->ConnectionClosed(number_); }

std::optional<DeviceReply> DeviceConnection::Call(DeviceRequest request, std::chrono::milliseconds wait)
{
    struct Slot {
        std::mutex mutex;
        std::condition_variable cv;
        std::optional<DeviceReply> reply;
    };
    auto slot = std::make_shared<Slot>();
    const std::uint32_t id = nextCallId_++;
    Submit(id, std::move(request), [slot](std::uint32_t, const DeviceReply& reply) {
        std::lock_guard lock(slot->mutex);
        slot->reply = reply;
        slot->cv.notify_all();
    });
    std::unique_lock lock(slot->mutex);
    if (!slot->cv.wait_for(lock, wait, [&] { return slot->reply.has_value(); })) {
        lock.unlock();
        Cancel(id);
        lock.lock();
    }
    return slot->reply;
}

}  // namespace emulator
