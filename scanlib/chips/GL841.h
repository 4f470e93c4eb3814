// The Genesys GL841 USB scanner controller: a shadow of its 136 registers
// with a dirty flag each, the named register fields, the vendor requests
// that read and write registers, the bulk path into its memories and out of
// its image buffer, the clock, the board GPIO pins and the front end's
// serial port. Every sequence that talks to the chip checks that the port is
// open and holds the port lock for its whole length.
#pragma once

#include "chips/Controller.h"
#include "chips/GL841Fields.h"
#include "chips/GL841MotorTable.h"

#include <array>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

class AnalogFrontEnd;
class DevicePort;
class PortLocker;

enum class GL841Memory {
    Shading,  // shading and motor tables, addressed in 16-bit words
    Gamma,
};

class GL841 : public Controller {
public:
    static constexpr size_t kRegisterCount = 0x88;
    static constexpr uint8_t kRequestWriteRegister = 0x83;
    static constexpr uint8_t kRequestReadRegister = 0x84;
    static constexpr uint8_t kRequestBulkHeader = 0x82;
    static constexpr uint8_t kRequestClock = 0x8C;
    static constexpr uint8_t kRequestChipInfo = 0x8E;
    static constexpr uint8_t kRequestUnused = 0x85;
    static constexpr uint16_t kClockIndex = 0x10;
    static constexpr unsigned kMaxScanDataBytes = 102400;
    static constexpr uint32_t kMaxCalibrationEntries = 0x10000;

    GL841(AnalogFrontEnd* frontEnd, DevicePort* port, bool narrowMargin);
    ~GL841() override;

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
    void SetGammaTable(int channel, std::span<const uint16_t> table) override;
    void SetScanRate(float inchesPerSecond) override { scanRate_ = inchesPerSecond; }
    void SetRampStartSpeed(float speed) override { rampStartSpeed_ = speed; }
    void SetRampLength(int steps) override { rampLength_ = steps; }
    void SetMonoChannel(int code) override { monoChannel_ = code; }
    void SetCisModule(CISModule* module, int sensorCount, std::span<const float, 3> lineRates) override;
    void SetMotorPower(bool on) override { motorPower_ = on; }
    void SetMotor(Motor* motor) override { motor_ = motor; }
    int GetBulkPacketSize() override;
    // False without an open port, a sensor module, a motor or a resolution.
    bool SetupScan() override;
    // Delivers the whole lines waiting; false with 0 lines only once the
    // scan has ended and nothing is left.
    bool ReadImageLines(void* buffer, unsigned lines, int* linesRead) override;
    int KnownWaitingLines() const override;
    void StopScan() override;
    void StartMove() override;
    // A move that runs past twice its own time (plus a second) throws
    // DeviceIOException 256 from IsMotorBusy, and StopMove throws it when
    // the motor does not stop, so no wait for the motor is unbounded.
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
    // after the port reported success.
    bool WriteRegister(uint8_t address, uint8_t value);
    // Pairs go in transfers of at most three, all under one lock.
    bool WriteRegisterList(std::span<const std::pair<uint8_t, uint8_t>> pairs);
    // Selects a register and reads it into the shadow.
    bool ReadRegister(uint8_t address, uint8_t* value);
    // Merges value into the field's shadow bytes; with now each touched
    // register is written at once, otherwise marked dirty.
    bool SetField(unsigned field, uint32_t value, bool now);
    // With fromChip each touched register is read first; a closed port
    // answers from the shadow.
    uint32_t ReadField(unsigned field, bool fromChip);
    // Writes every dirty register in address order; the flags are cleared
    // even when the write fails.
    bool FlushRegisters();
    // Moves length bytes into or out of one of the chip's memories at
    // address. False on any failed request.
    bool BulkIO(bool write, GL841Memory memory, uint32_t address, void* data, uint32_t length);
    // Reads image data in pieces of at most 0xF000 bytes; with lock false the
    // caller holds the port lock.
    bool ReadBulkChunked(void* buffer, uint32_t length, bool lock);
    // Words waiting in the chip's image buffer.
    uint32_t ReadBufferedWords();
    // Selects the master clock; false for a clock the chip does not have.
    bool SetClock(uint32_t hz);
    // Writes motor table 1..5 (ramp steps 1..256 gate the call) with an
    // acceleration up to targetPeriod and sets its length register.
    bool UploadMotorTable(int table, int rampSteps, uint32_t targetPeriod);
    // The lowest candidate master clock above the pixel rate the stored
    // settings need.
    uint32_t ChooseClock() const;

    uint8_t RegisterValue(uint8_t address) const { return shadow_[address].value; }
    bool IsRegisterDirty(uint8_t address) const { return shadow_[address].dirty != 0; }
    int PacketSize() const { return packetSize_; }
    uint32_t Clock() const { return clock_; }
    uint16_t ExposureCount(int colour) const { return exposureCount_[colour]; }
    bool IsShadingDataPresent() const { return shadingPresent_; }
    uint32_t GetExposure(int colour) const { return exposure_[colour]; }
    uint32_t GetMaxExposure(int colour) const { return maxExposure_[colour]; }
    const std::vector<uint32_t>& ShadingTable(int channel) const { return shading_[channel]; }
    const std::vector<uint16_t>& GammaTable(int channel) const { return gamma_[channel]; }

private:
    struct ShadowEntry {
        uint8_t dirty;
        uint8_t value;
    };

    bool PortOpen() const;
    // Takes the port lock for a sequence; false when the port is not open.
    bool LockOpenPort(PortLocker& locker) const;
    // Stages the power-on image; on a fresh chip the clock and the image are
    // sent, otherwise the shadow is taken as the chip's state.
    void WriteDefaultRegisters();
    // Selects a memory data port and reads it once (primes a memory read).
    bool SelectRegister(uint8_t address);
    bool SendBulkHeader(bool write, uint32_t length);
    std::vector<uint32_t>& SizedShadingTable(int channel, size_t pixels);

    // Line period and scan tables 1 to 3, then the positioning feed; also
    // the lines the scan's ramp leaves before the page (leadLines_).
    void SetupScanMotor(int resolution, int bits);
    // The lines waiting in the chip, up to `lines`.
    bool ReadWaitingImageLines(void* buffer, unsigned lines, int* linesRead);
    // Bytes of one image line at the stored width and depth.
    uint64_t ImageLineBytes() const;
    // Tables 4 and 5 and FeedSteps for the stored y offset; returns the plan.
    gl841::FeedPlan SetupMoveMotor();
    // The front end's channel mode, the exposure registers and the shading
    // upload; shadingUploaded tells whether every table the mode needs went
    // into the chip whole. The result is the front end's register write.
    bool SetupExposureAndShading(bool colour, int resolution, bool* shadingUploaded);
    bool UploadShading(uint32_t address, std::span<const uint32_t> table, int resolution);
    void SetupGamma(bool colour);
    bool UploadGamma(uint32_t address, std::span<const uint16_t> table);
    uint32_t ShadingMotorBase() const;
    uint32_t ReadLinesScannedRegister();
    // Milliseconds a move of `steps` steps may take before it counts as
    // stalled: twice its time through table 4, plus a second.
    uint32_t MoveBudgetMs(uint64_t steps) const;

    AnalogFrontEnd* frontEnd_;
    DevicePort* port_;
    CISModule* cisModule_ = nullptr;
    Motor* motor_ = nullptr;

    int lineStartMargin_;
    std::array<ShadowEntry, kRegisterCount> shadow_{};
    uint16_t packetSize_ = 0;
    std::vector<uint8_t> bounce_;
    uint32_t bufferedBytes_ = 0;

    // Stored scan settings.
    int bitsPerPixel_ = 0;
    int scanWidth_ = 0;
    int scanLength_ = 0;
    int xResolution_ = 100;
    int xOffset_ = 0;
    int yOffset_ = 0;
    int colorMode_ = 0;
    bool feedForward_ = false;
    int threshold_ = 0;
    float feedRate_ = 0.0f;
    float scanRate_ = 1.0f;
    float rampStartSpeed_ = 0.0f;
    int rampLength_ = 0;
    bool motorPower_ = true;
    bool lampPower_ = true;
    bool shadingEnabled_ = true;
    int monoChannel_ = 4;
    uint32_t clock_ = 30000000;

    // The running move: table 4 as uploaded, its start and time budget.
    std::vector<uint16_t> moveTable_;
    bool moveArmed_ = false;
    uint32_t moveStartMs_ = 0;
    uint32_t moveBudgetMs_ = 0;

    // Lines scanned since the scan started, extended past the chip's 16 bits.
    uint32_t linesScanned_ = 0;
    // Image lines scanned while the scan's ramp left the paper behind: the
    // chip makes that many more, and they are read and dropped first.
    std::vector<uint16_t> scanTable_;
    bool rampLinesDropped_ = false;
    uint32_t leadLines_ = 0;
    uint32_t leadLinesToDrop_ = 0;

    // Values derived from the sensor module.
    int opticalDpi_ = 0;
    int dpiClass_ = 600;
    int lineStartOffset_ = 0;
    int lineLength_ = 0;

    // Exposure per colour: maximum and current in nanoseconds, the
    // percentage last set, and the count of the current scan.
    std::array<uint32_t, 3> maxExposure_{};
    std::array<uint32_t, 3> exposure_{};
    std::array<float, 3> exposurePercent_{};
    std::array<uint16_t, 3> exposureCount_{};

    // Shading per channel 0..2 and gray 3: {u16 offset, u16 gain} words, three
    // leading words before sensor pixel 0.
    std::array<std::vector<uint32_t>, 4> shading_;
    bool shadingPresent_ = false;
    std::array<std::vector<uint16_t>, 4> gamma_;
};
