#include "engine/stages/Scaler.h"

#include "engine/stages/ScalerKernels.h"
#include "engine/stages/StageProperties.h"

#include <SIPropertyIds.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace {

constexpr int32_t kDeliveredResolution = 600;

}  // namespace

bool Scaler::Init()
{
    auto* scannerResolution = dynamic_cast<ListInt*>(FindUpstreamProperty(SI_PROP_X_RESOLUTION));
    if (!scannerResolution || scannerResolution->Items().empty()) {
        return true;
    }
    const std::span<const int32_t> items = scannerResolution->Items();
    if (*std::max_element(items.begin(), items.end()) == kDeliveredResolution) {
        return true;
    }
    resolutions_.assign(items.begin(), items.end());
    resolutions_.push_back(kDeliveredResolution);
    for (ScaleResolutionProp* resolution : {static_cast<ScaleResolutionProp*>(&xResolution_),
                                            static_cast<ScaleResolutionProp*>(&yResolution_)}) {
        resolution->SetItems(resolutions_);
        resolution->SetDefault(scannerResolution->GetDefaultInt());
    }
    for (Property* property : std::initializer_list<Property*>{&xResolution_, &yResolution_, &xOffset_, &yOffset_,
                                                               &width_, &length_, &widthInBytes_, &pageLength_}) {
        AddProperty(property);
    }
    RegisterAllDependencies();
    return true;
}

bool Scaler::IsActive()
{
    Property* own = FindOwnProperty(SI_PROP_X_RESOLUTION);
    Property* scanner = FindUpstreamProperty(SI_PROP_X_RESOLUTION);
    return own && scanner && own->GetInt() != scanner->GetInt();
}

bool Scaler::Start()
{
    ImageSource* below = ActiveUpstream();
    if (!below) {
        return false;
    }
    // The width of the nearest element below (the splitter's side in duplex).
    inBytes_ = CountOr(FindUpstreamProperty(SI_PROP_WIDTH_IN_BYTES), 0);
    outBytes_ = CountOr(&widthInBytes_, 0);
    bitsPerPixel_ = CountOr(FindProperty(SI_PROP_BITS_PER_PIXEL), 0);
    sides_ = IntOr(FindProperty(SI_PROP_DUPLEX), 0) == 1 ? 2 : 1;
    input_.assign(inBytes_, 0);
    const uint32_t lines = CountOr(&length_, 0);
    for (uint32_t s = 0; s < state_.size(); ++s) {
        Side& state = state_[s];
        // The widened line may be longer than the delivered one (odd widths).
        state.widened.assign(s < sides_ ? std::max<size_t>(WidenedBytes(inBytes_), outBytes_) : 0, 0);
        state.toDeliver = s < sides_ ? lines : 0;
        state.owed = false;
    }
    return below->Start();
}

void Scaler::CopyOut(const Side& state, uint8_t* out) const
{
    std::memcpy(out, state.widened.data(), outBytes_);
}

SIResult Scaler::Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead)
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
    const uint32_t n = std::min(lines, state.toDeliver);
    uint32_t written = 0;
    auto finish = [&](SIResult result) {
        state.toDeliver -= written;
        *linesRead = static_cast<int>(written);
        return result;
    };
    if (state.owed && n > 0) {
        CopyOut(state, buffer);
        state.owed = false;
        ++written;
    }
    while (written < n) {
        int got = 0;
        const SIResult result = below->Read(input_.data(), 1, side, &got);
        if (result == SI_END_OF_PAGE) {
            return finish(written == 0 ? SI_END_OF_PAGE : SI_OK);
        }
        if (result != SI_OK) {
            return finish(result);
        }
        if (got <= 0) {
            break;
        }
        WidenLine(input_, bitsPerPixel_, state.widened);
        CopyOut(state, buffer + static_cast<size_t>(written) * outBytes_);
        ++written;
        if (written < n) {
            CopyOut(state, buffer + static_cast<size_t>(written) * outBytes_);
            ++written;
        } else {
            state.owed = true;
        }
    }
    return finish(SI_OK);
}

void Scaler::FreeBuffers()
{
    input_ = {};
    for (Side& state : state_) {
        state = Side{};
    }
}

void Scaler::Shutdown()
{
    LineStage::Shutdown();
    xResolution_.SetItems({});
    yResolution_.SetItems({});
    resolutions_.clear();
}
