#include "chips/WM8199.h"

#include "chips/Controller.h"
#include "os/files/CalibrationFile.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::array<AfeRegisterEntry, 12> kInitialRegisters{{
    {0x01, 0x35}, {0x02, 0x20}, {0x03, 0x10}, {0x06, 7}, {0x08, 0}, {0x09, 0},
    {0x20, 128}, {0x21, 128}, {0x22, 128}, {0x28, 75}, {0x29, 75}, {0x2A, 75},
}};

// Positions in the register image; channel 0's offset and gain entries
// are followed by those of channels 1 and 2.
constexpr size_t kReferenceEntry = 2;
constexpr size_t kModeEntry = 3;
constexpr std::array<size_t, 2> kFirstEntry{6, 9};  // by WM8199::Setting

constexpr uint16_t kModeColour = 7;
constexpr uint16_t kModeSingle = 5;

constexpr int kGrayChannel = 3;

}  // namespace

WM8199::WM8199(Controller* controller) : AnalogFrontEnd(controller), registers_(kInitialRegisters) {}

uint8_t WM8199::GainCode(double gain) {
    constexpr double kMinGain = 208.0 / 283.0;
    if (!(gain > kMinGain)) {  // also zero, negative and NaN
        return 0;
    }
    const double code = std::round(283.0 - 208.0 / gain);
    return static_cast<uint8_t>(std::clamp(code, 0.0, 255.0));
}

float WM8199::GainOfCode(uint8_t code) { return 208.0f / static_cast<float>(283 - code); }

uint8_t WM8199::StoredByte(Setting setting, int channel) const {
    switch (channel) {
    case 0: return kept0_[setting];
    case 1:
    case 2: return static_cast<uint8_t>(registers_[kFirstEntry[setting] + channel].value);
    default: return keptGray_[setting];
    }
}

void WM8199::StoreByte(Setting setting, int channel, uint8_t code) {
    switch (channel) {
    case 0:
        kept0_[setting] = code;
        registers_[kFirstEntry[setting]].value = code;
        break;
    case 1:
    case 2: registers_[kFirstEntry[setting] + channel].value = code; break;
    case kGrayChannel: keptGray_[setting] = code; break;
    default: break;
    }
}

bool WM8199::WriteAllRegisters() {
    if (controller_ == nullptr) {
        return false;
    }
    const bool first = controller_->WriteAfeRegister(4, 128);
    const bool second = controller_->WriteAfeRegister(5, 1);
    const bool image = controller_->WriteAfeRegisters(registers_);
    return first && second && image;
}

void WM8199::SetOffset(int channel, int value) {
    StoreByte(kOffset, channel, static_cast<uint8_t>(std::clamp(value, GetOffsetMin(), GetOffsetMax()) + 128));
}

int WM8199::GetOffset(int channel) {
    if (channel < 0 || channel > kGrayChannel) {
        return 0;
    }
    return StoredByte(kOffset, channel) - 128;
}

void WM8199::SetGain(int channel, float gain) { StoreByte(kGain, channel, GainCode(gain)); }

float WM8199::GetGain(int channel) {
    if (channel < 0 || channel > kGrayChannel) {
        return 0.0f;
    }
    return GainOfCode(StoredByte(kGain, channel));
}

void WM8199::SetReferenceVoltage(int code) {
    const int v = std::clamp(code, GetReferenceVoltageMin(), GetReferenceVoltageMax());
    uint16_t& entry = registers_[kReferenceEntry].value;
    entry = static_cast<uint16_t>((entry & ~0xFu) | static_cast<unsigned>(v));
}

int WM8199::GetReferenceVoltage() { return registers_[kReferenceEntry].value & 0xF; }

void WM8199::SetChannelMode(bool colour, int channel) {
    int source = 0;
    if (colour) {
        registers_[kModeEntry].value = kModeColour;
    } else {
        if (channel < 0 || channel > kGrayChannel) {
            return;
        }
        registers_[kModeEntry].value = kModeSingle;
        source = channel;
    }
    // The chip digitises a single channel through its channel-0 registers.
    registers_[kFirstEntry[kOffset]].value = StoredByte(kOffset, source);
    registers_[kFirstEntry[kGain]].value = StoredByte(kGain, source);
}

bool WM8199::CalibrationData(CalibrationFile* file, bool write) {
    if (file == nullptr) {
        return false;
    }
    std::array<uint8_t, kCalibrationBlockSize> block{};
    if (write) {
        for (int c = 0; c <= kGrayChannel; ++c) {
            block[c] = StoredByte(kOffset, c);
            block[4 + c] = StoredByte(kGain, c);
        }
        block[8] = static_cast<uint8_t>(GetReferenceVoltage());
        return file->Write(block.data(), static_cast<int>(block.size()));
    }
    if (!file->Read(block.data(), static_cast<int>(block.size()))) {
        return false;
    }
    // Channel 0 goes to its kept bytes only; the registers take it at the
    // next channel-mode change.
    kept0_ = {block[0], block[4]};
    for (int c = 1; c <= 2; ++c) {
        StoreByte(kOffset, c, block[c]);
        StoreByte(kGain, c, block[4 + c]);
    }
    keptGray_ = {block[3], block[7]};
    SetReferenceVoltage(block[8]);
    return true;
}

int WM8199GL::ChipChannel(int channel) {
    constexpr std::array<int, 4> kMap{1, 2, 0, 3};
    return channel >= 0 && channel < 4 ? kMap[channel] : channel;
}

void WM8199GL::SetOffset(int channel, int value) { WM8199::SetOffset(ChipChannel(channel), value); }
int WM8199GL::GetOffset(int channel) { return WM8199::GetOffset(ChipChannel(channel)); }
void WM8199GL::SetGain(int channel, float gain) { WM8199::SetGain(ChipChannel(channel), gain); }
float WM8199GL::GetGain(int channel) { return WM8199::GetGain(ChipChannel(channel)); }
void WM8199GL::SetChannelMode(bool colour, int channel) { WM8199::SetChannelMode(colour, ChipChannel(channel)); }
