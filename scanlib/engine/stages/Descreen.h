// Smooths halftone screens with the 3x3 kernel 1 1 1 / 1 3 1 / 1 1 1 over 11,
// per colour channel, reading one line ahead and replicating the edges of the
// page and of each line. Active for gray and for interleaved colour lines.
#pragma once

#include "engine/properties/Property.h"
#include "engine/stages/LineStage.h"

#include <array>
#include <cstdint>
#include <vector>

class Descreen : public LineStage {
public:
    Descreen();

    // Registers 34 (descreen on).
    bool Init() override;
    bool IsActive() override;
    bool Start() override;
    SIResult Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) override;

private:
    struct Side {
        std::vector<uint8_t> middle;  // raw centre line
        std::vector<uint8_t> next;    // raw line below it
        std::vector<uint16_t> previousSums;
        std::vector<uint16_t> middleSums;
        std::vector<uint16_t> nextSums;
        bool primed = false;  // the first line has been read
        uint32_t toDeliver = 0;
    };

    // Reads the first line of the side into its centre.
    SIResult Prime(Side& state, uint32_t side);
    void FreeBuffers() override;

    SingleBool enabled_;

    uint32_t widthInBytes_ = 0;
    uint32_t stride_ = 1;
    uint32_t sides_ = 1;
    std::array<Side, 2> state_;
};
