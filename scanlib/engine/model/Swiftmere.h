// The simplex scanner platform: owns the port, the four chip drivers, the
// calibration file and the calibrator, knows the board's signal lines and
// EEPROM, and runs scans, paper moves and status queries through the
// controller. The duplex platform and every model derive from it.
#pragma once

#include "engine/catalogue/ScannerCatalogue.h"
#include "engine/model/BoardSignals.h"
#include "engine/model/Scanner.h"
#include "engine/properties/PropertyCallbacks.h"
#include "os/OSMutex.h"

#include <SIPropertyIds.h>

#include <cstdint>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

class CalibrationFile;
class FileTime;

// Deletes a calibrator where its class is known.
struct CalibratorDeleter {
    void operator()(Calibrator* calibrator) const;
};
using CalibratorPtr = std::unique_ptr<Calibrator, CalibratorDeleter>;

class Swiftmere : public Scanner, public VendorIDCallback, public ProductIDCallback {
public:
    static constexpr int kLockMs = 5000;
    static constexpr char kEepromLockName[] = "JTX-EEPROM-A927FFF988B5";
    static constexpr uint16_t kEepromUnread = 0xFFFF;
    static constexpr int kEepromLastWord = 63;
    static constexpr uint32_t kDefaultBoardVersion = 0x20050121;
    // The board version when the EEPROM lock cannot be had.
    static constexpr uint32_t kUnlockedBoardVersion = 256;
    static constexpr uint32_t kEndlessPageLines = 1000000;
    static constexpr int kEndlessScanLength = -16;
    static constexpr char kExternalPowerMarker[] = "C:\\SwiftmereExternalPower.txt";

    Swiftmere();
    ~Swiftmere() override;

    // ImageSource
    bool Start() override { return StartScan(); }
    SIResult Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) override;
    void End() override { EndScan(); }

    // Scanner
    bool Open(DevicePort*& port) override;
    bool StartScan() override;
    void EndScan() override;
    void Feed() override;
    Calibrator* GetCalibrator() override { return calibrator_.get(); }
    bool ReloadCalibration() override;
    void AbandonCalibration() override;
    int GetMaxBitDepth() override;
    int GetPixelsPerLine() override;
    void SetLampPower(bool on) override;
    void SkipMotorPowerOnce() override { skipMotorPower_ = true; }
    void SetShadingOffsets(int channel, std::span<const int32_t> offsets) override;
    void SetShadingGains(int channel, std::span<const float> gains) override;
    bool WriteCalibrationFile() override;
    bool ResetPipes() override;
    int Diagnostic(int code, uint32_t* data) override;
    int GetScannerStatus() override;
    int GetPaperStatus(int* present) override;
    int GetButtonStatus(int which, int* pressed) override;
    void FeedPaperOut() override;
    int GetOpticalDpi() override;
    bool DebounceEvent(SIEvent* event) override;
    float GetFeedRate() override;
    void RegisterProperties() override;
    int GetOpticalScanLength() override;
    int GetSideCount() override { return 1; }
    Controller* GetController() override { return controller_.get(); }
    CISModule* GetCisModule() override { return cisModule_.get(); }
    AnalogFrontEnd* GetAnalogFrontEnd() override { return frontEnd_.get(); }
    Motor* GetMotor() override { return motor_.get(); }
    bool IsExternalPowerPresent() override;
    bool CheckCalibrationHeader() override;
    float GetEjectDistance() override { return 1.75f; }
    float GetRateFactor() override { return rateFactor_; }
    bool IsLowRate(bool) override { return true; }
    bool UsesGL125() override { return false; }
    bool SensorSelectLevel() override { return true; }
    void SyncChipProperties() override;

    // VendorIDCallback, ProductIDCallback: EEPROM words 0 and 1.
    uint16_t GetVendorID() override;
    uint16_t GetProductID() override;

    // Drives every output line to its level for the state (0 idle, 1
    // scanning, 2 moving); with configure also sets the line directions.
    void ApplyBoardState(int state, bool configure);
    // One EEPROM word by bit-banging (no locks); false above word 63.
    bool ReadEepromWord(int address, uint16_t& word);
    // Under the model lock and then the EEPROM lock.
    uint32_t ReadBoardVersion();
    bool ReadEepromWord4();
    std::string ReadEepromText();
    std::string ReadEepromDigits();
    void SetLampLine(bool on);

    const BoardSignals& Signals() const { return signals_; }
    uint32_t BoardVersion() const { return boardVersion_; }
    bool IsOpen() const { return open_; }
    bool IsCalibrated() const { return calibrated_; }
    uint16_t OpenedVendorId() const { return vendorId_; }
    uint16_t OpenedProductId() const { return productId_; }
    const std::string& CalibrationPath() const { return calibrationPath_; }

protected:
    virtual std::unique_ptr<Controller> CreateController(DevicePort* port);
    virtual std::unique_ptr<CISModule> CreateCisModule();
    virtual std::unique_ptr<AnalogFrontEnd> CreateAnalogFrontEnd();
    // By board version: the L6219 below 0x20051021, else the FAN8200D.
    virtual std::unique_ptr<Motor> CreateMotor();
    virtual CalibratorPtr CreateCalibrator();
    // Inches between the paper sensor and the front line less what a fixed
    // read latency at this scan rate would add.
    virtual float PaperEndDistanceAt(float scanRate);

    // The current value of an own property, or fallback when absent.
    int32_t IntValue(uint16_t id, int32_t fallback = 0);
    float FloatValue(uint16_t id, float fallback = 0.0f);
    // The wide-line test: the scan window reaches into the second half of
    // the double-width line.
    bool ScanWindowIsWide();
    // Drives a line as an output to level, under the model lock.
    bool DriveLineLocked(int line, bool level);
    bool ReadLineLocked(int line);
    bool IsFullSpeed() const { return fullSpeed_; }

    ScannerProperties properties_;

private:
    class PortValueStore;
    friend class ModelLock;
    friend class EepromSession;

    bool EnterEeprom();
    void LeaveEeprom();
    void ClockBit(bool bit);
    bool ReadEepromWordLocked(int address, uint16_t& word);
    void SetupToneTables(bool colour);
    // One ask of the controller under the model lock, with the paper-end rule.
    SIResult ReadWaitingLines(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead);
    // Sleeps ms while the rest of an ask is scanned, watching the paper
    // sensor meanwhile when the page ends at the paper's end.
    void WaitForLines(int ms, int pollMs);
    // After a read of `got` of `lines` lines: how many more lines to let the
    // chip scan before the next read asks it again (0: read at once).
    uint32_t LinesToAwait(uint32_t lines, uint32_t got);
    // With the model lock held: notes where the trailing edge cleared the
    // sensor and sets the page length from it; true while still awaited.
    bool CheckPaperEnd();
    // Polls the motor until idle or until the time a move of inches at the
    // current feed rate may take; false when it never stopped.
    bool WaitMotorIdle(float inches, bool watchPaperOut);
    void PrepareMove(bool reverse);
    void DropChips();
    bool LoadCalibration();
    bool ReadLine(BoardLine role);

    BoardSignals signals_;
    uint32_t boardVersion_ = kDefaultBoardVersion;
    uint16_t eepromWord4_ = kEepromUnread;
    float rateFactor_ = 0.1f;
    std::vector<DeviceId> deviceIds_;
    uint16_t vendorId_ = 0;
    uint16_t productId_ = 0;
    std::unique_ptr<DevicePort> port_;
    bool open_ = false;
    std::unique_ptr<AnalogFrontEnd> frontEnd_;
    std::unique_ptr<Controller> controller_;
    std::unique_ptr<CISModule> cisModule_;
    std::unique_ptr<Motor> motor_;
    std::unique_ptr<FileTime> calibrationTime_;
    std::unique_ptr<CalibrationFile> calibrationFile_;
    std::string calibrationPath_;
    uint8_t lastEvent_ = 0;
    uint32_t lastBit0Time_ = 0;
    float paperEndDistance_ = 0.0f;
    uint32_t linesDelivered_ = 0;
    uint32_t pageLength_ = 0;
    bool paperEndSeen_ = false;
    bool paperEndArmed_ = false;
    uint32_t linesAtLastPaperCheck_ = 0;
    uint32_t lastShortfall_ = 0;  // lines to let the chip scan before the next read
    bool endlessPage_ = false;
    float scanRate_ = 0.0f;
    bool skipMotorPower_ = false;
    bool calibrated_ = false;
    // The power source taken at scan start (1 external, 0 not), -1 between
    // scans: IsExternalPowerPresent answers it while the scan runs.
    std::atomic<int> powerDuringScan_{-1};
    OSMutex objectLock_;
    OSMutex eepromLock_;
    CalibratorPtr calibrator_;
    bool fullSpeed_ = false;
    std::unique_ptr<PortValueStore> valueStore_;
};
