// The robust recursive mutex: a futex word holding the owner's thread id,
// waits in slices that check whether the owner died, and a per-thread list
// that abandons what a thread still owns when it ends.
#include "sync/RobustMutex.h"

#include <linux/futex.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <fstream>
#include <sstream>
#include <vector>

namespace platform {
namespace {

constexpr auto kSlice = std::chrono::milliseconds(100);
constexpr auto kVirtualSlice = std::chrono::milliseconds(2);

uint32_t CurrentTid() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

std::atomic_ref<uint32_t> Word(MutexRecord* record) { return std::atomic_ref<uint32_t>(record->futex); }

// Field 3 (state) and field 22 (start time) of /proc/<path>/stat.
bool ReadStat(const std::string& path, char* state, uint64_t* start) {
    std::ifstream in(path);
    std::string text;
    if (!std::getline(in, text)) return false;
    auto close = text.rfind(')');
    if (close == std::string::npos) return false;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    // Fields after the command: 3 is the first.
    for (int index = 3; fields >> field; ++index) {
        if (index == 3) *state = field.empty() ? '?' : field[0];
        if (index == 22) {
            *start = std::strtoull(field.c_str(), nullptr, 10);
            return true;
        }
    }
    return false;
}

// Start time of a process, read from its main thread's task entry: a user-mode
// emulator (the 32-bit build under qemu) fakes /proc/<own pid>/stat with the
// calling thread's start time, which would make a live owner look replaced.
uint64_t ProcessStart(uint32_t pid) {
    char state = 0;
    uint64_t start = 0;
    const std::string id = std::to_string(pid);
    ReadStat("/proc/" + id + "/task/" + id + "/stat", &state, &start);
    return start;
}

uint64_t OwnStart() {
    static const uint64_t start = ProcessStart(static_cast<uint32_t>(::getpid()));
    return start;
}

// Whether the thread `tid` holding the futex word has ended.
bool OwnerDied(const MutexRecord* record, uint32_t tid) {
    char state = 0;
    uint64_t start = 0;
    if (!ReadStat("/proc/" + std::to_string(tid) + "/stat", &state, &start)) return true;
    if (state == 'Z' || state == 'X') return true;
    const uint32_t pid = __atomic_load_n(&record->ownerPid, __ATOMIC_ACQUIRE);
    // The owner fields are written just after the futex word; only judge
    // them once they describe this owner.
    if (__atomic_load_n(&record->ownerTid, __ATOMIC_ACQUIRE) != tid) return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return true;
    if (ProcessStart(pid) != __atomic_load_n(&record->ownerStart, __ATOMIC_ACQUIRE)) return true;
    return ::access(("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid)).c_str(), F_OK) != 0;
}

void FutexWait(MutexRecord* record, uint32_t expected, std::chrono::steady_clock::time_point until) {
    auto since = until.time_since_epoch();
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(seconds.count());
    ts.tv_nsec = static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count());
    ::syscall(SYS_futex, &record->futex, FUTEX_WAIT_BITSET, expected, &ts, nullptr, FUTEX_BITSET_MATCH_ANY);
}

void FutexWakeOne(MutexRecord* record) { ::syscall(SYS_futex, &record->futex, FUTEX_WAKE, 1, nullptr, nullptr, 0); }

// Mutexes the current thread owns. The list is never freed, so waits in
// exit-time destructors still find it; the abandoner runs when a thread
// other than the main one ends (the main thread's mutexes are abandoned by
// the end of the process, after the exit-time destructors).
struct Abandoner {
    ~Abandoner();
};
thread_local std::vector<MutexRecord*>* t_owned = nullptr;
thread_local Abandoner t_abandoner;

std::vector<MutexRecord*>& Owned() {
    if (t_owned == nullptr) {
        t_owned = new std::vector<MutexRecord*>;
        [[maybe_unused]] Abandoner* registered = &t_abandoner;
    }
    return *t_owned;
}

void TakeOwnership(MutexRecord* record, uint32_t tid) {
    __atomic_store_n(&record->ownerPid, static_cast<uint32_t>(::getpid()), __ATOMIC_RELEASE);
    __atomic_store_n(&record->ownerStart, OwnStart(), __ATOMIC_RELEASE);
    __atomic_store_n(&record->ownerTid, tid, __ATOMIC_RELEASE);
    record->count = 1;
    Owned().push_back(record);
}

void ClearOwner(MutexRecord* record) {
    record->count = 0;
    __atomic_store_n(&record->ownerTid, 0u, __ATOMIC_RELEASE);
    __atomic_store_n(&record->ownerPid, 0u, __ATOMIC_RELEASE);
    __atomic_store_n(&record->ownerStart, uint64_t{0}, __ATOMIC_RELEASE);
}

void Unlock(MutexRecord* record) {
    ClearOwner(record);
    if (Word(record).exchange(0) & kWaitersBit) FutexWakeOne(record);
}

void Abandon() {
    const uint32_t tid = CurrentTid();
    if (t_owned == nullptr) return;
    for (MutexRecord* record : *t_owned) {
        if ((Word(record).load() & ~kWaitersBit) != tid) continue;
        __atomic_store_n(&record->abandoned, 1u, __ATOMIC_RELEASE);
        Unlock(record);
    }
    delete t_owned;
    t_owned = nullptr;
}

Abandoner::~Abandoner() {
    if (CurrentTid() != static_cast<uint32_t>(::getpid())) Abandon();
}

bool OwnedByCaller(const MutexRecord* record, uint32_t tid) {
    return (__atomic_load_n(&record->futex, __ATOMIC_ACQUIRE) & ~kWaitersBit) == tid &&
           __atomic_load_n(&record->ownerPid, __ATOMIC_ACQUIRE) == static_cast<uint32_t>(::getpid());
}

AcquireResult Acquired(MutexRecord* record, uint32_t tid, bool tookOver) {
    TakeOwnership(record, tid);
    const bool abandoned = __atomic_exchange_n(&record->abandoned, 0u, __ATOMIC_ACQ_REL) != 0;
    return tookOver || abandoned ? AcquireResult::Abandoned : AcquireResult::Acquired;
}

}  // namespace

AcquireResult AcquireMutex(MutexRecord* record, const Deadline& deadline) {
    const uint32_t tid = CurrentTid();
    if (OwnedByCaller(record, tid)) {
        ++record->count;
        return AcquireResult::Acquired;
    }
    auto word = Word(record);
    uint32_t mine = tid;  // with kWaitersBit once this thread has waited
    for (;;) {
        uint32_t seen = 0;
        if (word.compare_exchange_strong(seen, mine)) return Acquired(record, tid, false);
        const uint32_t owner = seen & ~kWaitersBit;
        if (OwnerDied(record, owner)) {
            if (word.compare_exchange_strong(seen, tid | kWaitersBit)) {
                ClearOwner(record);
                return Acquired(record, tid, true);
            }
            continue;
        }
        const uint64_t processNow = ProcessNowNs();
        if (deadline && processNow >= *deadline) return AcquireResult::TimedOut;
        if (!(seen & kWaitersBit) && !word.compare_exchange_strong(seen, seen | kWaitersBit)) continue;
        mine = tid | kWaitersBit;
        const auto now = std::chrono::steady_clock::now();
        if (ProcessClockVirtual()) {
            // Device time only moves while every thread waits: short slices
            // look at the deadline again after it has.
            WaitingScope waiting(deadline);
            FutexWait(record, seen | kWaitersBit, now + kVirtualSlice);
            continue;
        }
        auto until = now + kSlice;
        if (deadline) until = std::min(until, now + std::chrono::nanoseconds(*deadline - processNow));
        FutexWait(record, seen | kWaitersBit, until);
    }
}

void AbandonOwnedMutexes() { Abandon(); }

bool ReleaseMutexRecord(MutexRecord* record) {
    const uint32_t tid = CurrentTid();
    if (!OwnedByCaller(record, tid) || record->count == 0) return false;
    if (--record->count > 0) return true;
    auto& owned = Owned();
    if (auto it = std::find(owned.begin(), owned.end(), record); it != owned.end()) owned.erase(it);
    Unlock(record);
    return true;
}

MutexRecord* NewPrivateMutexRecord() {
    // Kept for the life of the process: a thread may still own a record
    // whose handles are all closed.
    struct Pool {
        std::mutex lock;
        std::deque<MutexRecord> records;
    };
    static Pool* pool = new Pool;
    std::lock_guard guard(pool->lock);
    MutexRecord& record = pool->records.emplace_back();
    record.magic = kMutexMagic;
    return &record;
}

}  // namespace platform
