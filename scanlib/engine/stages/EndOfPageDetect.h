// Cuts each side of a page at the page length that the scanner found at the
// paper end (property 9010, read on every call since the scanner lowers it
// while the page is being scanned). Active when paper-end detection is on.
#pragma once

#include "engine/chain/ImageProcessor.h"

#include <array>
#include <cstdint>

class EndOfPageDetect : public ImageProcessor {
public:
    bool IsActive() override;
    bool Start() override;
    SIResult Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) override;

private:
    // Lines delivered per side.
    std::array<uint32_t, 2> delivered_{};
};
