// A scanner library for the calibrator's tests, answering the SI_ calls the
// calibrator makes from its environment and writing each call to a log:
//   FAKE_SI_LOG             file that gets one line per call
//   FAKE_SI_OPEN            results of SI_OpenInterface in turn (the last repeats)
//   FAKE_SI_OPEN_ADVANCE_MS each open moves the platform clock on by this much
//   FAKE_SI_PAPER           paper states in turn (1 present, 0 absent)
//   FAKE_SI_CALIBRATE       results of SI_Calibrate in turn
//   FAKE_SI_STEPS           progress calls per calibration (a 0 answer cancels)
//   FAKE_SI_STEP_MS         pause between progress calls
//   FAKE_SI_PROPERTY        result of SI_GetProperty
#include <SIInterface.h>
#include <platform/testing.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<long> Numbers(const char* name, long fallback) {
    std::vector<long> values;
    const char* text = std::getenv(name);
    if (text == nullptr || *text == 0) return {fallback};
    std::string all = text;
    size_t start = 0;
    for (;;) {
        const size_t end = all.find(',', start);
        values.push_back(std::strtol(all.substr(start, end - start).c_str(), nullptr, 0));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return values;
}

long Next(const char* name, long fallback, size_t& counter) {
    const std::vector<long> values = Numbers(name, fallback);
    const long value = values[std::min(counter, values.size() - 1)];
    ++counter;
    return value;
}

void Log(const std::string& line) {
    const char* path = std::getenv("FAKE_SI_LOG");
    if (path == nullptr) return;
    if (FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

size_t opens = 0, papers = 0, calibrations = 0;
int64_t clockAdvance = 0;

}  // namespace

extern "C" {

SI_EXPORT SIResult SI_OpenInterface(const char* name) {
    const long result = Next("FAKE_SI_OPEN", 0, opens);
    Log("open " + std::string(name ? name : "") + " " + std::to_string(result) + " at " +
        std::to_string(clockAdvance));
    clockAdvance += Numbers("FAKE_SI_OPEN_ADVANCE_MS", 0)[0];
    platform::testing::SetClockOffset(clockAdvance);
    return static_cast<SIResult>(result);
}

SI_EXPORT SIResult SI_CloseInterface(void) {
    Log("close");
    return SI_OK;
}

SI_EXPORT SIResult SI_IsCalibrated(int* calibrated) {
    *calibrated = 0;
    Log("is-calibrated");
    return SI_OK;
}

SI_EXPORT SIResult SI_GetProperty(SIProperty* property) {
    Log("property " + std::to_string(property->id));
    return static_cast<SIResult>(Numbers("FAKE_SI_PROPERTY", 0)[0]);
}

SI_EXPORT SIResult SI_GetPaperStatus(int* present) {
    *present = static_cast<int>(Next("FAKE_SI_PAPER", 1, papers));
    Log("paper " + std::to_string(*present));
    return SI_OK;
}

SI_EXPORT SIResult SI_Calibrate(int, SIProgressCallback progress) {
    const long result = Next("FAKE_SI_CALIBRATE", 0, calibrations);
    const long steps = Numbers("FAKE_SI_STEPS", 5)[0];
    const long pause = Numbers("FAKE_SI_STEP_MS", 0)[0];
    for (long i = 1; i <= steps; ++i) {
        if (pause) Sleep(static_cast<DWORD>(pause));
        if (progress && !progress(static_cast<int>(i * 100 / steps))) {
            Log("calibrate cancelled at " + std::to_string(i));
            return SI_ERR_CANCELLED;
        }
    }
    Log("calibrate " + std::to_string(result));
    return static_cast<SIResult>(result);
}

SI_EXPORT SIResult SI_Clean(SIProgressCallback) { return SI_OK; }

}  // extern "C"
