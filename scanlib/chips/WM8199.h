// The Wolfson WM8199 front end: a shadow of its registers with offsets, gain
// codes, reference voltage and channel mode, written through the controller.
#pragma once

#include "chips/AfeRegisterEntry.h"
#include "chips/AnalogFrontEnd.h"

#include <array>
#include <cstddef>
#include <cstdint>

class WM8199 : public AnalogFrontEnd {
public:
    static constexpr size_t kCalibrationBlockSize = 9;

    explicit WM8199(Controller* controller = nullptr);

    bool WriteAllRegisters() override;
    void SetOffset(int channel, int value) override;
    int GetOffset(int channel) override;
    int GetOffsetMin() override { return -128; }
    int GetOffsetMax() override { return 127; }
    void SetGain(int channel, float gain) override;
    float GetGain(int channel) override;
    float GetGainMin() override { return 0.7349823f; }
    float GetGainMax() override { return 7.428571f; }
    void SetReferenceVoltage(int code) override;
    int GetReferenceVoltage() override;
    int GetReferenceVoltageMin() override { return 0; }
    int GetReferenceVoltageMax() override { return 15; }
    void SetChannelMode(bool colour, int channel) override;
    bool CalibrationData(CalibrationFile* file, bool write) override;

    // The register image as it is sent.
    const std::array<AfeRegisterEntry, 12>& Registers() const { return registers_; }

    // Gain code of a gain: 283 - 208 / gain rounded, within 0..255.
    static uint8_t GainCode(double gain);
    static float GainOfCode(uint8_t code);

private:
    enum Setting { kOffset = 0, kGain = 1 };

    // Offset bytes (value + 128) and gain codes as stored: channel 0 in its
    // kept byte and in the channel-0 registers, channels 1 and 2 in their
    // registers, gray in its kept byte.
    uint8_t StoredByte(Setting setting, int channel) const;
    void StoreByte(Setting setting, int channel, uint8_t code);

    std::array<AfeRegisterEntry, 12> registers_;
    std::array<uint8_t, 2> kept0_{128, 75};     // channel 0: offset, gain
    std::array<uint8_t, 2> keptGray_{128, 75};  // gray: offset, gain
};

// The same chip as wired to the Genesys controllers: colour channels 0, 1, 2
// are taken as the chip's 1, 2, 0.
class WM8199GL : public WM8199 {
public:
    using WM8199::WM8199;

    void SetOffset(int channel, int value) override;
    int GetOffset(int channel) override;
    void SetGain(int channel, float gain) override;
    float GetGain(int channel) override;
    void SetChannelMode(bool colour, int channel) override;

    static int ChipChannel(int channel);
};
