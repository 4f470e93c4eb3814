// The calibrator of the colour CIS scanners: reference voltage, offsets,
// gains and exposures of the front end, then per-pixel dark offsets and
// white gains, written to Calibration.dat.
#pragma once

#include "engine/calibration/Calibrator.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class Property;
class Scanner;

class ColorCalibrator : public Calibrator {
public:
    explicit ColorCalibrator(Scanner* scanner) : scanner_(scanner) {}

    int Calibrate(SIProgressCallback progress) override;

    // Mean per pixel over the captured lines, one vector per channel (one
    // for gray, three in chip colour order for colour).
    using Means = std::vector<std::vector<float>>;

private:
    // Ends the procedure early: the step failed, or the caller cancelled.
    struct StepFailed {};
    struct Cancelled {};

    int Run(SIProgressCallback progress, bool& strip);
    void Finish(bool strip);
    void Progress(SIProgressCallback progress, int percent);

    // The calibration file can be written; false when it cannot.
    bool CheckFileWritable();

    void FeedBy(double inches);
    bool FindTarget(bool white, double maxInches);
    Means CaptureAverage(int colourMode, double inches);
    float DarkLevel(const std::vector<float>& means);
    void CalibrateOffsets(bool lampOn);
    void CalibrateReferenceVoltage();
    void CalibrateLineGain();
    void CalibratePixelOffsets(bool colour, bool strip);
    void CalibratePixelGains(bool colour);

    // Properties as the chain (or, without one, the model) sees them.
    Property* Find(uint16_t id);
    Property& Need(uint16_t id);
    int32_t Int(uint16_t id);
    float Float(uint16_t id);
    void SetInt(uint16_t id, int32_t value);
    void SetFloat(uint16_t id, float value);
    // Current := the smaller of the property's maximum and value; the old
    // value is returned.
    float LimitRate(uint16_t id, float value);
    // Scans lines (at most maxLines) in batches; onBatch(data, lines, bytesPerLine)
    // answers true to stop. Returns the lines read.
    template <typename OnBatch>
    size_t ScanLines(size_t maxLines, OnBatch onBatch);

    Scanner* scanner_;
    int32_t optical_ = 0;
};
