#include "ModuleState.h"

#include <atomic>

namespace module_state {
namespace {

std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};
std::atomic<HINSTANCE> instance{nullptr};

}  // namespace

void ObjectCreated() { ++liveObjects; }
void ObjectDestroyed() { --liveObjects; }

void LockServer(bool lock) {
    if (lock) {
        ++serverLocks;
        return;
    }
    // An unbalanced unlock never takes the count below zero.
    long current = serverLocks.load();
    while (current > 0 && !serverLocks.compare_exchange_weak(current, current - 1)) {
    }
}

bool InUse() { return liveObjects.load() > 0 || serverLocks.load() > 0; }

void SetInstance(HINSTANCE handle) { instance = handle; }
HINSTANCE Instance() { return instance.load(); }

}  // namespace module_state
