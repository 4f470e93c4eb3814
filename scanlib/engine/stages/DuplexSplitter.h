// Serves the two sides of a duplex page from the wide lines in which both
// sensors deliver side by side: the front as it is, the back from the far end
// of the line, mirrored, and read the sensor distance later in the page. The
// splitter picks each side's lines from the spool by line number, so it
// needs the Spooler below it. Registered only on models with two sides;
// active when duplex is on.
#pragma once

#include "engine/stages/DuplexProperties.h"
#include "engine/stages/LineStage.h"

#include <array>
#include <cstdint>
#include <vector>

class DuplexSplitter : public LineStage {
public:
    bool Init() override;
    bool IsActive() override;
    // Refuses to start without spooling: lines of the single stream below
    // could not be read out of order.
    bool Start() override;
    SIResult Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) override;

private:
    void FreeBuffers() override { input_ = {}; }

    DuplexEnabledProp enabled_;
    DuplexWideModeProp wideMode_;
    DuplexOptWidthInPixelsProp opticalWidth_;
    DuplexOptLengthInPixelsProp opticalLength_;
    DuplexXOffsetProp xOffset_;
    DuplexYOffsetProp yOffset_;
    DuplexWidthProp width_;
    DuplexLengthProp length_;
    DuplexWidthInBytesProp widthInBytes_;

    uint32_t inPixels_ = 0;
    uint32_t inBytes_ = 0;
    uint32_t outBytes_ = 0;
    uint32_t bitsPerPixel_ = 0;
    // Per side: the next line of the stream to read, and the lines left.
    std::array<uint32_t, 2> nextLine_{};
    std::array<uint32_t, 2> remaining_{};
    std::vector<uint8_t> input_;
};
