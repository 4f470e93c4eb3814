// Run-time thread creation.
#pragma once

#include <windef.h>

#ifdef __cplusplus
extern "C" {
#endif

PLATFORM_EXPORT uintptr_t _beginthreadex(void* security, unsigned stack_size,
                                         unsigned(__stdcall* start_address)(void*), void* arglist,
                                         unsigned initflag, unsigned* thrdaddr);

#ifdef __cplusplus
}
#endif
