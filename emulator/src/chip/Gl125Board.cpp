#include "chip/Gl125Board.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "analog/SensorReadout.h"
#include "chip/Gl125Registers.h"

namespace emulator {
namespace {

constexpr std::array<Gl125Module, 2> kModules{{
    {"CM218_02", false, 2, 268.0 / 600.0},
    {"CM215_04_300", true, 1, 268.0 / 300.0},
}};

// The back line's lag as every board's 600-dpi figure.
constexpr double kFixedBackLagIn = 268.0 / 600.0;

FrontEnd::ChannelMap ChannelMap(const Switches& s)
{
    if (s.Get("gl125.led_map") == "direct")
        return {0, 1, 2};
    FrontEnd::ChannelMap map{1, 2, 0};
    int n = 0;
    for (char c : s.Get("afe_channel_map")) {
        if (c >= '0' && c <= '2' && n < 3)
            map[static_cast<std::size_t>(n++)] = c - '0';
    }
    return map;
}

PixelSettings Gl125PixelSettings(const Switches& s)
{
    PixelSettings settings = MakePixelSettings(s);
    if (s.Get("gl125.led_map") == "direct")
        settings.ledColours = {0, 1, 2};  // chip colours red, green, blue
    return settings;
}

PaperSettings Gl125PaperSettings(const Switches& s, const BoardProfile& board, const Gl125Module& module)
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
    p.backLagIn = s.Get("gl125.back_lag") == "fixed600" ? kFixedBackLagIn : module.opticalBackLagIn;
    // A back line past the exit would never see a sheet's tail: then the
    // exit moves behind it by the margin the 600-dpi geometry leaves.
    const double exit = s.Number("exit_point");
    const double backLine = board.entryToFrontIn + p.backLagIn;
    const double margin = std::max(0.0, exit - (board.entryToFrontIn + kFixedBackLagIn));
    p.exitPointIn = exit > backLine ? exit : backLine + margin;
    return p;
}

BoardProfile Unwired(BoardProfile board)
{
    // Pins are recorded only; which read the board level is decided here.
    board.wiring = GpioWiring{0, 0, 0, 0, 0, 0, 0, 0};
    return board;
}

}  // namespace

const Gl125Module& FindGl125Module(std::string_view sensorModule)
{
    for (const Gl125Module& m : kModules) {
        if (m.name == sensorModule)
            return m;
    }
    throw Error("unknown board");
}

Gl125Board::Gl125Board(const BoardProfile& board, const Switches& switches, DeviceLogsStore& logs)
    : board_(board),
      switches_(switches),
      logs_(logs),
      module_(FindGl125Module(board.sensorModule)),
      gpio_(Unwired(board), logs),
      eeprom_(MakeEepromWords(board), logs, switches.On("eeprom_writable")),
      frontEnd_(logs, ChannelMap(switches)),
      paper_(board, Gl125PaperSettings(switches, board, module_)),
      pixels_(board, Gl125PixelSettings(switches), logs),
      front_(static_cast<std::size_t>(board.pixelsPerSide)),
      back_(static_cast<std::size_t>(board.pixelsPerSide))
{
    RefreshInputs();
}

void Gl125Board::RefreshInputs()
{
    const bool paper = paper_.SensorPaper();
    const auto event = static_cast<std::uint8_t>((paper ? 1 : 0) | (button_ ? 2 : 0));
    if (lastEvent_ && *lastEvent_ != event && sink_)
        sink_(event);
    lastEvent_ = event;
}

std::uint32_t Gl125Board::GpioLevels() const
{
    const GpioWiring& w = board_.wiring;
    const bool gated = switches_.Get("gl125.gpio_input_gate") == "enable";
    std::uint32_t levels = gpio_.Latches();
    auto drive = [&](int pin, bool high) {
        if (gated && gpio_.IsOutput(pin))
            return;
        levels = high ? levels | BoardGpio::Mask(pin) : levels & ~BoardGpio::Mask(pin);
    };
    drive(w.paperSensor, !paper_.SensorPaper());
    drive(w.button, !button_);
    drive(w.powerSense, !externalPower_);
    if (eeprom_.ShiftingOut())
        drive(w.eepromDo, eeprom_.DataOut());
    return levels;
}

void Gl125Board::GpioChanged(std::uint32_t enables, std::uint32_t latches, DeviceTime now)
{
    gpio_.Set(enables, latches, now);
    const GpioWiring& w = board_.wiring;
    eeprom_.Drive(gpio_.Latch(w.eepromCs), gpio_.Latch(w.eepromSk), gpio_.Latch(w.eepromDi));
}

void Gl125Board::FrontEndWrite(std::uint8_t address, std::uint16_t data) { frontEnd_.Write(address, data, now_); }

void Gl125Board::ScanStarting(bool mono)
{
    frontEnd_.ScanStarting(mono);
    pixels_.ScanStarting();
    tripleY_.reset();
}

bool Gl125Board::LampGate(bool lampBit) const { return lampBit && gpio_.Latch(board_.wiring.lampEnable); }

void Gl125Board::MotorStep(bool forward, bool powered, DeviceTime now)
{
    now_ = now;
    if (!powered)
        return;
    paper_.Step(forward, now);
    RefreshInputs();
}

void Gl125Board::MotorIdle(bool idle, DeviceTime now)
{
    now_ = now;
    motorIdle_ = idle;
}

std::vector<std::uint8_t> Gl125Board::ReadLine(const LineSetup& setup, std::span<const std::uint16_t>,
                                               std::span<const std::uint16_t>)
{
    return std::vector<std::uint8_t>(setup.outputBytes, 0);
}

std::vector<std::uint8_t> Gl125Board::MakeLine(Gl125LineSetup setup, std::span<const std::uint8_t> mainMemory,
                                               std::span<const std::uint8_t> gammaMemory)
{
    now_ = setup.middle;
    // Where the moving sheet is at the middle of the line.
    std::optional<double> y = paper_.PositionAt(setup.middle);
    if (switches_.Get("colour_sampling") == "ideal" && !setup.mono) {
        if (setup.colour == 0 || !tripleY_)
            tripleY_ = paper_.LeadingEdge();
        y = tripleY_;
    }
    paper_.SampleLine(0, board_.opticalDpi, front_, y);
    paper_.SampleLine(1, board_.opticalDpi, back_, y);
    return pixels_.MakeLine(setup, frontEnd_, front_, back_, mainMemory, gammaMemory);
}

void Gl125Board::AdvanceTo(DeviceTime now)
{
    now_ = now;
    if (paper_.Update(now, motorIdle_))
        RefreshInputs();
}

void Gl125Board::PowerReset()
{
    gpio_.Reset();
    frontEnd_.Reset();
    eeprom_.Drive(false, false, false);
    RefreshInputs();
}

void Gl125Board::InsertSheet(const std::filesystem::path& front, const std::filesystem::path& back)
{
    const PnmTransfer transfer = switches_.Get("pnm_transfer") == "srgb" ? PnmTransfer::Srgb : PnmTransfer::Linear;
    paper_.Enqueue(Sheet::FromFiles(front, back, transfer));
}

void Gl125Board::InsertCalibrationSheet() { paper_.Enqueue(Sheet::Calibration(board_.calibrationSheetWidthIn)); }

void Gl125Board::SetButton(bool pressed)
{
    button_ = pressed;
    RefreshInputs();
}

void Gl125Board::SetExternalPower(bool on)
{
    externalPower_ = on;
    RefreshInputs();
}

void Gl125Board::SheetFault(std::string_view name, std::string_view argument)
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

void Gl125Board::ClearSheetFaults()
{
    paper_.SetJam(std::nullopt);
    paper_.SetSlip(0);
    paper_.SetNoPick(false);
}

}  // namespace emulator
