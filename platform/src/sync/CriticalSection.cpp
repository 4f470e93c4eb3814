// Critical sections: a recursive pthread mutex kept inside the record.
#include <winbase.h>

#include <pthread.h>

#include <new>

namespace {

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION), "the lock fits the record");
static_assert(alignof(pthread_mutex_t) <= alignof(CRITICAL_SECTION), "the record aligns the lock");

pthread_mutex_t* LockOf(LPCRITICAL_SECTION section) { return reinterpret_cast<pthread_mutex_t*>(section); }

void Initialise(LPCRITICAL_SECTION section) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(new (section) pthread_mutex_t, &attr);
    pthread_mutexattr_destroy(&attr);
}

}  // namespace

WINBASEAPI void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    Initialise(lpCriticalSection);
}

WINBASEAPI BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD) {
    Initialise(lpCriticalSection);
    return TRUE;
}

WINBASEAPI void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    pthread_mutex_lock(LockOf(lpCriticalSection));
}

WINBASEAPI BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    return pthread_mutex_trylock(LockOf(lpCriticalSection)) == 0 ? TRUE : FALSE;
}

WINBASEAPI void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    pthread_mutex_unlock(LockOf(lpCriticalSection));
}

WINBASEAPI void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    pthread_mutex_destroy(LockOf(lpCriticalSection));
}
