#include "ModuleState.h"

#include <atomic>

namespace module_state {
namespace {

std::atomic<long> locks{0};
std::atomic<HINSTANCE> instance{nullptr};

}  // namespace

void SetInstance(HINSTANCE handle) { instance = handle; }
HINSTANCE Instance() { return instance.load(); }

void Lock() { ++locks; }

void Unlock() {
    // An unbalanced unlock never takes the count below zero.
    long current = locks.load();
    while (current > 0 && !locks.compare_exchange_weak(current, current - 1)) {
    }
}

bool InUse() { return locks.load() > 0; }

}  // namespace module_state
