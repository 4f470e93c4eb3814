// The minidriver's device object: its own identity (INonDelegatingUnknown),
// the Still Image driver face (IStiUSD) and the WIA face (IWiaMiniDrv) on
// one object, which the service may aggregate.
#pragma once

#include "DeviceEvents.h"
#include "LibraryAccess.h"
#include "OSObject.h"
#include "PrefeedThread.h"
#include "ScannerLibrary.h"
#include "WiaItemContext.h"

#include <stiusd.h>
#include <wiamindr.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

inline constexpr CLSID CLSID_VarnixWiaDevice = {0x4161996E, 0x4020, 0x4EEA,
                                                {0x8C, 0x0B, 0xAE, 0x43, 0x82, 0x53, 0xEF, 0x01}};

// The object's own unknown, which never forwards to an outer object.
struct INonDelegatingUnknown {
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;

protected:
    ~INonDelegatingUnknown() = default;
};

class VarnixWiaDevice final : public INonDelegatingUnknown, public IStiUSD, public IWiaMiniDrv {
public:
    explicit VarnixWiaDevice(IUnknown* outer);

    // ---- identity ----
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // ---- IStiUSD ----
    HRESULT STDMETHODCALLTYPE Initialize(PSTIDEVICECONTROL control, DWORD stiVersion, HKEY deviceKey) override;
    HRESULT STDMETHODCALLTYPE GetCapabilities(PSTI_USD_CAPS caps) override;
    HRESULT STDMETHODCALLTYPE GetStatus(PSTI_DEVICE_STATUS status) override;
    HRESULT STDMETHODCALLTYPE DeviceReset() override;
    HRESULT STDMETHODCALLTYPE Diagnostic(LPSTI_DIAG diag) override;
    HRESULT STDMETHODCALLTYPE Escape(STI_RAW_CONTROL_CODE code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                     LPDWORD returned) override;
    HRESULT STDMETHODCALLTYPE GetLastError(LPDWORD lastError) override;
    HRESULT STDMETHODCALLTYPE LockDevice() override;
    HRESULT STDMETHODCALLTYPE UnLockDevice() override;
    HRESULT STDMETHODCALLTYPE RawReadData(LPVOID buffer, LPDWORD length, LPOVERLAPPED overlapped) override;
    HRESULT STDMETHODCALLTYPE RawWriteData(LPVOID buffer, DWORD length, LPOVERLAPPED overlapped) override;
    HRESULT STDMETHODCALLTYPE RawReadCommand(LPVOID ioBlock, LPDWORD length, LPOVERLAPPED overlapped) override;
    HRESULT STDMETHODCALLTYPE RawWriteCommand(LPVOID ioBlock, DWORD length, LPOVERLAPPED overlapped) override;
    HRESULT STDMETHODCALLTYPE SetNotificationHandle(HANDLE event) override;
    HRESULT STDMETHODCALLTYPE GetNotificationData(LPSTINOTIFY notify) override;
    HRESULT STDMETHODCALLTYPE GetLastErrorInfo(STI_ERROR_INFO* info) override;

    // ---- IWiaMiniDrv ----
    HRESULT STDMETHODCALLTYPE drvInitializeWia(BYTE*, LONG, BSTR, BSTR, IUnknown*, IUnknown*, IWiaDrvItem**,
                                               IUnknown**, LONG*) override;
    HRESULT STDMETHODCALLTYPE drvAcquireItemData(BYTE*, LONG, _MINIDRV_TRANSFER_CONTEXT*, LONG*) override;
    HRESULT STDMETHODCALLTYPE drvInitItemProperties(BYTE*, LONG, LONG*) override;
    HRESULT STDMETHODCALLTYPE drvValidateItemProperties(BYTE*, LONG, ULONG, const tagPROPSPEC*, LONG*) override;
    HRESULT STDMETHODCALLTYPE drvWriteItemProperties(BYTE*, LONG, _MINIDRV_TRANSFER_CONTEXT*, LONG*) override;
    HRESULT STDMETHODCALLTYPE drvReadItemProperties(BYTE*, LONG, ULONG, const tagPROPSPEC*, LONG*) override;
    HRESULT STDMETHODCALLTYPE drvLockWiaDevice(BYTE*, LONG, LONG*) override;
    HRESULT STDMETHODCALLTYPE drvUnLockWiaDevice(BYTE*, LONG, LONG*) override;
    HRESULT STDMETHODCALLTYPE drvAnalyzeItem(BYTE*, LONG, LONG*) override;
    HRESULT STDMETHODCALLTYPE drvGetDeviceErrorStr(LONG, LONG, LPOLESTR*, LONG*) override;
    HRESULT STDMETHODCALLTYPE drvDeviceCommand(BYTE*, LONG, const GUID*, IWiaDrvItem**, LONG*) override;
    HRESULT STDMETHODCALLTYPE drvGetCapabilities(BYTE*, LONG, LONG*, _WIA_DEV_CAP_DRV**, LONG*) override;
    HRESULT STDMETHODCALLTYPE drvDeleteItem(BYTE*, LONG, LONG*) override;
    HRESULT STDMETHODCALLTYPE drvFreeDrvItemContext(LONG, BYTE*, LONG*) override;
    HRESULT STDMETHODCALLTYPE drvGetWiaFormatInfo(BYTE*, LONG, LONG*, _WIA_FORMAT_INFO**, LONG*) override;
    HRESULT STDMETHODCALLTYPE drvNotifyPnpEvent(const GUID*, BSTR, ULONG) override;
    HRESULT STDMETHODCALLTYPE drvUnInitializeWia(BYTE*) override;

    // ---- used by the other faces ----
    HRESULT OpenDevice();
    void CheckOsVersion();
    int OsGeneration() const { return osGeneration_; }
    int WiaVersion() const { return wiaVersion_; }
    OSObject& ScanLock() { return scanLock_; }
    OSObject& AbortEvent() { return abortEvent_; }
    bool LibraryOpen() const { return libraryOpen_; }
    LibraryAccess& Library() { return access_; }
    const std::vector<RegistryEvent>& RegistryEvents() const { return events_; }

private:
    ~VarnixWiaDevice();

    // The non-delegating identity handed out as an IUnknown: the controlling
    // unknown of an object that is not aggregated.
    class NonDelegatingView final : public IUnknown {
    public:
        explicit NonDelegatingView(VarnixWiaDevice* owner) : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
            return owner_->NonDelegatingQueryInterface(riid, ppv);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return owner_->NonDelegatingAddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return owner_->NonDelegatingRelease(); }

    private:
        VarnixWiaDevice* owner_;
    };
    IUnknown* NonDelegatingIdentity() { return &nonDelegating_; }
    NonDelegatingView nonDelegating_{this};
    void SetLastDeviceError(DWORD error);
    // Binds and opens the library for one call; false (and nothing bound)
    // when either fails. A library whose one interface is already open in
    // this process (the service's monitor instance) is used as it is and
    // not closed afterwards.
    bool BindLibraryForCall();
    void ReleaseLibraryForCall();
    // The escapes answered by the library (calibrate, paper status).
    HRESULT LibraryEscape(STI_RAW_CONTROL_CODE code, LPVOID out, DWORD outSize, LPDWORD returned);
    bool openedForCall_ = false;
    // Issues one I/O on the device file and completes it (see the .cpp).
    template <typename Issue>
    HRESULT CompleteIo(Issue issue, LPOVERLAPPED callerOverlapped, DWORD* transferred);

    // ---- interrupt listener and device events ----
    bool StartListener();
    void StopListener();
    static unsigned __stdcall ListenerEntry(void* self);
    void ListenForInterrupts();
    int WaitForDriverEvent(OVERLAPPED* overlapped);
    GUID DecodeInterruptEvent();

    // ---- item tree, capabilities, power ----
    HRESULT BuildDriverItemTree();
    HRESULT DestroyDriverItemTree();
    HRESULT BuildCapabilities();
    void FreeCapabilities();
    HRESULT Synchronize(BYTE* context);
    void Reconnect();
    void PowerSuspend();
    void PowerResume();
    static unsigned __stdcall SuspendLockEntry(void* self);

    // ---- properties ----
    HRESULT InitRootItemProperties(BYTE* context);
    HRESULT InitChildItemProperties(BYTE* context);
    HRESULT SetItemSize(BYTE* context);
    HRESULT CheckIntent(BYTE* context, WIA_PROPERTY_CONTEXT* changes);
    HRESULT CheckDataType(BYTE* context, WIA_PROPERTY_CONTEXT* changes);
    HRESULT CheckDepth(BYTE* context, WIA_PROPERTY_CONTEXT* changes);
    HRESULT CheckXResolution(BYTE* context, WIA_PROPERTY_CONTEXT* changes);
    HRESULT CheckYResolution(BYTE* context, WIA_PROPERTY_CONTEXT* changes);
    struct Rescaled {
        LONG extent, start, maximum, largestStart;
    };
    Rescaled RescaleWithLibrary(BYTE* context, WIA_PROPERTY_CONTEXT* changes, LONG old, LONG next, bool horizontal);
    HRESULT CheckPos(BYTE* context, WIA_PROPERTY_CONTEXT* changes, bool horizontal);
    HRESULT CheckExtent(BYTE* context, WIA_PROPERTY_CONTEXT* changes, bool horizontal);
    void ReadModelGeometry();
    WiaItemContext* ItemContext(BYTE* context);

    // ---- transfers ----
    HRESULT ValidateDataTransferContext(const MINIDRV_TRANSFER_CONTEXT* transfer);
    HRESULT ScanItemCB(BYTE* context, MINIDRV_TRANSFER_CONTEXT* transfer, WiaItemContext* item);
    HRESULT ScanItem(BYTE* context, MINIDRV_TRANSFER_CONTEXT* transfer, WiaItemContext* item);
    HRESULT ScanItemWia2(BYTE* context, MINIDRV_TRANSFER_CONTEXT* transfer, WiaItemContext* item);

    std::atomic<ULONG> references_{1};
    IUnknown* controlling_ = nullptr;

    HANDLE deviceHandle_ = INVALID_HANDLE_VALUE;
    std::string devicePath_;
    DWORD lastDeviceError_ = 0;
    CRITICAL_SECTION deviceSection_;

    OSObject stiLock_;
    OSObject scanLock_;
    OSObject abortEvent_;
    OSObject presenceMutex_;
    OSObject listenerStop_;

    HKEY deviceKey_ = nullptr;
    HKEY eventsKey_ = nullptr;
    HANDLE notificationHandle_ = nullptr;
    GUID pendingEvent_{};

    IStiDeviceControl* deviceControl_ = nullptr;
    ScannerLibrary library_;
    bool libraryOpen_ = false;
    bool initialized_ = false;
    bool logOpened_ = false;
    int osGeneration_ = 0;
    int wiaVersion_ = 1;

    // Library calls of every thread, serialised; bound-and-open checked.
    LibraryAccess access_{library_, libraryOpen_};

    // Interrupt listener and device events.
    std::vector<RegistryEvent> events_;
    HANDLE listenerThread_ = nullptr;
    std::atomic<bool> suspended_{false};
    std::atomic<bool> disconnected_{false};
    SIEvent interrupt_{};
    BYTE interruptBuffer_[1] = {};
    PrefeedThread prefeed_;

    // Power: the thread that holds StiLock while the device sleeps.
    HANDLE suspendLockThread_ = nullptr;
    HANDLE suspendLockTaken_ = nullptr;
    HANDLE suspendLockRelease_ = nullptr;
    bool suspendLockHeld_ = false;

    // WIA side.
    std::wstring deviceId_;
    std::wstring rootName_;
    IUnknown* stiDevice_ = nullptr;
    IWiaDrvItem* rootItem_ = nullptr;
    std::atomic<LONG> initializeCount_{0};
    std::vector<WIA_DEV_CAP_DRV> capabilities_;
    std::vector<GUID> capabilityGuids_;
    bool capabilitiesBuilt_ = false;
    LONG opticalResolution_ = 0;
    LONG opticalWidth_ = 0;
    LONG opticalLength_ = 0;
};
