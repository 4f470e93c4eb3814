// The Genesys GL125 USB scanner controller: a shadow of its 288 registers in
// two banks with a dirty flag each, register reads answered with a marker
// byte, bulk transfers into its flat memory with an address and length header
// per piece, the clock, the board pins and the front end's serial port; on
// top of them scan setup, motor tables and moves, exposure, shading, gamma and
// the calibration block. Every sequence that talks to the chip checks that
// the port is open and holds the port lock for its whole length.
#pragma once

#include "chips/Controller.h"
#include "chips/GL125Fields.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

class AnalogFrontEnd;
class DevicePort;
class PortLocker;

class GL125 : public Controller {
public:
    static constexpr int kRequestBulkHeader = 0x82;
    static constexpr int kRequestWriteRegister = 0x83;
    static constexpr int kRequestWriteHighRegister = 0x183;
    static constexpr int kRequestReadRegister = 0x8E;
    static constexpr int kRequestReadHighRegister = 0x18E;
    static constexpr int kRequestClock = 0x8C;
    static constexpr uint8_t kReadMarker = 0x55;
    static constexpr size_t kMaxPairsPerTransfer = 6;
    static constexpr uint32_t kImageAddress = 0x10000000;
    static constexpr uint32_t kGammaAddress = 0x01000000;
    static constexpr uint32_t kGammaSlotBytes = 0x200;
    static constexpr std::array<uint32_t, 3> kShadingAddress = {0x10014000, 0x10020000, 0x1002C000};
    static constexpr std::array<uint8_t, 3> kShadingAreaUnits = {10, 16, 22};
    static constexpr uint32_t kMotorTableBytes = 0x4000;
    static constexpr size_t kLineBufferBytes = 0x20000;
    static constexpr unsigned kMaxScanDataBytes = 102400;
    static constexpr uint32_t kMaxCalibrationEntries = 0x10000;
    static constexpr uint32_t kIdleClock = 24000000;
    static constexpr std::array<uint32_t, 4> kClockChoices = {30000000, 40000000, 48000000, 60000000};
    static constexpr size_t kGammaEntries = 256;
    static constexpr size_t kMaxMotorEntries = 512;

    GL125(AnalogFrontEnd* frontEnd, DevicePort* port);
    ~GL125() override;

    // Controller
    bool Init() override;
    bool IsPowerBitSet() override;
    int ReadStatus() override;
    bool WriteAfeRegister(int address, int value) override;
    bool WriteAfeRegisters(std::span<const AfeRegisterEntry> image) override;
    void SetXResolution(int dpi) override { xResolution_ = dpi; }
    void SetColorMode(int mode) override { colorMode_ = mode; }
    void SetXOffset(int pixels) override { xOffset_ = pixels; }
    void SetYOffset(int lines) override { yOffset_ = lines; }
    void SetScanLength(int lines) override { scanLength_ = lines; }
    void SetScanWidth(int pixels) override { scanWidth_ = pixels; }
    void SetFeedForward(bool forward) override { feedForward_ = forward; }
    void SetFeedRate(float inchesPerSecond) override { feedRate_ = inchesPerSecond; }
    void SetBitsPerPixel(int bits) override { bitsPerPixel_ = bits; }
    void SetThreshold(int level) override { threshold_ = level; }
    // Channels 0..3; a table in use has exactly 256 entries, an empty one
    // clears the channel, other lengths are refused.
    void SetGammaTable(int channel, std::span<const uint16_t> table) override;
    void SetScanRate(float inchesPerSecond) override { scanRate_ = inchesPerSecond; }
    void SetRampStartSpeed(float speed) override { rampStartSpeed_ = speed; }
    void SetRampLength(int steps) override { rampLength_ = steps; }
    void SetMonoChannel(int code) override { monoChannel_ = code; }
    void SetCisModule(CISModule* module, int sensorCount, std::span<const float, 3> lineRates) override;
    void SetMotorPower(bool on) override { motorPower_ = on; }
    void SetMotor(Motor* motor) override { motor_ = motor; }
    int GetBulkPacketSize() override;
    bool SetupScan() override;
    bool ReadImageLines(void* buffer, unsigned lines, int* linesRead) override;
    void StopScan() override;
    void StartMove() override;
    bool IsMotorBusy() override;
    void StopMove() override;
    void SetShadingEnabled(bool on) override { shadingEnabled_ = on; }
    void SetRampLinesDropped(bool on) override { rampLinesDropped_ = on; }
    int GetMaxBitDepth() override { return 16; }
    bool SetExposurePercent(int colour, float percent) override;
    float GetExposurePercent(int colour) override;
    void SetShadingOffsets(int channel, std::span<const int32_t> offsets) override;
    void SetShadingGains(int channel, std::span<const float> gains) override;
    float GetMinScanRate(int linesPerInch) override;
    float ComputeScanRate() override;
    bool CalibrationData(CalibrationFile* file, bool write) override;
    void SetLampPower(bool on) override { lampPower_ = on; }
    void SetGpioValue(int pin, bool level) override;
    void SetGpioEnable(int pin, bool output) override;
    bool ReadGpio(int pin) override;
    int GetLinesScanned() override;
    bool ResetPipes() override;
    bool ReadScanData(unsigned bytes, int* microseconds) override;

    // Register access. A register takes a written value in the shadow only
    // after the port reported success; a read only when the chip's answer
    // carries the marker byte.
    bool ReadRegister(uint16_t reg, uint8_t* value, bool lock = true);
    bool WriteRegister(uint16_t reg, uint8_t value);
    // Registers below 0x100 go first, then the high bank, at most six pairs
    // per transfer, all under one lock.
    bool WriteRegisterList(std::span<const std::pair<uint16_t, uint8_t>> pairs);
    // Merges value into the field's shadow bytes, from the named register
    // down; with now each byte is written at once, otherwise marked dirty.
    bool SetField(const GL125RegisterField& field, uint32_t value, bool now);
    // Reads the field's registers from the chip, most significant first, so
    // a counter that advances between the byte reads is never overstated.
    // Empty when any read fails.
    std::optional<uint32_t> ReadField(const GL125RegisterField& field);
    // The field as the shadow holds it.
    uint32_t ShadowField(const GL125RegisterField& field) const;
    // Sends every dirty register in address order; the flags are cleared
    // even when the write fails.
    bool FlushRegisters();
    // Moves data into or out of the chip's memory at address, each piece
    // with its own header. False on any failed transfer.
    bool BulkWrite(uint32_t address, std::span<const uint8_t> data);
    bool BulkRead(uint32_t address, std::span<uint8_t> data);
    // Reads image data in pieces of at most 0xF000 bytes, each announced at
    // the image address; with lock false the caller holds the port lock.
    bool ReadBulkChunked(uint8_t* data, uint32_t length, bool lock);
    bool SetClock(uint32_t hz);
    uint32_t ChooseClock() const;
    // Uploads motor table k (1..5), a ramp from the ramp start speed to the
    // speed of targetPeriod; n (1..256) only gates the call.
    bool UploadMotorTable(int k, int n, int reserved, uint32_t targetPeriod);

    uint8_t RegisterValue(uint16_t reg) const { return shadow_[reg].value; }
    bool IsRegisterDirty(uint16_t reg) const { return shadow_[reg].dirty != 0; }
    int PacketSize() const { return packetSize_; }
    uint32_t MasterClock() const { return clock_; }
    int DpiClass() const { return dpiClass_; }
    int PaddedWidth() const { return paddedWidth_; }
    bool IsShadingDataPresent() const { return shadingPresent_; }
    uint32_t GetExposure(int colour) const { return exposure_[colour]; }
    uint32_t GetMaxExposure(int colour) const { return maxExposure_[colour]; }
    uint16_t ExposureTicks(int colour) const { return exposureTicks_[colour]; }
    const std::vector<uint32_t>& ShadingTable(int channel) const { return shading_[channel]; }
    const std::vector<uint16_t>& GammaTable(int channel) const { return gamma_[channel]; }
    // The most sensor pixels a shading table may hold: one shading area, and
    // the sensor line once a module is attached.
    size_t MaxShadingPixels() const;
    // The motor run count and ramp of a move of this many steps.
    struct MovePlan {
        uint32_t run = 0;
        int rampCount = 0;
        uint32_t targetPeriod = 0;
    };
    MovePlan PlanMove(int steps) const;
    int MoveSteps() const;

private:
    struct ShadowEntry {
        uint8_t dirty;
        uint8_t value;
    };

    bool PortOpen() const;
    // Takes the port lock for a sequence; false when the port is not open.
    bool LockOpenPort(PortLocker& locker) const;
    // A write when source is given, else a read into target.
    bool BulkIO(uint32_t address, const uint8_t* source, uint8_t* target, uint32_t length);
    bool SendBulkHeader(bool write, uint32_t address, uint32_t length);
    uint32_t ReadWaitingBytes();
    // A live counter read twice, keeping the larger: neither read overstates
    // it, and a carry that tore one read does not tear the other.
    std::optional<uint32_t> ReadCounter(const GL125RegisterField& field);
    // True when the chip says the scan will make no more lines.
    std::optional<bool> ScanFinished();
    void WriteDefaultRegisters(bool apply);
    // Line period and scan tables 1 to 3, then the move tables; also the
    // lines the scan's ramp leaves before the page (leadLines_).
    void SetupScanMotor(int resolution, int bitsPerPixel);
    void SetupMoveMotor();
    // The lines waiting in the chip, up to `lines`.
    bool ReadWaitingImageLines(void* buffer, unsigned lines, int* linesRead);
    void SetupExposureAndShading(bool colour, int xResolution);
    void SetupGamma(bool colour);
    bool UploadShading(int area, std::span<const uint32_t> table, int xResolution);
    // Writes the three shading area bases (0xD0..0xD2).
    void WriteShadingAreas();
    std::vector<uint32_t>& SizedShadingTable(int channel, size_t pixels);
    double StepsPerInch() const;

    AnalogFrontEnd* frontEnd_;
    DevicePort* port_;
    CISModule* cisModule_ = nullptr;
    Motor* motor_ = nullptr;

    std::array<ShadowEntry, gl125::kRegisterCount> shadow_{};
    uint16_t packetSize_ = 0;
    std::vector<uint8_t> bounce_;
    std::vector<uint8_t> lineBuffer_;
    uint32_t waitingBytes_ = 0;
    // Chip lines the running scan was programmed for.
    uint32_t programmedLines_ = 0;
    // Image lines scanned while the scan's ramp left the paper behind: the
    // chip makes that many more, and they are read and dropped first.
    std::vector<uint16_t> scanTable_;
    bool rampLinesDropped_ = false;
    uint32_t leadLines_ = 0;
    uint32_t leadLinesToDrop_ = 0;

    // Stored scan settings.
    int xResolution_ = 100;
    int colorMode_ = 0;
    int xOffset_ = 0;
    int yOffset_ = 0;
    int scanLength_ = 0;
    int scanWidth_ = 0;
    int bitsPerPixel_ = 0;
    int threshold_ = 0;
    bool feedForward_ = false;
    float feedRate_ = 0.0f;
    float scanRate_ = 1.0f;
    float rampStartSpeed_ = 0.0f;
    int rampLength_ = 0;
    int monoChannel_ = 4;
    bool motorPower_ = true;
    bool lampPower_ = true;
    bool shadingEnabled_ = true;
    bool shadingPresent_ = false;
    // This scan's shading tables reached the chip.
    bool shadingUploaded_ = false;
    int paddedWidth_ = 0;
    uint32_t clock_ = kIdleClock;
    uint32_t exposureStart_ = 0;

    // Values derived from the sensor module.
    int opticalDpi_ = 0;
    int dpiClass_ = 600;
    uint8_t startPixel_ = 0;
    int linePixels_ = 0;
    size_t sensorPixels_ = 0;

    // Exposure per colour: maximum and current in nanoseconds, the percentage
    // last set, and the ticks of the current scan.
    std::array<uint32_t, 3> maxExposure_{};
    std::array<uint32_t, 3> exposure_{};
    std::array<float, 3> exposurePercent_{};
    std::array<uint16_t, 3> exposureTicks_{};

    // Shading per channel 0..2 and the mono table 3: {u16 offset, u16 gain}
    // entries, three leading entries before sensor pixel 0.
    std::array<std::vector<uint32_t>, 4> shading_;
    std::array<std::vector<uint16_t>, 4> gamma_;
};
