#include "engine/catalogue/DepthProperties.h"

#include <SIPropertyIds.h>

#include <array>

namespace {

// By colour mode 0 black and white, 1 gray, 2 colour; other modes give 0.
constexpr std::array<int32_t, 3> kBitsPerChannel{1, 8, 8};
constexpr std::array<int32_t, 3> kBitsPerPixel{1, 8, 24};

int32_t ByMode(const std::array<int32_t, 3>& table, int32_t mode) {
    return mode >= 0 && mode < static_cast<int32_t>(table.size()) ? table[static_cast<size_t>(mode)] : 0;
}

}  // namespace

BitsPerChannelProp::BitsPerChannelProp() : SingleInt(SI_PROP_BITS_PER_CHANNEL, SI_ACCESS_READ_ONLY, 8) {}

void BitsPerChannelProp::RegisterDependencies() { ListenTo({SI_PROP_COLOR_MODE}); }

void BitsPerChannelProp::OnDependencyChanged(uint16_t) {
    int32_t mode = 0;
    if (DependencyInt(SI_PROP_COLOR_MODE, &mode)) SetInt(ByMode(kBitsPerChannel, mode));
}

BitsPerPixelProp::BitsPerPixelProp() : SingleInt(SI_PROP_BITS_PER_PIXEL, SI_ACCESS_READ_ONLY, 24) {}

void BitsPerPixelProp::RegisterDependencies() { ListenTo({SI_PROP_COLOR_MODE}); }

void BitsPerPixelProp::OnDependencyChanged(uint16_t) {
    int32_t mode = 0;
    if (DependencyInt(SI_PROP_COLOR_MODE, &mode)) SetInt(ByMode(kBitsPerPixel, mode));
}

WidthInBytesProp::WidthInBytesProp() : SingleInt(SI_PROP_WIDTH_IN_BYTES, SI_ACCESS_READ_ONLY, 20736) {}

void WidthInBytesProp::RegisterDependencies() { ListenTo({SI_PROP_SCAN_WIDTH, SI_PROP_BITS_PER_PIXEL}); }

void WidthInBytesProp::OnDependencyChanged(uint16_t) {
    int32_t width = 0, bits = 0;
    if (!DependencyInt(SI_PROP_SCAN_WIDTH, &width) || !DependencyInt(SI_PROP_BITS_PER_PIXEL, &bits)) return;
    const uint64_t bytes = (static_cast<uint64_t>(static_cast<uint32_t>(width)) * static_cast<uint32_t>(bits) + 7) / 8;
    SetInt(static_cast<int32_t>(static_cast<uint32_t>(bytes)));
}
