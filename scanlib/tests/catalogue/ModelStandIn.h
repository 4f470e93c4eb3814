// A small scanner model for catalogue and chain tests: it registers the
// common property set (and, when asked, the duplex and family sets) the way a
// model does, and delivers a page of patterned lines of the set geometry.
#pragma once

#include "engine/catalogue/ScannerCatalogue.h"
#include "engine/chain/ImageSource.h"

#include <SIPropertyIds.h>

#include <cstring>
#include <stdexcept>
#include <vector>

class ModelStandIn : public ImageSource, public ScanRateCallback, public FeedRateCallback {
public:
    struct Options {
        int32_t opticalDpi = 600;
        int32_t sensorPixels = 5184;
        int32_t opticalScanLength = 8400;
        bool duplex = false;
        bool family = false;
        bool ledFamily300 = false;
    };

    ModelStandIn() : ModelStandIn(Options{}) {}
    explicit ModelStandIn(const Options& options) {
        common.Register(*this, options.opticalDpi, options.sensorPixels, options.opticalScanLength);
        if (options.duplex) duplex.Register(*this, options.sensorPixels);
        if (options.family) family.Register(*this, "C:\\ProgramData\\Maker\\Model\\", "Model", this, this);
        if (options.ledFamily300) {
            family.RegisterLedFamily(*this, nullptr, true, catalogue::kHalvern33ScanLength300);
        }
        RegisterAllDependencies();
    }

    static uint8_t Byte(uint32_t line, uint32_t index) { return static_cast<uint8_t>(line * 5 + index); }

    bool Start() override {
        ++starts;
        next = 0;
        pageLines = static_cast<uint32_t>(FindProperty(SI_PROP_SCAN_LENGTH)->GetInt());
        width = static_cast<uint32_t>(FindProperty(SI_PROP_WIDTH_IN_BYTES)->GetInt());
        if (startThrows) throw std::runtime_error("start failed");
        return startResult;
    }
    SIResult Read(uint8_t* buffer, uint32_t lines, uint32_t, int* linesRead) override {
        uint32_t n = 0;
        for (; n < lines && next < pageLines; ++n, ++next) {
            for (uint32_t j = 0; j < width; ++j) buffer[static_cast<size_t>(n) * width + j] = Byte(next, j);
        }
        *linesRead = static_cast<int>(n);
        return n == 0 ? SI_END_OF_PAGE : SI_OK;
    }
    void End() override { ++ends; }

    void GetScanRateRange(float* minimum, float* maximum, float* recommended) override {
        *minimum = 0.1f;
        *maximum = rateMaximum;
        *recommended = rateMaximum / 2;
    }
    void GetFeedRateRange(float* minimum, float* maximum) override {
        *minimum = 0.2f;
        *maximum = 1.5f;
    }

    ScannerProperties common;
    DuplexPlatformProperties duplex;
    FamilyProperties family;
    float rateMaximum = 2.0f;
    bool startResult = true;
    bool startThrows = false;
    int starts = 0;
    int ends = 0;
    uint32_t next = 0;
    uint32_t pageLines = 0;
    uint32_t width = 0;
};
