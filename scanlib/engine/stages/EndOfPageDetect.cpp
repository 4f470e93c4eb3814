#include "engine/stages/EndOfPageDetect.h"

#include "engine/stages/StageProperties.h"

#include <SIPropertyIds.h>

#include <algorithm>

bool EndOfPageDetect::IsActive()
{
    return IntOr(FindProperty(SI_PROP_EOP_DETECT), 0) == 1;
}

bool EndOfPageDetect::Start()
{
    ImageSource* below = ActiveUpstream();
    if (!below) {
        return false;
    }
    delivered_ = {};
    return below->Start();
}

SIResult EndOfPageDetect::Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead)
{
    *linesRead = 0;
    ImageSource* below = ActiveUpstream();
    if (!below) {
        return SI_ERR_UNKNOWN;
    }
    Property* found = FindProperty(SI_PROP_EOP_LENGTH);
    uint32_t& delivered = delivered_[side == 0 ? 0 : 1];
    uint32_t ask = lines;
    if (found) {
        const uint32_t length = CountOr(found, 0);
        if (delivered >= length) {
            return SI_END_OF_PAGE;
        }
        ask = std::min(lines, length - delivered);
    }
    const SIResult result = below->Read(buffer, ask, side, linesRead);
    if (result == SI_OK && *linesRead > 0) {
        delivered += static_cast<uint32_t>(*linesRead);
    }
    return result;
}
