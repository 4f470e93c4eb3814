// Swiftmere: a scan from the properties to the controller, the raw line
// reads with the paper-end rule, and the end of a scan.
#include "chips/AnalogFrontEnd.h"
#include "chips/Controller.h"
#include "engine/model/Swiftmere.h"
#include "engine/model/SwiftmereLocks.h"
#include "engine/model/ToneTables.h"
#include "os/OSFunctions.h"
#include "os/files/FileTime.h"

#include <SIPropertyIds.h>

#include <algorithm>
#include <array>
#include <utility>

namespace {

// Property 35 (0 all channels, 1..3 one channel) as the controller's code.
constexpr std::array<int, 4> kMonoChannelCodes{4, 0, 1, 2};
constexpr int32_t kThresholdBias = 128;
// A raw read waits at most this many line times for a first line.
constexpr int kEmptyAsks = 50;
constexpr int kMaxLineWaitMs = 20;
// The longest wait for the rest of a short read, well inside the time the
// chip's buffer takes to fill.
constexpr int kMaxShortfallWaitMs = 80;
// A chip that keeps a count of its waiting lines is left to gather this many
// asks before it is asked again: each count costs several requests, a read
// of counted lines none but the data's own. At most this many bytes, a
// quarter of the chip's 1 MiB buffer (the host's sleeps may run long, and a
// full buffer stops the paper mid-page), and for at most this long.
constexpr uint32_t kGatherAsks = 3;
constexpr uint64_t kMaxGatherBytes = 0x40000;
constexpr int kMaxGatherWaitMs = 250;

struct ToneChannel {
    uint16_t property;
    int channel;
};
constexpr std::array<ToneChannel, 3> kColourToneChannels{{{SI_PROP_LUT_RED, 0}, {SI_PROP_LUT_GREEN, 1},
                                                          {SI_PROP_LUT_BLUE, 2}}};
constexpr std::array<ToneChannel, 1> kGrayToneChannels{{{SI_PROP_LUT_GRAY, 3}}};

}  // namespace

bool Swiftmere::StartScan() {
    ModelLock lock(*this);
    lock.Require();
    Controller& c = *controller_;
    powerDuringScan_ = -1;
    ApplyBoardState(kBoardScanning, false);

    // Another process may have calibrated since this one loaded the file.
    if (calibrationTime_) {
        const auto now = CreateFileTime();
        if (now->Load(calibrationPath_.c_str()) && !now->Equals(*calibrationTime_) && LoadCalibration()) {
            calibrationTime_->Assign(*now);
            SyncChipProperties();
            calibrated_ = true;
        }
    }

    c.SetExposurePercent(0, FloatValue(SI_PROP_EXPOSURE_RED, 100.0f));
    c.SetExposurePercent(1, FloatValue(SI_PROP_EXPOSURE_GREEN, 100.0f));
    c.SetExposurePercent(2, FloatValue(SI_PROP_EXPOSURE_BLUE, 100.0f));
    const int32_t gray = IntValue(SI_PROP_35);
    c.SetMonoChannel(kMonoChannelCodes[static_cast<size_t>(std::clamp(gray, 0, 3))]);

    AnalogFrontEnd& afe = *frontEnd_;
    afe.SetOffset(0, IntValue(SI_PROP_AFE_OFFSET_RED));
    afe.SetOffset(1, IntValue(SI_PROP_AFE_OFFSET_GREEN));
    afe.SetOffset(2, IntValue(SI_PROP_AFE_OFFSET_BLUE));
    afe.SetOffset(3, IntValue(SI_PROP_AFE_OFFSET_GRAY));
    afe.SetGain(0, FloatValue(SI_PROP_AFE_GAIN_RED, 1.0f));
    afe.SetGain(1, FloatValue(SI_PROP_AFE_GAIN_GREEN, 1.0f));
    afe.SetGain(2, FloatValue(SI_PROP_AFE_GAIN_BLUE, 1.0f));
    afe.SetGain(3, FloatValue(SI_PROP_AFE_GAIN_GRAY, 1.0f));
    afe.SetReferenceVoltage(IntValue(SI_PROP_AFE_VREF));

    endlessPage_ = IntValue(SI_PROP_1005) == 1;
    paperEndArmed_ = IntValue(SI_PROP_EOP_DETECT) == 1;
    linesDelivered_ = 0;
    paperEndSeen_ = false;
    const int32_t scanLength = IntValue(SI_PROP_SCAN_LENGTH);
    pageLength_ = endlessPage_ ? kEndlessPageLines : static_cast<uint32_t>(std::max(scanLength, 0));
    if (Property* eop = FindProperty(SI_PROP_EOP_LENGTH)) eop->SetInt(static_cast<int32_t>(pageLength_));
    scanRate_ = FloatValue(SI_PROP_SCAN_RATE);

    const int32_t colour = IntValue(SI_PROP_COLOR_MODE);
    c.SetXResolution(IntValue(SI_PROP_X_RESOLUTION));
    c.SetColorMode(colour);
    c.SetXOffset(IntValue(SI_PROP_X_OFFSET));
    c.SetYOffset(IntValue(SI_PROP_Y_OFFSET));
    c.SetBitsPerPixel(IntValue(SI_PROP_BITS_PER_PIXEL));
    c.SetFeedForward(IntValue(SI_PROP_REVERSE_FEED) == 0);
    c.SetThreshold(IntValue(SI_PROP_THRESHOLD) + kThresholdBias);

    SetupToneTables(colour == 2);

    c.SetFeedRate(GetFeedRate());
    c.SetScanRate(scanRate_);
    c.SetRampStartSpeed(FloatValue(SI_PROP_FEED_MOTOR_FACTOR));
    c.SetRampLength(IntValue(SI_PROP_FEED_MOTOR_STEPS));

    c.SetShadingEnabled(IntValue(SI_PROP_APPLY_CALIBRATION) == 1 && calibrated_);
    c.SetMotorPower(IntValue(SI_PROP_1007) == 1 && !skipMotorPower_);
    // The page starts at the scan line's distance from the paper sensor
    // whatever the speed, so the lines the ramp scans go.
    c.SetRampLinesDropped(true);
    skipMotorPower_ = false;

    c.SetScanLength(endlessPage_ ? kEndlessScanLength : scanLength);
    int32_t width = IntValue(SI_PROP_SCAN_WIDTH);
    if (colour == 0) width = (width + 7) / 8 * 8;
    c.SetScanWidth(width);

    // The path's own length: the read latency is measured at the paper end
    // instead of estimated from the scan rate.
    paperEndDistance_ = PaperEndDistanceAt(0.0f);
    linesAtLastPaperCheck_ = 0;
    lastShortfall_ = 0;
    const bool external = IsExternalPowerPresent();
    if (!c.SetupScan()) return false;
    powerDuringScan_ = external ? 1 : 0;
    return true;
}

void Swiftmere::SetupToneTables(bool colour) {
    const std::span<const ToneChannel> channels = colour ? std::span<const ToneChannel>(kColourToneChannels)
                                                         : std::span<const ToneChannel>(kGrayToneChannels);
    // The user's own tables come first; a full one replaces the curve.
    bool userTable = false;
    for (const ToneChannel& ch : channels) {
        auto* lut = dynamic_cast<ArrayUnsignedShort*>(FindProperty(ch.property));
        if (!lut) continue;
        const auto table = lut->Table();
        if (table.empty() || table.size() == kChipToneEntries) {
            controller_->SetGammaTable(ch.channel, table);
            if (table.size() == kChipToneEntries) userTable = true;
        }
    }
    if (userTable) return;

    ToneSettings tone;
    tone.gamma = FloatValue(SI_PROP_GAMMA, 1.0f);
    tone.shadow = IntValue(SI_PROP_SHADOW, 0);
    tone.highlight = IntValue(SI_PROP_HIGHLIGHT, 255);
    tone.brightness = IntValue(SI_PROP_BRIGHTNESS, 0);
    tone.contrast = IntValue(SI_PROP_CONTRAST, 0);
    tone.invert = IntValue(SI_PROP_INVERT, 0) == 1;
    const std::vector<uint16_t> table = BuildChipToneTable(tone, UsesGL125());
    for (const ToneChannel& ch : channels) controller_->SetGammaTable(ch.channel, table);
}

SIResult Swiftmere::Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) {
    // The chip hands out the lines waiting in its buffer, none while the
    // next one is still being scanned: wait about a line's time between
    // asks instead of asking again at once, with the model free meanwhile.
    const float rate = std::max(scanRate_, 0.01f);
    const int32_t y = std::max(IntValue(SI_PROP_Y_RESOLUTION), 1);
    const int pollMs = std::clamp(static_cast<int>(1000.0f / (rate * static_cast<float>(y))), 1, kMaxLineWaitMs);
    // After a short read the rest of that ask is still being scanned: wait
    // for it rather than fetch the lines one at a time, each ask costing
    // several requests. A chip whose waiting lines are counted is waited for
    // only when the lines it is known to hold do not serve this ask.
    if (lastShortfall_ > 0) {
        const int known = controller_->KnownWaitingLines();
        const uint32_t due = std::min(lines, pageLength_ > linesDelivered_ ? pageLength_ - linesDelivered_ : 0);
        if (known < 0) {
            const int64_t waitMs = static_cast<int64_t>(pollMs) * lastShortfall_;
            WaitForLines(static_cast<int>(std::min<int64_t>(waitMs, kMaxShortfallWaitMs)), pollMs);
        } else if (static_cast<uint32_t>(known) < due) {
            const int64_t waitMs = static_cast<int64_t>(pollMs) * lastShortfall_;
            WaitForLines(static_cast<int>(std::min<int64_t>(waitMs, kMaxGatherWaitMs)), pollMs);
        }
    }
    for (int ask = 0;; ++ask) {
        const SIResult result = ReadWaitingLines(buffer, lines, side, linesRead);
        if (result != SI_OK || *linesRead > 0 || lines == 0 || ask >= kEmptyAsks) {
            const auto got = static_cast<uint32_t>(std::max(*linesRead, 0));
            lastShortfall_ = result == SI_OK && got > 0 ? LinesToAwait(lines, got) : 0;
            return result;
        }
        OSSleep(pollMs);
    }
}

uint32_t Swiftmere::LinesToAwait(uint32_t lines, uint32_t got) {
    const int known = controller_->KnownWaitingLines();
    if (known < 0) return got < lines ? lines - got : 0;
    // The chip holds `known` lines after this read. When they do not serve
    // the next ask, let it gather several asks (never more than the page
    // still needs, nor more bytes than its buffer safely holds) so that the
    // next count serves several reads.
    const uint32_t left = pageLength_ > linesDelivered_ ? pageLength_ - linesDelivered_ : 0;
    if (static_cast<uint32_t>(known) >= std::min(lines, left)) return 0;
    const int32_t width = std::max(IntValue(SI_PROP_WIDTH_IN_BYTES), 1);
    const uint64_t byBytes = std::max<uint64_t>(kMaxGatherBytes / static_cast<uint64_t>(width), 1);
    const uint64_t target = std::min<uint64_t>({static_cast<uint64_t>(lines) * kGatherAsks, byBytes, left});
    return target > static_cast<uint64_t>(known) ? static_cast<uint32_t>(target - static_cast<uint64_t>(known)) : 0;
}

void Swiftmere::WaitForLines(int ms, int pollMs) {
    // While the page waits for the paper's end the sensor is watched every
    // line's time, so the trailing edge is placed within a line or two
    // however long the reader waits.
    bool watching = true;
    while (ms > 0 && watching) {
        const int slice = std::min(ms, pollMs);
        OSSleep(slice);
        ms -= slice;
        ModelLock lock(*this);
        lock.Require();
        watching = CheckPaperEnd();
    }
    if (ms > 0) OSSleep(ms);
}

bool Swiftmere::CheckPaperEnd() {
    if (!paperEndArmed_ || paperEndSeen_) return false;
    const int32_t y = IntValue(SI_PROP_Y_RESOLUTION);
    if (y <= 0 || linesDelivered_ <= static_cast<uint32_t>(y)) return true;
    int present = 1;
    GetPaperStatus(&present);
    const auto scanned = static_cast<uint32_t>(std::max(controller_->GetLinesScanned(), 0));
    if (present) {
        linesAtLastPaperCheck_ = scanned;
        return true;
    }
    // The trailing edge left the sensor between the last check and this
    // one: count from the middle of that interval.
    const uint32_t last = std::min(linesAtLastPaperCheck_ ? linesAtLastPaperCheck_ : scanned, scanned);
    const uint32_t cleared = last + (scanned - last) / 2;
    const float distance = std::max(paperEndDistance_, 0.0f);
    const float total = std::max(IntValue(SI_PROP_EOP_EXTRA_LENGTH) / 100.0f + distance, 0.0f);
    uint32_t length = static_cast<uint32_t>(static_cast<float>(y) * total) + cleared;
    if (Property* eop = FindProperty(SI_PROP_EOP_LENGTH)) eop->SetInt(static_cast<int32_t>(length));
    AdjustPageLength(&length);
    pageLength_ = length;
    paperEndSeen_ = true;
    return false;
}

SIResult Swiftmere::ReadWaitingLines(uint8_t* buffer, uint32_t lines, uint32_t, int* linesRead) {
    ModelLock lock(*this);
    lock.Require();
    *linesRead = 0;
    CheckPaperEnd();

    if (linesDelivered_ < pageLength_) {
        const uint32_t ask = std::min(lines, pageLength_ - linesDelivered_);
        int got = 0;
        if (controller_->ReadImageLines(buffer, ask, &got) && got >= 0) {
            linesDelivered_ += static_cast<uint32_t>(got);
            *linesRead = got;
            return SI_OK;
        }
        // A scan to the paper's end ends where the chip stops; any other
        // page that stops short is a failure, never a whole page.
        if (endlessPage_) return SI_END_OF_PAGE;
        throw DeviceIOException(DeviceIOException::kTransferFailure, "The page ended before its length.");
    }
    int drained = 0;
    controller_->ReadImageLines(buffer, linesDelivered_ == pageLength_ ? 0 : lines, &drained);
    return SI_END_OF_PAGE;
}

void Swiftmere::EndScan() {
    ModelLock lock(*this);
    lock.Require();
    powerDuringScan_ = -1;
    controller_->StopScan();
    controller_->SetMotorPower(false);
    ApplyBoardState(kBoardIdle, false);
}
