// A recursive mutex owned by a thread, shareable between processes of both
// builds through one fixed little-endian record, and abandoned when its
// owner thread or process ends.
#pragma once

#include "sync/Waitable.h"

#include <cstdint>

namespace platform {

// The bytes shared between processes (at offset 0 of the object's page).
struct MutexRecord {
    uint32_t magic;      // kMutexMagic once initialised
    uint32_t futex;      // 0 free, else owner tid | kWaitersBit when waited on
    uint32_t count;      // recursion count of the owner
    uint32_t ownerPid;
    uint32_t ownerTid;
    uint32_t abandoned;  // 1: the owner ended without releasing
    alignas(8) uint64_t ownerStart;  // owner process start time (clock ticks since boot)
};
static_assert(sizeof(MutexRecord) == 32, "MutexRecord layout");
static_assert(offsetof(MutexRecord, futex) == 4 && offsetof(MutexRecord, ownerStart) == 24, "MutexRecord layout");

inline constexpr uint32_t kMutexMagic = 0x5854554Du;  // "MUTX"
inline constexpr uint32_t kWaitersBit = 0x80000000u;

enum class AcquireResult { Acquired, Abandoned, TimedOut };

// Operations on a record; the record outlives every use (never freed).
AcquireResult AcquireMutex(MutexRecord* record, const Deadline& deadline);
// False when the calling thread does not own it.
bool ReleaseMutexRecord(MutexRecord* record);
// Abandons what the calling thread still owns (at its end).
void AbandonOwnedMutexes();
// A private, initialised record that is never freed.
MutexRecord* NewPrivateMutexRecord();

}  // namespace platform
