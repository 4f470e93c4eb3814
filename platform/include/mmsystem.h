// Multimedia timer: milliseconds since start.
#pragma once

#include <windef.h>

WINBASEAPI DWORD WINAPI timeGetTime(void);
