#include "core/Device.h"

#include <algorithm>

#include "chip/Gl125Board.h"
#include "chip/Gl125Chip.h"
#include "chip/Gl841Board.h"
#include "chip/Gl841Chip.h"
#include "usb/UsbscanFace.h"

namespace emulator {

namespace {
constexpr std::size_t kEventQueueBytes = 16;
constexpr auto kTickerPoll = std::chrono::milliseconds(1);
}  // namespace

Device::Device(const BoardProfile& board, const SwitchOverrides& switches) : board_(board)
{
    for (const auto& [name, value] : switches)
        switches_.Set(name, value);
    clock_ = DeviceClock(switches_.Get("clock") == "virtual");
    if (switches_.Get("eeprom") == "blank")
        board_.eepromBlank = true;
    if (board_.chip == ChipKind::Gl125) {
        auto side = std::make_unique<Gl125Board>(board_, switches_, logs_);
        chip_ = std::make_unique<Gl125Chip>(board_, switches_, logs_, *side);
        side_ = std::move(side);
    } else {
        side_ = std::make_unique<Gl841Board>(board_, switches_, logs_);
        chip_ = std::make_unique<Gl841Chip>(board_, switches_, logs_, *side_);
    }
    face_ = std::make_unique<UsbscanFace>(*this);
    side_->SetEventSink([this](std::uint8_t byte) { QueueEvent(byte); });
    ApplySwitches();
    ticker_ = std::thread([this] { TickerLoop(); });
}

Device::~Device()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    ticker_.join();
}

void Device::ApplySwitches()
{
    clock_.SetVirtual(switches_.Get("clock") == "virtual");
    clock_.SetSpeed(switches_.Number("speed"));
    side_->SetExternalPower(switches_.On("external_power"));
}

// ---------------------------------------------------------------- connections

std::uint32_t Device::OpenConnection()
{
    std::lock_guard lock(mutex_);
    const std::uint32_t number = nextConnection_++;
    if (plugged_)
        open_.insert(number);
    return number;
}

void Device::CloseConnection(std::uint32_t connection)
{
    std::lock_guard lock(mutex_);
    open_.erase(connection);
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->connection == connection) {
            if (it->kind == PendKind::Image) {
                chip_->FifoReturn(it->data);
                chip_->BulkWithdrawn(true);
            }
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
}

bool Device::ConnectionClosed(std::uint32_t connection) const
{
    std::lock_guard lock(mutex_);
    return !open_.contains(connection);
}

void Device::Submit(std::uint32_t connection, std::uint32_t id, DeviceRequest request,
                    DeviceConnection::Completion done)
{
    if (request.op == RequestOp::Cancel) {
        Cancel(connection, request.code);
        return;
    }
    Completions finished;
    if (request.op == RequestOp::Ioctl && request.code == kIoctlClockSync) {
        {
            std::unique_lock lock(mutex_);
            if (!plugged_ || !open_.contains(connection))
                finished.push_back({std::move(done), id, DeviceReply{kErrorDeviceNotConnected, 0, {}}});
            else
                ClockSync(id, request, std::move(done), finished);
        }
        wake_.notify_all();
        Run(finished);
        return;
    }
    {
        std::unique_lock lock(mutex_);
        if (!plugged_ || !open_.contains(connection)) {
            finished.push_back({std::move(done), id, DeviceReply{kErrorDeviceNotConnected, 0, {}}});
        } else {
            if (clock_.Virtual())
                clock_.Advance(std::chrono::nanoseconds(
                    static_cast<std::int64_t>(switches_.Number("request_quantum") * 1000.0)));
            Service(finished);
            logs_.BeginRequest();
            Pending p;
            p.connection = connection;
            p.id = id;
            p.sequence = logs_.CurrentRequest();
            p.done = std::move(done);
            p.log.sequence = p.sequence;
            p.log.connection = connection;

            auto fault = faults_.Match(UsbscanFace::Classify(request));
            if (fault && fault->kind == FaultKind::PowerCycle) {
                chip_->PowerReset();
                fault.reset();
            }
            if (fault && fault->kind == FaultKind::Unplug) {
                UnplugLocked(finished);
                p.log.time = clock_.Now();
                p.log.result = kErrorDeviceNotConnected;
                logs_.Request(p.log);
                finished.push_back({std::move(p.done), id, DeviceReply{kErrorDeviceNotConnected, 0, {}}});
            } else {
                chip_->AdvanceTo(clock_.Now());
                p.log.time = clock_.Now();
                auto reply = face_->Execute(p, request, fault);
                const auto delay = fault && fault->kind == FaultKind::Delay
                                       ? std::chrono::milliseconds(fault->argument)
                                       : std::chrono::milliseconds(0);
                if (reply) {
                    if (delay.count() > 0)
                        Hold(p, std::move(*reply), delay);
                    else
                        Finish(p, std::move(*reply), finished);
                } else {
                    if (delay.count() > 0) {
                        p.due = std::chrono::steady_clock::now() + delay;
                        p.dueAt = clock_.Now() + delay;
                    }
                    pending_.push_back(std::move(p));
                }
                Service(finished);
            }
        }
    }
    wake_.notify_all();
    Run(finished);
}

void Device::Cancel(std::uint32_t connection, std::uint32_t id)
{
    std::lock_guard lock(mutex_);
    auto it = std::find_if(pending_.begin(), pending_.end(),
                           [&](const Pending& p) { return p.connection == connection && p.id == id; });
    if (it == pending_.end())
        return;
    if (it->kind == PendKind::Image) {
        // Withdrawn without effect: its bytes go back to the FIFO, the header stays armed.
        chip_->FifoReturn(it->data);
        chip_->BulkWithdrawn(true);
    }
    it->log.result = kErrorOperationAborted;
    logs_.Request(it->log);
    pending_.erase(it);
}

void Device::SetPlugListener(std::function<void(bool)> listener)
{
    std::lock_guard lock(mutex_);
    plugListener_ = std::move(listener);
}

// ---------------------------------------------------------------- completion

void Device::Finish(Pending& p, DeviceReply reply, Completions& done)
{
    const DeviceTime bus = face_->BusTime(p.log.kind, reply.count);
    p.log.result = reply.error;
    p.log.count = reply.count;
    if (p.log.kind == TransferKind::BulkIn || p.log.kind == TransferKind::ControlIn ||
        p.log.kind == TransferKind::EventWait)
        p.log.data.assign(reply.data.begin(),
                          reply.data.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(64, reply.data.size())));
    logs_.Request(p.log);
    if (bus.count() > 0 && !clock_.Virtual()) {
        // Real time: the answer is held back for its bus time.
        Pending held = std::move(p);
        held.kind = PendKind::Held;
        held.reply = std::move(reply);
        held.due = std::chrono::steady_clock::now() + clock_.HostDelayUntil(clock_.Now() + bus);
        pending_.push_back(std::move(held));
        return;
    }
    clock_.Advance(bus);
    done.push_back({std::move(p.done), p.id, std::move(reply)});
}

void Device::Service(Completions& done)
{
    if (!plugged_)
        return;
    chip_->AdvanceTo(clock_.Now());
    ServiceImageReads(done);
    ServiceEvents(done);
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->kind == PendKind::Held && HeldDue(*it)) {
            done.push_back({std::move(it->done), it->id, std::move(it->reply)});
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
}

void Device::ServiceImageReads(Completions& done)
{
    // Image reads are served oldest first, one at a time.
    for (;;) {
        auto it = std::find_if(pending_.begin(), pending_.end(),
                               [](const Pending& p) { return p.kind == PendKind::Image; });
        if (it == pending_.end())
            return;
        Pending& p = *it;
        for (;;) {
            const std::size_t have = p.data.size();
            p.data.resize(p.want);
            const std::size_t got =
                chip_->FifoTake(std::span(p.data).subspan(have), clock_.Now());
            p.data.resize(have + got);
            if (p.data.size() >= p.want || !clock_.Virtual() || !chip_->WillProduce())
                break;
            // Virtual time jumps to the moment the running scan delivers more.
            const DeviceTime next = chip_->NextEvent();
            if (next == DeviceTime::max() || PastTimeout(p, next))
                break;
            clock_.AdvanceTo(next);
            chip_->AdvanceTo(next);
        }
        if (p.data.size() < p.want && TimedOut(p, done)) {
            pending_.erase(it);
            continue;
        }
        if (p.data.size() < p.want) {
            if (!chip_->WillProduce())
                logs_.ObservationOnce("O1:" + std::to_string(p.sequence), "O1", clock_.Now(),
                                      "image read pends: the scan ended short of its count");
            return;
        }
        chip_->BulkInDone();
        if (p.due != std::chrono::steady_clock::time_point{} && !HeldDue(p)) {
            // Delay fault: done, but answered later.
            p.reply = DeviceReply{kErrorSuccess, p.want, std::move(p.data)};
            p.kind = PendKind::Held;
            return;
        }
        Pending finished = std::move(p);
        pending_.erase(it);
        Finish(finished, DeviceReply{kErrorSuccess, finished.want, std::move(finished.data)}, done);
    }
}

bool Device::PastTimeout(const Pending& p, DeviceTime when) const
{
    const auto timeout = chip_->ImageReadTimeout();
    return timeout && when > p.started + *timeout;
}

bool Device::TimedOut(Pending& p, Completions& done)
{
    const auto timeout = chip_->ImageReadTimeout();
    if (!timeout)
        return false;
    const DeviceTime deadline = p.started + *timeout;
    if (clock_.Virtual() && clock_.Now() < deadline && (!chip_->WillProduce() || PastTimeout(p, chip_->NextEvent()))) {
        // Nothing more comes in time: virtual time runs on to the time-out.
        clock_.AdvanceTo(deadline);
        chip_->AdvanceTo(deadline);
    }
    if (clock_.Now() < deadline)
        return false;
    // Failed without effect: the bytes go back, the header stays armed.
    chip_->ImageReadTimedOut(p.data.size(), p.want);
    chip_->FifoReturn(p.data);
    chip_->BulkWithdrawn(true);
    Finish(p, DeviceReply{kErrorGenFailure, 0, {}}, done);
    return true;
}

void Device::ServiceEvents(Completions& done)
{
    while (!events_.empty()) {
        auto it = std::find_if(pending_.begin(), pending_.end(),
                               [](const Pending& p) { return p.kind == PendKind::Event; });
        if (it == pending_.end())
            return;
        Pending p = std::move(*it);
        pending_.erase(it);
        const std::uint8_t byte = events_.front();
        events_.pop_front();
        Finish(p, DeviceReply{kErrorSuccess, 1, {byte}}, done);
    }
}

void Device::QueueEvent(std::uint8_t byte)
{
    if (events_.size() >= kEventQueueBytes) {
        events_.pop_front();
        logs_.Observation("O7", clock_.Now(), "event queue full, oldest byte dropped");
    }
    events_.push_back(byte);
}

void Device::Hold(Pending& p, DeviceReply reply, std::chrono::milliseconds delay)
{
    p.kind = PendKind::Held;
    p.due = std::chrono::steady_clock::now() + delay;
    p.dueAt = clock_.Now() + delay;
    p.reply = std::move(reply);
    pending_.push_back(std::move(p));
}

bool Device::HeldDue(const Pending& p) const
{
    // On the virtual clock a held answer waits for device time, else for the host's.
    if (clock_.Virtual())
        return p.dueAt <= clock_.Now();
    return p.due <= std::chrono::steady_clock::now();
}

void Device::ClockSync(std::uint32_t id, const DeviceRequest& request, DeviceConnection::Completion done,
                       Completions& finished)
{
    if (request.input.size() != 12) {
        finished.push_back({std::move(done), id, DeviceReply{kErrorInvalidParameter, 0, {}}});
        return;
    }
    std::uint64_t target = 0;
    for (int i = 7; i >= 0; --i)
        target = target << 8 | request.input[static_cast<std::size_t>(i)];
    if (clock_.Virtual()) {
        Service(finished);
        DeviceTime to = DeviceTime::max();
        if (target != kClockSyncNoTarget)
            to = DeviceTime(static_cast<std::int64_t>(std::min<std::uint64_t>(target, INT64_MAX)));
        else if (chip_->Engine() != EngineState::Idle)
            to = chip_->NextEvent();  // nobody waits for a time: the device's next event
        for (const auto& p : pending_) {
            if (p.kind == PendKind::Held)
                to = std::min(to, p.dueAt);
        }
        if (to != DeviceTime::max() && to > clock_.Now()) {
            clock_.AdvanceTo(to);
            Service(finished);
        }
    }
    std::vector<std::uint8_t> out;
    const auto now = static_cast<std::uint64_t>(clock_.Now().count());
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<std::uint8_t>(now >> (8 * i)));
    const std::uint32_t flags = clock_.Virtual() ? kClockSyncVirtual : 0;
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(flags >> (8 * i)));
    out.insert(out.end(), 4, 0);
    finished.push_back({std::move(done), id, DeviceReply{kErrorSuccess, 16, std::move(out)}});
}

void Device::Run(Completions& done)
{
    const std::int64_t now = clock_.Now().count();
    for (auto& c : done)
        c.reply.timeNs = now;
    for (auto& c : done) {
        if (c.done)
            c.done(c.id, c.reply);
    }
    done.clear();
}

// ---------------------------------------------------------------- controls

void Device::UnplugLocked(Completions& done)
{
    plugged_ = false;
    for (auto& p : pending_) {
        if (p.kind == PendKind::Image) {
            chip_->FifoReturn(p.data);
            p.data.clear();
        }
        p.log.result = kErrorDeviceNotConnected;
        logs_.Request(p.log);
        done.push_back({std::move(p.done), p.id, DeviceReply{kErrorDeviceNotConnected, 0, {}}});
    }
    pending_.clear();
    open_.clear();
    if (plugListener_) {
        auto listener = plugListener_;
        done.push_back({[listener](std::uint32_t, const DeviceReply&) { listener(false); }, 0, {}});
    }
}

void Device::Unplug()
{
    Completions done;
    {
        std::lock_guard lock(mutex_);
        if (!plugged_)
            throw Error("not plugged");
        Service(done);
        UnplugLocked(done);
    }
    Run(done);
}

void Device::Plug()
{
    std::function<void(bool)> listener;
    {
        std::lock_guard lock(mutex_);
        if (plugged_)
            throw Error("already plugged");
        chip_->PowerReset();
        events_.clear();
        plugged_ = true;
        listener = plugListener_;
    }
    if (listener)
        listener(true);
    wake_.notify_all();
}

void Device::PowerCycle()
{
    WithState([&] { chip_->PowerReset(); });
}

void Device::SetSwitch(std::string_view name, std::string_view value)
{
    WithState([&] {
        switches_.Set(name, value);
        ApplySwitches();
    });
    wake_.notify_all();
}

void Device::InjectFault(std::string_view spec)
{
    WithState([&] {
        auto state = faults_.Add(spec);
        if (!state)
            return;
        const std::string& name = state->name;
        if (name == "busy") {
            try {
                chip_->SetBusyReads(static_cast<unsigned>(std::stoul(state->argument)));
            } catch (const std::exception&) {
                throw Error("bad fault");
            }
        } else if (name == "motor-never-idle") {
            chip_->SetMotorNeverIdle(true);
        } else if (name == "no-lines") {
            chip_->SetNoLines(true);
        } else if (name == "scan-enable-autoclear") {
            chip_->SetAutoclear(true);
        } else {
            side_->SheetFault(name, state->argument);
        }
    });
}

void Device::ClearFaults()
{
    WithState([&] {
        faults_.Clear();
        chip_->SetBusyReads(0);
        chip_->SetMotorNeverIdle(false);
        chip_->SetNoLines(false);
        chip_->SetAutoclear(false);
        side_->ClearSheetFaults();
    });
}

void Device::AdvanceClock(DeviceTime by)
{
    WithState([&] { clock_.Advance(by); });
}

void Device::SetTimeSource(std::shared_ptr<VirtualClock> clock)
{
    WithState([&] { clock_.SetTimeSource(std::move(clock)); });
}

// ---------------------------------------------------------------- ticker

bool Device::HeldPending() const
{
    return std::any_of(pending_.begin(), pending_.end(), [](const Pending& p) { return p.kind == PendKind::Held; });
}

bool Device::Busy() const
{
    return !pending_.empty() || chip_->Engine() != EngineState::Idle || switches_.Number("pick_delay") > 0;
}

void Device::TickerLoop()
{
    std::unique_lock lock(mutex_);
    while (!stop_) {
        // On the virtual clock nothing waits for the host's time but held answers.
        if (Busy() && (!clock_.Virtual() || HeldPending()))
            wake_.wait_for(lock, kTickerPoll);
        else
            wake_.wait_for(lock, std::chrono::milliseconds(50));
        if (stop_)
            break;
        Completions done;
        Service(done);
        if (!done.empty()) {
            lock.unlock();
            Run(done);
            lock.lock();
        }
    }
}

}  // namespace emulator
