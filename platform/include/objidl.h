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
