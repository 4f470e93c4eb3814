#include "chip/Gl841Board.h"

#include <cstdlib>
#include <string>

namespace emulator {
namespace {

FrontEnd::ChannelMap ParseChannelMap(const std::string& text)
{
    FrontEnd::ChannelMap map{1, 2, 0};
    int n = 0;
    for (char c : text) {
        if (c >= '0' && c <= '2' && n < 3)
            map[n++] = c - '0';
    }
    return map;
}

double ParseInches(const std::string& text)
{
    // "268/600" or a plain number of inches.
    const auto slash = text.find('/');
    if (slash == std::string::npos)
        return std::strtod(text.c_str(), nullptr);
    const double den = std::strtod(text.c_str() + slash + 1, nullptr);
    return den > 0 ? std::strtod(text.c_str(), nullptr) / den : 0.0;
}

PaperSettings MakePaperSettings(const Switches& s)
{
    PaperSettings p;
    const std::string& placement = s.Get("x_placement");
    if (placement == "left") {
        p.placement = PaperSettings::Placement::Left;
    } else if (placement.rfind("offset:", 0) == 0) {
        p.placement = PaperSettings::Placement::Offset;
        p.offsetIn = std::strtod(placement.c_str() + 7, nullptr);
    }
    p.backing = static_cast<float>(s.Number("backing"));
    p.pickDelaySeconds = s.Number("pick_delay");
    p.backLagIn = ParseInches(s.Get("back_lag"));
    p.exitPointIn = s.Number("exit_point");
    return p;
}

}  // namespace

Gl841Board::Gl841Board(const BoardProfile& board, const Switches& switches, DeviceLogsStore& logs)
    : board_(board),
      switches_(switches),
      logs_(logs),
      gpio_(board, logs),
      eeprom_(MakeEepromWords(board), logs, switches.On("eeprom_writable")),
      frontEnd_(logs, ParseChannelMap(switches.Get("afe_channel_map"))),
      paper_(board, MakePaperSettings(switches)),
      readout_(board, switches, logs)
{
    RefreshInputs();
}

void Gl841Board::RefreshInputs()
{
    const GpioWiring& w = board_.wiring;
    const bool paper = paper_.SensorPaper();
    gpio_.SetExternal(w.paperSensor, !paper);
    gpio_.SetExternal(w.button, !button_);
    gpio_.SetExternal(w.powerSense, !externalPower_);
    gpio_.SetExternal(w.eepromDo, eeprom_.DataOut());
    const auto event = static_cast<std::uint8_t>((paper ? 1 : 0) | (button_ ? 2 : 0));
    if (lastEvent_ && *lastEvent_ != event && sink_)
        sink_(event);
    lastEvent_ = event;
}

void Gl841Board::GpioChanged(std::uint32_t directions, std::uint32_t latches, DeviceTime now)
{
    gpio_.Set(directions, latches, now);
    const GpioWiring& w = board_.wiring;
    eeprom_.Drive(gpio_.Latch(w.eepromCs), gpio_.Latch(w.eepromSk), gpio_.Latch(w.eepromDi));
    RefreshInputs();
}

void Gl841Board::FrontEndWrite(std::uint8_t address, std::uint16_t data) { frontEnd_.Write(address, data, now_); }

void Gl841Board::ScanStarting(bool mono)
{
    frontEnd_.ScanStarting(mono);
    readout_.ScanStarting();
}

bool Gl841Board::LampGate(bool lampOn) const
{
    const int line = board_.wiring.lampEnable;
    return lampOn && gpio_.IsOutput(line) && gpio_.Latch(line);
}

void Gl841Board::MotorStep(bool forward, bool powered, DeviceTime now)
{
    now_ = now;
    if (!powered)
        return;
    paper_.Step(forward, now);
    RefreshInputs();
}

void Gl841Board::MotorIdle(bool idle, DeviceTime now)
{
    now_ = now;
    motorIdle_ = idle;
}

std::vector<std::uint8_t> Gl841Board::ReadLine(const LineSetup& setup, std::span<const std::uint16_t> shadingMemory,
                                               std::span<const std::uint16_t> gammaMemory)
{
    return readout_.ReadLine(setup, setup.clockHz, LampGate(setup.lampOn), frontEnd_, paper_, shadingMemory,
                             gammaMemory);
}

void Gl841Board::AdvanceTo(DeviceTime now)
{
    now_ = now;
    if (paper_.Update(now, motorIdle_))
        RefreshInputs();
}

void Gl841Board::PowerReset()
{
    gpio_.Reset();
    frontEnd_.Reset();
    eeprom_.Drive(false, false, false);
    RefreshInputs();
}

PnmTransfer Gl841Board::Transfer() const
{
    return switches_.Get("pnm_transfer") == "srgb" ? PnmTransfer::Srgb : PnmTransfer::Linear;
}

void Gl841Board::InsertSheet(const std::filesystem::path& front, const std::filesystem::path& back)
{
    paper_.Enqueue(Sheet::FromFiles(front, back, Transfer()));
}

void Gl841Board::InsertCalibrationSheet() { paper_.Enqueue(Sheet::Calibration(board_.calibrationSheetWidthIn)); }

void Gl841Board::SetButton(bool pressed)
{
    button_ = pressed;
    RefreshInputs();
}

void Gl841Board::SetExternalPower(bool on)
{
    externalPower_ = on;
    RefreshInputs();
}

void Gl841Board::SheetFault(std::string_view name, std::string_view argument)
{
    const std::string arg(argument);
    char* end = nullptr;
    const double value = std::strtod(arg.c_str(), &end);
    const bool number = !arg.empty() && end == arg.c_str() + arg.size();
    if (name == "jam" && number)
        paper_.SetJam(value);
    else if (name == "slip" && number && value >= 0 && value <= 1)
        paper_.SetSlip(value);
    else if (name == "no-pick" && arg.empty())
        paper_.SetNoPick(true);
    else
        throw Error("bad fault");
}

void Gl841Board::ClearSheetFaults()
{
    paper_.SetJam(std::nullopt);
    paper_.SetSlip(0);
    paper_.SetNoPick(false);
}

}  // namespace emulator
