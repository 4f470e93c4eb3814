// Byte streams: ISequentialStream and IStream in their documented slot order.
#pragma once

#include <objbase.h>

#ifndef STG_E_ACCESSDENIED
#define STG_E_ACCESSDENIED ((HRESULT)0x80030005)
#endif
#ifndef STG_E_MEDIUMFULL
#define STG_E_MEDIUMFULL ((HRESULT)0x80030070)
#endif

#define STREAM_SEEK_SET 0
#define STREAM_SEEK_CUR 1
#define STREAM_SEEK_END 2

typedef struct tagSTATSTG {
    LPOLESTR pwcsName;
    DWORD type;
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode;
    DWORD grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
} STATSTG;

#ifdef __cplusplus
inline constexpr IID IID_ISequentialStream = {0x0C733A30, 0x2A1C, 0x11CE,
                                              {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct ISequentialStream : IUnknown {
    STDMETHOD(Read)(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    STDMETHOD(Write)(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;

protected:
    ~ISequentialStream() = default;
};

struct IStream : ISequentialStream {
    STDMETHOD(Seek)(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) = 0;
    STDMETHOD(SetSize)(ULARGE_INTEGER libNewSize) = 0;
    STDMETHOD(CopyTo)(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) = 0;
    STDMETHOD(Commit)(DWORD grfCommitFlags) = 0;
    STDMETHOD(Revert)() = 0;
    STDMETHOD(LockRegion)(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
    STDMETHOD(UnlockRegion)(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
    STDMETHOD(Stat)(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
    STDMETHOD(Clone)(IStream** ppstm) = 0;

protected:
    ~IStream() = default;
};
#endif

// ---- Data objects: formats and storage media ----

typedef WORD CLIPFORMAT;

#define DVASPECT_CONTENT 1
#define TYMED_NULL 0
#define TYMED_HGLOBAL 1
#define DATADIR_GET 1

#ifdef __cplusplus
struct tagDVTARGETDEVICE;
struct IEnumFORMATETC;
struct IAdviseSink;
struct IEnumSTATDATA;
struct IStorage;

typedef struct tagFORMATETC {
    CLIPFORMAT cfFormat;
    tagDVTARGETDEVICE* ptd;
    DWORD dwAspect;
    LONG lindex;
    DWORD tymed;
} FORMATETC, *LPFORMATETC;

typedef struct tagSTGMEDIUM {
    DWORD tymed;
    union {
        HGLOBAL hGlobal;
        LPOLESTR lpszFileName;
        IStream* pstm;
        IStorage* pstg;
    };
    IUnknown* pUnkForRelease;
} STGMEDIUM, *LPSTGMEDIUM;

inline constexpr IID IID_IDataObject = {0x0000010E, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IDataObject : IUnknown {
    STDMETHOD(GetData)(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) = 0;
    STDMETHOD(GetDataHere)(FORMATETC* pformatetc, STGMEDIUM* pmedium) = 0;
    STDMETHOD(QueryGetData)(FORMATETC* pformatetc) = 0;
    STDMETHOD(GetCanonicalFormatEtc)(FORMATETC* pformatectIn, FORMATETC* pformatetcOut) = 0;
    STDMETHOD(SetData)(FORMATETC* pformatetc, STGMEDIUM* pmedium, BOOL fRelease) = 0;
    STDMETHOD(EnumFormatEtc)(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) = 0;
    STDMETHOD(DAdvise)(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection) = 0;
    STDMETHOD(DUnadvise)(DWORD dwConnection) = 0;
    STDMETHOD(EnumDAdvise)(IEnumSTATDATA** ppenumAdvise) = 0;

protected:
    ~IDataObject() = default;
};
typedef IDataObject* LPDATAOBJECT;
#endif
