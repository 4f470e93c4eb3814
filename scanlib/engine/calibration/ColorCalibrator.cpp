#include "engine/calibration/ColorCalibrator.h"

#include "engine/calibration/CalibrationDat.h"
#include "engine/calibration/CalibrationMath.h"
#include "engine/chain/ProcessingChain.h"
#include "engine/model/Scanner.h"
#include "engine/properties/Property.h"
#include "os/OSFunctions.h"
#include "os/files/CalibrationFile.h"
#include "os/files/FileFunctions.h"

#include <SIPropertyIds.h>

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <optional>

using namespace calibration;

namespace {

// Lines per read: as many as fit in 128 KiB.
constexpr size_t kBatchBytes = 0x20000;
// A read that returns nothing is retried after 2 ms, for at most 5 s in a row
// (a read may itself wait before it answers with nothing).
constexpr int kIdleRetryMs = 2;
constexpr uint32_t kMaxIdleMs = 5000;

constexpr float kCalibrationRate = 0.85f;  // inches per second while measuring
constexpr float kEjectRate = 1.4f;
constexpr int32_t kSearchResolution = 150;
constexpr double kWindowInches = 1.333;
constexpr double kWindowInsetInches = 0.333;
constexpr double kReadOnInches = 0.1;
constexpr int32_t kWhiteWindowLevel = 120;  // a window's mean above this is white
constexpr int32_t kDarkWindowLevel = 58;    // below this, the dark strip
constexpr double kMeasureLines = 12.0;      // quick measurements: 12 optical lines
constexpr double kPixelCaptureInches = 0.5;
constexpr float kStripDarkBase = 0.8f;
constexpr double kEdgeInsetInches = 0.333;

constexpr int kGray = 1;
constexpr int kColour = 2;

constexpr std::array<uint16_t, 3> kExposures{SI_PROP_EXPOSURE_RED, SI_PROP_EXPOSURE_GREEN, SI_PROP_EXPOSURE_BLUE};
constexpr std::array<uint16_t, 3> kOffsets{SI_PROP_AFE_OFFSET_RED, SI_PROP_AFE_OFFSET_GREEN, SI_PROP_AFE_OFFSET_BLUE};
constexpr std::array<uint16_t, 3> kGains{SI_PROP_AFE_GAIN_RED, SI_PROP_AFE_GAIN_GREEN, SI_PROP_AFE_GAIN_BLUE};

// One scan through the chain, or the model when there is no chain. The scan
// is ended when the session goes, whatever happened.
class ScanSession {
public:
    ScanSession(ProcessingChain* chain, Scanner* scanner) : chain_(chain), scanner_(scanner) {}
    ScanSession(const ScanSession&) = delete;
    ScanSession& operator=(const ScanSession&) = delete;
    ~ScanSession() {
        if (!started_) return;
        try {
            End();
        } catch (...) {
            // Already leaving with the reason the scan stopped.
        }
    }

    bool Start() {
        started_ = chain_ ? chain_->StartScan() : scanner_->Start();
        if (!started_) EndQuietly();
        return started_;
    }
    SIResult Read(uint8_t* buffer, uint32_t lines, int* got) {
        return chain_ ? chain_->ReadImageData(buffer, lines, 0, got) : scanner_->Read(buffer, lines, 0, got);
    }
    void End() {
        started_ = false;
        if (chain_) {
            chain_->EndScan();
        } else {
            scanner_->End();
        }
    }

private:
    // A start that failed half-way still leaves the model's scan to end.
    void EndQuietly() {
        try {
            End();
        } catch (...) {
        }
    }

    ProcessingChain* chain_;
    Scanner* scanner_;
    bool started_ = false;
};

}  // namespace

// ---- properties -----------------------------------------------------------

Property* ColorCalibrator::Find(uint16_t id) { return chain_ ? chain_->FindProperty(id) : scanner_->FindProperty(id); }

Property& ColorCalibrator::Need(uint16_t id) {
    Property* p = Find(id);
    if (!p) throw StepFailed{};
    return *p;
}

int32_t ColorCalibrator::Int(uint16_t id) { return Need(id).GetInt(); }

float ColorCalibrator::Float(uint16_t id) { return Need(id).GetFloat(); }

void ColorCalibrator::SetInt(uint16_t id, int32_t value) { Need(id).SetInt(value); }

void ColorCalibrator::SetFloat(uint16_t id, float value) { Need(id).SetFloat(value); }

namespace {

template <typename T>
T& RangeOf(Property& p) {
    auto* range = dynamic_cast<T*>(&p);
    if (!range) throw std::bad_cast();
    return *range;
}

}  // namespace

float ColorCalibrator::LimitRate(uint16_t id, float value) {
    Property* p = Find(id);
    auto* range = dynamic_cast<RangeFloat*>(p);
    if (!range) return 0.0f;
    const float old = range->GetFloat();
    range->SetFloat(std::min(range->Maximum(), value));
    return old;
}

// ---- the procedure ------------------------------------------------------------

int ColorCalibrator::Calibrate(SIProgressCallback progress) {
    // A calibration killed while it staged its file left that file behind.
    // The caller holds the calibration lock: no other calibration stages now.
    std::string folder;
    scanner_->GetDataDirectory(folder);
    if (!folder.empty()) RemoveStagedCalibrationFiles(folder + kCalibrationDatName);
    if (!CheckFileWritable()) return SI_ERR_CALIBRATION_FILE;
    bool strip = false;
    int result = SI_OK;
    try {
        result = Run(progress, strip);
    } catch (const StepFailed&) {
        result = SI_ERR_CALIBRATION_FAILED;
    } catch (const std::bad_cast&) {
        result = SI_ERR_CALIBRATION_FAILED;
    } catch (const Cancelled&) {
        result = SI_ERR_CANCELLED;
    } catch (...) {
        // A device failure: the sheet still goes out if it can.
        try {
            Finish(strip);
        } catch (...) {
        }
        throw;
    }
    try {
        Finish(strip);
    } catch (const StepFailed&) {
        if (result == SI_OK) result = SI_ERR_CALIBRATION_FAILED;
    }
    if (progress) progress(100);  // the answer no longer matters
    return (result != SI_OK || strip) ? result : SI_CALIBRATED_WHITE_ONLY;
}

bool ColorCalibrator::CheckFileWritable() {
    std::string path;
    scanner_->GetDataDirectory(path);
    if (path.empty()) return false;  // no data folder for this model
    path += kCalibrationDatName;
    const std::unique_ptr<CalibrationFile> file = CreateCalibrationFile();
    if (file->Open(path.c_str(), kCalibrationFileReadWrite)) {
        file->Close();
        return true;
    }
    // A file that is there but cannot be opened for writing is not
    // writable; creating it would only truncate the calibration it holds.
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    if (!file->Open(path.c_str(), kCalibrationFileWrite)) return false;
    file->Close();
    OSDeleteFile(path.c_str());
    return true;
}

void ColorCalibrator::Progress(SIProgressCallback progress, int percent) {
    if (progress && progress(percent) == 0) throw Cancelled{};
}

int ColorCalibrator::Run(SIProgressCallback progress, bool& strip) {
    scanner_->ResetPipes();
    SetFloat(SI_PROP_GAMMA, 1.0f);
    SetInt(SI_PROP_SHADOW, 0);
    SetInt(SI_PROP_HIGHLIGHT, 255);

    if (Find(SI_PROP_DUPLEX)) {
        SetInt(SI_PROP_DUPLEX, 0);
        SetInt(SI_PROP_DUPLEX_WIDE_MODE, 1);
        duplex_ = true;
    } else {
        duplex_ = false;
    }
    const int pixels = scanner_->GetPixelsPerLine();
    optical_ = Int(SI_PROP_OPTICAL_RESOLUTION);
    if (pixels <= 0 || pixels > 0xFFFF || optical_ <= 0) throw StepFailed{};
    pixelsPerLine_ = static_cast<uint16_t>(pixels);

    SetInt(SI_PROP_REVERSE_FEED, 0);
    FeedBy(1.2);
    CalibrateOffsets(false);
    Progress(progress, 6);
    CalibrateLineGain();
    Progress(progress, 9);

    if (FindTarget(false, 2.5)) {
        Progress(progress, 16);
        CalibrateOffsets(true);
        Progress(progress, 19);
        SetInt(SI_PROP_REVERSE_FEED, 1);
        if (!FindTarget(true, 1.5)) throw StepFailed{};
        Progress(progress, 22);
        CalibrateLineGain();
        Progress(progress, 25);
        SetInt(SI_PROP_REVERSE_FEED, 0);
        if (!FindTarget(false, 1.5)) throw StepFailed{};
        strip = true;
    }

    Progress(progress, 28);
    CalibratePixelOffsets(true, strip);
    Progress(progress, 45);
    CalibratePixelOffsets(false, strip);

    if (strip) {
        Progress(progress, 60);
        SetInt(SI_PROP_REVERSE_FEED, 1);
        if (!FindTarget(true, 2.5)) throw StepFailed{};
    }

    Progress(progress, 67);
    if (!strip) {
        // Without the strip the white comes from whatever lies under the
        // sensor: only a sheet will do.
        int present = 0;
        if (scanner_->GetPaperStatus(&present) != 0 || present != 1) throw StepFailed{};
    }
    CalibratePixelGains(true);
    Progress(progress, 84);
    CalibratePixelGains(false);
    Progress(progress, 95);
    return scanner_->WriteCalibrationFile() ? SI_OK : SI_ERR_CALIBRATION_FILE;
}

void ColorCalibrator::Finish(bool strip) {
    SetInt(SI_PROP_REVERSE_FEED, strip ? 1 : 0);
    if (strip) {
        FeedBy(1.6);
    } else {
        LimitRate(SI_PROP_FEED_RATE, kEjectRate);
        scanner_->FeedPaperOut();
    }
}

// ---- steps -------------------------------------------------------------------

void ColorCalibrator::FeedBy(double inches) {
    if (optical_ <= 0) optical_ = Int(SI_PROP_OPTICAL_RESOLUTION);
    SetInt(SI_PROP_Y_RESOLUTION, optical_);
    SetInt(SI_PROP_Y_OFFSET, static_cast<int32_t>(std::lround(optical_ * inches)));
    const float old = LimitRate(SI_PROP_FEED_RATE, kCalibrationRate);
    scanner_->Feed();
    if (auto* rate = dynamic_cast<RangeFloat*>(Find(SI_PROP_FEED_RATE))) rate->SetFloat(old);
}

template <typename OnBatch>
size_t ColorCalibrator::ScanLines(size_t maxLines, OnBatch onBatch) {
    const int32_t bytesPerLine = Int(SI_PROP_WIDTH_IN_BYTES);
    if (bytesPerLine <= 0 || maxLines == 0) throw StepFailed{};
    const size_t bpl = static_cast<size_t>(bytesPerLine);
    const size_t batch = std::max<size_t>(1, kBatchBytes / bpl);
    std::vector<uint8_t> buffer(batch * bpl);

    ScanSession scan(chain_, scanner_);
    if (!scan.Start()) throw StepFailed{};
    size_t total = 0;
    bool idle = false;
    uint32_t idleSince = 0;
    while (total < maxLines) {
        const auto want = static_cast<uint32_t>(std::min(batch, maxLines - total));
        int got = 0;
        const SIResult result = scan.Read(buffer.data(), want, &got);
        if (result == SI_END_OF_PAGE) break;
        if (result != SI_OK) throw StepFailed{};
        if (got <= 0) {
            const uint32_t now = OSGetTime();
            if (!idle) idleSince = now;
            idle = true;
            if (now - idleSince > kMaxIdleMs) throw StepFailed{};
            OSSleep(kIdleRetryMs);
            continue;
        }
        idle = false;
        const size_t lines = std::min<size_t>(static_cast<size_t>(got), want);
        total += lines;
        maxLines = std::min(maxLines, onBatch(std::span<const uint8_t>(buffer.data(), lines * bpl), lines, bpl, total));
    }
    scan.End();
    return total;
}

bool ColorCalibrator::FindTarget(bool white, double maxInches) {
    SetInt(SI_PROP_APPLY_CALIBRATION, 0);
    scanner_->SetLampPower(true);
    SetInt(SI_PROP_COLOR_MODE, kGray);
    auto& xres = RangeOf<ListInt>(Need(SI_PROP_X_RESOLUTION));
    const std::optional<int32_t> nearest = NearestListed(xres.Items(), kSearchResolution);
    if (!nearest || *nearest <= 0) throw StepFailed{};
    const int32_t r = *nearest;
    xres.SetInt(r);

    const auto lines = static_cast<size_t>(std::lround(r * maxInches));
    const int64_t width = static_cast<int64_t>(pixelsPerLine_) * r / optical_;
    SetInt(SI_PROP_X_OFFSET, 0);
    SetInt(SI_PROP_Y_OFFSET, 0);
    SetInt(SI_PROP_SCAN_WIDTH, static_cast<int32_t>(width));
    SetInt(SI_PROP_SCAN_LENGTH, static_cast<int32_t>(lines));
    if (Find(SI_PROP_SPOOL_ENABLE)) SetInt(SI_PROP_SPOOL_ENABLE, 0);
    const float oldRate = LimitRate(SI_PROP_SCAN_RATE, kCalibrationRate);

    const int64_t k = std::lround(r * kWindowInches);
    const int64_t j = std::lround(r * kWindowInsetInches);
    std::vector<int64_t> starts{j, width - k - j};
    if (duplex_) {
        starts.push_back(width / 2 - k - j);
        starts.push_back(width / 2 + j);
    }
    for (const int64_t s : starts) {
        if (s < 0 || s + k > width) throw StepFailed{};
    }
    const int64_t limit = k * (white ? kWhiteWindowLevel : kDarkWindowLevel);
    const auto readOn = static_cast<size_t>(std::lround(r * kReadOnInches));

    bool found = false;
    ScanLines(lines, [&](std::span<const uint8_t> data, size_t got, size_t bpl, size_t total) {
        if (found) return total;  // the lines read on have arrived
        if (bpl < static_cast<size_t>(width)) throw StepFailed{};
        const uint8_t* last = data.data() + (got - 1) * bpl;
        found = std::all_of(starts.begin(), starts.end(), [&](int64_t s) {
            int64_t sum = 0;
            for (int64_t x = s; x < s + k; ++x) sum += last[x];
            return white ? sum > limit : sum < limit;
        });
        return found ? total + readOn : lines;
    });
    if (auto* rate = dynamic_cast<RangeFloat*>(Find(SI_PROP_SCAN_RATE))) rate->SetFloat(oldRate);
    return found;
}

ColorCalibrator::Means ColorCalibrator::CaptureAverage(int colourMode, double inches) {
    SetInt(SI_PROP_COLOR_MODE, colourMode);
    SetInt(SI_PROP_X_RESOLUTION, optical_);
    SetInt(SI_PROP_X_OFFSET, 0);
    SetInt(SI_PROP_Y_OFFSET, 0);
    const size_t width = pixelsPerLine_;
    const auto lines = static_cast<size_t>(std::max<long>(1, std::lround(optical_ * inches)));
    SetInt(SI_PROP_SCAN_WIDTH, static_cast<int32_t>(width));
    SetInt(SI_PROP_SCAN_LENGTH, static_cast<int32_t>(lines));
    if (Find(SI_PROP_SPOOL_ENABLE)) SetInt(SI_PROP_SPOOL_ENABLE, 1);
    const float oldRate = LimitRate(SI_PROP_SCAN_RATE, kCalibrationRate);

    const size_t channels = colourMode == kColour ? 3 : 1;
    // Colour arrives interleaved from the chain (in the order its channel
    // property gives) or planar from the model.
    Property* chunkyProp = Find(SI_PROP_CHUNKY);
    const bool chunky = channels == 3 && chunkyProp && chunkyProp->GetInt() == 1;
    Property* orderProp = Find(SI_PROP_CHANNEL_ORDER);
    const bool reversed = chunky && (!orderProp || orderProp->GetInt() == 0);

    std::vector<std::vector<double>> sums(channels, std::vector<double>(width, 0.0));
    const size_t captured =
        ScanLines(lines, [&](std::span<const uint8_t> data, size_t got, size_t bpl, size_t) {
            if (bpl < width * channels) throw StepFailed{};
            for (size_t line = 0; line < got; ++line) {
                const uint8_t* row = data.data() + line * bpl;
                for (size_t c = 0; c < channels; ++c) {
                    std::vector<double>& sum = sums[c];
                    if (chunky) {
                        const size_t byte = reversed ? 2 - c : c;
                        for (size_t x = 0; x < width; ++x) sum[x] += row[x * 3 + byte];
                    } else {
                        const uint8_t* plane = row + c * width;
                        for (size_t x = 0; x < width; ++x) sum[x] += plane[x];
                    }
                }
            }
            return lines;
        });
    if (auto* rate = dynamic_cast<RangeFloat*>(Find(SI_PROP_SCAN_RATE))) rate->SetFloat(oldRate);
    if (captured == 0) throw StepFailed{};

    Means means(channels, std::vector<float>(width));
    for (size_t c = 0; c < channels; ++c) {
        std::transform(sums[c].begin(), sums[c].end(), means[c].begin(),
                       [captured](double s) { return static_cast<float>(s / static_cast<double>(captured)); });
    }
    return means;
}

float ColorCalibrator::DarkLevel(const std::vector<float>& means) {
    const std::optional<float> level = LowestWindowMean(means);
    if (!level || !std::isfinite(*level)) throw StepFailed{};
    return *level;
}

namespace {

// Puts the front-end gains back when the measurement that needed them at
// 1.0 is over, however it ends.
class GainRestorer {
public:
    explicit GainRestorer(std::array<Property*, 3> gains) : gains_(gains) {
        for (size_t c = 0; c < 3; ++c) saved_[c] = gains_[c]->GetFloat();
    }
    GainRestorer(const GainRestorer&) = delete;
    GainRestorer& operator=(const GainRestorer&) = delete;
    ~GainRestorer() {
        for (size_t c = 0; c < 3; ++c) gains_[c]->SetFloat(saved_[c]);
    }

private:
    std::array<Property*, 3> gains_;
    std::array<float, 3> saved_{};
};

}  // namespace

void ColorCalibrator::CalibrateOffsets(bool lampOn) {
    SetInt(SI_PROP_APPLY_CALIBRATION, 0);
    scanner_->SetLampPower(lampOn);
    if (lampOn) {
        const float maximum = RangeOf<RangeFloat>(Need(SI_PROP_EXPOSURE_RED)).Maximum();
        for (const uint16_t id : kExposures) SetFloat(id, maximum);
    }
    const GainRestorer restore({&Need(kGains[0]), &Need(kGains[1]), &Need(kGains[2])});
    for (const uint16_t id : kGains) SetFloat(id, 1.0f);

    if (!lampOn) CalibrateReferenceVoltage();

    const double measureInches = kMeasureLines / optical_;
    std::array<RangeInt*, 3> offsets{};
    for (size_t c = 0; c < 3; ++c) offsets[c] = &RangeOf<RangeInt>(Need(kOffsets[c]));
    const int32_t top = offsets[0]->Maximum();
    for (RangeInt* p : offsets) p->SetInt(top);
    const Means atTop = CaptureAverage(kColour, measureInches);
    std::array<float, 3> first{};
    std::array<int32_t, 3> code{};
    for (size_t c = 0; c < 3; ++c) {
        first[c] = DarkLevel(atTop[c]);
        const std::optional<int32_t> estimate =
            RoundInto(EstimateOffset(first[c], top), offsets[c]->Minimum(), offsets[c]->Maximum());
        if (!estimate) throw StepFailed{};
        code[c] = *estimate;
        offsets[c]->SetInt(code[c]);
    }
    const Means atEstimate = CaptureAverage(kColour, measureInches);
    for (size_t c = 0; c < 3; ++c) {
        const float second = DarkLevel(atEstimate[c]);
        if (second <= kDarkRetryAbove) continue;
        const std::optional<double> x = SolveOnLine(top, first[c], code[c], second, kDarkTarget);
        const std::optional<int32_t> solved =
            x ? RoundInto(*x, offsets[c]->Minimum(), offsets[c]->Maximum()) : std::nullopt;
        if (!solved) throw StepFailed{};
        code[c] = *solved;
        offsets[c]->SetInt(code[c]);
    }
    SetInt(SI_PROP_AFE_OFFSET_GRAY, static_cast<int32_t>(std::lround((code[0] + code[1] + code[2]) / 3.0)));
}

void ColorCalibrator::CalibrateReferenceVoltage() {
    for (const uint16_t id : kOffsets) {
        auto& p = RangeOf<RangeInt>(Need(id));
        p.SetInt((p.Minimum() + p.Maximum()) / 2);
    }
    auto& vref = RangeOf<RangeInt>(Need(SI_PROP_AFE_VREF));
    const double measureInches = kMeasureLines / optical_;
    // The search starts from the lowest code, as on a scanner never
    // calibrated, whatever a stored calibration holds: a stored code at the
    // top of the range (or one whose dark level is clipped) leaves the
    // search no room, and every later calibration would fail.
    const int32_t code = vref.Minimum();
    vref.SetInt(code);
    const float level = DarkLevel(CaptureAverage(kColour, measureInches)[0]);
    const std::optional<int32_t> next = RoundInto(NextReferenceCode(code, level), vref.Minimum(), vref.Maximum());
    if (!next) throw StepFailed{};
    vref.SetInt(*next);
    const float nextLevel = DarkLevel(CaptureAverage(kColour, measureInches)[0]);
    const std::optional<double> final = FinalReferenceCode(code, level, *next, nextLevel);
    const std::optional<int32_t> finalCode = final ? RoundInto(*final, vref.Minimum(), vref.Maximum()) : std::nullopt;
    if (!finalCode) throw StepFailed{};
    vref.SetInt(*finalCode);
}

void ColorCalibrator::CalibrateLineGain() {
    SetInt(SI_PROP_APPLY_CALIBRATION, 0);
    scanner_->SetLampPower(true);
    const auto& exposureRange = RangeOf<RangeFloat>(Need(SI_PROP_EXPOSURE_RED));
    const auto& gainRange = RangeOf<RangeFloat>(Need(SI_PROP_AFE_GAIN_RED));
    const double eMin = exposureRange.Minimum(), eMax = exposureRange.Maximum();
    const double gMin = gainRange.Minimum(), gMax = gainRange.Maximum();
    for (const uint16_t id : kExposures) SetFloat(id, static_cast<float>(eMax));
    for (const uint16_t id : kGains) SetFloat(id, 1.0f);

    const double measureInches = kMeasureLines / optical_;
    const auto whites = [&] {
        const Means m = CaptureAverage(kColour, measureInches);
        std::array<float, 3> w{};
        for (size_t c = 0; c < 3; ++c) {
            const std::optional<float> level = HighestWindowMean(m[c]);
            if (!level || !std::isfinite(*level)) throw StepFailed{};
            w[c] = *level;
        }
        return w;
    };

    const std::array<float, 3> w0 = whites();
    std::array<WhiteClass, 3> kind{};
    std::array<uint16_t, 3> setting{};  // the property each channel's fit moves
    std::array<double, 3> s1{}, s2{};
    bool anyToFit = false;
    for (size_t c = 0; c < 3; ++c) {
        kind[c] = ClassifyWhite(w0[c]);
        if (kind[c] == WhiteClass::Right) continue;
        anyToFit = true;
        setting[c] = kind[c] == WhiteClass::TooDark ? kGains[c] : kExposures[c];
        SetFloat(setting[c], static_cast<float>(kind[c] == WhiteClass::TooDark ? gMin : ProbeExposure(eMin, eMax)));
        s1[c] = Float(setting[c]);  // as stored, after the property's grid
    }
    if (anyToFit) {
        const std::array<float, 3> w1 = whites();
        for (size_t c = 0; c < 3; ++c) {
            if (kind[c] == WhiteClass::Right) continue;
            const double estimate = kind[c] == WhiteClass::TooDark ? std::clamp(EstimateGain(s1[c], w1[c]), gMin, gMax)
                                                                   : std::clamp(EstimateExposure(s1[c], w1[c]), eMin, eMax);
            SetFloat(setting[c], static_cast<float>(estimate));
            s2[c] = Float(setting[c]);
        }
        const std::array<float, 3> w2 = whites();
        for (size_t c = 0; c < 3; ++c) {
            if (kind[c] == WhiteClass::Right) continue;
            const std::optional<double> s3 = FinalLineSetting(s1[c], w1[c], s2[c], w2[c]);
            if (!s3) throw StepFailed{};
            double value = *s3;
            if (kind[c] == WhiteClass::TooDark) {
                if (value < gMin || value > 1.1 * gMax) throw StepFailed{};
                value = std::min(value, gMax);
            } else if (value < eMin || value > eMax) {
                throw StepFailed{};
            }
            SetFloat(setting[c], static_cast<float>(value));
        }
    }
    const double gray = (static_cast<double>(Float(kGains[0])) + Float(kGains[1]) + Float(kGains[2])) / 3.0;
    SetFloat(SI_PROP_AFE_GAIN_GRAY, static_cast<float>(gray));
}

void ColorCalibrator::CalibratePixelOffsets(bool colour, bool strip) {
    SetInt(SI_PROP_APPLY_CALIBRATION, 0);
    scanner_->SetLampPower(strip);
    const Means m = CaptureAverage(colour ? kColour : kGray, kPixelCaptureInches);
    const float base = strip ? kStripDarkBase : 0.0f;
    if (colour) {
        for (int c = 0; c < 3; ++c) scanner_->SetShadingOffsets(c, PixelOffsets(m[static_cast<size_t>(c)], base));
    } else {
        scanner_->SetShadingOffsets(3, PixelOffsets(m[0], base));
    }
}

void ColorCalibrator::CalibratePixelGains(bool colour) {
    SetInt(SI_PROP_APPLY_CALIBRATION, 1);
    scanner_->SetLampPower(true);
    const std::vector<float> unity(pixelsPerLine_, 1.0f);
    const int first = colour ? 0 : 3;
    const int count = colour ? 3 : 1;
    for (int c = first; c < first + count; ++c) scanner_->SetShadingGains(c, unity);
    const Means m = CaptureAverage(colour ? kColour : kGray, kPixelCaptureInches);

    const size_t n = pixelsPerLine_;
    const auto inset = static_cast<size_t>(std::lround(optical_ * kEdgeInsetInches));
    for (int i = 0; i < count; ++i) {
        std::vector<float> gains = PixelGains(m[static_cast<size_t>(i)]);
        const auto holdHalf = [&](size_t from, size_t to) {
            HoldGainsOutsideEdges(gains, from, to, FindStripEdges(gains, from, to, inset));
        };
        if (duplex_) {
            holdHalf(0, n / 2);
            holdHalf(n / 2, n);
        } else {
            holdHalf(0, n);
        }
        scanner_->SetShadingGains(first + i, gains);
    }
}
