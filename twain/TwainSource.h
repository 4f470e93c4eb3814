// The data source's application object: the state of the open source, the
// dispatch of every triplet to its handler, the TWAIN states 3 to 7 and the
// notifications sent to the application through the Source Manager.
#pragma once

#include "CapabilityContainers.h"
#include "ScanPipeline.h"
#include "ScanSettings.h"
#include "ScannerLibraryBinding.h"
#include "SettingsProfile.h"
#include "SourceManagerBinding.h"

#include <twain.h>
#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

class TwainSource {
public:
    TwainSource();
    ~TwainSource();
    TwainSource(const TwainSource&) = delete;
    TwainSource& operator=(const TwainSource&) = delete;

    TW_UINT16 Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

    // One row of the dispatch table.
    using Handler = TW_UINT16 (TwainSource::*)(TW_UINT16 msg, TW_MEMREF data);
    struct Route {
        TW_UINT32 dg;
        TW_UINT16 dat;
        TW_UINT16 msg;
        int16_t firstState;
        int16_t lastState;
        Handler handler;
    };

    // Handlers, one per route of the dispatch table.
    // ---- control ----
    TW_UINT16 Identity(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 OpenSource(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 CloseSource(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 EntryPoint(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 Status(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 ProcessEvent(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 PendingGet(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 EndTransfer(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 ResetTransfers(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 Enable(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 Disable(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 TransferGroup(TW_UINT16 msg, TW_MEMREF data);
    // ---- capabilities ----
    TW_UINT16 CapabilityGet(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 CapabilitySet(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 CapabilityResetAll(TW_UINT16 msg, TW_MEMREF data);
    // ---- transfers ----
    TW_UINT16 SetupMemory(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 SetupFile(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 ImageInfo(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 ImageLayout(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 MemoryTransfer(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 NativeTransfer(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 FileTransfer(TW_UINT16 msg, TW_MEMREF data);

private:
    TW_UINT16 WholePageTransfer(TW_MEMREF data, bool toFile);
    TW_UINT16 TransferFailed(int code);
    // Rows per chunk of the memory-transfer preference.
    uint32_t PreferredRows() const;
    // ---- acquisition ----
    void ResetCapabilities();
    void EnableAllResolutions();
    // The resolution a scan would use: the enabled entry nearest to `dpi`.
    int CurrentResolution() const;
    std::optional<CapabilityValue> DescribeCapability(TW_UINT16 cap);
    void ResetCapability(TW_UINT16 cap);
    TW_UINT16 SetCapability(TW_UINT16 cap, const SetContainer& set);
    TW_UINT16 SetPixelType(const SetContainer& set);
    TW_UINT16 SetResolution(const SetContainer& set);
    // Calibration or cleaning through their custom capabilities.
    TW_UINT16 RunMaintenance(bool calibrate);
    // ---- profile ----
    void OpenProfile();
    void CloseProfile();
    bool PrepareScan();
    int StartAcquisition();
    void EndPipeline();
    bool OpenScanner();
    void NotifyApplication(TW_UINT16 msg);
    void ShowMessage(int row, UINT icon);
    void ShowScanError(int code);
    TW_UINT16 Fail(TW_UINT16 code);

    // The application object's fields.
    ScanSettings settings_;
    TW_UINT16 conditionCode_ = TWCC_SUCCESS;
    TW_UINT16 conditionData_ = 0;
    int16_t state_ = 3;
    std::string profileSection_;
    int16_t pendingXfers_ = -1;
    uint8_t uiMode_ = 0;
    uint32_t deviceOpen_ = 0;
    HWND parentWindow_ = nullptr;
    HMODULE libraryModule_ = nullptr;
    TW_IDENTITY sourceIdentity_{};
    TW_IDENTITY appIdentity_{};

    // Beside it.
    bool closeRequestPending_ = false;
    int16_t xferCount_ = -1;
    TW_UINT16 xferMech_ = TWSX_NATIVE;
    TW_UINT16 pixelFlavor_ = TWPF_CHOCOLATE;
    bool indicators_ = true;
    char fileName_[MAX_PATH] = "TWAIN.BMP";
    std::array<bool, 3> pixelTypeEnabled_{true, true, true};
    ResolutionList resolutions_;
    // Length added at a detected paper end, for the process.
    int32_t eopExtra_ = 0;
    SettingsProfile profile_;

    ScannerLibraryBinding library_;
    ScanPipeline pipeline_;
    SourceManagerBinding sourceManager_;
    // Rows of the page done by memory transfers.
    uint32_t stripRowsDone_ = 0;
    // A transfer is running: the application may only ask for status or
    // pass events until it returns.
    bool transferRunning_ = false;
    // The caller of the triplet being handled.
    pTW_IDENTITY origin_ = nullptr;
};
