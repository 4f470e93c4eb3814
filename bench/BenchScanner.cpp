#include "BenchScanner.h"

#include <SIPropertyIds.h>

#include <algorithm>
#include <cstring>
#include <random>

BenchScanner::BenchScanner(int32_t sensorDpi, int32_t sidePixels)
{
    // The longest scan: 14 inches and the lines between the two sensors.
    common_.Register(*this, sensorDpi, sidePixels, sensorDpi * 14 + catalogue::kSensorDistance * sensorDpi / 600);
    duplex_.Register(*this, sidePixels);
    if (sensorDpi == 300) {
        family_.RegisterLedFamily(*this, nullptr, true, catalogue::kHalvern33ScanLength300);
    }
    RegisterAllDependencies();
}

bool BenchScanner::Start()
{
    bytesPerLine_ = static_cast<uint32_t>(FindProperty(SI_PROP_WIDTH_IN_BYTES)->GetInt());
    pageLines_ = static_cast<uint32_t>(FindProperty(SI_PROP_SCAN_LENGTH)->GetInt());
    // The page length the paper-end detection starts from.
    FindProperty(SI_PROP_EOP_LENGTH)->SetInt(static_cast<int32_t>(pageLines_));
    if (prepared_.size() != static_cast<size_t>(bytesPerLine_) * kPreparedLines) {
        prepared_.resize(static_cast<size_t>(bytesPerLine_) * kPreparedLines);
        std::mt19937 random(7);
        std::uniform_int_distribution<int> byte(0, 255);
        std::generate(prepared_.begin(), prepared_.end(), [&] { return static_cast<uint8_t>(byte(random)); });
    }
    next_ = 0;
    return true;
}

SIResult BenchScanner::Read(uint8_t* buffer, uint32_t lines, uint32_t, int* linesRead)
{
    *linesRead = 0;
    if (next_ >= pageLines_) {
        return SI_END_OF_PAGE;
    }
    const uint32_t n = std::min(lines, pageLines_ - next_);
    for (uint32_t i = 0; i < n; ++i) {
        const size_t line = (next_ + i) % kPreparedLines;
        std::memcpy(buffer + static_cast<size_t>(i) * bytesPerLine_, &prepared_[line * bytesPerLine_],
                    bytesPerLine_);
    }
    next_ += n;
    *linesRead = static_cast<int>(n);
    return SI_OK;
}
