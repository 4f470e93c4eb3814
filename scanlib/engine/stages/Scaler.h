// Doubles the resolution of lines from sensors that scan at 300 dpi, so that
// the front ends can offer 600 dpi: every line is widened to twice its pixels
// and delivered twice. Registers its properties only when the scanner's
// resolutions stop below 600; active when the front end asked for more than
// the scanner scans.
#pragma once

#include "engine/catalogue/DepthProperties.h"
#include "engine/stages/LineStage.h"
#include "engine/stages/ScaleProperties.h"

#include <array>
#include <cstdint>
#include <vector>

class Scaler : public LineStage {
public:
    bool Init() override;
    bool IsActive() override;
    bool Start() override;
    SIResult Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) override;
    // Also drops the resolution list built at Init.
    void Shutdown() override;

private:
    struct Side {
        std::vector<uint8_t> widened;  // the last input line, widened
        uint32_t toDeliver = 0;
        bool owed = false;  // the second copy of the widened line is still to come
    };

    void CopyOut(const Side& state, uint8_t* out) const;
    void FreeBuffers() override;

    ScaleXResolutionProp xResolution_;
    ScaleYResolutionProp yResolution_;
    ScaleXOffsetProp xOffset_;
    ScaleYOffsetProp yOffset_;
    ScaleWidthProp width_;
    ScaleLengthProp length_;
    WidthInBytesProp widthInBytes_;  // from the Scaler's own width
    ScaleEopDetectedLength pageLength_;
    // The scanner's resolutions followed by 600.
    std::vector<int32_t> resolutions_;

    uint32_t inBytes_ = 0;
    uint32_t outBytes_ = 0;
    uint32_t bitsPerPixel_ = 0;
    uint32_t sides_ = 1;
    std::vector<uint8_t> input_;
    std::array<Side, 2> state_;
};
