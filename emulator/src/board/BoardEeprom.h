#pragma once

#include "BoardProfile.h"

#include <array>
#include <cstdint>

namespace emulator {

using EepromWords = std::array<std::uint16_t, 64>;

// The 64 EEPROM words of a board: ids, option word, board version, serial
// digits and model text in their stored encodings; unlisted words 0xFFFF.
// A blank board reads 0xFFFF everywhere.
EepromWords MakeEepromWords(const BoardProfile& board);

} // namespace emulator
