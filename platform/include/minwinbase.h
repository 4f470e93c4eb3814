// Records shared by the kernel-object and file functions.
#pragma once

#include <windef.h>

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    union {
        struct {
            DWORD Offset;
            DWORD OffsetHigh;
        };
        PVOID Pointer;
    };
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

#ifdef __cplusplus
static_assert(sizeof(SECURITY_ATTRIBUTES) == (sizeof(void*) == 8 ? 24 : 12), "SECURITY_ATTRIBUTES layout");
static_assert(sizeof(OVERLAPPED) == (sizeof(void*) == 8 ? 32 : 20), "OVERLAPPED layout");
#endif
