// Property identifiers and tagged values, the subset the image-acquisition
// service and its drivers exchange.
#pragma once

#include <objbase.h>
#include <oleauto.h>

typedef ULONG PROPID;
typedef unsigned short VARTYPE;

#define VT_EMPTY 0
#define VT_I4 3
#define VT_R4 4
#define VT_BSTR 8
#define VT_UI4 19
#define VT_LPWSTR 31
#define VT_CLSID 72
#define VT_VECTOR 0x1000

#define PRSPEC_LPWSTR 0
#define PRSPEC_PROPID 1

typedef struct tagPROPSPEC {
    ULONG ulKind;
    union {
        PROPID propid;
        LPOLESTR lpwstr;
    };
} PROPSPEC;

// Counted arrays (VT_VECTOR | the element type), from the task allocator.
typedef struct tagCAL {
    ULONG cElems;
    LONG* pElems;
} CAL;
typedef struct tagCAUL {
    ULONG cElems;
    ULONG* pElems;
} CAUL;
typedef struct tagCACLSID {
    ULONG cElems;
    CLSID* pElems;
} CACLSID;

typedef struct tagPROPVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        ULONG ulVal;
        float fltVal;
        BSTR bstrVal;
        LPOLESTR pwszVal;
        CLSID* puuid;
        CAL cal;
        CAUL caul;
        CACLSID cauuid;
    };
} PROPVARIANT;
#ifdef __cplusplus
static_assert(sizeof(PROPVARIANT) == (sizeof(void*) == 8 ? 24 : 16), "PROPVARIANT layout");
#endif

#ifdef __cplusplus
extern "C" {
#endif
// Frees what the value owns (a string, a class identifier, a counted
// array) and empties it.
PLATFORM_EXPORT HRESULT WINAPI PropVariantClear(PROPVARIANT* pvar);
#ifdef __cplusplus
}
#endif
