#include "ScanSettings.h"

#include <algorithm>
#include <cstdlib>

bool SetScanFrame(ScanSettings& settings, int top, int left, int bottom, int right)
{
    const int t = std::clamp(top, 0, 990);
    int b = bottom < t + 10 ? t + 10 : bottom;
    b = std::min(b, 1000);
    const int l = std::clamp(left, 0, 366);
    int r = right < l + 50 ? l + 50 : right;
    r = std::min(r, 416);
    settings.top = static_cast<int16_t>(t);
    settings.left = static_cast<int16_t>(l);
    settings.bottom = static_cast<int16_t>(b);
    settings.right = static_cast<int16_t>(r);
    return t != top || l != left || b != bottom || r != right;
}

PixelFrame FrameInPixels(const ScanSettings& settings, int dpi)
{
    const auto d = static_cast<uint32_t>(std::max(dpi, 0));
    PixelFrame frame;
    frame.xOffset = static_cast<uint32_t>(std::max<int>(settings.left, 0)) * d / 100;
    frame.yOffset = static_cast<uint32_t>(std::max<int>(settings.top, 0)) * d / 100;
    frame.width = static_cast<uint32_t>(std::max(settings.right - settings.left, 0)) * d / 100;
    frame.length = static_cast<uint32_t>(std::max(settings.bottom - settings.top, 0)) * d / 100;
    return frame;
}

int ResolutionList::Count() const
{
    int n = 0;
    while (n < kMax && dpi[static_cast<size_t>(n)] != 0) {
        ++n;
    }
    return n;
}

int ResolutionList::Snap(int wanted, bool onlyEnabled) const
{
    int best = wanted;
    int bestDistance = -1;
    for (int i = 0; i < Count(); ++i) {
        if (onlyEnabled && !enabled[static_cast<size_t>(i)]) {
            continue;
        }
        const int value = dpi[static_cast<size_t>(i)];
        const int distance = std::abs(value - wanted);
        if (bestDistance < 0 || distance < bestDistance) {
            best = value;
            bestDistance = distance;
            if (distance == 0) {
                break;
            }
        }
    }
    return best;
}
