// Property identifiers and tagged values, the subset the image-acquisition
// service and its drivers exchange.
#pragma once

#include <objbase.h>
#include <oleauto.h>

typedef ULONG PROPID;
typedef unsigned short VARTYPE;

#define VT_EMPTY 0
#define VT_I4 3
#define VT_BSTR 8
#define VT_UI4 19
#define VT_CLSID 72

#define PRSPEC_LPWSTR 0
#define PRSPEC_PROPID 1

typedef struct tagPROPSPEC {
    ULONG ulKind;
    union {
        PROPID propid;
        LPOLESTR lpwstr;
    };
} PROPSPEC;

typedef struct tagPROPVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        ULONG ulVal;
        BSTR bstrVal;
        CLSID* puuid;
    };
} PROPVARIANT;

#ifdef __cplusplus
extern "C" {
#endif
// Frees what the value owns (a string, a class identifier) and empties it.
PLATFORM_EXPORT HRESULT WINAPI PropVariantClear(PROPVARIANT* pvar);
#ifdef __cplusplus
}
#endif
