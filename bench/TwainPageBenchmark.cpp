// One page at 600 dpi colour duplex acquired by memory transfer through the
// TWAIN Source Manager and Pelidor.ds, as a TWAIN application acquires it,
// from a virtual scanner (RM310 on its GL841 board) with its line timing and
// USB bus timing on. The scanner runs in a child process, so this process's
// CPU time is the data source's and the library's (with the emulated
// operating system under them); bin/page measures the library alone.
//
// Per page it reports the wall time from MSG_ENABLEDS to the last
// MSG_ENDXFER, the device's own time for the sheet, their ratio, the CPU
// time and its share of the device time.
#include <emulator/VirtualScanner.h>
#include <platform/testing.h>
#include <twain.h>
#include <windows.h>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The GL841's line period register (counts of 15 clocks per chip line).
constexpr uint8_t kLinePeriodHigh = 0x38;
constexpr uint8_t kLinePeriodLow = 0x39;

// Serves the scanner and answers "insert FRONT,BACK", "report", "quit".
[[noreturn]] void ServeScanner(const std::string& root, int commands, int answers)
{
    FILE* in = fdopen(commands, "r");
    FILE* out = fdopen(answers, "w");
    emulator::VirtualScanner scanner("RM310-GL841", {{"bus", "practical"}});
    scanner.Serve(root);
    std::fprintf(out, "ready\n");
    std::fflush(out);
    std::array<char, 4096> line{};
    while (std::fgets(line.data(), static_cast<int>(line.size()), in) != nullptr) {
        std::string command(line.data());
        while (!command.empty() && (command.back() == '\n' || command.back() == '\r')) command.pop_back();
        if (command.rfind("insert ", 0) == 0) {
            const std::string sheets = command.substr(7);
            const size_t comma = sheets.find(',');
            try {
                scanner.InsertSheet(sheets.substr(0, comma), sheets.substr(comma + 1));
                scanner.ClearLogs();
                std::fprintf(out, "ok\n");
            } catch (const emulator::Error& e) {
                std::fprintf(out, "error: %s\n", e.what());
            }
        } else if (command == "report") {
            const unsigned period = unsigned(scanner.Register(kLinePeriodHigh)) << 8 | scanner.Register(kLinePeriodLow);
            std::fprintf(out, "%u %.9f %zu\n", scanner.LinesScanned(), period * 15.0 / scanner.ClockHz(),
                         scanner.Violations().size());
        } else if (command == "quit") {
            break;
        }
        std::fflush(out);
    }
    scanner.StopServing();
    _exit(0);
}

class ScannerProcess {
public:
    explicit ScannerProcess(const std::string& root)
    {
        int toChild[2];
        int fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(toChild[1]);
            close(fromChild[0]);
            ServeScanner(root, toChild[0], fromChild[1]);
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
            std::fprintf(commands_, "quit\n");
            std::fclose(commands_);
        }
        if (answers_ != nullptr) std::fclose(answers_);
    }
    ScannerProcess(const ScannerProcess&) = delete;
    ScannerProcess& operator=(const ScannerProcess&) = delete;

    bool Ready() const { return ready_; }
    std::string Ask(const std::string& command)
    {
        std::fprintf(commands_, "%s\n", command.c_str());
        std::fflush(commands_);
        return Answer();
    }

private:
    std::string Answer()
    {
        std::array<char, 4096> line{};
        if (std::fgets(line.data(), static_cast<int>(line.size()), answers_) == nullptr) return {};
        std::string text(line.data());
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }

    pid_t pid_ = -1;
    FILE* commands_ = nullptr;
    FILE* answers_ = nullptr;
    bool ready_ = false;
};

ScannerProcess* gScanner = nullptr;

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

fs::path Sample(const char* face)
{
    return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "samples" / face;
}

struct Twain {
    HMODULE module = nullptr;
    DSMENTRYPROC dsm = nullptr;
    TW_IDENTITY app{};
    TW_IDENTITY source{};
    TW_ENTRYPOINT entry{};
    int parent = 0;

    bool Open()
    {
        module = LoadLibraryA("TWAIN_32.DLL");
        if (module == nullptr) return false;
        using Generic = void (*)();
        dsm = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<Generic>(GetProcAddress(module, "DSM_Entry")));
        app.ProtocolMajor = 2;
        app.ProtocolMinor = 4;
        app.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2;
        std::strcpy(app.ProductName, "TwainPageBenchmark");
        entry.Size = sizeof entry;
        std::strcpy(source.ProductName, "RM310");
        return dsm != nullptr && dsm(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent) == TWRC_SUCCESS &&
               dsm(&app, nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry) == TWRC_SUCCESS &&
               dsm(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source) == TWRC_SUCCESS;
    }
    void Close()
    {
        if (dsm == nullptr) return;
        dsm(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source);
        dsm(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent);
        FreeLibrary(module);
    }
    TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
    {
        return dsm(&app, &source, dg, dat, msg, data);
    }
    bool Set(TW_UINT16 cap, TW_UINT16 type, TW_UINT32 value)
    {
        TW_CAPABILITY c{cap, TWON_ONEVALUE, entry.DSM_MemAllocate(sizeof(TW_ONEVALUE))};
        auto* one = static_cast<pTW_ONEVALUE>(entry.DSM_MemLock(c.hContainer));
        one->ItemType = type;
        one->Item = value;
        entry.DSM_MemUnlock(c.hContainer);
        const TW_UINT16 rc = Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &c);
        entry.DSM_MemFree(c.hContainer);
        return rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS;
    }
};

// Enables the source and takes both sides of the sheet by memory transfer.
bool AcquireSheet(Twain& twain)
{
    TW_USERINTERFACE ui{};
    ui.hParent = &twain.parent;
    if (twain.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui) != TWRC_SUCCESS) return false;
    TW_EVENT event{};
    if (twain.Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) != TWRC_DSEVENT || event.TWMessage != MSG_XFERREADY) {
        return false;
    }
    TW_SETUPMEMXFER setup{};
    twain.Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
    std::vector<uint8_t> buffer(setup.Preferred);
    TW_PENDINGXFERS pending{};
    do {
        TW_UINT16 rc = TWRC_SUCCESS;
        while (rc == TWRC_SUCCESS) {
            TW_IMAGEMEMXFER strip{};
            strip.Memory = {TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
            rc = twain.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip);
            benchmark::DoNotOptimize(buffer.data());
        }
        if (rc != TWRC_XFERDONE) return false;
        if (twain.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending) != TWRC_SUCCESS) return false;
    } while (pending.Count != 0);
    return twain.Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT &&
           twain.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui) == TWRC_SUCCESS;
}

void AcquireDuplexColourPage(benchmark::State& state)
{
    Twain twain;
    if (!twain.Open()) {
        state.SkipWithError("the data source does not open");
        return;
    }
    TW_FIX32 dpi{600, 0};
    TW_UINT32 dpiBits = 0;
    std::memcpy(&dpiBits, &dpi, sizeof dpi);
    TW_IMAGELAYOUT layout{};
    layout.Frame.Right = {4, static_cast<TW_UINT16>(0.16 * 65536)};
    layout.Frame.Bottom = {10, 0};
    if (!twain.Set(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY) || !twain.Set(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB) ||
        !twain.Set(ICAP_XRESOLUTION, TWTY_FIX32, dpiBits) || !twain.Set(CAP_DUPLEXENABLED, TWTY_BOOL, 1) ||
        !twain.Set(CAP_INDICATORS, TWTY_BOOL, 0) ||
        twain.Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout) == TWRC_FAILURE) {
        twain.Close();
        state.SkipWithError("the page settings are refused");
        return;
    }
    const std::string insert = "insert " + Sample("sample-front.ppm").string() + "," + Sample("sample-back.ppm").string();
    double wall = 0;
    double device = 0;
    double cpu = 0;
    size_t violations = 0;
    for (auto _ : state) {
        if (gScanner->Ask(insert) != "ok") {
            state.SkipWithError("the scanner takes no sheet");
            break;
        }
        const auto wall0 = std::chrono::steady_clock::now();
        const double cpu0 = ProcessCpuSeconds();
        const bool ok = AcquireSheet(twain);
        const double cpu1 = ProcessCpuSeconds();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        if (!ok) {
            state.SkipWithError("the sheet is not acquired");
            break;
        }
        state.SetIterationTime(seconds);
        std::istringstream report(gScanner->Ask("report"));
        uint64_t chipLines = 0;
        double lineSeconds = 0;
        report >> chipLines >> lineSeconds >> violations;
        wall += seconds;
        device += static_cast<double>(chipLines) * lineSeconds;
        cpu += cpu1 - cpu0;
    }
    twain.Close();
    const double pages = static_cast<double>(state.iterations());
    if (pages == 0 || device == 0) return;
    state.counters["wall_s"] = wall / pages;
    state.counters["device_s"] = device / pages;
    state.counters["wall_over_device"] = wall / device;
    state.counters["cpu_s"] = cpu / pages;
    state.counters["cpu_share_of_device"] = cpu / device;
    state.counters["violations"] = static_cast<double>(violations);
}

}  // namespace

int main(int argc, char** argv)
{
    platform::testing::ScopedRoot root;
    // The direct-port model, until the Still Image route reaches the scanner.
    ::setenv("PELIDOR_TWAIN_MODEL", "RM310__", 1);
    ScannerProcess scanner(root.Path());
    if (!scanner.Ready()) {
        std::fprintf(stderr, "twain_page: the virtual scanner does not start\n");
        return 1;
    }
    gScanner = &scanner;
    benchmark::RegisterBenchmark("twain_memory_duplex_colour_600_page", AcquireDuplexColourPage)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kSecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
