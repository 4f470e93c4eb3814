// The whole processing chain, spooler and every stage, driven by a scripted
// scanner at unlimited speed. Per case it reports the lines delivered per
// second and device_ratio: the chain's line rate of one side over the fastest
// line rate any scanner model delivers for that case (>= 50 means the chain
// needs under 2 % of a core while the scanner runs at full speed). It also
// reports the peak memory of a page above the idle chain and the bytes of
// temporary spool files a page takes.
//
// The process pins itself to one core first, so the spooler's worker thread
// and the reading thread share it. The rates are per second of the process's
// CPU time (both threads), so they say what share of one core the chain
// needs, however busy the machine is; the wall-clock time is shown as well.
#include "BenchScanner.h"
#include "DeviceRates.h"
#include "HeapCounter.h"
#include "engine/chain/ProcessingChain.h"
#include "engine/properties/Property.h"

#include <SIPropertyIds.h>
#include <SIRecord.h>
#include <platform/testing.h>

#include <benchmark/benchmark.h>
#include <sched.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

struct BenchCase {
    int32_t sensorDpi;
    int32_t colorMode;
    int32_t resolution;
    bool duplex;
    bool descreen;
    bool endOfPage;
    int32_t spoolToMemory;
};

// Letter-size pages at the delivered resolution.
constexpr double kPageWidthInches = 8.5;
constexpr double kPageLengthInches = 11.0;
constexpr uint32_t kLinesPerRead = 64;

std::string gRoot;

bool SetProperty(ProcessingChain& chain, uint16_t id, int32_t value)
{
    Property* property = chain.FindProperty(id);
    if (!property) {
        return false;
    }
    SIProperty record{};
    property->Get(&record);
    record.container = SI_CONTAINER_SINGLE;
    record.value[0] = SlotFromInt(value);
    return property->Set(&record);
}

// Bytes of the spool files ("SI..." temporary files) now in the emulated machine.
uint64_t SpoolFileBytes()
{
    uint64_t bytes = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(gRoot, error)) {
        if (entry.is_regular_file(error) && entry.path().filename().string().rfind("SI", 0) == 0) {
            bytes += entry.file_size(error);
        }
    }
    return bytes;
}

void RunChain(benchmark::State& state, BenchCase c)
{
    // The duplex models: 2592 pixels a side on the 300-dpi sensor, 5184 on the
    // 600-dpi one.
    auto scanner = std::make_unique<BenchScanner>(c.sensorDpi, c.sensorDpi == 300 ? 2592 : 5184);
    ProcessingChain chain;
    if (!chain.Attach(scanner.get())) {
        state.SkipWithError("the chain does not attach");
        return;
    }
    const int32_t width = static_cast<int32_t>(kPageWidthInches * c.resolution);
    const int32_t length = static_cast<int32_t>(kPageLengthInches * c.resolution);
    const bool set = SetProperty(chain, SI_PROP_COLOR_MODE, c.colorMode) &&
                     SetProperty(chain, SI_PROP_X_RESOLUTION, c.resolution) &&
                     SetProperty(chain, SI_PROP_DUPLEX, c.duplex ? 1 : 0) &&
                     SetProperty(chain, SI_PROP_DESCREEN, c.descreen ? 1 : 0) &&
                     SetProperty(chain, SI_PROP_EOP_DETECT, c.endOfPage ? 1 : 0) &&
                     SetProperty(chain, SI_PROP_SPOOL_TO_MEMORY, c.spoolToMemory) &&
                     SetProperty(chain, SI_PROP_SCAN_WIDTH, width) && SetProperty(chain, SI_PROP_SCAN_LENGTH, length);
    if (!set) {
        state.SkipWithError("the settings are refused");
        return;
    }
    const uint32_t sides = c.duplex ? 2 : 1;
    const uint32_t bytesPerLine = static_cast<uint32_t>(chain.FindProperty(SI_PROP_WIDTH_IN_BYTES)->GetInt());
    std::vector<uint8_t> buffer(static_cast<size_t>(bytesPerLine) * kLinesPerRead);

    heap::ResetPeak();
    const size_t idleBytes = heap::CurrentBytes();
    uint64_t lines = 0;
    uint64_t pages = 0;
    uint64_t spoolBytes = 0;
    for (auto _ : state) {
        if (!chain.StartScan()) {
            state.SkipWithError("the scan does not start");
            break;
        }
        for (uint32_t side = 0; side < sides; ++side) {
            for (;;) {
                int got = 0;
                const SIResult result = chain.ReadImageData(buffer.data(), kLinesPerRead, side, &got);
                if (result == SI_END_OF_PAGE) {
                    break;
                }
                if (result != SI_OK) {
                    state.SkipWithError("a read fails");
                    break;
                }
                lines += static_cast<uint64_t>(got);
            }
        }
        state.PauseTiming();
        spoolBytes = std::max(spoolBytes, SpoolFileBytes());
        state.ResumeTiming();
        chain.EndScan();
        ++pages;
    }
    const size_t peakBytes = heap::PeakBytes() - idleBytes;
    chain.Detach();

    const double deviceRate = FastestDeviceLineRate({c.sensorDpi, c.colorMode, c.resolution, c.duplex});
    state.counters["lines_per_second"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
    state.counters["device_ratio"] =
        benchmark::Counter(static_cast<double>(lines) / sides / deviceRate, benchmark::Counter::kIsRate);
    state.counters["device_lines_per_second"] = deviceRate;
    state.counters["lines_per_page"] = pages ? static_cast<double>(lines) / static_cast<double>(pages) : 0.0;
    state.counters["peak_memory_MiB"] = static_cast<double>(peakBytes) / (1024.0 * 1024.0);
    state.counters["temp_file_MiB_per_page"] = static_cast<double>(spoolBytes) / (1024.0 * 1024.0);
}

void Register(const char* name, BenchCase c)
{
    benchmark::RegisterBenchmark(name, RunChain, c)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
}

// Keeps the process, and the threads it starts later, on the core it runs on now.
void PinToOneCore()
{
    const int cpu = sched_getcpu();
    if (cpu < 0) {
        return;
    }
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    if (sched_setaffinity(0, sizeof(set), &set) != 0) {
        std::perror("sched_setaffinity");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    PinToOneCore();
    platform::testing::ScopedRoot root;
    gRoot = root.Path();

    //       name                                        dpi mode  res  duplex descreen eop  memory
    Register("duplex_colour_600_all_stages/spool_file", {300, 2, 600, true, true, true, 0});
    Register("duplex_colour_600_all_stages/spool_memory", {300, 2, 600, true, true, true, 1});
    Register("simplex_colour_600", {600, 2, 600, false, false, false, 0});
    Register("scaled_colour_300_to_600", {300, 2, 600, false, false, false, 0});
    Register("line_art_600", {600, 0, 600, false, false, false, 0});
    Register("gray_600_descreen", {600, 1, 600, false, true, false, 0});

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
