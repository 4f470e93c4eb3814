#include "engine/stages/Descreen.h"

#include "engine/stages/DescreenKernels.h"
#include "engine/stages/StageProperties.h"

#include <SIPropertyIds.h>

#include <algorithm>
#include <utility>

Descreen::Descreen() : enabled_(SI_PROP_DESCREEN, SI_ACCESS_READ_WRITE, 0) {}

bool Descreen::Init()
{
    AddProperty(&enabled_);
    RegisterAllDependencies();
    return true;
}

bool Descreen::IsActive()
{
    if (enabled_.GetInt() != 1) {
        return false;
    }
    const int32_t mode = IntOr(FindProperty(SI_PROP_COLOR_MODE), -1);
    return mode == 1 || (mode == 2 && IntOr(FindProperty(SI_PROP_CHUNKY), 0) == 1);
}

bool Descreen::Start()
{
    ImageSource* below = ActiveUpstream();
    if (!below) {
        return false;
    }
    widthInBytes_ = CountOr(FindProperty(SI_PROP_WIDTH_IN_BYTES), 0);
    const uint32_t lines = CountOr(FindProperty(SI_PROP_SCAN_LENGTH), 0);
    stride_ = std::max(1u, CountOr(FindProperty(SI_PROP_BITS_PER_PIXEL), 8) / 8);
    sides_ = IntOr(FindProperty(SI_PROP_DUPLEX), 0) == 1 ? 2 : 1;
    for (uint32_t s = 0; s < state_.size(); ++s) {
        Side& state = state_[s];
        const size_t width = s < sides_ ? widthInBytes_ : 0;
        state.middle.assign(width, 0);
        state.next.assign(width, 0);
        state.previousSums.assign(width, 0);
        state.middleSums.assign(width, 0);
        state.nextSums.assign(width, 0);
        state.primed = false;
        state.toDeliver = s < sides_ ? lines : 0;
    }
    return below->Start();
}

SIResult Descreen::Prime(Side& state, uint32_t side)
{
    int got = 0;
    const SIResult result = ActiveUpstream()->Read(state.middle.data(), 1, side, &got);
    if (got <= 0) {
        return result;
    }
    HorizontalSum(state.middle, stride_, state.middleSums);
    state.previousSums = state.middleSums;  // the top edge is replicated
    state.primed = true;
    return SI_OK;
}

SIResult Descreen::Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead)
{
    *linesRead = 0;
    ImageSource* below = ActiveUpstream();
    if (!below) {
        return SI_ERR_UNKNOWN;
    }
    Side& state = state_[side < sides_ ? side : 0];
    if (state.toDeliver == 0) {
        return SI_END_OF_PAGE;
    }
    if (!state.primed) {
        const SIResult result = Prime(state, side);
        if (!state.primed) {
            return result;
        }
    }
    uint32_t written = 0;
    while (written < lines && state.toDeliver > 0) {
        if (state.toDeliver == 1) {
            state.nextSums = state.middleSums;  // the bottom edge is replicated
        } else {
            int got = 0;
            const SIResult result = below->Read(state.next.data(), 1, side, &got);
            if (result == SI_END_OF_PAGE) {
                // The page ended early: the centre line is its last line and
                // is still delivered, with the bottom edge replicated.
                state.toDeliver = 1;
                state.nextSums = state.middleSums;
            } else if (result != SI_OK) {
                *linesRead = static_cast<int>(written);
                return result;
            } else if (got <= 0) {
                break;
            } else {
                HorizontalSum(state.next, stride_, state.nextSums);
            }
        }
        uint8_t* out = buffer + static_cast<size_t>(written) * widthInBytes_;
        DescreenLine(state.previousSums, state.middleSums, state.nextSums, state.middle,
                     std::span<uint8_t>(out, widthInBytes_));
        std::swap(state.middle, state.next);
        std::swap(state.previousSums, state.middleSums);
        std::swap(state.middleSums, state.nextSums);
        --state.toDeliver;
        ++written;
    }
    *linesRead = static_cast<int>(written);
    return SI_OK;
}

void Descreen::FreeBuffers()
{
    for (Side& state : state_) {
        state = Side{};
    }
}
