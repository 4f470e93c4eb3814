#include "WiaPropertyMapping.h"

#include <algorithm>
#include <limits>

int32_t Thousandths(int32_t pixels, int32_t dpi) {
    if (dpi == 0) return 0;
    return static_cast<int32_t>(static_cast<int64_t>(pixels) * 1000 / dpi);
}

int32_t PageThousandths(int32_t pixels, int32_t dpi) {
    if (dpi == 0) return 0;
    return static_cast<int32_t>(static_cast<double>(pixels) * 1000.0 / dpi + 0.5);
}

int32_t ColorModeFor(int32_t dataType) {
    switch (dataType) {
        case 2: return 1;
        case 3: return 2;
        default: return 0;
    }
}

int32_t DataTypeForDepth(int32_t depth) { return depth == 24 ? 3 : depth == 8 ? 2 : 0; }

bool UpdateValidDepth(int32_t dataType, int32_t* depth) {
    switch (dataType) {
        case 0: *depth = 1; return true;
        case 2: *depth = 8; return true;
        case 3: *depth = 24; return true;
        default: return false;
    }
}

Channels ChannelsFor(int32_t dataType) {
    switch (dataType) {
        case 3: return {3, 8};
        case 2: return {1, 8};
        default: return {1, 1};
    }
}

bool SettingsForIntent(int32_t intent, IntentSettings* settings) {
    IntentSettings s;
    switch (intent & 0xF) {
        case 0: *settings = s; return true;
        case 1: s.dataType = 3; s.depth = 24; break;
        case 2: s.dataType = 2; s.depth = 8; break;
        case 4: s.dataType = 0; s.depth = 1; break;
        default: return false;
    }
    s.imageType = true;
    s.resolution = (intent & 0x20000) ? 300 : 100;
    *settings = s;
    return true;
}

Rescaled RescaleForResolution(int32_t extent, int32_t start, int32_t old, int32_t next, int32_t maximum,
                              int32_t largestStart, bool extentChanged, bool startChanged) {
    Rescaled out{extent, start};
    const auto scale = [&](int32_t v) {
        return old == 0 ? v : static_cast<int32_t>(static_cast<int64_t>(v) * next / old);
    };
    if (!extentChanged) out.extent = std::clamp(scale(extent), 1, std::max(1, maximum));
    if (!startChanged) {
        out.start = start > largestStart ? largestStart : scale(start);
        // The rescaled start may pass the new largest start: limit it too.
        out.start = std::clamp(out.start, 0, std::max(0, largestStart));
    }
    return out;
}

int32_t ToLibraryRange(int32_t wia, int32_t minimum, int32_t maximum) {
    int64_t shifted = static_cast<int64_t>(wia) + 1000;
    if (shifted < -1000) shifted = -1000;
    const int64_t value = minimum + shifted * (static_cast<int64_t>(maximum) - minimum + 1) / 2001;
    return static_cast<int32_t>(std::clamp<int64_t>(value, minimum, maximum));
}

LineSizes LineSizesFor(int32_t pixelsPerLine, int32_t depth, int32_t lines) {
    const int64_t bits = static_cast<int64_t>(std::max(pixelsPerLine, 0)) * std::max(depth, 0);
    LineSizes s;
    s.packed = static_cast<int32_t>((bits + 7) / 8);
    s.aligned = static_cast<int32_t>(((bits + 31) / 8) & ~int64_t{3});
    const int64_t image = static_cast<int64_t>(s.packed) * std::max(lines, 0);
    s.image = static_cast<int32_t>(std::min<int64_t>(image, std::numeric_limits<int32_t>::max()));
    return s;
}
