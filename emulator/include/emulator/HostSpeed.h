// Whether this process runs under a CPU emulator (software translation, the
// way qemu-user runs the 32-bit build on a kernel without 32-bit support).
// There the virtual scanner computes its lines several times slower than a
// device on the real clock produces them, so one catch-up with the full FIFO
// can outlast the driver's 3.5 s transfer time-out, and whole-page scans take
// minutes.
#pragma once

#include <cpuid.h>

#include <cstring>

namespace emulator {

// Switches for such a host: a FIFO on either chip small enough that each
// catch-up stays inside the transfer time-out.
struct HostSwitch {
    const char* name;
    const char* value;
};
inline constexpr HostSwitch kEmulatedHostSwitches[] = {{"fifo_bytes", "98304"}, {"gl125.fifo_bytes", "98304"}};

inline bool UnderCpuEmulator() {
    static const bool emulated = [] {
        unsigned words[12] = {};
        for (unsigned i = 0; i < 3; ++i) {
            if (__get_cpuid(0x80000002u + i, &words[i * 4], &words[i * 4 + 1], &words[i * 4 + 2], &words[i * 4 + 3]) == 0) {
                return false;
            }
        }
        char brand[sizeof words + 1] = {};
        std::memcpy(brand, words, sizeof words);
        return std::strstr(brand, " TCG ") != nullptr;
    }();
    return emulated;
}

}  // namespace emulator
