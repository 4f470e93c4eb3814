// Calibrate.exe run as a child process on the test's emulated machine,
// driven by the scripted user, and the virtual scanner's command beside it.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

// The 32-bit build runs under a CPU emulator here: it keeps one calibrator
// run and leaves the others to the native and sanitizer builds.
#define SKIP_IN_32_BIT_BUILD() \
    if (sizeof(void*) == 4) GTEST_SKIP() << "the native builds run this one"

namespace calibrate_test {

// bin/NAME beside the test program.
std::filesystem::path BuildProgram(const std::string& name);
// A fresh file name in the test machine's folder.
std::filesystem::path TestFile(const std::string& name);

struct CalibratorRun {
    int status = -1;  // exit status, -signal when a signal ended it
    std::string err;
    std::vector<std::string> ui;       // the user-interface log: dialogs, boxes, steps
    std::vector<std::string> library;  // the fake library's calls
};

// Runs Calibrate.exe with `args`, the scripted user's `steps` and the extra
// NAME=value environment; the fake library logs its calls.
CalibratorRun RunCalibrator(const std::vector<std::string>& args, const std::vector<std::string>& steps,
                  const std::vector<std::string>& environment = {});

// The virtual scanner's command serving one board on the test's machine.
class Emulator {
public:
    explicit Emulator(const std::string& board);
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    bool Ready() const { return ready_; }
    std::string Ask(const std::string& command);
    int Violations();

private:
    std::string Line();

    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    bool ready_ = false;
};

}  // namespace calibrate_test
