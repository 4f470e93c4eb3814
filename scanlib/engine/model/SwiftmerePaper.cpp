// Swiftmere: paper moves (feed and eject), scanner, paper and button status,
// event debounce, diagnostics and the external-power check.
#include "chips/Controller.h"
#include "device/DevicePort.h"
#include "engine/model/Swiftmere.h"
#include "engine/model/SwiftmereLocks.h"
#include "os/OSFunctions.h"

#include <SIPropertyIds.h>

#include <windows.h>

#include <algorithm>
#include <array>

namespace {

constexpr int kMotorPollMs = 200;
// How often the end of a move is looked for once it is due.
constexpr int kMoveEndPollMs = 10;
constexpr int kEjectResolution = 100;
constexpr int kEjectFullDistance = 1400;  // lines at 100 dpi: 14 inches
constexpr float kEjectTailInches = 1.75f;
// A move may take this much longer than its distance at the feed rate, plus
// the fixed margin, before it counts as stuck.
constexpr float kMoveTimeFactor = 2.0f;
constexpr int kMoveMarginMs = 3000;
constexpr float kSlowestFeedRate = 0.1f;
constexpr uint32_t kDebounceMs = 100;

constexpr uint32_t kMaxReadTestKb = 100;

constexpr std::array<BoardLine, 9> kDiagnosticLines{BoardLine::SignalB, BoardLine::SignalA,
                                                    BoardLine::MotorCurrentSelect, BoardLine::LampEnable,
                                                    BoardLine::SignalC, BoardLine::SignalG,
                                                    BoardLine::SignalF, BoardLine::SignalD,
                                                    BoardLine::SignalE};

// The move's end on every path: motor stopped, unpowered, board idle.
class MoveFinish {
public:
    MoveFinish(Controller& controller, Swiftmere& model) : controller_(controller), model_(model) {}
    ~MoveFinish() {
        if (done_) return;
        try {
            controller_.StopMove();
            controller_.SetMotorPower(false);
            model_.ApplyBoardState(kBoardIdle, false);
        } catch (...) {
        }
    }
    MoveFinish(const MoveFinish&) = delete;
    MoveFinish& operator=(const MoveFinish&) = delete;

    // The normal path reports its failures.
    void Now() {
        done_ = true;
        controller_.StopMove();
        controller_.SetMotorPower(false);
        model_.ApplyBoardState(kBoardIdle, false);
    }

private:
    Controller& controller_;
    Swiftmere& model_;
    bool done_ = false;
};

}  // namespace

void Swiftmere::PrepareMove(bool reverse) {
    controller_->SetRampStartSpeed(FloatValue(SI_PROP_FEED_MOTOR_FACTOR));
    controller_->SetRampLength(IntValue(SI_PROP_FEED_MOTOR_STEPS));
    controller_->SetFeedForward(!reverse);
}

bool Swiftmere::WaitMotorIdle(float inches, bool watchPaperOut) {
    const float rate = std::max(GetFeedRate(), kSlowestFeedRate);
    const uint32_t limit = static_cast<uint32_t>(inches / rate * 1000.0f * kMoveTimeFactor) + kMoveMarginMs;
    const uint32_t start = OSGetTime();
    while (controller_->IsMotorBusy()) {
        if (watchPaperOut) {
            int present = 1;
            GetPaperStatus(&present);
            if (!present) {
                // The trailing edge left the sensor: let it clear the exit.
                const float feedRate = GetFeedRate();
                const uint32_t seen = OSGetTime();
                OSSleep(feedRate > 0.0f ? static_cast<int>(kEjectTailInches / feedRate * 1000.0f) : 1000);
                // A move whose own end lies within that tail (the short eject
                // with no sheet in, or a sheet that left near the end) runs
                // to its end: the ramps make it longer than its distance at
                // the feed rate, and stopping it now would cut its last steps.
                const float runInches = static_cast<float>(seen - start) / 1000.0f * rate;
                if (inches - runInches > kEjectTailInches) return true;
                while (controller_->IsMotorBusy()) {
                    if (OSGetTime() - start > limit) return false;
                    OSSleep(kMoveEndPollMs);
                }
                return true;
            }
        }
        if (OSGetTime() - start > limit) return false;
        OSSleep(kMotorPollMs);
    }
    return true;
}

void Swiftmere::Feed() {
    ModelLock lock(*this);
    lock.Require();
    const int32_t x = IntValue(SI_PROP_X_RESOLUTION);
    const int32_t distance = IntValue(SI_PROP_Y_OFFSET);
    const bool reverse = IntValue(SI_PROP_REVERSE_FEED) == 1;
    controller_->SetRampStartSpeed(FloatValue(SI_PROP_FEED_MOTOR_FACTOR));
    controller_->SetRampLength(IntValue(SI_PROP_FEED_MOTOR_STEPS));
    if (distance == 0) return;
    controller_->SetXResolution(x);
    controller_->SetYOffset(distance);
    controller_->SetFeedForward(!reverse);
    ApplyBoardState(kBoardMoving, false);
    MoveFinish finish(*controller_, *this);
    controller_->SetFeedRate(GetFeedRate());
    controller_->SetMotorPower(true);
    controller_->StartMove();
    const float inches = x > 0 ? static_cast<float>(distance) / static_cast<float>(x) : 0.0f;
    if (!WaitMotorIdle(inches, false)) {
        throw DeviceIOException(DeviceIOException::kTransferFailure, "The motor did not stop.");
    }
    finish.Now();
}

void Swiftmere::FeedPaperOut() {
    const bool reverse = IntValue(SI_PROP_REVERSE_FEED) == 1;
    PrepareMove(reverse);
    controller_->SetXResolution(kEjectResolution);
    int present = 0;
    GetPaperStatus(&present);
    const int distance = (present || reverse) ? kEjectFullDistance
                                              : static_cast<int>(GetEjectDistance() * kEjectResolution);
    controller_->SetYOffset(distance);
    ApplyBoardState(kBoardMoving, false);
    MoveFinish finish(*controller_, *this);
    controller_->SetFeedRate(GetFeedRate());
    controller_->SetMotorPower(true);
    controller_->StartMove();
    if (!WaitMotorIdle(static_cast<float>(distance) / kEjectResolution, true)) {
        throw DeviceIOException(DeviceIOException::kTransferFailure, "The motor did not stop.");
    }
    finish.Now();
}

int Swiftmere::GetScannerStatus() {
    ModelLock lock(*this);
    if (!lock.Held()) return SI_SCANNER_BUSY;
    const int status = controller_->ReadStatus();
    // 0 no answer, 1 idle, 2 busy; anything else is no usable answer.
    return (status >= 0 && status <= 2) ? status : SI_SCANNER_NOT_READY;
}

int Swiftmere::GetPaperStatus(int* present) {
    ModelLock lock(*this);
    lock.Require();
    *present = ReadLine(BoardLine::PaperSensor) ? SI_PAPER_ABSENT : SI_PAPER_PRESENT;
    return SI_OK;
}

int Swiftmere::GetButtonStatus(int which, int* pressed) {
    if (which != 0) return SI_ERR_INVALID_PARAMETER;
    ModelLock lock(*this);
    if (!lock.Held()) return SI_ERR_BUSY;
    *pressed = ReadLine(BoardLine::ButtonInput) ? 0 : 1;
    return SI_OK;
}

bool Swiftmere::DebounceEvent(SIEvent* event) {
    if (!event || event->count != 1) return false;
    event->events = 0;
    const uint8_t raw = event->data[0];
    const uint8_t last = lastEvent_;
    const uint32_t now = OSGetTime();
    const bool plain = (raw & ~3u) == 0 && (last & ~3u) == 0;
    if (raw & 1) {
        if (((raw & 2) == (last & 2) && plain) || !(last & 1)) {
            if (now - lastBit0Time_ > kDebounceMs) event->events |= SI_EVENT_PAPER_IN;
        }
        lastBit0Time_ = now;
    }
    if (raw & 2) {
        if (((raw & 1) == (last & 1) && plain) || !(last & 2)) event->events |= SI_EVENT_SCAN_BUTTON;
    }
    lastEvent_ = raw;
    return true;
}

int Swiftmere::Diagnostic(int code, uint32_t* data) {
    switch (code) {
        case SI_DIAG_DEVICE_CHECK: {
            data[0] = 0;
            if (port_ && port_->Lock()) {
                int eventSize = 0, readAlign = 0, writeAlign = 0;
                bool ok = false;
                try {
                    ok = port_->GetChannelInfo(&eventSize, &readAlign, &writeAlign);
                } catch (...) {
                    port_->Unlock();
                    throw;
                }
                port_->Unlock();
                data[0] = (ok && eventSize != 0 && readAlign != 0 && writeAlign != 0) ? 1 : 0;
            }
            return SI_OK;
        }
        case SI_DIAG_READ_TEST: {
            if (data[0] > kMaxReadTestKb) return SI_ERR_INVALID_PARAMETER;
            if (data[0] == 0) {
                data[1] = 0;
                return SI_OK;
            }
            ModelLock lock(*this);
            lock.Require();
            int got = 0;
            if (!controller_->ReadScanData(data[0] * 1024, &got)) return SI_ERR_INVALID_PARAMETER;
            data[1] = static_cast<uint32_t>(got);
            return SI_OK;
        }
        case SI_DIAG_GPIO_READ:
        case SI_DIAG_GPIO_WRITE: {
            const int line = static_cast<int>(data[0] & 0xFF);
            const bool known = std::any_of(kDiagnosticLines.begin(), kDiagnosticLines.end(),
                                           [&](BoardLine role) { return signals_.Line(role) == line; });
            if (!known) return SI_ERR_INVALID_PARAMETER;
            if (code == SI_DIAG_GPIO_READ) {
                data[1] = ReadLineLocked(line) ? 1 : 0;
            } else {
                DriveLineLocked(line, data[1] != 0);
            }
            return SI_OK;
        }
        default:
            return SI_ERR_INVALID_PARAMETER;
    }
}

bool Swiftmere::IsExternalPowerPresent() {
    // During a scan the spooler's worker holds the model for its reads; the
    // power source taken at the scan's start answers without waiting on it.
    if (const int during = powerDuringScan_.load(); during >= 0) return during == 1;
    {
        ModelLock lock(*this);
        lock.Require();
        if (!ReadLine(BoardLine::PowerSense)) return true;
    }
    HANDLE marker = CreateFileA(kExternalPowerMarker, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker == INVALID_HANDLE_VALUE) return false;
    CloseHandle(marker);
    return true;
}
