// What the module entry glue linked into each deliverable tells the loader.
#pragma once

#include <windef.h>

#ifdef __cplusplus
extern "C" {
#endif

// The module at `base` ran DllMain(PROCESS_ATTACH) with result `ok`.
PLATFORM_EXPORT void PlatformModuleAttached(void* base, BOOL ok);
// The reserved argument of DllMain(PROCESS_DETACH): NULL while FreeLibrary
// unloads the module, non-NULL at process exit.
PLATFORM_EXPORT void* PlatformModuleDetachReserved(void* base);

#ifdef __cplusplus
}
#endif
