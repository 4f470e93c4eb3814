// Which controller GPIO line does what on a scanner board, and the level each
// output takes while idle, scanning and moving paper.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

enum class BoardLine : uint8_t {
    PaperSensor,         // input, 0 = paper present
    ButtonInput,         // input, 0 = pressed
    EepromClock,
    EepromSelect,
    EepromDataOut,
    EepromDataIn,        // input
    SignalA,
    SignalB,
    MotorCurrentSelect,  // level computed per state
    PowerSense,          // input, 0 = external power
    LampEnable,
    SignalC,
    SignalD,
    SignalE,
    SensorSelect,        // GL125 boards only; level per model
    SignalF,
    SignalG,
    SignalH,             // GL125 boards only
    Count,
};

enum BoardState : int {
    kBoardIdle = 0,
    kBoardScanning = 1,
    kBoardMoving = 2,
};

struct SignalRecord {
    uint8_t line = 0;
    std::array<uint8_t, 3> levels{};  // idle, scanning, moving
    bool present = false;
};
static_assert(sizeof(SignalRecord) == 5);

struct BoardOption {
    uint8_t a = 0, b = 0, c = 0, d = 0;
};
static_assert(sizeof(BoardOption) == 4);

// GL841 boards from this version on carry SignalB on line 12.
inline constexpr uint32_t kBoardVersionSignalB12 = 0x20050121;
// GL841 boards after this version take the newer board-option record.
inline constexpr uint32_t kBoardVersionNewOption = 0x20041020;

struct BoardSignals {
    std::array<SignalRecord, static_cast<size_t>(BoardLine::Count)> records{};
    BoardOption option{};

    constexpr const SignalRecord& operator[](BoardLine role) const { return records[static_cast<size_t>(role)]; }
    constexpr SignalRecord& operator[](BoardLine role) { return records[static_cast<size_t>(role)]; }
    constexpr uint8_t Line(BoardLine role) const { return (*this)[role].line; }
};

// The EEPROM lines alone (clock, select, data out, data in), known before the
// board version is read.
constexpr std::array<uint8_t, 4> EepromLines(bool gl125) {
    return gl125 ? std::array<uint8_t, 4>{6, 7, 5, 5} : std::array<uint8_t, 4>{5, 6, 4, 3};
}

// The whole table for a board kind and version.
constexpr BoardSignals MakeBoardSignals(bool gl125, uint32_t version) {
    BoardSignals s;
    const bool newOption = gl125 || version > kBoardVersionNewOption;
    s.option = newOption ? BoardOption{1, 0, 0, 1} : BoardOption{0, 1, 1, 0};
    auto set = [&s](BoardLine role, uint8_t line, std::array<uint8_t, 3> levels, bool present) {
        s[role] = SignalRecord{line, levels, present};
    };
    const auto eeprom = EepromLines(gl125);
    set(BoardLine::PaperSensor, 1, {}, true);
    set(BoardLine::ButtonInput, 2, {}, true);
    set(BoardLine::EepromClock, eeprom[0], {}, true);
    set(BoardLine::EepromSelect, eeprom[1], {}, true);
    set(BoardLine::EepromDataOut, eeprom[2], {}, true);
    set(BoardLine::EepromDataIn, eeprom[3], {}, true);
    set(BoardLine::SignalA, 9, {s.option.b, s.option.a, s.option.a}, true);
    set(BoardLine::SignalB, (gl125 || version >= kBoardVersionSignalB12) ? 12 : 8, {1, 1, 1}, true);
    set(BoardLine::MotorCurrentSelect, 10, {}, true);
    set(BoardLine::PowerSense, gl125 ? 19 : 11, {}, true);
    set(BoardLine::LampEnable, 13, {1, 1, 1}, true);
    set(BoardLine::SignalC, 14, {0, 1, 1}, true);
    set(BoardLine::SignalD, gl125 ? 20 : 16, {1, 0, 0}, true);
    set(BoardLine::SignalE, 17, {0, 1, 1}, true);
    set(BoardLine::SensorSelect, 21, {}, gl125);
    set(BoardLine::SignalF, 18, {1, 1, 1}, true);
    set(BoardLine::SignalG, 15, {1, 1, 1}, true);
    set(BoardLine::SignalH, 27, {0, 0, 0}, gl125);
    return s;
}

static_assert(MakeBoardSignals(false, 0x20050121).Line(BoardLine::SignalB) == 12);
static_assert(MakeBoardSignals(false, 0x20050120).Line(BoardLine::SignalB) == 8);
static_assert(MakeBoardSignals(false, 0x20041020).option.b == 1);
static_assert(MakeBoardSignals(true, 0).Line(BoardLine::PowerSense) == 19);
