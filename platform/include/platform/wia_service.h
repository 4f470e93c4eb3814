// The image-acquisition service's side of one WIA device, as the service
// host and tests drive it: the minidriver's item tree and properties,
// validation of an application's writes, transfers by callback, file or
// stream, device notifications, and the events raised for clients. Every
// driver call is bracketed by drvLockWiaDevice/drvUnLockWiaDevice, as the
// service does. WIA 2 when the reported Windows version is 6 or later.
#pragma once

#include <wiamindr.h>
#include <stiusd.h>

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform::wia {

struct ServiceEvent {
    std::wstring deviceId;
    GUID event{};
    std::wstring item;
};

// The WIA log object's file: one line per logged line, "<driver module>
// <TRACE|WARNING|ERROR> <detail> <resource id> <text>", "<driver module>
// INIT log opened" when a driver initialises its object.
inline constexpr char kDriverLogFile[] = "C:\\Windows\\imgsvc-wia.log";
// Makes CoCreateInstance serve the WIA log class (CLSID_WiaLog, in process)
// in this process, as the image-acquisition service does in its own.
PLATFORM_EXPORT void ServeDriverLogClass();

// Takes every event raised since the last call (oldest first).
PLATFORM_EXPORT std::vector<ServiceEvent> TakeServiceEvents();
// Waits up to `ms` for an event and takes the events then queued.
PLATFORM_EXPORT std::vector<ServiceEvent> WaitServiceEvents(DWORD ms);

enum class Transfer { Callback, File, Stream };

struct PropertyInfo {
    std::wstring name;
    ULONG access = 0;
    LONG min = 0, nominal = 0, max = 0, step = 0;
    std::vector<LONG> list;
    std::vector<GUID> guids;  // a list of formats and the like
    GUID guidNominal{};
    LONG validBits = 0;
};

// One property as an application reads or writes it: by identifier, or by
// name when `name` is not empty. VT_EMPTY after a read: no such property.
struct PropertyData {
    PROPID id = 0;
    std::wstring name;
    VARTYPE vt = VT_EMPTY;  // VT_I4, VT_UI4, VT_BSTR or VT_CLSID
    LONG number = 0;
    std::wstring text;
    GUID guid{};
};

struct Capability {
    GUID guid{};
    ULONG flags = 0;
    std::wstring name;
    std::wstring description;
    std::wstring icon;
};

struct AcquireResult {
    HRESULT result = E_FAIL;
    std::vector<std::string> pages;  // BMP files, one per page, in order
    std::vector<LONG> progress;      // percentages the driver reported
    int bands = 0;                   // data messages or stream writes
};

class PLATFORM_EXPORT DeviceService {
public:
    // `driver`: any interface of the minidriver's object (IStiUSD), already
    // initialised by the Still Image side.
    DeviceService(IUnknown* driver, std::wstring deviceId);
    ~DeviceService();
    DeviceService(const DeviceService&) = delete;
    DeviceService& operator=(const DeviceService&) = delete;

    // drvInitializeWia and the properties of every item.
    HRESULT Initialize();
    static int WiaVersion();
    IWiaMiniDrv* Driver() const { return driver_; }
    BYTE* Root() const;
    // The first child of the root (the scanning item), null without one.
    BYTE* Feeder() const;

    HRESULT ReadLong(BYTE* item, PROPID id, LONG* value);
    HRESULT ReadGuid(BYTE* item, PROPID id, GUID* value);
    HRESULT ReadText(BYTE* item, PROPID id, std::wstring* value);
    bool Info(BYTE* item, PROPID id, PropertyInfo* info);
    // The identifier of the item's property of that name, 0 when none.
    PROPID IdOf(BYTE* item, const std::wstring& name);
    // An application's write: the values stored, the driver validates them
    // (drvValidateItemProperties); a refusal puts every value back.
    HRESULT WriteLongs(BYTE* item, const std::vector<std::pair<PROPID, LONG>>& values);
    HRESULT WriteGuid(BYTE* item, PROPID id, const GUID& value);
    // An application's read of several properties: each entry's identifier
    // (found by name when it has one), type and value; S_FALSE when the
    // item has none of them.
    HRESULT Read(BYTE* item, std::vector<PropertyData>* values);
    // An application's write of several properties of any type, validated
    // by the driver as WriteLongs.
    HRESULT Write(BYTE* item, const std::vector<PropertyData>& values);
    HRESULT ItemFlags(BYTE* item, LONG* flags);

    HRESULT Capabilities(LONG flags, std::vector<Capability>* out);
    HRESULT Formats(BYTE* item, std::vector<WIA_FORMAT_INFO>* out);
    // drvInitItemProperties for the root and each child.
    HRESULT InitializeProperties();
    // The driver's Synchronize command, then the new tree.
    HRESULT Synchronize();
    HRESULT NotifyPnp(const GUID& event);

    // One acquisition into PREFIX-1.bmp, PREFIX-2.bmp...; a cancel after
    // `cancelAfterBands` data messages when it is not negative.
    AcquireResult Acquire(BYTE* item, Transfer kind, const std::string& prefix, int cancelAfterBands = -1);
    // Asks a running acquisition to stop at its next message.
    void Cancel() { cancel_ = true; }

private:
    IWiaMiniDrv* driver_ = nullptr;
    IStiDevice* stiDevice_ = nullptr;
    IWiaDrvItem* root_ = nullptr;
    std::wstring deviceId_;
    int initializations_ = 0;
    std::atomic<bool> cancel_{false};
};

// The service's event monitor for one device: a notification event handed
// to the driver, a thread that fetches each notification and raises it as a
// service event for `deviceId`. Stopped and joined by its destructor.
class PLATFORM_EXPORT EventMonitor {
public:
    EventMonitor(IStiUSD* driver, std::wstring deviceId);
    ~EventMonitor();
    EventMonitor(const EventMonitor&) = delete;
    EventMonitor& operator=(const EventMonitor&) = delete;

private:
    struct State;
    State* state_;
};

// Raises an event for the service's clients (the host's event monitor).
PLATFORM_EXPORT void RaiseServiceEvent(const std::wstring& deviceId, const GUID& event, const std::wstring& item);

// The installed WIA devices of the machine, in order.
struct DeviceEntry {
    std::wstring name;  // the Still Image internal name
    std::wstring description;
    std::wstring port;
    std::wstring vendor;
    std::wstring deviceDescription;
    DWORD type = 0;  // the Still Image device type
};
PLATFORM_EXPORT std::vector<DeviceEntry> ListDevices();

// Another process's view of the devices the image-acquisition service host
// serves (the host is started when none runs). Items: 0 the root, 1 the
// feeder. Failures of the connection answer E_FAIL.
class PLATFORM_EXPORT ServiceClient {
public:
    ServiceClient();
    ~ServiceClient();
    ServiceClient(const ServiceClient&) = delete;
    ServiceClient& operator=(const ServiceClient&) = delete;

    bool Connected() const;
    std::vector<DeviceEntry> Devices();
    HRESULT ReadLong(const std::wstring& device, int item, PROPID id, LONG* value);
    HRESULT WriteLongs(const std::wstring& device, int item, const std::vector<std::pair<PROPID, LONG>>& values);
    AcquireResult Acquire(const std::wstring& device, int item, Transfer kind, const std::string& prefix,
                          int cancelAfterBands = -1);
    // From any thread (a connection of its own): stops a running acquisition.
    HRESULT Cancel(const std::wstring& device);
    // Events raised since the last call, waiting up to `ms` for the first.
    std::vector<ServiceEvent> Events(DWORD ms);
    HRESULT NotifyPnp(const std::wstring& device, const GUID& event);
    HRESULT Capabilities(const std::wstring& device, LONG flags, std::vector<Capability>* out);
    // The item's flags; an error for a device the host does not serve.
    HRESULT ItemFlags(const std::wstring& device, int item, LONG* flags);
    // DeviceService::Read and Write in the host.
    HRESULT Read(const std::wstring& device, int item, std::vector<PropertyData>* values);
    HRESULT Write(const std::wstring& device, int item, const std::vector<PropertyData>& values);
    // Access flags and valid values; `found` false for a missing property.
    HRESULT Attributes(const std::wstring& device, int item, const std::vector<PropertyData>& which,
                       std::vector<PropertyInfo>* out, std::vector<bool>* found);

private:
    struct Connection;
    Connection* connection_;
};

}  // namespace platform::wia
