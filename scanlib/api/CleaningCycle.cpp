#include "api/CleaningCycle.h"

#include "api/LibraryState.h"
#include "engine/chain/ProcessingChain.h"
#include "engine/model/Scanner.h"
#include "engine/properties/Property.h"
#include "os/OSFunctions.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr SIPropertyId kOpticalResolution = 2;
constexpr SIPropertyId kYResolution = 5;
constexpr SIPropertyId kYOffset = 12;
constexpr SIPropertyId kFeedRate = 1004;
constexpr SIPropertyId kReverseFeed = 23;

constexpr float kCleaningFeedRate = 1.37f;
constexpr int kRounds = 5;
constexpr int kRoundPercent = 8;
constexpr int kPauseMs = 100;

// Value slots by container: single value[0]; range value[4]; list value[1].
int CurrentSlot(const SIProperty& p) {
    switch (p.container) {
        case SI_CONTAINER_RANGE: return 4;
        case SI_CONTAINER_LIST: return 1;
        default: return 0;
    }
}

int32_t SlotInt(uintptr_t slot) { return static_cast<int32_t>(static_cast<uint32_t>(slot)); }
uintptr_t IntSlot(int32_t v) { return static_cast<uintptr_t>(static_cast<uint32_t>(v)); }

float SlotFloat(uintptr_t slot) {
    const auto bits = static_cast<uint32_t>(slot);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

uintptr_t FloatSlot(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

SIProperty Read(SIPropertyId id) {
    SIProperty p{};
    p.id = id;
    SI_GetProperty(&p);
    return p;
}

// Writes the property back with its current value replaced.
void WriteCurrent(SIProperty p, uintptr_t value) {
    p.value[CurrentSlot(p)] = value;
    SI_SetProperty(&p);
}

SIProperty SingleIntRecord(SIPropertyId id, int32_t value);

void WriteSingleInt(SIPropertyId id, int32_t value) {
    const SIProperty p = SingleIntRecord(id, value);
    SI_SetProperty(&p);
}

// The running percentage and the caller's callback; false once it cancels.
class Progress {
public:
    explicit Progress(SIProgressCallback callback) : callback_(callback) {}
    bool Report(int percent) {
        if (!callback_) return true;
        percent_ = percent;
        return callback_(percent) != 0;
    }
    bool Advance(int by) { return !callback_ || Report(percent_ + by); }

private:
    SIProgressCallback callback_;
    int percent_ = 0;
};

SIResult Scrub(int32_t opticalDpi, SIProgressCallback callback) {
    if (SIResult r = SI_Feed(); r != SI_OK) return r;
    Progress progress(callback);
    if (!progress.Report(10)) return SI_ERR_CANCELLED;
    WriteSingleInt(kYOffset, static_cast<int32_t>(opticalDpi * 0.5));

    for (int round = 0; round < kRounds; ++round) {
        if (SIResult r = SI_Feed(); r != SI_OK) return r;
        if (!progress.Advance(kRoundPercent)) return SI_ERR_CANCELLED;
        OSSleep(kPauseMs);
        WriteCurrent(Read(kReverseFeed), IntSlot(1));
        const SIResult back = SI_Feed();
        WriteCurrent(Read(kReverseFeed), IntSlot(0));
        if (back != SI_OK) return back;
        if (!progress.Advance(kRoundPercent)) return SI_ERR_CANCELLED;
        OSSleep(kPauseMs);
    }
    return progress.Report(100) ? SI_OK : SI_ERR_CANCELLED;
}

// Puts a remembered record back through the property object itself, so a
// sticky communication error in force does not leave the settings changed.
void Restore(const SIProperty& record) {
    try {
        if (Property* p = Chain().FindProperty(record.id)) p->Set(&record);
    } catch (...) {
    }
}

SIProperty SingleIntRecord(SIPropertyId id, int32_t value) {
    SIProperty p{};
    p.id = id;
    p.container = SI_CONTAINER_SINGLE;
    p.itemType = SI_TYPE_INT32;
    p.value[0] = IntSlot(value);
    p.value[1] = IntSlot(value);
    return p;
}

// The sheet goes out whatever ended the cycle; its own failure does not
// replace the cycle's result.
void EjectBestEffort() {
    try {
        if (Library().scanner) Library().scanner->FeedPaperOut();
    } catch (...) {
    }
}

}  // namespace

SIResult RunCleaningCycle(SIProgressCallback callback) {
    const SIProperty optical = Read(kOpticalResolution);
    const int32_t dpi = SlotInt(optical.value[CurrentSlot(optical)]);

    const SIProperty yResolution = Read(kYResolution);
    WriteCurrent(yResolution, IntSlot(dpi));

    const SIProperty yOffset = Read(kYOffset);
    const int32_t savedYOffset = SlotInt(yOffset.value[CurrentSlot(yOffset)]);
    WriteSingleInt(kYOffset, static_cast<int32_t>(dpi * 2.0));

    const SIProperty feedRate = Read(kFeedRate);
    const float minimum = SlotFloat(feedRate.value[0]);
    const float maximum = SlotFloat(feedRate.value[1]);
    WriteCurrent(feedRate, FloatSlot(std::max(std::min(kCleaningFeedRate, maximum), minimum)));

    const SIProperty reverse = Read(kReverseFeed);
    WriteCurrent(reverse, IntSlot(0));

    const SIResult result = Scrub(dpi, callback);

    EjectBestEffort();
    Restore(yResolution);
    Restore(SingleIntRecord(kYOffset, savedYOffset));
    Restore(feedRate);
    Restore(reverse);
    return result;
}
