// Interleaves the three colour planes that the scanner delivers one after the
// other into pixels of three bytes. Active for colour scans.
#pragma once

#include "engine/stages/LineStage.h"
#include "engine/properties/Property.h"
#include "engine/stages/PlanarToChunkyKernels.h"

#include <array>
#include <cstdint>
#include <vector>

class PlanarToChunky : public LineStage {
public:
    PlanarToChunky();

    // Fails unless the source below delivers planar lines (its property 16 is
    // 0); registers 16 (lines leave interleaved) and 17 (plane order).
    bool Init() override;
    bool IsActive() override;
    bool Start() override;
    SIResult Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) override;

private:
    void FreeBuffers() override { line_ = {}; }

    static constexpr std::array<int32_t, 2> kOrders{0, 1};

    SingleInt chunky_;
    ListInt channelOrder_;

    PlaneOrder order_ = PlaneOrder::Reversed;
    uint32_t widthInBytes_ = 0;
    uint32_t pixels_ = 0;
    std::vector<uint8_t> line_;
};
