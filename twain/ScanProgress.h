// The scan progress shown while a page is transferred: the thumbnail's size
// inside the picture area, the progress in percent, the rows of the
// thumbnail due for each block of lines, and the cancel flag that a Cancel
// press or a system suspension sets. The window that shows it is drawn by
// the dialog layer; until a window exists the model runs alone.
#pragma once

#include <cstdint>

class ScanProgressModel {
public:
    // A page of `width` pixels and `lines` rows shown in a picture area of
    // boxWidth x boxHeight pixels.
    ScanProgressModel(uint32_t width, uint32_t lines, uint32_t boxWidth, uint32_t boxHeight);

    uint32_t ThumbnailWidth() const { return thumbWidth_; }
    uint32_t ThumbnailHeight() const { return thumbHeight_; }

    // A new page: nothing received, nothing drawn.
    void NewPage();
    // A block of `count` lines arrived: false when the user cancelled.
    // *rowsDue receives the thumbnail rows this block adds.
    bool Update(int count, uint32_t* rowsDue);
    int Percent() const { return percent_; }

    void Cancel() { cancelled_ = true; }
    bool Cancelled() const { return cancelled_; }
    // Power broadcasts: a suspension request is refused, an announced one
    // cancels the scan.
    enum class PowerAnswer { Deny, Accept };
    PowerAnswer QuerySuspend() const { return PowerAnswer::Deny; }
    void Suspending() { cancelled_ = true; }

private:
    uint32_t lines_;
    uint32_t thumbWidth_ = 0;
    uint32_t thumbHeight_ = 0;
    uint32_t received_ = 0;
    uint32_t drawn_ = 0;
    int percent_ = 0;
    bool cancelled_ = false;
};
