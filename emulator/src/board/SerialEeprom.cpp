#include "SerialEeprom.h"

#include <string>

namespace emulator {

namespace {

constexpr int kCommandBits = 8;  // 2 opcode + 6 address
constexpr std::uint16_t kOpRead = 0b10;
constexpr std::uint16_t kOpWrite = 0b01;
constexpr int kWordBits = 16;

} // namespace

SerialEeprom::SerialEeprom(const EepromWords& words, DeviceLogsStore& logs, bool writable)
    : words_(words), logs_(logs), writable_(writable)
{
}

void SerialEeprom::Drive(bool cs, bool sk, bool di)
{
    const bool rising = sk && !sk_;
    sk_ = sk;
    if (!cs) {
        if (cs_)
            Deselect();
        cs_ = false;
        return;
    }
    if (!cs_) {
        cs_ = true;
        phase_ = Phase::AwaitStart;
    }
    if (rising)
        TakeBit(di);
}

void SerialEeprom::Deselect()
{
    phase_ = Phase::Deselected;
    dataOut_ = true;
    commandBits_ = 0;
    command_ = 0;
    bit_ = 0;
}

void SerialEeprom::TakeBit(bool di)
{
    switch (phase_) {
    case Phase::Deselected:
    case Phase::Ignoring:
        return;
    case Phase::AwaitStart:
        if (di) {
            phase_ = Phase::Command;
            commandBits_ = 0;
            command_ = 0;
        }
        return;
    case Phase::Command: {
        command_ = static_cast<std::uint16_t>((command_ << 1) | (di ? 1 : 0));
        if (++commandBits_ < kCommandBits)
            return;
        const std::uint16_t opcode = command_ >> 6;
        address_ = static_cast<std::uint8_t>(command_ & 0x3F);
        bit_ = 0;
        if (opcode == kOpRead) {
            phase_ = Phase::Reading;
            dataOut_ = false;  // dummy bit
        } else if (opcode == kOpWrite && writable_) {
            phase_ = Phase::Writing;
            shift_ = 0;
        } else {
            phase_ = Phase::Ignoring;
            logs_.Violation("B1", "EEPROM opcode " + std::to_string(opcode) + " address " +
                                          std::to_string(address_) + " ignored");
        }
        return;
    }
    case Phase::Reading:
        if (bit_ == kWordBits) {
            bit_ = 0;
            address_ = static_cast<std::uint8_t>((address_ + 1) & 0x3F);
        }
        dataOut_ = ((words_[address_] >> (kWordBits - 1 - bit_)) & 1) != 0;
        ++bit_;
        return;
    case Phase::Writing:
        shift_ = static_cast<std::uint16_t>((shift_ << 1) | (di ? 1 : 0));
        if (++bit_ == kWordBits) {
            words_[address_] = shift_;
            phase_ = Phase::Ignoring;
        }
        return;
    }
}

} // namespace emulator
