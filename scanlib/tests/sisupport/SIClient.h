// What the device tests of the SI functions share: property access through
// the SI records, and a fixture that serves a virtual scanner on the test's
// own machine and checks its protocol log at the end.
#pragma once

#include <SIInterface.h>
#include <SIRecord.h>

#include <emulator/HostSpeed.h>
#include <emulator/VirtualScanner.h>
#include <gtest/gtest.h>
#include <platform/testing.h>

#include <memory>
#include <string>

namespace siclient {

inline SIProperty Record(uint16_t id, SIResult* result = nullptr) {
    SIProperty p = si_record::Request(id);
    const SIResult r = SI_GetProperty(&p);
    if (result) *result = r;
    return p;
}

inline int32_t Int(uint16_t id) { return si_record::CurrentInt(Record(id)); }

inline float Float(uint16_t id) { return si_record::CurrentFloat(Record(id)); }

inline std::string String(uint16_t id) {
    const char* text = PointerFromSlot<const char>(Record(id).value[0]);
    return text ? text : "";
}

// Range and list: the minimum and maximum (list: first and last item).
inline std::pair<int32_t, int32_t> IntBounds(uint16_t id) {
    const SIProperty p = Record(id);
    return {IntFromSlot(p.value[0]), IntFromSlot(p.value[1])};
}

inline SIResult SetInt(uint16_t id, int32_t value) {
    SIProperty p = Record(id);
    si_record::SetCurrentInt(p, value);
    return SI_SetProperty(&p);
}

inline SIResult SetFloat(uint16_t id, float value) {
    SIProperty p = Record(id);
    si_record::SetCurrentFloat(p, value);
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
