// A virtual sheet-fed scanner: built from a board name and switch
// overrides, served on <root>/devices/usbscanN or fed requests directly,
// controlled and inspected by tests.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <emulator/DeviceConnection.h>
#include <emulator/DeviceLogs.h>
#include <emulator/DeviceRequest.h>
#include <emulator/VirtualClock.h>

namespace emulator {

// Every refused control or bad argument; what() is the reason text
// ("unknown switch", "sheet too small", "not plugged", …).
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using SwitchOverrides = std::map<std::string, std::string, std::less<>>;

enum class EngineState : std::uint8_t { Idle, Positioning, Scanning, Moving };

struct SheetState {
    double y = 0;       // leading edge past the entry sensor, inches
    double length = 0;  // inches
    double width = 0;   // inches
};

struct PaperState {
    std::optional<SheetState> inPath;  // the ready or moving sheet
    bool sensorPaper = false;          // the entry sensor sees paper
    std::size_t queued = 0;            // sheets still in the feeder
    std::vector<SheetState> departed;  // sheets that left past the exit
};

struct GpioState {
    std::uint32_t directions = 0;  // bit = line − 1, 1 = output
    std::uint32_t latches = 0;
    std::uint32_t levels = 0;      // what a register read shows
};

struct GpioChange {
    DeviceTime time{};
    unsigned line = 0;       // 1-based
    bool direction = false;  // true: a direction change, false: a latch change
    bool value = false;
};

class VirtualScanner {
public:
    // Boards: "RM310-GL841", "RM310-GL125", "RM410", "RM1100", "RM460"
    // (others: Error "unknown board"). Unknown switches or values: Error.
    // On GL125 boards ShadingWords and GammaWords give u16 words of main
    // memory (from 0x10000000) and of gamma memory (from 0x01000000).
    explicit VirtualScanner(std::string_view board, const SwitchOverrides& switches = {});
    ~VirtualScanner();
    VirtualScanner(const VirtualScanner&) = delete;
    VirtualScanner& operator=(const VirtualScanner&) = delete;

    static std::vector<std::string> Boards();

    // Serving on <root>/devices/usbscan<device>. A live endpoint there:
    // Error "device busy"; a stale socket is replaced.
    void Serve(const std::filesystem::path& root, unsigned device = 0);
    void StopServing();  // closes connections, removes the endpoint
    std::filesystem::path Endpoint() const;

    // Direct requests, bypassing the socket.
    std::unique_ptr<DeviceConnection> Connect();

    // Controls.
    void InsertSheet(const std::filesystem::path& front, const std::filesystem::path& back = {});
    void InsertCalibrationSheet();
    void Press();
    void Release();
    void SetExternalPower(bool on);
    void Unplug();
    void Plug();
    bool Plugged() const;
    void PowerCycle();
    void SetSwitch(std::string_view name, std::string_view value);
    std::string Switch(std::string_view name) const;
    void InjectFault(std::string_view spec);  // "KIND[:ARG] ON CLASS[@N][*COUNT]" or a state fault
    void ClearFaults();
    void AdvanceClock(std::chrono::nanoseconds by);
    void SetTimeSource(std::shared_ptr<VirtualClock> clock);

    // Inspection, consistent with the last executed request.
    std::uint8_t Register(std::uint8_t address) const;
    std::array<std::uint8_t, 256> Registers() const;
    std::vector<std::uint16_t> ShadingWords(std::uint32_t first, std::uint32_t count) const;
    std::vector<std::uint16_t> GammaWords(std::uint32_t first, std::uint32_t count) const;
    std::uint8_t AfeRegister(std::uint8_t address) const;
    GpioState Gpio() const;
    std::vector<GpioChange> GpioHistory() const;
    std::array<std::uint16_t, 64> Eeprom() const;
    PaperState Paper() const;
    std::size_t FifoBytes() const;
    std::vector<std::uint8_t> FifoContent() const;
    std::uint32_t LinesScanned() const;  // since the strobe, not wrapped
    EngineState Engine() const;
    std::int64_t MotorPosition() const;  // steps, forward positive
    std::uint32_t ClockHz() const;
    DeviceTime Now() const;
    std::vector<RequestLogEntry> RequestLog() const;
    std::vector<ViolationLogEntry> Violations() const;
    std::vector<ObservationLogEntry> Observations() const;
    void ClearLogs();
    std::string StateLine() const;  // the `state` command's key=value pairs

private:
    std::shared_ptr<Device> device_;
    struct Server;
    std::unique_ptr<Server> server_;
};

}  // namespace emulator
