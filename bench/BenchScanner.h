// A scanner model that delivers at unlimited speed: the catalogue's property
// set of a duplex model, and lines copied from a small set of prepared lines
// of halftone-like noise.
#pragma once

#include "engine/catalogue/ScannerCatalogue.h"
#include "engine/chain/ImageSource.h"

#include <cstdint>
#include <vector>

class BenchScanner : public ImageSource {
public:
    // A duplex model with a sensor of `sensorDpi` (600 or 300), each side
    // `sidePixels` wide.
    BenchScanner(int32_t sensorDpi, int32_t sidePixels);

    bool Start() override;
    SIResult Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) override;
    void End() override {}

    uint32_t LinesPerPage() const { return pageLines_; }

private:
    static constexpr uint32_t kPreparedLines = 61;

    ScannerProperties common_;
    DuplexPlatformProperties duplex_;
    FamilyProperties family_;

    std::vector<uint8_t> prepared_;
    uint32_t bytesPerLine_ = 0;
    uint32_t pageLines_ = 0;
    uint32_t next_ = 0;
};
