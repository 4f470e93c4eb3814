// A scanner model for the SI tests, made by a factory for the name "FAKE".
// Each test scripts its behaviour through FakeScanner::script and reads what
// the SI functions asked of it from FakeScanner::calls.
#pragma once

#include "device/DevicePort.h"
#include "engine/model/Scanner.h"
#include "engine/properties/DeviceValueProperties.h"
#include "engine/properties/Property.h"

#include <SIPropertyIds.h>

#include "engine/calibration/Calibrator.h"

#include <array>
#include <functional>
#include <memory>

struct FakeScript {
    bool openResult = true;
    int openThrows = 0;         // a DeviceIOException code, or -1 for another exception
    int paperThrows = 0;        // as above, from GetPaperStatus
    int readThrows = 0;         // as above, from Read
    int feedThrows = 0;         // as above, from Feed
    bool startResult = true;
    int linesLeft = 3;          // lines Read delivers before the end of the page
    int status = 1;             // GetScannerStatus
    int calibrateResult = SI_ERR_CALIBRATION_FAILED;  // the calibrator's answer
    bool stalled = false;       // Read answers 0 with no lines, as a scanner that stopped
    std::function<void()> onRead;  // runs inside Read, before it answers
};

struct FakeCalls {
    int opens = 0;
    int starts = 0;
    int reads = 0;
    int ends = 0;
    int feeds = 0;
    int ejects = 0;
    int resets = 0;
    bool portTaken = false;
};

class FakeScanner;

// Clears property 23, reports 50 % to the callback and answers the script's
// result: enough to see what SI_Calibrate does around a calibration.
class FakeCalibrator : public Calibrator {
public:
    explicit FakeCalibrator(FakeScanner& model) : model_(model) {}
    int Calibrate(SIProgressCallback progress) override;

private:
    FakeScanner& model_;
};

class FakeScanner : public Scanner {
public:
    static inline FakeScript script;
    static inline FakeCalls calls;
    static void ResetScript() {
        script = {};
        calls = {};
    }

    FakeScanner();
    ~FakeScanner() override;

    bool Start() override;
    SIResult Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) override;
    void End() override;

    bool Open(DevicePort*& port) override;
    bool StartScan() override { return Start(); }
    void EndScan() override { End(); }
    void Feed() override;
    Calibrator* GetCalibrator() override { return &calibrator_; }
    bool ReloadCalibration() override { return false; }
    bool ResetPipes() override;
    int Diagnostic(int, uint32_t* data) override;
    int GetScannerStatus() override { return script.status; }
    int GetPaperStatus(int* present) override;
    void FeedPaperOut() override;
    bool DebounceEvent(SIEvent* event) override;

    // The rest of the model interface, inert.
    int GetMaxBitDepth() override { return 16; }
    int GetPixelsPerLine() override { return 0; }
    void SetLampPower(bool) override {}
    void SkipMotorPowerOnce() override {}
    void SetShadingOffsets(int, std::span<const int32_t>) override {}
    void SetShadingGains(int, std::span<const float>) override {}
    bool WriteCalibrationFile() override { return false; }
    int GetOpticalDpi() override { return 300; }
    std::string GetModelName() override { return "FAKE"; }
    float GetFeedRate() override { return feedRate.GetFloat(); }
    void RegisterProperties() override {}
    void GetDeviceIds(std::vector<DeviceId>&) override {}
    int GetOpticalScanLength() override { return 0; }
    int GetSideCount() override { return 1; }
    Controller* GetController() override { return nullptr; }
    CISModule* GetCisModule() override { return nullptr; }
    AnalogFrontEnd* GetAnalogFrontEnd() override { return nullptr; }
    Motor* GetMotor() override { return nullptr; }
    bool IsExternalPowerPresent() override { return false; }
    bool CheckCalibrationHeader() override { return false; }
    float GetEjectDistance() override { return 1.75f; }
    float GetRateFactor() override { return 0.1f; }
    std::array<float, 3> GetMaxLineRate() override { return {}; }
    bool IsLowRate(bool) override { return true; }
    bool UsesGL125() override { return false; }
    bool SensorSelectLevel() override { return true; }
    void SyncChipProperties() override {}

    // The properties the cleaning cycle works with.
    SingleInt opticalResolution{2, SI_ACCESS_READ_ONLY, 300};
    ListInt yResolution;
    RangeInt yOffset{12, SI_ACCESS_READ_WRITE, 0, 10000, 1, 0, true};
    RangeFloat feedRate{1004, SI_ACCESS_READ_WRITE, 0.5f, 1.2f, 0.01f, 0.7f, true};
    SingleBool reverseFeed{23, SI_ACCESS_READ_WRITE, 0};
    // Planar lines, as every scanner delivers them; the chain needs it.
    SingleInt chunky{SI_PROP_CHUNKY, SI_ACCESS_READ_ONLY, 0};
    // A device value with no device behind it (no property 205).
    DeviceValueRangeIntProp prefeedDelay{SI_PROP_PREFEED_DELAY, 0, 5000, 1500, "PrefeedDelayInMs",
                                         "PrefeedDelayInMsDef"};

private:
    std::unique_ptr<DevicePort> port_;
    FakeCalibrator calibrator_{*this};
};

// The values the properties had at each feed: y resolution, y offset, reverse.
struct FeedRecord {
    int32_t yResolution;
    int32_t yOffset;
    int32_t reverse;
    float feedRate;
};
FeedRecord LastFeed();
