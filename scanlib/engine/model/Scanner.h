// The scanner model: the head image source of the chain, owning one physical
// scanner while the library is open: the port, the four chip drivers, the
// calibration file and the calibrator. Virtual operations in their slot
// order after those of ImageSource.
#pragma once

#include "device/DeviceId.h"
#include "engine/chain/ImageSource.h"

#include <SIInterface.h>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class AnalogFrontEnd;
class Calibrator;
class CISModule;
class Controller;
class DevicePort;
class Motor;

class Scanner : public ImageSource {
public:
    Scanner() = default;
    ~Scanner() override = default;

    // ImageSource: the model is the chain's head, nothing lies upstream.
    void SetReadLine(int line) override;
    Property* FindOwnProperty(uint16_t id) override;
    Property* FindUpstreamProperty(uint16_t id) override;

    // Opens the scanner on the port. On success the model owns the port and
    // empties the caller's pointer; on failure the port stays the caller's.
    virtual bool Open(DevicePort*& port) = 0;
    // False when the controller refused the scan. A model lock that cannot
    // be taken throws DeviceIOException(19).
    virtual bool StartScan() = 0;
    virtual void EndScan() = 0;
    // Draws a sheet in by the distance of the y-offset property.
    virtual void Feed() = 0;
    virtual Calibrator* GetCalibrator() = 0;
    // Checks the calibration file as the open would; chips untouched.
    virtual bool ReloadCalibration() = 0;
    // After a calibration that was cancelled or failed: the chips back to
    // the calibration they held before it (the stored one, or none) and the
    // lamp on. The properties are the caller's to restore.
    virtual void AbandonCalibration() {}
    virtual int GetMaxBitDepth() = 0;
    // Sensor pixels of the (wide) line times the sides.
    virtual int GetPixelsPerLine() = 0;
    virtual void SetLampPower(bool on) = 0;
    // The next scan start leaves the motor off.
    virtual void SkipMotorPowerOnce() = 0;
    // Forward to the controller and mark the scanner calibrated.
    virtual void SetShadingOffsets(int channel, std::span<const int32_t> offsets) = 0;
    virtual void SetShadingGains(int channel, std::span<const float> gains) = 0;
    // Pushes the calibration properties into the chips and writes
    // Calibration.dat; false when the file could not be written.
    virtual bool WriteCalibrationFile() = 0;
    // The model's data folder, ending with a separator.
    virtual void GetDataDirectory(std::string& path);
    // The device reset.
    virtual bool ResetPipes() = 0;
    virtual int Diagnostic(int code, uint32_t* data) = 0;
    // 0 not ready, 1 ready, 2 busy.
    virtual int GetScannerStatus() = 0;
    virtual int GetPaperStatus(int* present) = 0;
    virtual int GetButtonStatus(int which, int* pressed);
    // Ejects the sheet.
    virtual void FeedPaperOut() = 0;
    virtual int GetOpticalDpi() = 0;
    // Fills the event's reported flags; false when the record is refused.
    virtual bool DebounceEvent(SIEvent* event) = 0;
    virtual bool GetBoardVersionOverride(uint32_t* version);
    virtual std::string GetModelName() = 0;
    // Inches per second: the feed-rate property, 0.7 without it.
    virtual float GetFeedRate() = 0;
    virtual void RegisterProperties() = 0;
    virtual void GetDeviceIds(std::vector<DeviceId>& ids) = 0;
    virtual void AdjustPageLength(uint32_t* lines);
    // The longest scan in optical lines.
    virtual int GetOpticalScanLength() = 0;
    virtual int GetSideCount() = 0;
    virtual Controller* GetController() = 0;
    virtual CISModule* GetCisModule() = 0;
    virtual AnalogFrontEnd* GetAnalogFrontEnd() = 0;
    virtual Motor* GetMotor() = 0;
    virtual bool IsExternalPowerPresent() = 0;
    // On the open calibration file: the header names this device.
    virtual bool CheckCalibrationHeader() = 0;
    virtual float GetEjectDistance() = 0;
    virtual float GetRateFactor() = 0;
    // Lines per second, one value per colour.
    virtual std::array<float, 3> GetMaxLineRate() = 0;
    virtual bool IsLowRate(bool scanning) = 0;
    virtual bool UsesGL125() = 0;
    virtual bool SensorSelectLevel() = 0;
    // Copies the chips' calibration values into the calibration properties.
    virtual void SyncChipProperties() = 0;
};
