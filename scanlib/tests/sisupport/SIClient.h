// What the device tests of the SI functions share: property access through
// the SI records, and a fixture that serves a virtual scanner on the test's
// own machine and checks its protocol log at the end.
#pragma once

#include <SIInterface.h>

#include <emulator/HostSpeed.h>
#include <emulator/VirtualScanner.h>
#include <gtest/gtest.h>
#include <platform/testing.h>

#include <cstring>
#include <memory>
#include <string>

namespace siclient {

// The slot of a record that holds its current value.
inline int CurrentSlot(const SIProperty& p) {
    switch (p.container) {
        case SI_CONTAINER_RANGE: return 4;
        case SI_CONTAINER_LIST: return 1;
        default: return 0;
    }
}

inline SIProperty Record(uint16_t id, SIResult* result = nullptr) {
    SIProperty p{};
    p.id = id;
    const SIResult r = SI_GetProperty(&p);
    if (result) *result = r;
    return p;
}

inline int32_t Int(uint16_t id) {
    const SIProperty p = Record(id);
    return static_cast<int32_t>(static_cast<uint32_t>(p.value[CurrentSlot(p)]));
}

inline float Float(uint16_t id) {
    const SIProperty p = Record(id);
    const auto bits = static_cast<uint32_t>(p.value[CurrentSlot(p)]);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

inline std::string String(uint16_t id) {
    const SIProperty p = Record(id);
    const char* text = reinterpret_cast<const char*>(p.value[0]);
    return text ? text : "";
}

// Range and list: the minimum and maximum (list: first and last item).
inline std::pair<int32_t, int32_t> IntBounds(uint16_t id) {
    const SIProperty p = Record(id);
    return {static_cast<int32_t>(static_cast<uint32_t>(p.value[0])),
            static_cast<int32_t>(static_cast<uint32_t>(p.value[1]))};
}

inline SIResult SetInt(uint16_t id, int32_t value) {
    SIProperty p = Record(id);
    p.value[CurrentSlot(p)] = static_cast<uintptr_t>(static_cast<uint32_t>(value));
    if (p.container == SI_CONTAINER_SINGLE) p.value[1] = p.value[0];
    return SI_SetProperty(&p);
}

inline SIResult SetFloat(uint16_t id, float value) {
    SIProperty p = Record(id);
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    p.value[CurrentSlot(p)] = bits;
    if (p.container == SI_CONTAINER_SINGLE) p.value[1] = p.value[0];
    return SI_SetProperty(&p);
}

// Under a CPU emulator (the 32-bit build on a kernel without 32-bit support)
// the virtual scanner needs a smaller FIFO to keep up on the real clock, and
// the tests that scan several whole pages are left to the native builds.
inline bool SlowHost() { return emulator::UnderCpuEmulator(); }

// Device tests are about behaviour, not the host's speed: the virtual scanner
// runs on its virtual clock unless a test asks for the real one, and this
// process's sleeps and timed waits then move that clock on.
inline emulator::SwitchOverrides ForThisHost(emulator::SwitchOverrides switches) {
    switches.try_emplace("clock", "virtual");
    if (SlowHost()) {
        for (const auto& [name, value] : emulator::kEmulatedHostSwitches) switches.try_emplace(name, value);
    }
    return switches;
}

#define SKIP_PAGES_ON_SLOW_HOST()                                                      \
    do {                                                                               \
        if (::siclient::SlowHost()) GTEST_SKIP() << "whole pages under a CPU emulator"; \
    } while (0)

// A virtual scanner served as \\.\usbscan0 of this test's machine; the
// interface is closed and the protocol log checked at the end.
class DeviceTest : public ::testing::Test {
protected:
    emulator::VirtualScanner& Serve(const char* board, const emulator::SwitchOverrides& switches = {},
                                    unsigned device = 0) {
        scanner_ = std::make_unique<emulator::VirtualScanner>(board, ForThisHost(switches));
        scanner_->Serve(platform::testing::Root(), device);
        return *scanner_;
    }

    void TearDown() override {
        SI_CloseInterface();
        if (scanner_) {
            const auto violations = scanner_->Violations();
            EXPECT_TRUE(violations.empty()) << violations.size() << " violations; first: "
                                            << (violations.empty() ? "" : violations.front().text);
            scanner_.reset();
        }
    }

    std::unique_ptr<emulator::VirtualScanner> scanner_;
};

}  // namespace siclient
