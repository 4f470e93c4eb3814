// The TWAIN Source Manager as the data source reaches it: DSM_Entry, bound on
// first use, and the memory operations for everything handed to the
// application.
#pragma once

#include <twain.h>
#include <windows.h>

class SourceManagerBinding {
public:
    SourceManagerBinding() = default;
    ~SourceManagerBinding();
    SourceManagerBinding(const SourceManagerBinding&) = delete;
    SourceManagerBinding& operator=(const SourceManagerBinding&) = delete;

    // Calls DSM_Entry, loading "TWAIN_32.DLL" first when needed; TWRC_FAILURE
    // and nothing sent when it cannot be had (a later call tries again).
    TW_UINT16 DsmEntry(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                       TW_MEMREF data);

    static HGLOBAL Allocate(SIZE_T bytes) { return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes); }
    static void Free(HGLOBAL handle) { GlobalFree(handle); }
    static void* Lock(HGLOBAL handle) { return GlobalLock(handle); }
    static void Unlock(HGLOBAL handle) { GlobalUnlock(handle); }

private:
    HMODULE module_ = nullptr;
    DSMENTRYPROC entry_ = nullptr;
};
