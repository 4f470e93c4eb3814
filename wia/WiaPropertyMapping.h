// The arithmetic of the item properties: WIA values to library values,
// resolution rescaling, sizes in thousandths of an inch and line sizes.
#pragma once

#include <cstdint>

// Pixels at a resolution as thousandths of an inch (integer division); 0
// when the resolution is 0.
int32_t Thousandths(int32_t pixels, int32_t dpi);
// (int)(pixels x 1000 / dpi + 0.5); 0 when the resolution is 0.
int32_t PageThousandths(int32_t pixels, int32_t dpi);

// WIA data type to the library's colour mode: 0 → 0, 2 → 1, 3 → 2.
int32_t ColorModeFor(int32_t dataType);
// Bits per pixel to WIA data type: 24 → 3, 8 → 2, others → 0.
int32_t DataTypeForDepth(int32_t depth);
// WIA data type to bits per pixel: false for an unknown data type.
bool UpdateValidDepth(int32_t dataType, int32_t* depth);

struct Channels {
    int32_t perPixel;
    int32_t bits;
};
Channels ChannelsFor(int32_t dataType);

struct IntentSettings {
    bool imageType = false;  // an image type was asked for
    int32_t dataType = 0;
    int32_t depth = 0;
    int32_t resolution = 0;
};
// False for a combination of image types.
bool SettingsForIntent(int32_t intent, IntentSettings* settings);

struct Rescaled {
    int32_t extent;
    int32_t start;
};
// A resolution change from `old` to `next`: an extent the caller didn't
// change scales and stays within 1..maximum; a start it didn't change
// scales and stays within 0..largestStart.
Rescaled RescaleForResolution(int32_t extent, int32_t start, int32_t old, int32_t next, int32_t maximum,
                              int32_t largestStart, bool extentChanged, bool startChanged);

// A WIA brightness or contrast (-1000..1000) in the library's range.
int32_t ToLibraryRange(int32_t wia, int32_t minimum, int32_t maximum);

struct LineSizes {
    int32_t packed;
    int32_t aligned;
    int32_t image;
};
LineSizes LineSizesFor(int32_t pixelsPerLine, int32_t depth, int32_t lines);
