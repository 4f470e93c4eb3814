// The user-interface extension class the server also registers: the device
// keeps the system's own dialog, icon and logo.
#pragma once

#include <wiadevd.h>

#include <atomic>

// {B87DFA05-CFA2-46FA-9723-4E509F3D7112}
inline constexpr CLSID CLSID_TestUIExtension = {0xB87DFA05, 0xCFA2, 0x46FA,
                                                {0x97, 0x23, 0x4E, 0x50, 0x9F, 0x3D, 0x71, 0x12}};

class CWiaUIExtension final : public IWiaUIExtension {
public:
    CWiaUIExtension();
    CWiaUIExtension(const CWiaUIExtension&) = delete;
    CWiaUIExtension& operator=(const CWiaUIExtension&) = delete;

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    STDMETHOD(DeviceDialog)(PDEVICEDIALOGDATA data) override;
    STDMETHOD(GetDeviceIcon)(BSTR deviceId, HICON* icon, ULONG size) override;
    STDMETHOD(GetDeviceBitmapLogo)(BSTR deviceId, HBITMAP* bitmap, ULONG maxWidth, ULONG maxHeight) override;

private:
    ~CWiaUIExtension();
    std::atomic<ULONG> m_refs{1};
};
