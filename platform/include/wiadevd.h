// The WIA user-interface extension a device's driver package may offer:
// its own device dialog, icon and logo.
#pragma once

#include <objbase.h>
#include <oleauto.h>
#include <windef.h>

#ifdef __cplusplus
struct tagDEVICEDIALOGDATA;
typedef tagDEVICEDIALOGDATA* PDEVICEDIALOGDATA;

inline constexpr IID IID_IWiaUIExtension = {0xDA319113, 0x50EE, 0x4C80,
                                            {0xB4, 0x60, 0x57, 0xD0, 0x05, 0xD4, 0x4A, 0x2C}};

struct IWiaUIExtension : IUnknown {
    STDMETHOD(DeviceDialog)(PDEVICEDIALOGDATA pDeviceDialogData) = 0;
    STDMETHOD(GetDeviceIcon)(BSTR bstrDeviceId, HICON* phIcon, ULONG nSize) = 0;
    STDMETHOD(GetDeviceBitmapLogo)(BSTR bstrDeviceId, HBITMAP* phBitmap, ULONG nMaxWidth, ULONG nMaxHeight) = 0;

protected:
    ~IWiaUIExtension() = default;
};
#endif
