#pragma once

#include "BoardEeprom.h"
#include "../core/DeviceLogsStore.h"

#include <cstdint>

namespace emulator {

// A 64 x 16 serial EEPROM driven through three levels (CS, SK, DI) and
// presenting one (DO). Commands are clocked in MSB first on SK rising edges
// while CS is 1: a start bit 1 (leading 0s skipped), 2 opcode bits, 6 address
// bits. READ (10) shifts out a dummy 0 and then words from D15 down,
// continuing with the next address. Writes are taken only when writable.
class SerialEeprom {
public:
    SerialEeprom(const EepromWords& words, DeviceLogsStore& logs, bool writable = false);

    // New levels of the three inputs; acts on a CS fall and on an SK rise.
    void Drive(bool cs, bool sk, bool di);
    bool DataOut() const { return dataOut_; }
    // True while a READ shifts data out (DO is driven by the memory).
    bool ShiftingOut() const { return phase_ == Phase::Reading; }

    const EepromWords& Words() const { return words_; }

private:
    enum class Phase : std::uint8_t { Deselected, AwaitStart, Command, Reading, Writing, Ignoring };

    void Deselect();
    void TakeBit(bool di);

    EepromWords words_;
    DeviceLogsStore& logs_;
    bool writable_;
    Phase phase_ = Phase::Deselected;
    bool cs_ = false;
    bool sk_ = false;
    bool dataOut_ = true;
    int commandBits_ = 0;       // bits taken after the start bit
    std::uint16_t command_ = 0; // opcode and address
    std::uint8_t address_ = 0;
    int bit_ = 0;               // data bit index while reading or writing
    std::uint16_t shift_ = 0;
};

} // namespace emulator
