// Image-acquisition property identifiers, formats, events, commands and
// transfer messages; the device manager, items and their property storage
// as applications use them.
#pragma once

#include <wiadef.h>
#include <objidl.h>
#include <propidl.h>

// Device and item properties.
#define WIA_DIP_DEV_ID 2
#define WIA_DIP_VEND_DESC 3
#define WIA_DIP_DEV_DESC 4
#define WIA_DIP_DEV_TYPE 5
#define WIA_DIP_PORT_NAME 6
#define WIA_DIP_DEV_NAME 7
#define WIA_DIP_SERVER_NAME 8
#define WIA_DIP_FIRMWARE_VERSION 1026
#define WIA_DPS_HORIZONTAL_SHEET_FEED_SIZE 3076
#define WIA_DPS_VERTICAL_SHEET_FEED_SIZE 3077
#define WIA_DPS_SHEET_FEEDER_REGISTRATION 3078
#define WIA_DPS_HORIZONTAL_BED_REGISTRATION 3079
#define WIA_DPS_VERTICAL_BED_REGISTRATION 3080
#define WIA_DPS_DOCUMENT_HANDLING_CAPABILITIES 3086
#define WIA_DPS_DOCUMENT_HANDLING_STATUS 3087
#define WIA_DPS_DOCUMENT_HANDLING_SELECT 3088
#define WIA_DPS_OPTICAL_XRES 3090
#define WIA_DPS_OPTICAL_YRES 3091
#define WIA_DPS_MAX_SCAN_TIME 3095
#define WIA_DPS_PAGES 3096
#define WIA_DPS_PAGE_SIZE 3097
#define WIA_DPS_PAGE_WIDTH 3098
#define WIA_DPS_PAGE_HEIGHT 3099
#define WIA_IPA_ITEM_NAME 4098
#define WIA_IPA_FULL_ITEM_NAME 4099
#define WIA_IPA_ITEM_FLAGS 4101
#define WIA_IPA_ACCESS_RIGHTS 4102
#define WIA_IPA_DATATYPE 4103
#define WIA_IPA_DEPTH 4104
#define WIA_IPA_PREFERRED_FORMAT 4105
#define WIA_IPA_FORMAT 4106
#define WIA_IPA_COMPRESSION 4107
#define WIA_IPA_TYMED 4108
#define WIA_IPA_CHANNELS_PER_PIXEL 4109
#define WIA_IPA_BITS_PER_CHANNEL 4110
#define WIA_IPA_PLANAR 4111
#define WIA_IPA_PIXELS_PER_LINE 4112
#define WIA_IPA_BYTES_PER_LINE 4113
#define WIA_IPA_NUMBER_OF_LINES 4114
#define WIA_IPA_ITEM_SIZE 4116
#define WIA_IPA_BUFFER_SIZE 4118
#define WIA_IPA_ITEM_CATEGORY 4125
#define WIA_IPS_CUR_INTENT 6146
#define WIA_IPS_XRES 6147
#define WIA_IPS_YRES 6148
#define WIA_IPS_XPOS 6149
#define WIA_IPS_YPOS 6150
#define WIA_IPS_XEXTENT 6151
#define WIA_IPS_YEXTENT 6152
#define WIA_IPS_PHOTOMETRIC_INTERP 6153
#define WIA_IPS_BRIGHTNESS 6154
#define WIA_IPS_CONTRAST 6155
#define WIA_IPS_ORIENTATION 6156
#define WIA_IPS_ROTATION 6157
#define WIA_IPS_THRESHOLD 6159
#define WIA_IPS_MAX_HORIZONTAL_SIZE 6165
#define WIA_IPS_MAX_VERTICAL_SIZE 6166
#define WIA_IPS_MIN_HORIZONTAL_SIZE 6167
#define WIA_IPS_MIN_VERTICAL_SIZE 6168

// Access flags of a property and the kind of its valid values.
#define WIA_PROP_READ 0x01
#define WIA_PROP_WRITE 0x02
#define WIA_PROP_RW (WIA_PROP_READ | WIA_PROP_WRITE)
#define WIA_PROP_SYNC_REQUIRED 0x04
#define WIA_PROP_NONE 0x08
#define WIA_PROP_RANGE 0x10
#define WIA_PROP_LIST 0x20
#define WIA_PROP_FLAG 0x40
#define WIA_PROP_CACHEABLE 0x10000

// Item types (item flags).
#define WiaItemTypeFree 0x00000000
#define WiaItemTypeImage 0x00000001
#define WiaItemTypeFile 0x00000002
#define WiaItemTypeFolder 0x00000004
#define WiaItemTypeRoot 0x00000008
#define WiaItemTypeDevice 0x00000040
#define WiaItemTypeDisconnected 0x00000080
#define WiaItemTypeTransfer 0x00002000
#define WiaItemTypeProgrammableDataSource 0x00080000

// Data types, intents, document handling, media.
#define WIA_DATA_THRESHOLD 0
#define WIA_DATA_DITHER 1
#define WIA_DATA_GRAYSCALE 2
#define WIA_DATA_COLOR 3
#define WIA_INTENT_NONE 0x00000000
#define WIA_INTENT_IMAGE_TYPE_COLOR 0x00000001
#define WIA_INTENT_IMAGE_TYPE_GRAYSCALE 0x00000002
#define WIA_INTENT_IMAGE_TYPE_TEXT 0x00000004
#define WIA_INTENT_IMAGE_TYPE_MASK 0x0000000F
#define WIA_INTENT_MINIMIZE_SIZE 0x00010000
#define WIA_INTENT_MAXIMIZE_QUALITY 0x00020000
#define FEEDER 0x001
#define FLATBED 0x002
#define DUPLEX 0x004
#define FRONT_FIRST 0x008
#define BACK_FIRST 0x010
#define FRONT_ONLY 0x020
#define BACK_ONLY 0x040
#define FEED_READY 0x001
#define FLAT_READY 0x002
#define DUP_READY 0x004
#define TYMED_FILE 2
#define TYMED_MULTIPAGE_FILE 256
#define TYMED_CALLBACK 128
#define TYMED_MULTIPAGE_CALLBACK 512

// Capability flags, device capability selection.
#define WIA_NOTIFICATION_EVENT 0x00000001
#define WIA_ACTION_EVENT 0x00000002
#define WIA_DEVICE_COMMANDS 0x00000001
#define WIA_DEVICE_EVENTS 0x00000002

// Transfer callback messages and status.
#define IT_MSG_DATA_HEADER 0x0001
#define IT_MSG_DATA 0x0002
#define IT_MSG_STATUS 0x0003
#define IT_MSG_TERMINATION 0x0004
#define IT_MSG_NEW_PAGE 0x0005
#define IT_STATUS_TRANSFER_FROM_DEVICE 0x0001
#define IT_STATUS_PROCESSING_DATA 0x0002
#define IT_STATUS_TRANSFER_TO_CLIENT 0x0004

#ifdef __cplusplus
inline constexpr GUID WiaImgFmt_UNDEFINED = {0xB96B3CA9, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr GUID WiaImgFmt_MEMORYBMP = {0xB96B3CAA, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr GUID WiaImgFmt_BMP = {0xB96B3CAB, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

inline constexpr GUID WIA_EVENT_DEVICE_DISCONNECTED = {0x143E4E83, 0x6497, 0x11D2,
                                                       {0xA2, 0x31, 0x00, 0xC0, 0x4F, 0xA3, 0x18, 0x09}};
inline constexpr GUID WIA_EVENT_DEVICE_CONNECTED = {0xA28BBADE, 0x64B6, 0x11D2,
                                                    {0xA2, 0x31, 0x00, 0xC0, 0x4F, 0xA3, 0x18, 0x09}};
inline constexpr GUID WIA_EVENT_TREE_UPDATED = {0xC9859B91, 0x4AB2, 0x4CD6,
                                                {0xA1, 0xFC, 0x58, 0x2E, 0xEC, 0x55, 0xE5, 0x85}};
inline constexpr GUID WIA_EVENT_POWER_SUSPEND = {0xA0922FF9, 0xC3B4, 0x411C,
                                                 {0x9E, 0x29, 0x03, 0xA6, 0x69, 0x93, 0xD2, 0xBE}};
inline constexpr GUID WIA_EVENT_POWER_RESUME = {0x618F153E, 0xF686, 0x4350,
                                                {0x96, 0x34, 0x41, 0x15, 0xA3, 0x04, 0x83, 0x0C}};
inline constexpr GUID WIA_CMD_SYNCHRONIZE = {0x9B26B7B2, 0xACAD, 0x11D2,
                                             {0xA0, 0x93, 0x00, 0xC0, 0x4F, 0x72, 0xDC, 0x3C}};
inline constexpr GUID WIA_CATEGORY_ROOT = {0xF193526F, 0x59B8, 0x4A26, {0x98, 0x88, 0xE1, 0x6E, 0x4F, 0x97, 0xCE, 0x10}};
inline constexpr GUID WIA_CATEGORY_FEEDER = {0xFE131934, 0xF84C, 0x42AD,
                                             {0x8D, 0xA4, 0x61, 0x29, 0xCD, 0xDD, 0x72, 0x88}};
#endif

#define WIA_ERROR_PAPER_EMPTY ((HRESULT)0x80210003)
#define WIA_STATUS_SKIP_ITEM ((HRESULT)0x00210009)

// ---- The device manager and items as applications see them ----

// Valid values of a property as GetPropertyAttributes gives them (a counted
// array of VT_I4): a range, a list with its count and nominal value, flags.
#define WIA_RANGE_MIN 0
#define WIA_RANGE_NOM 1
#define WIA_RANGE_MAX 2
#define WIA_RANGE_STEP 3
#define WIA_LIST_COUNT 0
#define WIA_LIST_NOM 1
#define WIA_LIST_VALUES 2
#define WIA_FLAG_NOM 0
#define WIA_FLAG_VALUES 1

#define WIA_DEVINFO_ENUM_LOCAL 0x00000010
#define WIA_S_NO_DEVICE_AVAILABLE ((HRESULT)0x80210015)

#ifdef __cplusplus
inline constexpr CLSID CLSID_WiaDevMgr = {0xA1F4E726, 0x8CF1, 0x11D1, {0xBF, 0x92, 0x00, 0x60, 0x08, 0x1E, 0xD8, 0x11}};
inline constexpr IID IID_IWiaDevMgr = {0x5EB2502A, 0x8CF1, 0x11D1, {0xBF, 0x92, 0x00, 0x60, 0x08, 0x1E, 0xD8, 0x11}};
inline constexpr IID IID_IEnumWIA_DEV_INFO = {0x5E38B83C, 0x8CF1, 0x11D1,
                                              {0xBF, 0x92, 0x00, 0x60, 0x08, 0x1E, 0xD8, 0x11}};
inline constexpr IID IID_IWiaItem = {0x4DB1AD10, 0x3391, 0x11D2, {0x9A, 0x33, 0x00, 0xC0, 0x4F, 0xA3, 0x61, 0x45}};
inline constexpr IID IID_IEnumWiaItem = {0x5E8383FC, 0x3391, 0x11D2, {0x9A, 0x33, 0x00, 0xC0, 0x4F, 0xA3, 0x61, 0x45}};
inline constexpr IID IID_IWiaPropertyStorage = {0x98B5E8A0, 0x29CC, 0x491A,
                                                {0xAA, 0xC0, 0xE6, 0xDB, 0x4F, 0xDC, 0xCE, 0xB6}};

struct IEnumSTATPROPSTG;
struct tagSTATPROPSETSTG;
struct IEnumWIA_DEV_CAPS;
struct IWiaEventCallback;

// Properties of a device (its information) or of an item, in the
// documented slot order. Methods the service does not serve answer E_NOTIMPL.
struct IWiaPropertyStorage : IUnknown {
    STDMETHOD(ReadMultiple)(ULONG count, const PROPSPEC properties[], PROPVARIANT values[]) = 0;
    STDMETHOD(WriteMultiple)(ULONG count, const PROPSPEC properties[], const PROPVARIANT values[],
                             PROPID firstNameId) = 0;
    STDMETHOD(ReadPropertyNames)(ULONG count, const PROPID ids[], LPOLESTR names[]) = 0;
    STDMETHOD(WritePropertyNames)(ULONG count, const PROPID ids[], const LPOLESTR names[]) = 0;
    STDMETHOD(DeletePropertyNames)(ULONG count, const PROPID ids[]) = 0;
    STDMETHOD(Commit)(DWORD flags) = 0;
    STDMETHOD(Revert)() = 0;
    STDMETHOD(Enum)(IEnumSTATPROPSTG** enumerator) = 0;
    STDMETHOD(SetTimes)(const FILETIME* created, const FILETIME* accessed, const FILETIME* modified) = 0;
    STDMETHOD(SetClass)(REFCLSID clsid) = 0;
    STDMETHOD(Stat)(tagSTATPROPSETSTG* stat) = 0;
    STDMETHOD(GetPropertyAttributes)(ULONG count, PROPSPEC properties[], ULONG flags[], PROPVARIANT values[]) = 0;
    STDMETHOD(GetCount)(ULONG* count) = 0;
    STDMETHOD(GetPropertyStream)(GUID* compatibilityId, IStream** stream) = 0;
    STDMETHOD(SetPropertyStream)(GUID* compatibilityId, IStream* stream) = 0;

protected:
    ~IWiaPropertyStorage() = default;
};

struct IEnumWIA_DEV_INFO : IUnknown {
    STDMETHOD(Next)(ULONG count, IWiaPropertyStorage** items, ULONG* fetched) = 0;
    STDMETHOD(Skip)(ULONG count) = 0;
    STDMETHOD(Reset)() = 0;
    STDMETHOD(Clone)(IEnumWIA_DEV_INFO** copy) = 0;
    STDMETHOD(GetCount)(ULONG* count) = 0;

protected:
    ~IEnumWIA_DEV_INFO() = default;
};

struct IEnumWiaItem;

struct IWiaItem : IUnknown {
    STDMETHOD(GetItemType)(LONG* type) = 0;
    STDMETHOD(AnalyzeItem)(LONG flags) = 0;
    STDMETHOD(EnumChildItems)(IEnumWiaItem** enumerator) = 0;
    STDMETHOD(DeleteItem)(LONG flags) = 0;
    STDMETHOD(CreateChildItem)(LONG flags, BSTR name, BSTR fullName, IWiaItem** item) = 0;
    STDMETHOD(EnumRegisterEventInfo)(LONG flags, const GUID* event, IEnumWIA_DEV_CAPS** enumerator) = 0;
    STDMETHOD(FindItemByName)(LONG flags, BSTR fullName, IWiaItem** item) = 0;
    STDMETHOD(DeviceDlg)(HWND parent, LONG flags, LONG intent, LONG* count, IWiaItem*** items) = 0;
    STDMETHOD(DeviceCommand)(LONG flags, const GUID* command, IWiaItem** item) = 0;
    STDMETHOD(GetRootItem)(IWiaItem** root) = 0;
    STDMETHOD(EnumDeviceCapabilities)(LONG flags, IEnumWIA_DEV_CAPS** enumerator) = 0;
    STDMETHOD(DumpItemData)(BSTR* data) = 0;
    STDMETHOD(DumpDrvItemData)(BSTR* data) = 0;
    STDMETHOD(DumpTreeItemData)(BSTR* data) = 0;
    STDMETHOD(Diagnostic)(ULONG size, BYTE* buffer) = 0;

protected:
    ~IWiaItem() = default;
};

struct IEnumWiaItem : IUnknown {
    STDMETHOD(Next)(ULONG count, IWiaItem** items, ULONG* fetched) = 0;
    STDMETHOD(Skip)(ULONG count) = 0;
    STDMETHOD(Reset)() = 0;
    STDMETHOD(Clone)(IEnumWiaItem** copy) = 0;
    STDMETHOD(GetCount)(ULONG* count) = 0;

protected:
    ~IEnumWiaItem() = default;
};

struct IWiaDevMgr : IUnknown {
    STDMETHOD(EnumDeviceInfo)(LONG flags, IEnumWIA_DEV_INFO** enumerator) = 0;
    STDMETHOD(CreateDevice)(BSTR deviceId, IWiaItem** root) = 0;
    STDMETHOD(SelectDeviceDlg)(HWND parent, LONG deviceType, LONG flags, BSTR* deviceId, IWiaItem** root) = 0;
    STDMETHOD(SelectDeviceDlgID)(HWND parent, LONG deviceType, LONG flags, BSTR* deviceId) = 0;
    STDMETHOD(GetImageDlg)(HWND parent, LONG deviceType, LONG flags, LONG intent, IWiaItem* root, BSTR fileName,
                           GUID* format) = 0;
    STDMETHOD(RegisterEventCallbackProgram)(LONG flags, BSTR deviceId, const GUID* event, BSTR commandLine, BSTR name,
                                            BSTR description, BSTR icon) = 0;
    STDMETHOD(RegisterEventCallbackInterface)(LONG flags, BSTR deviceId, const GUID* event,
                                              IWiaEventCallback* callback, IUnknown** eventObject) = 0;
    STDMETHOD(RegisterEventCallbackCLSID)(LONG flags, BSTR deviceId, const GUID* event, const GUID* clsid, BSTR name,
                                          BSTR description, BSTR icon) = 0;
    STDMETHOD(AddDeviceDlg)(HWND parent, LONG flags) = 0;

protected:
    ~IWiaDevMgr() = default;
};
#endif
