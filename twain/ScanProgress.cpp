#include "ScanProgress.h"

ScanProgressModel::ScanProgressModel(uint32_t width, uint32_t lines, uint32_t boxWidth, uint32_t boxHeight)
    : lines_(lines)
{
    uint32_t w = width;
    uint32_t h = lines;
    if (!(lines < boxHeight && width < boxWidth) && width > 0 && lines > 0) {
        // Keeps the page's aspect ratio inside the box.
        if (uint64_t(boxHeight) * width > uint64_t(boxWidth) * lines) {
            w = boxWidth;
            h = static_cast<uint32_t>(uint64_t(boxWidth) * lines / width);
        } else {
            h = boxHeight;
            w = static_cast<uint32_t>(uint64_t(boxHeight) * width / lines);
        }
    }
    thumbWidth_ = w / 4 * 4;
    thumbHeight_ = h;
}

void ScanProgressModel::NewPage()
{
    received_ = 0;
    drawn_ = 0;
    percent_ = 0;
}

bool ScanProgressModel::Update(int count, uint32_t* rowsDue)
{
    *rowsDue = 0;
    if (cancelled_) {
        return false;
    }
    if (count <= 0) {
        return true;
    }
    received_ += static_cast<uint32_t>(count);
    percent_ = lines_ > 0 ? static_cast<int>(uint64_t(received_) * 100 / lines_) : 100;
    const uint64_t due = lines_ > 0 ? uint64_t(thumbHeight_) * received_ / lines_ : 0;
    if (due > drawn_) {
        *rowsDue = static_cast<uint32_t>(due - drawn_);
        drawn_ = static_cast<uint32_t>(due);
    }
    return true;
}
