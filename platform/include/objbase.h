// COM run time: apartments, in-process class creation, class identifiers as
// text, task memory.
#pragma once

#include <windef.h>
#include <winerror.h>
#include <unknwn.h>

typedef enum tagCOINIT {
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_MULTITHREADED = 0x0,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8
} COINIT;

typedef enum tagCLSCTX {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_REMOTE_SERVER = 0x10
} CLSCTX;
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;

#ifdef __cplusplus
extern "C" {
#endif
PLATFORM_EXPORT HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
PLATFORM_EXPORT HRESULT WINAPI CoInitialize(LPVOID pvReserved);
PLATFORM_EXPORT void WINAPI CoUninitialize(void);
PLATFORM_EXPORT HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                                REFIID riid, LPVOID* ppv);
PLATFORM_EXPORT HRESULT WINAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved,
                                                REFIID riid, LPVOID* ppv);
PLATFORM_EXPORT void WINAPI CoFreeUnusedLibraries(void);
PLATFORM_EXPORT LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb);
PLATFORM_EXPORT LPVOID WINAPI CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
PLATFORM_EXPORT void WINAPI CoTaskMemFree(LPVOID pv);
PLATFORM_EXPORT HRESULT WINAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
PLATFORM_EXPORT int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
#ifdef __cplusplus
}
#endif
