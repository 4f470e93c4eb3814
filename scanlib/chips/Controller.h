// The scanner-controller chip driver. A scanner model owns one and drives the
// whole scanning hardware through it. Setters only store their values; the
// chip is programmed at SetupScan or at the start of a move.
#pragma once

#include "chips/AfeRegisterEntry.h"

#include <cstdint>
#include <span>

class CalibrationFile;
class CISModule;
class Motor;

class Controller {
public:
    Controller() = default;
    // Frees the controller's own tables; never the port, front end, sensor
    // module or motor.
    virtual ~Controller() = default;
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // Clears the register shadow and stages the power-on image, written only
    // to a freshly powered chip.
    virtual bool Init() = 0;
    virtual bool IsPowerBitSet() = 0;
    // 0 no answer, 1 idle, 2 busy.
    virtual int ReadStatus() = 0;
    virtual bool WriteAfeRegister(int address, int value) = 0;
    virtual bool WriteAfeRegisters(std::span<const AfeRegisterEntry> image) = 0;
    virtual void SetXResolution(int dpi) = 0;
    // 0 line art, 1 gray, 2 colour.
    virtual void SetColorMode(int mode) = 0;
    virtual void SetXOffset(int pixels) = 0;
    // Top offset of a scan, and the distance of a feed or eject.
    virtual void SetYOffset(int lines) = 0;
    // -16 scans until the paper ends.
    virtual void SetScanLength(int lines) = 0;
    virtual void SetScanWidth(int pixels) = 0;
    virtual void SetFeedForward(bool /*forward*/) {}
    virtual void SetFeedRate(float inchesPerSecond) = 0;
    virtual void SetBitsPerPixel(int bits) = 0;
    virtual void SetThreshold(int /*level*/) {}
    virtual void ReservedOperation() {}
    // The tone table of one channel (0..3).
    virtual void SetGammaTable(int /*channel*/, std::span<const uint16_t> /*table*/) {}
    virtual void SetScanRate(float inchesPerSecond) = 0;
    virtual void SetRampStartSpeed(float speed) = 0;
    virtual void SetRampLength(int steps) = 0;
    // 0, 1, 2 one sensor channel; 4 all three together.
    virtual void SetMonoChannel(int /*code*/) {}
    // sensorCount 1 simplex, 2 duplex; lineRates are the per-colour limits in
    // lines per second.
    virtual void SetCisModule(CISModule* module, int sensorCount, std::span<const float, 3> lineRates) = 0;
    virtual void SetMotorPower(bool /*on*/) {}
    // Whether a scan drops the lines its acceleration ramp scans before the
    // paper runs at the scan speed (so the page starts at the scan line's
    // own distance from the paper sensor at every speed). Off by default.
    virtual void SetRampLinesDropped(bool /*on*/) {}
    virtual void SetMotor(Motor* motor) = 0;
    // 64 or 512; 0 when the port is closed.
    virtual int GetBulkPacketSize() = 0;
    virtual bool SetupScan() = 0;
    virtual bool ReadImageLines(void* buffer, unsigned lines, int* linesRead) = 0;
    // Whole lines for the caller known to wait in the chip's buffer from its
    // last count, without asking the chip; -1 when the controller keeps no
    // such count.
    virtual int KnownWaitingLines() const { return -1; }
    virtual void StopScan() = 0;
    virtual void StartMove() = 0;
    virtual bool IsMotorBusy() = 0;
    virtual void StopMove() = 0;
    virtual void SetShadingEnabled(bool on) = 0;
    virtual int GetMaxBitDepth() = 0;
    // Exposure of colour 0..2 as 0..100 % of its maximum; false outside.
    virtual bool SetExposurePercent(int colour, float percent) = 0;
    virtual float GetExposurePercent(int colour) = 0;
    // Dark offsets of one channel (0..3), one per sensor pixel.
    virtual void SetShadingOffsets(int channel, std::span<const int32_t> offsets) = 0;
    // White gains of one channel, clipped to the chip's maximum.
    virtual void SetShadingGains(int channel, std::span<const float> gains) = 0;
    // The lowest paper speed (inches per second) the period counters allow.
    virtual float GetMinScanRate(int linesPerInch) = 0;
    virtual float ComputeScanRate() = 0;
    // Writes or reads the controller's block of the calibration file.
    virtual bool CalibrationData(CalibrationFile* file, bool write) = 0;
    virtual void SetLampPower(bool on) = 0;
    virtual void SetGpioValue(int /*pin*/, bool /*level*/) {}
    virtual void SetGpioEnable(int pin, bool output) = 0;
    virtual bool ReadGpio(int /*pin*/) { return false; }
    virtual int GetLinesScanned() { return 0; }
    virtual bool ResetPipes() { return false; }
    // Diagnostic timed read of up to 102400 bytes from the chip's memory.
    virtual bool ReadScanData(unsigned /*bytes*/, int* /*microseconds*/) { return false; }
};
