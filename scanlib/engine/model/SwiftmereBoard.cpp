// Swiftmere: the board's signal lines and its serial EEPROM, bit-banged
// through the controller's GPIO.
#include "chips/CISModule.h"
#include "chips/Controller.h"
#include "engine/model/Swiftmere.h"
#include "engine/model/SwiftmereLocks.h"
#include "os/OSFunctions.h"

namespace {

constexpr int kBoardSettleMs = 100;
constexpr int kEepromWordSettleMs = 1;
constexpr int kWordBoardVersionHigh = 6;
constexpr int kWordBoardVersionLow = 7;
constexpr int kWordOption = 4;
constexpr int kWordTextStart = 56;
constexpr int kDigitWords[] = {31, 30, 29, 28};
constexpr size_t kMaxDigits = 13;
constexpr int kReadOpcodeBits[] = {1, 1, 0};
constexpr int kAddressBits = 6;
constexpr int kDataBits = 16;

}  // namespace

void Swiftmere::ApplyBoardState(int state, bool configure) {
    Controller& c = *controller_;
    const auto level = [&](BoardLine role) { return signals_[role].levels[state] != 0; };
    const auto line = [&](BoardLine role) { return signals_.Line(role); };
    const bool external = IsExternalPowerPresent();
    const bool moving = state == kBoardScanning || state == kBoardMoving;

    c.SetGpioValue(line(BoardLine::SignalB), level(BoardLine::SignalB));
    if (configure) {
        c.SetGpioEnable(line(BoardLine::SignalB), true);
        c.SetGpioEnable(line(BoardLine::PowerSense), false);
    }
    const bool current = moving && !external && IsLowRate(state == kBoardScanning);
    c.SetGpioValue(line(BoardLine::MotorCurrentSelect), current);
    c.SetGpioValue(line(BoardLine::SignalC), !external && level(BoardLine::SignalC));
    c.SetGpioEnable(line(BoardLine::SignalB), true);
    c.SetGpioValue(line(BoardLine::SignalA), level(BoardLine::SignalA));
    if (moving) OSSleep(kBoardSettleMs);
    c.SetGpioValue(line(BoardLine::SignalE), level(BoardLine::SignalE));
    if (signals_[BoardLine::SignalH].present) {
        c.SetGpioValue(line(BoardLine::SignalH), level(BoardLine::SignalH));
        c.SetGpioEnable(line(BoardLine::SignalH), true);
    }
    const bool sensorSelect = signals_[BoardLine::SensorSelect].present;
    const bool sensorDriven = cisModule_ && cisModule_->GetControlFlag() == 0;
    // The board selects the model's sensor with the line at the model's own
    // level (RM310 low, RM460 high).
    if (sensorSelect && sensorDriven) c.SetGpioValue(line(BoardLine::SensorSelect), SensorSelectLevel());
    if (configure) {
        for (BoardLine out : {BoardLine::SignalA, BoardLine::SignalE, BoardLine::SignalD, BoardLine::MotorCurrentSelect,
                              BoardLine::SignalC}) {
            c.SetGpioEnable(line(out), true);
        }
        c.SetGpioEnable(line(BoardLine::PaperSensor), false);
        c.SetGpioEnable(line(BoardLine::ButtonInput), false);
        if (sensorSelect) c.SetGpioEnable(line(BoardLine::SensorSelect), sensorDriven);
    }
    c.SetGpioValue(line(BoardLine::SignalD), level(BoardLine::SignalD));
}

void Swiftmere::SetLampLine(bool on) {
    const int lamp = signals_.Line(BoardLine::LampEnable);
    if (on) {
        controller_->SetGpioEnable(lamp, true);
        controller_->SetGpioValue(lamp, true);
        return;
    }
    try {
        controller_->SetGpioValue(lamp, false);
    } catch (...) {
    }
}

bool Swiftmere::ReadLine(BoardLine role) { return controller_->ReadGpio(signals_.Line(role)); }

bool Swiftmere::DriveLineLocked(int line, bool level) {
    ModelLock lock(*this);
    lock.Require();
    controller_->SetGpioEnable(line, true);
    controller_->SetGpioValue(line, level);
    return true;
}

bool Swiftmere::ReadLineLocked(int line) {
    ModelLock lock(*this);
    lock.Require();
    return controller_->ReadGpio(line);
}

bool Swiftmere::EnterEeprom() {
    controller_->SetGpioEnable(signals_.Line(BoardLine::EepromDataIn), false);
    controller_->SetGpioEnable(signals_.Line(BoardLine::EepromSelect), true);
    controller_->SetGpioValue(signals_.Line(BoardLine::EepromClock), false);
    return true;
}

void Swiftmere::LeaveEeprom() {
    controller_->SetGpioValue(signals_.Line(BoardLine::EepromDataOut), false);
    controller_->SetGpioEnable(signals_.Line(BoardLine::EepromDataIn), false);
    controller_->SetGpioEnable(signals_.Line(BoardLine::EepromSelect), false);
}

void Swiftmere::ClockBit(bool bit) {
    controller_->SetGpioValue(signals_.Line(BoardLine::EepromDataOut), bit);
    controller_->SetGpioValue(signals_.Line(BoardLine::EepromClock), true);
    controller_->SetGpioValue(signals_.Line(BoardLine::EepromClock), false);
}

bool Swiftmere::ReadEepromWord(int address, uint16_t& word) {
    if (address < 0 || address > kEepromLastWord || !controller_) return false;
    const int clock = signals_.Line(BoardLine::EepromClock);
    const int select = signals_.Line(BoardLine::EepromSelect);
    controller_->SetGpioValue(select, true);
    EnterEeprom();
    for (int bit : kReadOpcodeBits) ClockBit(bit != 0);
    LeaveEeprom();
    EnterEeprom();
    for (int b = kAddressBits - 1; b >= 0; --b) ClockBit(((address >> b) & 1) != 0);
    LeaveEeprom();
    uint16_t value = 0;
    for (int b = 0; b < kDataBits; ++b) {
        controller_->SetGpioValue(clock, true);
        const bool bit = ReadLine(BoardLine::EepromDataIn);
        controller_->SetGpioValue(clock, false);
        value = static_cast<uint16_t>((value << 1) | (bit ? 1 : 0));
    }
    controller_->SetGpioValue(select, false);
    OSSleep(kEepromWordSettleMs);
    word = value;
    return true;
}

uint32_t Swiftmere::ReadBoardVersion() {
    EepromSession session(*this);
    if (!session.Held()) return kUnlockedBoardVersion;
    uint16_t high = 0, low = 0;
    ReadEepromWord(kWordBoardVersionHigh, high);
    ReadEepromWord(kWordBoardVersionLow, low);
    return static_cast<uint32_t>(high & 0xFF) << 24 | static_cast<uint32_t>(high >> 8) << 16 |
           static_cast<uint32_t>(low & 0xFF) << 8 | static_cast<uint32_t>(low >> 8);
}

bool Swiftmere::ReadEepromWord4() {
    EepromSession session(*this);
    if (!session.Held()) return true;  // the word stays unread
    try {
        uint16_t word = kEepromUnread;
        if (!ReadEepromWord(kWordOption, word)) return false;
        eepromWord4_ = word;
        return true;
    } catch (const DeviceIOException&) {
        try {
            LeaveEeprom();
        } catch (...) {
        }
        return false;
    }
}

std::string Swiftmere::ReadEepromText() {
    std::string text;
    EepromSession session(*this);
    if (!session.Held()) return text;
    uint16_t word = 0;
    if (!ReadEepromWord(kWordTextStart, word)) return text;
    const size_t count = word & 0xFF;
    if (count == 0) return text;
    text.push_back(static_cast<char>(word >> 8));
    // A blank EEPROM announces 255 characters; the text ends with the last word.
    for (int address = kWordTextStart + 1; text.size() < count && address <= kEepromLastWord; ++address) {
        if (!ReadEepromWord(address, word)) break;
        text.push_back(static_cast<char>(word & 0xFF));
        if (text.size() < count) text.push_back(static_cast<char>(word >> 8));
    }
    return text;
}

std::string Swiftmere::ReadEepromDigits() {
    std::string digits;
    EepromSession session(*this);
    if (!session.Held()) return digits;
    for (int address : kDigitWords) {
        uint16_t word = 0;
        if (!ReadEepromWord(address, word)) return digits;
        const uint16_t swapped = static_cast<uint16_t>((word << 8) | (word >> 8));
        for (int n = 0; n < 4; ++n) {
            const int nibble = (swapped >> (4 * n)) & 0xF;
            if (nibble > 9 || digits.size() >= kMaxDigits) return digits;
            digits.push_back(static_cast<char>('0' + nibble));
        }
    }
    return digits;
}
