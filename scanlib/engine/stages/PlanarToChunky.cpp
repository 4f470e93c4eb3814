#include "engine/stages/PlanarToChunky.h"

#include <SIPropertyIds.h>
#include "engine/stages/StageProperties.h"

#include <cstring>

PlanarToChunky::PlanarToChunky()
    : chunky_(SI_PROP_CHUNKY, SI_ACCESS_READ_ONLY, 1),
      channelOrder_(SI_PROP_CHANNEL_ORDER, SI_ACCESS_READ_WRITE, kOrders, 0)
{
}

bool PlanarToChunky::Init()
{
    Property* below = FindUpstreamProperty(SI_PROP_CHUNKY);
    if (!below || below->GetInt() != 0) {
        return false;
    }
    AddProperty(&chunky_);
    AddProperty(&channelOrder_);
    RegisterAllDependencies();
    return true;
}

bool PlanarToChunky::IsActive()
{
    return IntOr(FindProperty(SI_PROP_COLOR_MODE), -1) == 2;
}

bool PlanarToChunky::Start()
{
    ImageSource* below = ActiveUpstream();
    if (!below) {
        return false;
    }
    order_ = channelOrder_.GetInt() == 0 ? PlaneOrder::Reversed : PlaneOrder::InOrder;
    widthInBytes_ = CountOr(FindUpstreamProperty(SI_PROP_WIDTH_IN_BYTES), 0);
    pixels_ = CountOr(FindUpstreamProperty(SI_PROP_SCAN_WIDTH), 0);
    line_.assign(widthInBytes_, 0);
    return below->Start();
}

SIResult PlanarToChunky::Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead)
{
    *linesRead = 0;
    ImageSource* below = ActiveUpstream();
    if (!below) {
        return SI_ERR_UNKNOWN;
    }
    uint32_t written = 0;
    while (written < lines) {
        int got = 0;
        const SIResult result = below->Read(line_.data(), 1, side, &got);
        if (result == SI_END_OF_PAGE) {
            *linesRead = static_cast<int>(written);
            return written == 0 ? SI_END_OF_PAGE : SI_OK;
        }
        if (result != SI_OK) {
            *linesRead = static_cast<int>(written);
            return result;
        }
        if (got <= 0) {
            break;
        }
        uint8_t* out = buffer + static_cast<size_t>(written) * widthInBytes_;
        InterleavePlanes(line_, std::span<uint8_t>(out, widthInBytes_), pixels_, order_);
        ++written;
    }
    *linesRead = static_cast<int>(written);
    return SI_OK;
}
