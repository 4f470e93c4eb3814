// One virtual scanner: a single state shared by all connections. Requests
// run one at a time in arrival order under the device lock; bulk image
// reads, event waits and held-back answers pend without blocking others,
// and a ticker thread completes them as device time moves on.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <emulator/DeviceConnection.h>
#include <emulator/VirtualScanner.h>

#include "board/BoardProfile.h"
#include "chip/BoardSide.h"
#include "chip/ChipModel.h"
#include "core/DeviceClock.h"
#include "core/DeviceLogsStore.h"
#include "core/FaultPlan.h"
#include "core/Switches.h"

namespace emulator {

class UsbscanFace;

class Device : public std::enable_shared_from_this<Device> {
public:
    Device(const BoardProfile& board, const SwitchOverrides& switches);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    std::uint32_t OpenConnection();
    void CloseConnection(std::uint32_t connection);
    bool ConnectionClosed(std::uint32_t connection) const;
    void Submit(std::uint32_t connection, std::uint32_t id, DeviceRequest request,
                DeviceConnection::Completion done);
    void Cancel(std::uint32_t connection, std::uint32_t id);

    // Told (outside the lock) when the device is unplugged or plugged again.
    void SetPlugListener(std::function<void(bool plugged)> listener);

    // Controls.
    void Unplug();
    void Plug();
    void PowerCycle();
    void SetSwitch(std::string_view name, std::string_view value);
    void InjectFault(std::string_view spec);
    void ClearFaults();
    void AdvanceClock(DeviceTime by);
    void SetTimeSource(std::shared_ptr<VirtualClock> clock);

    // Runs f with the device locked and up to date; for controls and inspection.
    template <class F>
    auto WithState(F&& f)
    {
        Completions done;
        std::unique_lock lock(mutex_);
        Service(done);
        if constexpr (std::is_void_v<decltype(f())>) {
            f();
            Service(done);
            lock.unlock();
            Run(done);
        } else {
            auto result = f();
            Service(done);
            lock.unlock();
            Run(done);
            return result;
        }
    }

    // Device parts, to be used inside WithState only.
    const BoardProfile& Board() const { return board_; }
    Switches& SwitchSet() { return switches_; }
    DeviceLogsStore& Logs() { return logs_; }
    DeviceClock& Clock() { return clock_; }
    ChipModel& Chip() { return *chip_; }
    BoardSide& Side() { return *side_; }
    bool Plugged() const { return plugged_; }

private:
    friend class UsbscanFace;

    enum class PendKind : std::uint8_t { Image, Event, Forever, Held };
    struct Pending {
        std::uint32_t connection = 0;
        std::uint32_t id = 0;
        std::uint64_t sequence = 0;
        PendKind kind = PendKind::Forever;
        DeviceConnection::Completion done;
        RequestLogEntry log;
        std::uint32_t want = 0;               // image bytes to deliver
        std::vector<std::uint8_t> data;       // image bytes taken so far
        DeviceReply reply;                    // held answer
        std::chrono::steady_clock::time_point due{};  // held answers, real clock
        DeviceTime dueAt{};                           // held answers, virtual clock
        DeviceTime started{};                 // device time an image read began
    };
    struct Completion {
        DeviceConnection::Completion done;
        std::uint32_t id;
        DeviceReply reply;
    };
    using Completions = std::vector<Completion>;

    void Service(Completions& done);
    void ServiceImageReads(Completions& done);
    void ServiceEvents(Completions& done);
    // An image read past the chip's read time-out fails; true when it did.
    bool TimedOut(Pending& p, Completions& done);
    bool PastTimeout(const Pending& p, DeviceTime when) const;
    void Finish(Pending& p, DeviceReply reply, Completions& done);
    void QueueEvent(std::uint8_t byte);
    void UnplugLocked(Completions& done);
    void ApplySwitches();
    void TickerLoop();
    bool Busy() const;
    bool HeldPending() const;
    // The private clock meeting of kIoctlClockSync; its answer is queued last.
    void ClockSync(std::uint32_t id, const DeviceRequest& request, DeviceConnection::Completion done,
                   Completions& finished);
    // Holds a finished answer back for `delay` (a delay fault).
    void Hold(Pending& p, DeviceReply reply, std::chrono::milliseconds delay);
    bool HeldDue(const Pending& p) const;
    void Run(Completions& done);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    BoardProfile board_;
    Switches switches_;
    DeviceLogsStore logs_;
    DeviceClock clock_;
    FaultPlan faults_;
    std::unique_ptr<BoardSide> side_;
    std::unique_ptr<ChipModel> chip_;
    std::unique_ptr<UsbscanFace> face_;

    bool plugged_ = true;
    std::uint32_t nextConnection_ = 1;
    std::set<std::uint32_t> open_;
    std::list<Pending> pending_;
    std::deque<std::uint8_t> events_;
    std::function<void(bool)> plugListener_;

    bool stop_ = false;
    std::thread ticker_;
};

}  // namespace emulator
