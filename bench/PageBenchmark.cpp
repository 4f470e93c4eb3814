// One letter-size page at 600 dpi colour duplex scanned through Pelidor.dll,
// as a front end scans it, from a virtual scanner with its line timing and
// USB bus timing on (real clock, practical bus rates). The scanner runs in a
// child process, so this process's CPU time is the library's (with the
// emulated operating system under it) and nothing else.
//
// Per page it reports the wall time from SI_StartScan to SI_EndScan, the
// device's own time for the page (the chip lines it scanned times its line
// period), their ratio, the library's CPU time and its share of the device
// time, the device requests the page took, this process's context switches
// per request and how far its peak resident memory grew. The same page on
// the scanner's virtual clock shows what a page costs when only the
// emulator's work takes time; SI_OpenInterface + SI_CloseInterface are timed
// on their own.
//
// The RM310 pages compare the two roads of one scanner on the real clock:
// "RM310__" on the device file and "RM310" through the Still Image service,
// whose host's CPU time is counted as well.
#include "ScannerLibrary.h"

#include <SIPropertyIds.h>
#include <SIRecord.h>
#include <emulator/ImageDeviceEntry.h>
#include <emulator/VirtualScanner.h>
#include <platform/testing.h>
#include <platform/testing_io.h>

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kLinesPerRead = 64;
constexpr int32_t kResolution = 600;
constexpr int32_t kColour = 2;

// The GL841's line period register (counts of 15 clocks per chip line).
constexpr uint8_t kLinePeriodHigh = 0x38;
constexpr uint8_t kLinePeriodLow = 0x39;
// The GL841's vendor request that reads the selected register.
constexpr uint32_t kRequestRegisterRead = 0x84;

// ---- the scanner's process ----

enum class Board { RM410, RM310 };

// Serves the scanner on the root and answers one command per line:
// "insert FRONT,BACK", "report" (the last page's chip lines, line period,
// violations and requests since the insert), "quit". The RM310 is entered as
// a Still Image device as well.
[[noreturn]] void ServeScanner(const std::string& root, Board board, bool virtualClock, int commands, int answers)
{
    FILE* in = fdopen(commands, "r");
    FILE* out = fdopen(answers, "w");
    const char* name = board == Board::RM310 ? "RM310-GL841" : "RM410";
    emulator::VirtualScanner scanner(name, {{"bus", "practical"}, {"clock", virtualClock ? "virtual" : "real"}});
    scanner.Serve(root);
    const bool installed =
        board != Board::RM310 ||
        !platform::testing::InstallStillImageDevice(emulator::ImageDeviceEntry(name, 0, scanner)).empty();
    std::fprintf(out, installed ? "ready\n" : "not installed\n");
    std::fflush(out);
    std::array<char, 4096> line{};
    while (std::fgets(line.data(), static_cast<int>(line.size()), in) != nullptr) {
        std::string command(line.data());
        while (!command.empty() && (command.back() == '\n' || command.back() == '\r')) {
            command.pop_back();
        }
        if (command.rfind("insert ", 0) == 0) {
            const std::string sheets = command.substr(7);
            const size_t comma = sheets.find(',');
            try {
                scanner.InsertSheet(sheets.substr(0, comma),
                                    comma == std::string::npos ? std::string() : sheets.substr(comma + 1));
                scanner.ClearLogs();
                std::fprintf(out, "ok\n");
            } catch (const emulator::Error& e) {
                std::fprintf(out, "error: %s\n", e.what());
            }
        } else if (command == "clear") {
            scanner.ClearLogs();
            std::fprintf(out, "ok\n");
        } else if (command == "report") {
            const unsigned period = unsigned(scanner.Register(kLinePeriodHigh)) << 8 | scanner.Register(kLinePeriodLow);
            const double lineSeconds = period * 15.0 / scanner.ClockHz();
            const std::vector<emulator::RequestLogEntry> log = scanner.RequestLog();
            size_t bulkReads = 0;
            size_t registerReads = 0;
            uint64_t bulkBytes = 0;
            for (const emulator::RequestLogEntry& entry : log) {
                bulkReads += entry.kind == emulator::TransferKind::BulkIn ? 1 : 0;
                bulkBytes += entry.kind == emulator::TransferKind::BulkIn ? entry.count : 0;
                registerReads += entry.kind == emulator::TransferKind::ControlIn && entry.code == kRequestRegisterRead ? 1 : 0;
            }
            std::fprintf(out, "%u %.9f %zu %zu %zu %zu %llu\n", scanner.LinesScanned(), lineSeconds,
                         scanner.Violations().size(), log.size(), bulkReads, registerReads,
                         static_cast<unsigned long long>(bulkBytes));
        } else if (command == "quit") {
            break;
        } else {
            std::fprintf(out, "error: unknown command\n");
        }
        std::fflush(out);
    }
    scanner.StopServing();
    std::fflush(out);
    _exit(0);
}

class ScannerProcess {
public:
    ScannerProcess(const std::string& root, Board board, bool virtualClock)
    {
        int toChild[2];
        int fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(toChild[1]);
            close(fromChild[0]);
            ServeScanner(root, board, virtualClock, toChild[0], fromChild[1]);
        }
        close(toChild[0]);
        close(fromChild[1]);
        commands_ = fdopen(toChild[1], "w");
        answers_ = fdopen(fromChild[0], "r");
        ready_ = pid_ > 0 && Answer() == "ready";
    }
    ~ScannerProcess()
    {
        if (commands_ != nullptr) {
            Ask("quit");
            std::fclose(commands_);
        }
        if (answers_ != nullptr) {
            std::fclose(answers_);
        }
        // Gone before the next scanner serves the same endpoint.
        if (pid_ > 0) {
            waitpid(pid_, nullptr, 0);
        }
    }
    ScannerProcess(const ScannerProcess&) = delete;
    ScannerProcess& operator=(const ScannerProcess&) = delete;

    bool Ready() const { return ready_; }

    std::string Ask(const std::string& command)
    {
        std::fprintf(commands_, "%s\n", command.c_str());
        std::fflush(commands_);
        return command == "quit" ? std::string() : Answer();
    }

private:
    std::string Answer()
    {
        std::array<char, 4096> line{};
        if (std::fgets(line.data(), static_cast<int>(line.size()), answers_) == nullptr) {
            return {};
        }
        std::string text(line.data());
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        return text;
    }

    pid_t pid_ = -1;
    FILE* commands_ = nullptr;
    FILE* answers_ = nullptr;
    bool ready_ = false;
};

// ---- the front end's side ----

std::string gRoot;

struct ProcessCounters {
    double contextSwitches = 0;
    double peakResidentMiB = 0;
};

ProcessCounters Counters()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return {static_cast<double>(usage.ru_nvcsw + usage.ru_nivcsw), static_cast<double>(usage.ru_maxrss) / 1024.0};
}

fs::path SamplePage(const char* face)
{
    return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "samples" / face;
}

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The Still Image service host of the root, as its log names it
// ("[pid] starting ..."); 0 when none has started.
long HostPid()
{
    std::ifstream log(fs::path(gRoot) / "services" / "imgsvc.log");
    std::string line;
    long pid = 0;
    while (std::getline(log, line)) {
        if (line.find("starting") != std::string::npos) {
            pid = std::strtol(line.c_str() + 1, nullptr, 10);
        }
    }
    return pid;
}

// User and system CPU time of another process, from /proc.
double OtherProcessCpuSeconds(long pid)
{
    if (pid <= 0) {
        return 0;
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15) {
            ticks += std::strtod(field.c_str(), nullptr);
        }
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool SetInt(ScannerLibrary& library, uint16_t id, uint16_t type, int32_t value)
{
    SIProperty property{};
    property.id = id;
    property.container = SI_CONTAINER_SINGLE;
    property.itemType = type;
    property.value[0] = SlotFromInt(value);
    return library.SetProperty(&property) == SI_OK;
}

std::optional<SIProperty> Get(ScannerLibrary& library, uint16_t id)
{
    SIProperty property{};
    property.id = id;
    if (library.GetProperty(&property) != SI_OK) {
        return std::nullopt;
    }
    return property;
}

// 600 dpi colour duplex over the whole page.
bool SetUpPage(ScannerLibrary& library)
{
    if (!SetInt(library, SI_PROP_COLOR_MODE, SI_TYPE_INT32, kColour) ||
        !SetInt(library, SI_PROP_X_RESOLUTION, SI_TYPE_INT32, kResolution) ||
        !SetInt(library, SI_PROP_DUPLEX, SI_TYPE_BOOL, 1)) {
        return false;
    }
    const std::optional<SIProperty> width = Get(library, SI_PROP_SCAN_WIDTH);
    const std::optional<SIProperty> length = Get(library, SI_PROP_SCAN_LENGTH);
    return width && length &&
           SetInt(library, SI_PROP_SCAN_WIDTH, SI_TYPE_INT32, IntFromSlot(width->value[si_record::kRangeMaximum])) &&
           SetInt(library, SI_PROP_SCAN_LENGTH, SI_TYPE_INT32, IntFromSlot(length->value[si_record::kRangeDefault]));
}

// A 32-bit FNV-1a over every byte read, so a change that must keep the page
// the same can show that it did.
void HashBytes(uint32_t& hash, const uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        hash = (hash ^ bytes[i]) * 16777619u;
    }
}

// Reads both sides, alternating, until each has ended; the lines per side.
// Each side's bytes go into its own hash.
std::optional<std::array<uint64_t, 2>> ReadPage(ScannerLibrary& library, std::vector<uint8_t>& buffer,
                                                size_t bytesPerLine, std::array<uint32_t, 2>& hashes)
{
    std::array<uint64_t, 2> lines{};
    std::array<bool, 2> ended{};
    while (!ended[0] || !ended[1]) {
        bool progress = false;
        for (uint32_t side = 0; side < 2; ++side) {
            if (ended[side]) {
                continue;
            }
            int got = 0;
            const SIResult result = library.ReadImageData(buffer.data(), kLinesPerRead, side, &got);
            if (result != SI_OK && result != SI_END_OF_PAGE) {
                return std::nullopt;
            }
            lines[side] += static_cast<uint64_t>(got);
            HashBytes(hashes[side], buffer.data(), static_cast<size_t>(std::max(got, 0)) * bytesPerLine);
            ended[side] = result == SI_END_OF_PAGE;
            progress = progress || got > 0 || ended[side];
        }
        if (!progress) {
            Sleep(1);  // the platform's, as a front end's: on a virtual clock it lets device time run
        }
    }
    return lines;
}

struct PageCase {
    Board board;
    const char* model;  // the name SI_OpenInterface is given
    bool virtualClock;
};

void ScanDuplexColourPage(benchmark::State& state, PageCase page)
{
    ScannerProcess scanner(gRoot, page.board, page.virtualClock);
    if (!scanner.Ready()) {
        state.SkipWithError("the virtual scanner does not start");
        return;
    }
    ScannerLibrary library;
    if (!library.Loaded()) {
        state.SkipWithError(library.Error().c_str());
        return;
    }
    if (library.OpenInterface(page.model) != SI_OK) {
        state.SkipWithError("the scanner does not open");
        return;
    }
    if (!SetUpPage(library)) {
        library.CloseInterface();
        state.SkipWithError("the page settings are refused");
        return;
    }
    const std::optional<SIProperty> widthInBytes = Get(library, SI_PROP_WIDTH_IN_BYTES);
    const size_t bytesPerLine = static_cast<size_t>(widthInBytes ? IntFromSlot(widthInBytes->value[0]) : 0);
    std::vector<uint8_t> buffer(bytesPerLine * kLinesPerRead);
    const std::string insert = "insert " + SamplePage("sample-front.ppm").string() + "," +
                               SamplePage("sample-back.ppm").string();

    double wall = 0;
    double device = 0;
    double cpu = 0;
    uint64_t linesPerSide = 0;
    size_t violations = 0;
    double requests = 0;
    double switches = 0;
    double memoryGrowth = 0;
    double bulkReads = 0;
    double registerReads = 0;
    double bulkBytes = 0;
    std::array<uint32_t, 2> hashes{};
    const long host = HostPid();
    double hostCpu = 0;
    for (auto _ : state) {
        if (scanner.Ask(insert) != "ok") {
            state.SkipWithError("the scanner takes no sheet");
            break;
        }
        const ProcessCounters counters0 = Counters();
        const auto wall0 = std::chrono::steady_clock::now();
        const double cpu0 = ProcessCpuSeconds();
        const double host0 = OtherProcessCpuSeconds(host);
        std::optional<std::array<uint64_t, 2>> lines;
        hashes = {2166136261u, 2166136261u};
        if (library.StartScan() == SI_OK) {
            lines = ReadPage(library, buffer, bytesPerLine, hashes);
        }
        const SIResult ended = library.EndScan();
        const double cpu1 = ProcessCpuSeconds();
        hostCpu += OtherProcessCpuSeconds(host) - host0;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        const ProcessCounters counters1 = Counters();
        switches += counters1.contextSwitches - counters0.contextSwitches;
        memoryGrowth = std::max(memoryGrowth, counters1.peakResidentMiB - counters0.peakResidentMiB);
        if (!lines || ended != SI_OK) {
            state.SkipWithError("the page does not scan");
            break;
        }
        state.SetIterationTime(seconds);

        std::istringstream report(scanner.Ask("report"));
        uint64_t chipLines = 0;
        double lineSeconds = 0;
        size_t pageRequests = 0;
        size_t pageBulkReads = 0;
        size_t pageRegisterReads = 0;
        uint64_t pageBulkBytes = 0;
        report >> chipLines >> lineSeconds >> violations >> pageRequests >> pageBulkReads >> pageRegisterReads >>
            pageBulkBytes;
        bulkBytes += static_cast<double>(pageBulkBytes);
        requests += static_cast<double>(pageRequests);
        bulkReads += static_cast<double>(pageBulkReads);
        registerReads += static_cast<double>(pageRegisterReads);
        wall += seconds;
        device += static_cast<double>(chipLines) * lineSeconds;
        cpu += cpu1 - cpu0;
        linesPerSide = (*lines)[0];
    }
    library.CloseInterface();

    const double pages = static_cast<double>(state.iterations());
    if (pages == 0 || device == 0) {
        return;
    }
    state.counters["wall_s"] = wall / pages;
    state.counters["device_s"] = device / pages;
    state.counters["wall_over_device"] = wall / device;
    state.counters["library_cpu_s"] = cpu / pages;
    state.counters["cpu_share_of_device"] = cpu / device;
    state.counters["lines_per_side"] = static_cast<double>(linesPerSide);
    state.counters["violations"] = static_cast<double>(violations);
    state.counters["requests_per_page"] = requests / pages;
    state.counters["bulk_reads_per_page"] = bulkReads / pages;
    state.counters["register_reads_per_page"] = registerReads / pages;
    state.counters["bulk_bytes_per_page"] = bulkBytes / pages;
    // The last page's bytes per side: the same figures before and after a
    // change that must not alter the page.
    state.counters["front_hash"] = hashes[0];
    state.counters["back_hash"] = hashes[1];
    state.counters["context_switches_per_request"] = requests > 0 ? switches / requests : 0;
    state.counters["page_peak_memory_growth_mib"] = memoryGrowth;
    if (host > 0) {
        state.counters["host_cpu_s"] = hostCpu / pages;
        state.counters["cpu_with_host_share_of_device"] = (cpu + hostCpu) / device;
    }
}

// SI_OpenInterface + SI_CloseInterface on the real clock: wall time and requests.
void OpenAndClose(benchmark::State& state)
{
    ScannerProcess scanner(gRoot, Board::RM410, false);
    if (!scanner.Ready()) {
        state.SkipWithError("the virtual scanner does not start");
        return;
    }
    ScannerLibrary library;
    if (!library.Loaded()) {
        state.SkipWithError(library.Error().c_str());
        return;
    }
    double requests = 0;
    for (auto _ : state) {
        scanner.Ask("clear");
        const auto wall0 = std::chrono::steady_clock::now();
        const bool opened = library.OpenInterface("RM410__") == SI_OK;
        library.CloseInterface();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count());
        if (!opened) {
            state.SkipWithError("the scanner does not open");
            break;
        }
        std::istringstream report(scanner.Ask("report"));
        uint64_t chipLines = 0;
        double lineSeconds = 0;
        size_t violations = 0;
        size_t openRequests = 0;
        report >> chipLines >> lineSeconds >> violations >> openRequests;
        requests += static_cast<double>(openRequests);
    }
    if (state.iterations() > 0) {
        state.counters["requests"] = requests / static_cast<double>(state.iterations());
    }
}

}  // namespace

int main(int argc, char** argv)
{
    platform::testing::ScopedRoot root;
    gRoot = root.Path();

    const struct {
        const char* name;
        PageCase page;
    } pages[] = {{"duplex_colour_600_page", {Board::RM410, "RM410__", false}},
                 {"duplex_colour_600_page_virtual_clock", {Board::RM410, "RM410__", true}},
                 {"rm310_device_file_page", {Board::RM310, "RM310__", false}},
                 {"rm310_still_image_page", {Board::RM310, "RM310", false}}};
    for (const auto& page : pages) {
        benchmark::RegisterBenchmark(page.name, ScanDuplexColourPage, page.page)
            ->UseManualTime()
            ->Iterations(1)
            ->Unit(benchmark::kSecond);
    }
    benchmark::RegisterBenchmark("open_and_close", OpenAndClose)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
