// Programs of the build run as child processes on the test's emulated
// machine: siscan to completion, and the virtual scanner's command, which
// answers commands on its standard streams until it is told to quit.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace siscan_test {

// bin/NAME beside the test program.
std::filesystem::path BuildProgram(const std::string& name);
// The build folder (bin/'s parent).
std::filesystem::path BuildFolder();

struct Completed {
    int status = -1;  // exit status, -signal when a signal ended it
    std::string out;
    std::string err;
};

// Runs the program with the test's emulated machine and waits for it.
Completed RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args);

// The virtual scanner's command serving one board on the test's machine.
class Emulator {
public:
    // The scanner's clock: "virtual" (the scanning process's waits move it) or
    // "real" (a scan whose device requests another process makes).
    Emulator(const std::string& board, const std::vector<std::string>& sheets,
             const std::string& clock = "virtual");
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // Whether it printed `ready`.
    bool Ready() const { return ready_; }
    // One command line and its answer.
    std::string Ask(const std::string& command);
    // The number of protocol violations it logged (-1 when the answer had none).
    int Violations();

private:
    std::string Line();

    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    bool ready_ = false;
};

}  // namespace siscan_test
