// The WIA face of the device object: initialisation by the service, the
// two-item tree, the capability array, the transfer formats, Synchronize and
// the power and connection notifications.
#include "TextConversion.h"
#include "VarnixWiaDevice.h"

#include <objbase.h>
#include <oleauto.h>
#include <process.h>
#include <sti.h>
#include <wia.h>

#include <cstring>

namespace {

constexpr char kDirectModel[] = "RM310__";
constexpr LONG kRootFlags = WiaItemTypeFolder | WiaItemTypeRoot | WiaItemTypeDevice;
constexpr LONG kFeederFlags = WiaItemTypeImage | WiaItemTypeFile | WiaItemTypeTransfer;
constexpr DWORD kDeviceLockMs = 100;
constexpr DWORD kSuspendLockMs = 3000;
constexpr DWORD kResumeSettleMs = 1000;
constexpr DWORD kReopenPauseMs = 3000;
constexpr int kReopenAttempts = 10;
constexpr size_t kNameBufferChars = 128;
constexpr size_t kFixedTextChars = 255;
constexpr wchar_t kNoError[] = L"No Error";
constexpr wchar_t kUnknownError[] = L"Device Error, Unknown Error";

// The formats are constant tables: the service may go on reading a list
// after asking again.
constexpr WIA_FORMAT_INFO kNoContextFormats[] = {{WiaImgFmt_BMP, TYMED_FILE}};
constexpr WIA_FORMAT_INFO kImageFormatsWia1[] = {{WiaImgFmt_MEMORYBMP, TYMED_CALLBACK}, {WiaImgFmt_BMP, TYMED_FILE}};
constexpr WIA_FORMAT_INFO kImageFormatsWia2[] = {{WiaImgFmt_BMP, TYMED_FILE}};
constexpr WIA_FORMAT_INFO kOtherFormats[] = {{WiaImgFmt_UNDEFINED, TYMED_FILE}};

template <size_t N>
HRESULT HandOut(const WIA_FORMAT_INFO (&table)[N], LONG* count, WIA_FORMAT_INFO** formats) {
    *count = static_cast<LONG>(N);
    *formats = const_cast<WIA_FORMAT_INFO*>(table);
    return S_OK;
}

LPOLESTR TaskText(std::wstring_view text, size_t block) {
    const size_t chars = block > text.size() + 1 ? block : text.size() + 1;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(chars * sizeof(OLECHAR)));
    if (copy == nullptr) return nullptr;
    std::memset(copy, 0, chars * sizeof(OLECHAR));
    std::memcpy(copy, text.data(), text.size() * sizeof(OLECHAR));
    return copy;
}

}  // namespace

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvInitializeWia(BYTE* context, LONG, BSTR deviceId, BSTR rootName,
                                                            IUnknown* stiDevice, IUnknown*, IWiaDrvItem** root,
                                                            IUnknown** inner, LONG* error) {
    if (context == nullptr || root == nullptr || error == nullptr) return E_INVALIDARG;
    *error = 0;
    *root = nullptr;
    if (inner) *inner = nullptr;
    if (deviceId_.empty() && deviceId != nullptr) deviceId_ = deviceId;
    if (rootName_.empty() && rootName != nullptr) rootName_ = rootName;
    if (stiDevice_ == nullptr && stiDevice != nullptr) {
        stiDevice_ = stiDevice;
        stiDevice_->AddRef();
    }
    HRESULT result = BuildCapabilities();
    if (FAILED(result)) return result;
    if (rootItem_ == nullptr) {
        result = BuildDriverItemTree();
        if (FAILED(result)) return result;
    }
    if (rootItem_ == nullptr) return E_UNEXPECTED;
    *root = rootItem_;
    ++initializeCount_;
    return S_OK;
}

HRESULT VarnixWiaDevice::BuildDriverItemTree() {
    if (rootItem_ != nullptr) return S_OK;
    BSTR rootItemName = SysAllocString(L"Root");
    BSTR rootFullName = SysAllocString(rootName_.c_str());
    wchar_t feederName[kNameBufferChars] = {};
    const std::wstring feeder = rootName_ + L"\\Feeder";
    if (feeder.size() >= kNameBufferChars) {
        SysFreeString(rootItemName);
        SysFreeString(rootFullName);
        return E_INVALIDARG;
    }
    std::memcpy(feederName, feeder.c_str(), feeder.size() * sizeof(wchar_t));
    BSTR feederItemName = SysAllocString(feederName);
    BSTR feederFullName = SysAllocString(feederName);
    HRESULT result = S_OK;
    IWiaDrvItem* root = nullptr;
    IWiaDrvItem* child = nullptr;
    if (!rootItemName || !rootFullName || !feederItemName || !feederFullName) {
        result = E_OUTOFMEMORY;
    } else {
        result = wiasCreateDrvItem(kRootFlags, rootItemName, rootFullName, static_cast<IWiaMiniDrv*>(this), 0,
                                   nullptr, &root);
    }
    if (SUCCEEDED(result)) {
        rootItem_ = root;
        BYTE* bytes = nullptr;
        const LONG flags = kFeederFlags | (wiaVersion_ == 2 ? WiaItemTypeProgrammableDataSource : 0);
        result = wiasCreateDrvItem(flags, feederItemName, feederFullName, static_cast<IWiaMiniDrv*>(this),
                                   sizeof(WiaItemContext), &bytes, &child);
        if (SUCCEEDED(result) && bytes != nullptr) {
            std::memset(bytes, 0, sizeof(WiaItemContext));
            reinterpret_cast<WiaItemContext*>(bytes)->size = sizeof(WiaItemContext);
        }
    }
    if (SUCCEEDED(result)) result = child->AddItemToFolder(rootItem_);
    if (child) child->Release();
    SysFreeString(rootItemName);
    SysFreeString(rootFullName);
    SysFreeString(feederItemName);
    SysFreeString(feederFullName);
    if (FAILED(result)) DestroyDriverItemTree();
    return result;
}

HRESULT VarnixWiaDevice::DestroyDriverItemTree() {
    if (rootItem_ == nullptr) return S_OK;
    const HRESULT result = rootItem_->UnlinkItemTree(WiaItemTypeDisconnected);
    rootItem_->Release();
    rootItem_ = nullptr;
    return result;
}

void VarnixWiaDevice::FreeCapabilities() {
    for (WIA_DEV_CAP_DRV& cap : capabilities_) {
        CoTaskMemFree(cap.wszName);
        CoTaskMemFree(cap.wszDescription);
        CoTaskMemFree(cap.wszIcon);
    }
    capabilities_.clear();
    capabilityGuids_.clear();
    capabilitiesBuilt_ = false;
}

HRESULT VarnixWiaDevice::BuildCapabilities() {
    if (capabilitiesBuilt_) return S_OK;
    struct Text {
        std::wstring name, description, icon;
        ULONG flags;
    };
    std::vector<Text> texts;
    capabilityGuids_.clear();
    capabilityGuids_.push_back(WIA_EVENT_DEVICE_CONNECTED);
    texts.push_back({L"Device connected", L"Device connected Event", L"sti.dll,-1001", WIA_NOTIFICATION_EVENT});
    capabilityGuids_.push_back(WIA_EVENT_DEVICE_DISCONNECTED);
    texts.push_back({L"Device disconnected", L"Device disconnected Event", L"sti.dll,-1001", WIA_NOTIFICATION_EVENT});
    for (const RegistryEvent& event : events_) {
        capabilityGuids_.push_back(event.guid);
        texts.push_back({AnsiToWide(event.name), AnsiToWide(event.description), L"sti.dll,-1001",
                         WIA_NOTIFICATION_EVENT | WIA_ACTION_EVENT});
    }
    capabilityGuids_.push_back(WIA_CMD_SYNCHRONIZE);
    texts.push_back({L"Synchronize", L"Synchronize Command", L"sti.dll,-2000", 0});

    capabilities_.assign(texts.size(), WIA_DEV_CAP_DRV{});
    for (size_t i = 0; i < texts.size(); ++i) {
        const bool registry = i >= 2 && i + 1 < texts.size();
        WIA_DEV_CAP_DRV& cap = capabilities_[i];
        cap.guid = &capabilityGuids_[i];
        cap.ulFlags = texts[i].flags;
        cap.wszName = TaskText(texts[i].name, registry ? 0 : kFixedTextChars);
        cap.wszDescription = TaskText(texts[i].description, registry ? 0 : kFixedTextChars);
        cap.wszIcon = TaskText(texts[i].icon, kFixedTextChars);
        if (!cap.wszName || !cap.wszDescription || !cap.wszIcon) {
            // A partial array is never handed out.
            FreeCapabilities();
            return E_OUTOFMEMORY;
        }
    }
    capabilitiesBuilt_ = true;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvGetCapabilities(BYTE*, LONG flags, LONG* count,
                                                              WIA_DEV_CAP_DRV** caps, LONG* error) {
    if (error) *error = 0;
    if (count == nullptr || caps == nullptr) return E_INVALIDARG;
    *count = 0;
    *caps = nullptr;
    const HRESULT built = BuildCapabilities();
    if (FAILED(built)) return built;
    const LONG all = static_cast<LONG>(capabilities_.size());
    switch (flags) {
        case WIA_DEVICE_COMMANDS:
            *count = 1;
            *caps = &capabilities_[all - 1];
            return S_OK;
        case WIA_DEVICE_EVENTS:
            *count = all - 1;
            *caps = capabilities_.data();
            return S_OK;
        case WIA_DEVICE_COMMANDS | WIA_DEVICE_EVENTS:
            *count = all;
            *caps = capabilities_.data();
            return S_OK;
        default: return E_INVALIDARG;
    }
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvGetWiaFormatInfo(BYTE* context, LONG, LONG* count,
                                                               WIA_FORMAT_INFO** formats, LONG* error) {
    if (count == nullptr || formats == nullptr || error == nullptr) return E_INVALIDARG;
    *error = 0;
    if (context == nullptr) return HandOut(kNoContextFormats, count, formats);
    LONG type = 0;
    if (FAILED(wiasGetItemType(context, &type))) {
        *count = 0;
        *formats = nullptr;
        return S_OK;
    }
    if (type & WiaItemTypeImage) {
        return wiaVersion_ == 2 ? HandOut(kImageFormatsWia2, count, formats)
                                : HandOut(kImageFormatsWia1, count, formats);
    }
    return HandOut(kOtherFormats, count, formats);
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvReadItemProperties(BYTE*, LONG, ULONG, const tagPROPSPEC*,
                                                                 LONG* error) {
    if (error) *error = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvLockWiaDevice(BYTE*, LONG, LONG* error) {
    if (error) *error = 0;
    if (stiDevice_ == nullptr) return E_FAIL;
    return static_cast<IStiDevice*>(stiDevice_)->LockDevice(kDeviceLockMs);
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvUnLockWiaDevice(BYTE*, LONG, LONG* error) {
    if (error) *error = 0;
    if (stiDevice_ == nullptr) return E_FAIL;
    return static_cast<IStiDevice*>(stiDevice_)->UnLockDevice();
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvAnalyzeItem(BYTE*, LONG, LONG* error) {
    if (error) *error = 0;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvGetDeviceErrorStr(LONG, LONG deviceError, LPOLESTR* text,
                                                                LONG* error) {
    if (error) *error = 0;
    if (text == nullptr) return E_INVALIDARG;
    *text = TaskText(deviceError == 0 ? kNoError : kUnknownError, 0);
    if (*text == nullptr) return E_OUTOFMEMORY;
    return deviceError == 0 ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvDeviceCommand(BYTE* context, LONG, const GUID* command,
                                                            IWiaDrvItem** item, LONG* error) {
    if (error) *error = 0;
    if (item) *item = nullptr;
    if (command != nullptr && IsEqualGUID(*command, WIA_CMD_SYNCHRONIZE)) return Synchronize(context);
    return E_NOTIMPL;
}

HRESULT VarnixWiaDevice::Synchronize(BYTE* context) {
    HRESULT result = DestroyDriverItemTree();
    if (FAILED(result)) return result;
    result = BuildDriverItemTree();
    BSTR fullName = nullptr;
    BSTR deviceId = nullptr;
    BYTE* root = nullptr;
    if (context != nullptr && wiasReadPropStr(context, WIA_IPA_FULL_ITEM_NAME, &fullName, nullptr, TRUE) == S_OK &&
        wiasGetRootItem(context, &root) == S_OK &&
        wiasReadPropStr(root, WIA_DIP_DEV_ID, &deviceId, nullptr, TRUE) == S_OK) {
        wiasQueueEvent(deviceId, &WIA_EVENT_TREE_UPDATED, fullName);
    }
    SysFreeString(fullName);
    SysFreeString(deviceId);
    return result;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvDeleteItem(BYTE*, LONG, LONG* error) {
    if (error) *error = 0;
    return STG_E_ACCESSDENIED;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvFreeDrvItemContext(LONG, BYTE*, LONG* error) {
    if (error) *error = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvUnInitializeWia(BYTE* context) {
    if (context == nullptr) return S_OK;
    LONG count = initializeCount_.load();
    while (count > 0 && !initializeCount_.compare_exchange_weak(count, count - 1)) {
    }
    if (count <= 1) DestroyDriverItemTree();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvNotifyPnpEvent(const GUID* event, BSTR, ULONG) {
    if (event == nullptr) return S_OK;
    if (IsEqualGUID(*event, WIA_EVENT_POWER_SUSPEND)) {
        PowerSuspend();
    } else if (IsEqualGUID(*event, WIA_EVENT_POWER_RESUME)) {
        PowerResume();
    } else if (IsEqualGUID(*event, WIA_EVENT_DEVICE_DISCONNECTED)) {
        disconnected_ = true;
        SetNotificationHandle(nullptr);
    } else if (IsEqualGUID(*event, WIA_EVENT_DEVICE_CONNECTED)) {
        disconnected_ = false;
        Reconnect();
    }
    return S_OK;
}

// A device plugged in again: the listener (ended on the removal, or still
// waiting on the old handle) is started again on a fresh handle, and the library, whose communication
// failure is sticky until it is reopened, is opened again.
void VarnixWiaDevice::Reconnect() {
    // Only the monitor instance listens; a listener still waiting on the old
    // handle is stopped (its wait cancelled) before the handle is replaced.
    if (listenerThread_ == nullptr) return;
    StopListener();
    ResetEvent(listenerStop_.Handle());
    OpenDevice();
    {
        LibraryAccess::Guard guard(access_);
        if (libraryOpen_) {
            library_.CloseInterface();
            libraryOpen_ = library_.OpenInterface(kDirectModel) == SI_OK;
        }
    }
    StartListener();
}

// StiLock is held, while the device sleeps, by a thread of its own: a
// mutex is released by the thread that took it, and the service may deliver
// the resume on another thread than the suspend.
unsigned __stdcall VarnixWiaDevice::SuspendLockEntry(void* self) {
    auto* device = static_cast<VarnixWiaDevice*>(self);
    const DWORD taken = WaitForSingleObject(device->stiLock_.Handle(), kSuspendLockMs);
    const bool held = taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED;
    device->suspendLockHeld_ = held;
    SetEvent(device->suspendLockTaken_);
    if (!held) return 0;
    WaitForSingleObject(device->suspendLockRelease_, INFINITE);
    ReleaseMutex(device->stiLock_.Handle());
    return 0;
}

void VarnixWiaDevice::PowerSuspend() {
    suspended_ = true;
    if (suspendLockThread_ == nullptr && stiLock_.Handle() != nullptr) {
        suspendLockTaken_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        suspendLockRelease_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        unsigned id = 0;
        suspendLockThread_ =
            reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &SuspendLockEntry, this, 0, &id));
        if (suspendLockThread_ != nullptr) WaitForSingleObject(suspendLockTaken_, INFINITE);
    }
    LibraryAccess::Guard guard(access_);
    if (libraryOpen_) {
        access_.SetSingle(SI_PROP_POWER_DOWN_ON_CLOSE, 1);
        library_.CloseInterface();
    }
    libraryOpen_ = false;
    library_.UnloadScannerLibrary();
}

// Gives StiLock back (through the thread that holds it).
static void ReleaseSuspendLock(HANDLE* thread, HANDLE* taken, HANDLE* release) {
    if (*thread == nullptr) return;
    SetEvent(*release);
    WaitForSingleObject(*thread, INFINITE);
    CloseHandle(*thread);
    CloseHandle(*taken);
    CloseHandle(*release);
    *thread = *taken = *release = nullptr;
}

void VarnixWiaDevice::PowerResume() {
    if (!libraryOpen_) {
        Sleep(kResumeSettleMs);
        bool opened = false;
        {
            LibraryAccess::Guard guard(access_);
            if (library_.LoadScannerLibrary(deviceKey_)) {
                for (int attempt = 0; attempt < kReopenAttempts && !opened; ++attempt) {
                    if (attempt > 0) Sleep(kReopenPauseMs);
                    opened = library_.OpenInterface(kDirectModel) == SI_OK;
                }
                if (!opened) library_.UnloadScannerLibrary();
            }
            libraryOpen_ = opened;
        }
        // The device is given back to other processes whether or not the
        // library came back; only the suspended flag stays.
        ReleaseSuspendLock(&suspendLockThread_, &suspendLockTaken_, &suspendLockRelease_);
        suspendLockHeld_ = false;
        if (!opened) return;
    }
    suspended_ = false;
}
