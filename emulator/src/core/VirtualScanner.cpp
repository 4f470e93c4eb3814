#include <emulator/VirtualScanner.h>

#include <sstream>

#include "core/Device.h"
#include "server/SocketServer.h"

namespace emulator {
namespace {

const BoardProfile& BoardByName(std::string_view name)
{
    for (const BoardProfile& board : emulator::Boards()) {
        if (board.name == name)
            return board;
    }
    throw Error("unknown board");
}

constexpr std::string_view EngineName(EngineState state)
{
    switch (state) {
    case EngineState::Idle:
        return "idle";
    case EngineState::Positioning:
        return "positioning";
    case EngineState::Scanning:
        return "scanning";
    case EngineState::Moving:
        return "moving";
    }
    return "idle";
}

}  // namespace

struct VirtualScanner::Server {
    Server(std::shared_ptr<Device> device, const std::filesystem::path& root, unsigned number)
        : socket(std::move(device), root, number)
    {
    }
    SocketServer socket;
};

VirtualScanner::VirtualScanner(std::string_view board, const SwitchOverrides& switches)
    : device_(std::make_shared<Device>(BoardByName(board), switches))
{
}

VirtualScanner::~VirtualScanner() { StopServing(); }

std::vector<std::string> VirtualScanner::Boards()
{
    std::vector<std::string> names;
    for (const BoardProfile& board : emulator::Boards()) {
        names.emplace_back(board.name);
    }
    return names;
}

void VirtualScanner::Serve(const std::filesystem::path& root, unsigned device)
{
    StopServing();
    server_ = std::make_unique<Server>(device_, root, device);
}

void VirtualScanner::StopServing() { server_.reset(); }

std::filesystem::path VirtualScanner::Endpoint() const
{
    return server_ ? server_->socket.Endpoint() : std::filesystem::path{};
}

std::unique_ptr<DeviceConnection> VirtualScanner::Connect()
{
    return std::make_unique<DeviceConnection>(device_, device_->OpenConnection());
}

void VirtualScanner::InsertSheet(const std::filesystem::path& front, const std::filesystem::path& back)
{
    device_->WithState([&] { device_->Side().InsertSheet(front, back); });
}

void VirtualScanner::InsertCalibrationSheet()
{
    device_->WithState([&] { device_->Side().InsertCalibrationSheet(); });
}

void VirtualScanner::Press()
{
    device_->WithState([&] { device_->Side().SetButton(true); });
}

void VirtualScanner::Release()
{
    device_->WithState([&] { device_->Side().SetButton(false); });
}

void VirtualScanner::SetExternalPower(bool on)
{
    device_->WithState([&] { device_->Side().SetExternalPower(on); });
}

void VirtualScanner::Unplug() { device_->Unplug(); }
void VirtualScanner::Plug() { device_->Plug(); }
bool VirtualScanner::Plugged() const
{
    return device_->WithState([&] { return device_->Plugged(); });
}
void VirtualScanner::PowerCycle() { device_->PowerCycle(); }
void VirtualScanner::SetSwitch(std::string_view name, std::string_view value) { device_->SetSwitch(name, value); }
std::string VirtualScanner::Switch(std::string_view name) const
{
    return device_->WithState([&] { return device_->SwitchSet().Get(name); });
}
void VirtualScanner::InjectFault(std::string_view spec) { device_->InjectFault(spec); }
void VirtualScanner::ClearFaults() { device_->ClearFaults(); }
void VirtualScanner::AdvanceClock(std::chrono::nanoseconds by) { device_->AdvanceClock(by); }
void VirtualScanner::SetTimeSource(std::shared_ptr<VirtualClock> clock) { device_->SetTimeSource(std::move(clock)); }

std::uint8_t VirtualScanner::Register(std::uint8_t address) const
{
    return device_->WithState([&] { return device_->Chip().Register(address); });
}

std::array<std::uint8_t, 256> VirtualScanner::Registers() const
{
    return device_->WithState([&] {
        std::array<std::uint8_t, 256> regs{};
        for (unsigned a = 0; a < regs.size(); ++a)
            regs[a] = device_->Chip().Register(static_cast<std::uint8_t>(a));
        return regs;
    });
}

std::vector<std::uint16_t> VirtualScanner::ShadingWords(std::uint32_t first, std::uint32_t count) const
{
    return device_->WithState([&] { return device_->Chip().ShadingWords(first, count); });
}

std::vector<std::uint16_t> VirtualScanner::GammaWords(std::uint32_t first, std::uint32_t count) const
{
    return device_->WithState([&] { return device_->Chip().GammaWords(first, count); });
}

std::uint8_t VirtualScanner::AfeRegister(std::uint8_t address) const
{
    return device_->WithState([&] { return device_->Side().FrontEndRegister(address); });
}

GpioState VirtualScanner::Gpio() const
{
    return device_->WithState([&] { return device_->Side().Gpio(); });
}

std::vector<GpioChange> VirtualScanner::GpioHistory() const
{
    return device_->WithState([&] { return device_->Side().GpioHistory(); });
}

std::array<std::uint16_t, 64> VirtualScanner::Eeprom() const
{
    return device_->WithState([&] { return device_->Side().Eeprom(); });
}

PaperState VirtualScanner::Paper() const
{
    return device_->WithState([&] { return device_->Side().Paper(); });
}

std::size_t VirtualScanner::FifoBytes() const
{
    return device_->WithState([&] { return device_->Chip().FifoBytes(); });
}

std::vector<std::uint8_t> VirtualScanner::FifoContent() const
{
    return device_->WithState([&] { return device_->Chip().FifoContent(); });
}

std::uint32_t VirtualScanner::LinesScanned() const
{
    return device_->WithState([&] { return device_->Chip().LinesScanned(); });
}

EngineState VirtualScanner::Engine() const
{
    return device_->WithState([&] { return device_->Chip().Engine(); });
}

std::int64_t VirtualScanner::MotorPosition() const
{
    return device_->WithState([&] { return device_->Chip().MotorPosition(); });
}

std::uint32_t VirtualScanner::ClockHz() const
{
    return device_->WithState([&] { return device_->Chip().ClockHz(); });
}

DeviceTime VirtualScanner::Now() const
{
    return device_->WithState([&] { return device_->Clock().Now(); });
}

std::vector<RequestLogEntry> VirtualScanner::RequestLog() const
{
    return device_->WithState([&] { return device_->Logs().Requests(); });
}

std::vector<ViolationLogEntry> VirtualScanner::Violations() const
{
    return device_->WithState([&] { return device_->Logs().Violations(); });
}

std::vector<ObservationLogEntry> VirtualScanner::Observations() const
{
    return device_->WithState([&] { return device_->Logs().Observations(); });
}

void VirtualScanner::ClearLogs()
{
    device_->WithState([&] { device_->Logs().Clear(); });
}

std::string VirtualScanner::StateLine() const
{
    return device_->WithState([&] {
        ChipModel& chip = device_->Chip();
        const PaperState paper = device_->Side().Paper();
        std::ostringstream out;
        out << "engine=" << EngineName(chip.Engine()) << " status=0x" << std::hex << unsigned(chip.Status())
            << std::dec << " fifo=" << chip.FifoBytes() << " lines=" << chip.LinesScanned() << " sheet_y=";
        if (paper.inPath)
            out << paper.inPath->y << " sheet_length=" << paper.inPath->length;
        else
            out << "none";
        out << " sensor=" << (paper.sensorPaper ? "paper" : "clear") << " queue=" << paper.queued
            << " violations=" << device_->Logs().Violations().size();
        return out.str();
    });
}

}  // namespace emulator
