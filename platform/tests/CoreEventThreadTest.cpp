// Events, threads and the waits over them.
#include <platform/testing.h>

#include <process.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

unsigned __stdcall ReturnArgument(void* arg) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(arg)); }

unsigned __stdcall WaitForEvent(void* arg) {
    return WaitForSingleObject(static_cast<HANDLE>(arg), INFINITE) == WAIT_OBJECT_0 ? 7 : 99;
}

HANDLE StartThread(unsigned(__stdcall* proc)(void*), void* arg, unsigned stack = 0) {
    unsigned id = 0;
    return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, stack, proc, arg, 0, &id));
}

TEST(CoreEvent, AutoResetReleasesOneWaiterAndClears) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);

    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event, 2000) == WAIT_OBJECT_0) ++woken;
        });
    Sleep(50);
    SetEvent(event);
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woken, 1);
    CloseHandle(event);
}

TEST(CoreEvent, ManualResetReleasesAllUntilReset) {
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(CoreEvent, NamedEventsAndWrongHandlesAreRefused) {
    EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, "named"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    EXPECT_FALSE(SetEvent(mutex));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(ResetEvent(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(mutex);
}

TEST(CoreWait, MultipleGivesTheLowestSignalledIndex) {
    HANDLE events[3];
    for (auto& e : events) e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_TIMEOUT);
    SetEvent(events[2]);
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
    HANDLE thread = StartThread(ReturnArgument, nullptr);
    HANDLE mixed[2] = {events[0], thread};
    EXPECT_EQ(WaitForMultipleObjects(2, mixed, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    for (auto& e : events) CloseHandle(e);
    CloseHandle(thread);
}

TEST(CoreWait, UnsupportedFormsFail) {
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    HANDLE both[2] = {event, mutex};
    EXPECT_EQ(WaitForMultipleObjects(1, both, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(WaitForMultipleObjects(0, both, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, both, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CloseHandle(event);
    CloseHandle(mutex);
}

TEST(CoreWait, ProbeOfATimedOutAutoEventLeavesItClear) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE list[1] = {event};
    EXPECT_EQ(WaitForMultipleObjects(1, list, FALSE, 20), WAIT_TIMEOUT);
    SetEvent(event);
    EXPECT_EQ(WaitForMultipleObjects(1, list, FALSE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(CoreThread, ExitCodeAfterTheEndAndStillActiveBefore) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = StartThread(WaitForEvent, event);
    ASSERT_NE(thread, nullptr);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    // Signalled for ever once ended.
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    CloseHandle(thread);
    CloseHandle(event);
}

TEST(CoreThread, ClosingTheHandleLeavesTheThreadRunning) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    struct Args {
        HANDLE go, done;
    } args{event, done};
    HANDLE thread = StartThread(
        [](void* p) -> unsigned {
            auto* a = static_cast<Args*>(p);
            WaitForSingleObject(a->go, INFINITE);
            SetEvent(a->done);
            return 0;
        },
        &args);
    EXPECT_TRUE(CloseHandle(thread));
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(done, 5000), WAIT_OBJECT_0);
    CloseHandle(event);
    CloseHandle(done);
}

TEST(CoreThread, SmallStackRequestsStillGetAUsableStack) {
    HANDLE thread = StartThread(
        [](void*) -> unsigned {
            volatile char buffer[256 * 1024];
            buffer[0] = 1;
            buffer[sizeof buffer - 1] = 2;
            return buffer[0] + buffer[sizeof buffer - 1];
        },
        nullptr, 2048);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 3u);
    CloseHandle(thread);
}

TEST(CoreThread, SuspendedStartIsRefused) {
    unsigned id = 0;
    EXPECT_EQ(_beginthreadex(nullptr, 0, ReturnArgument, nullptr, 4, &id), 0u);
    EXPECT_EQ(errno, EINVAL);
}

TEST(CoreThread, IdIsTheKernelThreadId) {
    unsigned id = 0;
    DWORD inside = 0;
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(
        nullptr, 0, [](void* p) -> unsigned { *static_cast<DWORD*>(p) = GetCurrentThreadId(); return 0; }, &inside, 0,
        &id));
    WaitForSingleObject(thread, INFINITE);
    EXPECT_EQ(inside, id);
    EXPECT_NE(id, GetCurrentThreadId());
    CloseHandle(thread);
}

struct PriorityCase {
    int level;
    BOOL accepted;
};

class CoreThreadPriority : public ::testing::TestWithParam<PriorityCase> {};

TEST_P(CoreThreadPriority, LevelsAreAcceptedEvenWhenTheChangeIsRefused) {
    const PriorityCase& c = GetParam();
    platform::testing::RefusePriority(true);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = StartThread(WaitForEvent, event);
    EXPECT_EQ(SetThreadPriority(thread, c.level), c.accepted);
    EXPECT_EQ(GetThreadPriority(thread), c.accepted ? c.level : THREAD_PRIORITY_NORMAL);
    SetEvent(event);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(event);
}

INSTANTIATE_TEST_SUITE_P(Table, CoreThreadPriority,
                         ::testing::Values(PriorityCase{THREAD_PRIORITY_IDLE, TRUE},
                                           PriorityCase{THREAD_PRIORITY_LOWEST, TRUE},
                                           PriorityCase{THREAD_PRIORITY_BELOW_NORMAL, TRUE},
                                           PriorityCase{THREAD_PRIORITY_NORMAL, TRUE},
                                           PriorityCase{THREAD_PRIORITY_ABOVE_NORMAL, TRUE},
                                           PriorityCase{THREAD_PRIORITY_HIGHEST, TRUE},
                                           PriorityCase{THREAD_PRIORITY_TIME_CRITICAL, TRUE},
                                           PriorityCase{3, FALSE}, PriorityCase{-3, FALSE}));

TEST(CoreThread, PriorityOfTheCurrentThreadAndLoweringReallyApplies) {
    std::thread([] {
        EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST));
        EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_LOWEST);
        EXPECT_EQ(::getpriority(PRIO_PROCESS, static_cast<id_t>(GetCurrentThreadId())), 10);
    }).join();
}

TEST(CoreHandles, CloseAndLastError) {
    EXPECT_TRUE(CloseHandle(GetCurrentProcess()));
    EXPECT_TRUE(CloseHandle(GetCurrentThread()));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7FF0))));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    HANDLE a = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE b = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 4, 0u);
    EXPECT_NE(a, b);
    CloseHandle(a);
    HANDLE c = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_NE(c, a);  // not reused at once
    EXPECT_FALSE(CloseHandle(a));
    CloseHandle(b);
    CloseHandle(c);
    // The last error belongs to each thread.
    SetLastError(42);
    std::thread([] { EXPECT_EQ(GetLastError(), 0u); SetLastError(7); }).join();
    EXPECT_EQ(GetLastError(), 42u);
}

}  // namespace
