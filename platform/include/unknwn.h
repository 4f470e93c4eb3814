// The base of every COM interface and the class factory.
#pragma once

#include <windef.h>
#include <winerror.h>

typedef GUID IID;
typedef GUID CLSID;
typedef IID* LPIID;
typedef CLSID* LPCLSID;
#ifdef __cplusplus
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef const GUID& REFGUID;
#else
typedef const IID* REFIID;
typedef const CLSID* REFCLSID;
typedef const GUID* REFGUID;
#endif

#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT STDMETHODCALLTYPE

#ifdef __cplusplus
#include <cstring>

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000,
                                          {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

#ifndef PLATFORM_IUNKNOWN_DECLARED
#define PLATFORM_IUNKNOWN_DECLARED
// Objects are released through Release, never deleted through an interface
// pointer; implementations are final classes.
struct IUnknown {
    STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) = 0;
    STDMETHOD_(ULONG, AddRef)() = 0;
    STDMETHOD_(ULONG, Release)() = 0;

protected:
    ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;
#endif

struct IClassFactory : IUnknown {
    STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    STDMETHOD(LockServer)(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};
typedef IClassFactory* LPCLASSFACTORY;
#endif
