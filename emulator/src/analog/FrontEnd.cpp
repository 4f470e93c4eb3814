#include "FrontEnd.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace emulator {

namespace {

constexpr std::uint8_t kVrefRegister = 3;
constexpr std::uint8_t kResetRegister = 4;
constexpr std::uint8_t kModeRegister = 6;
constexpr std::uint8_t kOffsetBase = 0x20;
constexpr std::uint8_t kGainBase = 0x28;
constexpr std::uint8_t kModeColour = 7;
constexpr std::uint8_t kModeSingle = 5;
constexpr std::array<std::uint8_t, 5> kRecorded{1, 2, 5, 8, 9};

constexpr double kVrefStep = 28.0;
constexpr double kOffsetStep = 0.175;
constexpr int kOffsetNone = 128;

} // namespace

FrontEnd::FrontEnd(DeviceLogsStore& logs, ChannelMap colourChannels)
    : logs_(logs), colourChannels_(colourChannels)
{
}

void FrontEnd::Reset()
{
    regs_.fill(0);
}

void FrontEnd::Write(std::uint8_t address, std::uint16_t data, DeviceTime now)
{
    address &= 0x3F;
    if (data > 0xFF)
        logs_.Violation("A1", "front-end register " + std::to_string(address) +
                                  " written with high byte " + std::to_string(data >> 8));
    const auto value = static_cast<std::uint8_t>(data & 0xFF);
    if (address == kResetRegister) {
        Reset();
        return;
    }
    regs_[address] = value;
    if (std::find(kRecorded.begin(), kRecorded.end(), address) != kRecorded.end())
        records_.push_back({now, address, value});
}

bool FrontEnd::ColourMode() const
{
    return regs_[kModeRegister] != kModeSingle;
}

void FrontEnd::ScanStarting(bool mono)
{
    const std::uint8_t mode = regs_[kModeRegister];
    if (mode != kModeColour && mode != kModeSingle)
        logs_.Violation("A2", "front-end channel mode " + std::to_string(mode) + ", colour used");
    else if (mono && mode == kModeColour)
        logs_.Violation("A3", "mono lines with the front end in colour mode, channel 0 used");
}

int FrontEnd::Channel(int chipColour, bool mono) const
{
    if (mono || !ColourMode())
        return 0;
    return colourChannels_[static_cast<std::size_t>(chipColour) % 3];
}

double FrontEnd::Gain(std::uint8_t code)
{
    return 208.0 / (283.0 - code);
}

std::uint16_t FrontEnd::Transfer(double signal, int channel) const
{
    const auto a = static_cast<std::size_t>(channel);
    const int vref = regs_[kVrefRegister] & 0x0F;
    const double v = Gain(regs_[kGainBase + a]) *
                     (signal - kVrefStep * vref + kOffsetStep * (regs_[kOffsetBase + a] - kOffsetNone));
    const double out = std::round(256.0 * v);
    return static_cast<std::uint16_t>(std::clamp(out, 0.0, 65535.0));
}

} // namespace emulator
