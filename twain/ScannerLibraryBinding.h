// The scanner library Pelidor.dll as the data source drives it: its twenty
// SI_ entry points bound by name, opening and closing the scanner, writing
// the scan settings as properties, starting and ending scans, readiness,
// calibration state, paper and ejection.
#pragma once

#include "ScanSettings.h"

#include <SIInterface.h>
#include <windows.h>

#include <cstdint>

// Scan error codes and the message rows of their texts.
inline constexpr int kScanErrorDevice = 1;
inline constexpr int kScanErrorCancelled = 2;
inline constexpr int kScanErrorFile = 3;
inline constexpr int kScanErrorMemory = 4;
inline constexpr int kScanErrorImageProcessing = 7;

class ScannerLibraryBinding {
public:
    // Binds the twenty names in `module`; true when all were found.
    bool Bind(HMODULE module);
    void Unbind();
    bool Bound() const { return bound_; }

    // SI_OpenInterface(name), the result mapped to 0, 10, 11, 15, 1 or 2048.
    uint32_t OpenScannerInterface(const char* name);
    void CloseScannerInterface();

    bool WaitScannerReady();
    bool NeedsCalibration();
    bool IsPaperLoaded();
    bool FeedPaperOut();

    // SI_Calibrate without a callback: kCalibrated, kCalibratedWhiteOnly or
    // kCalibrationFailed.
    static constexpr int kCalibrationFailed = 0;
    static constexpr int kCalibrated = 1;
    static constexpr int kCalibratedWhiteOnly = 2;
    int CalibrateScanner();
    // SI_Clean without a callback; true when it succeeded.
    bool CleanScanner();
    // Feeds the inserted sheet an eighth of an inch at the optical
    // resolution and puts the properties it changed back.
    void PrefeedPaper();

    // Resolutions the scanner offers, all enabled; unchanged on failure.
    void ReadResolutionList(ResolutionList& list);

    // The property sequence of a scan's settings: 0, 14 without a record,
    // 2305 at the first refused property, or the device's failure code.
    uint32_t ApplyScanSettings(const ScanSettings* settings);

    // Applies a scan copy of the settings and reads back what the scanner
    // will deliver; 0 or the failing result.
    uint32_t PrepareScanProperties(const ScanSettings& settings, int32_t eopExtra);

    // Starts the scan of a sheet with the properties already written.
    bool StartScan();
    // SI_EndScan and, unless the scanner is not open, the exposures restored.
    void EndScan();
    // Ends a started scan and ejects its sheet.
    void EndScanSession();
    bool ScanStarted() const { return scanStarted_; }

    // What the scanner delivers for the settings last prepared.
    uint32_t ScanWidth() const { return scanWidth_; }
    uint32_t ScanLength() const { return scanLength_; }
    uint32_t LineBytes() const { return lineBytes_; }
    bool EopDetection() const { return eopDetection_; }

    SIResult ReadImageData(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead);

    // The name the scanner is opened under.
    static const char* ModelName();

private:
    SIResult Get(SIProperty& property);
    SIResult SetSingle(SIProperty property, int32_t value);
    SIResult SetSingleFloat(SIProperty property, float value);
    void RestoreExposures();

    bool bound_ = false;
    bool scanStarted_ = false;
    bool eopDetection_ = false;
    bool exposureAdjusted_ = false;
    uint32_t scanWidth_ = 0;
    uint32_t scanLength_ = 0;
    uint32_t lineBytes_ = 0;

public:
    decltype(&SI_GetScannerStatus) GetScannerStatus = nullptr;
    decltype(&SI_GetPaperStatus) GetPaperStatus = nullptr;
    decltype(&SI_GetButtonStatus) GetButtonStatus = nullptr;
    decltype(&SI_GetProperty) GetProperty = nullptr;
    decltype(&SI_SetProperty) SetProperty = nullptr;
    decltype(&SI_Reset) Reset = nullptr;
    decltype(&SI_Diagnostic) Diagnostic = nullptr;
    decltype(&SI_GetLastErrorText) GetLastErrorText = nullptr;
    decltype(&SI_GetLastError) GetLastError = nullptr;
    decltype(&SI_StartScan) StartScanFn = nullptr;
    decltype(&SI_ReadImageData) ReadImageDataFn = nullptr;
    decltype(&SI_EndScan) EndScanFn = nullptr;
    decltype(&SI_OpenInterface) OpenInterface = nullptr;
    decltype(&SI_CloseInterface) CloseInterface = nullptr;
    decltype(&SI_GetEvent) GetEvent = nullptr;
    decltype(&SI_Calibrate) Calibrate = nullptr;
    decltype(&SI_IsCalibrated) IsCalibrated = nullptr;
    decltype(&SI_FeedPaperOut) FeedPaperOutFn = nullptr;
    decltype(&SI_Feed) Feed = nullptr;
    decltype(&SI_Clean) Clean = nullptr;
};
