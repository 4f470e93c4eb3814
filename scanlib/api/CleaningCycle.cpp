#include "api/CleaningCycle.h"

#include "api/LibraryState.h"
#include "engine/chain/ProcessingChain.h"
#include "engine/model/Scanner.h"
#include "engine/properties/Property.h"
#include "os/OSFunctions.h"

#include <SIPropertyIds.h>
#include <SIRecord.h>

#include <algorithm>

namespace {

constexpr float kCleaningFeedRate = 1.37f;
constexpr int kRounds = 5;
constexpr int kRoundPercent = 8;
constexpr int kPauseMs = 100;

SIProperty Read(SIPropertyId id) {
    SIProperty p{};
    p.id = id;
    SI_GetProperty(&p);
    return p;
}

// Writes the property back with its current value replaced.
void WriteCurrent(SIProperty p, uintptr_t value) {
    si_record::SetCurrent(p, value);
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
    WriteSingleInt(SI_PROP_Y_OFFSET, static_cast<int32_t>(opticalDpi * 0.5));

    for (int round = 0; round < kRounds; ++round) {
        if (SIResult r = SI_Feed(); r != SI_OK) return r;
        if (!progress.Advance(kRoundPercent)) return SI_ERR_CANCELLED;
        OSSleep(kPauseMs);
        WriteCurrent(Read(SI_PROP_REVERSE_FEED), SlotFromInt(1));
        const SIResult back = SI_Feed();
        WriteCurrent(Read(SI_PROP_REVERSE_FEED), SlotFromInt(0));
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
    p.value[0] = SlotFromInt(value);
    p.value[1] = SlotFromInt(value);
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
    const SIProperty optical = Read(SI_PROP_OPTICAL_RESOLUTION);
    const int32_t dpi = si_record::CurrentInt(optical);

    const SIProperty yResolution = Read(SI_PROP_Y_RESOLUTION);
    WriteCurrent(yResolution, SlotFromInt(dpi));

    const SIProperty yOffset = Read(SI_PROP_Y_OFFSET);
    const int32_t savedYOffset = si_record::CurrentInt(yOffset);
    WriteSingleInt(SI_PROP_Y_OFFSET, static_cast<int32_t>(dpi * 2.0));

    const SIProperty feedRate = Read(SI_PROP_FEED_RATE);
    const float minimum = FloatFromSlot(feedRate.value[si_record::kRangeMinimum]);
    const float maximum = FloatFromSlot(feedRate.value[si_record::kRangeMaximum]);
    WriteCurrent(feedRate, SlotFromFloat(std::max(std::min(kCleaningFeedRate, maximum), minimum)));

    const SIProperty reverse = Read(SI_PROP_REVERSE_FEED);
    WriteCurrent(reverse, SlotFromInt(0));

    const SIResult result = Scrub(dpi, callback);

    EjectBestEffort();
    Restore(yResolution);
    Restore(SingleIntRecord(SI_PROP_Y_OFFSET, savedYOffset));
    Restore(feedRate);
    Restore(reverse);
    return result;
}
