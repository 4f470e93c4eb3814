// The service's side of one WIA device: driver calls under the driver's
// device lock, application writes with validation, and the three kinds of
// transfer with their page files.
#include "wiaservice/DriverItem.h"
#include "wiaservice/FileStream.h"
#include "wiaservice/ServiceEvents.h"

#include <platform/wia_service.h>

#include <oleauto.h>
#include <process.h>
#include <sti.h>
#include <windows.h>

#include <cstring>
#include <map>
#include <new>

namespace platform::wia {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// The service's IStiDevice as its drivers see it: the device lock goes to
// the driver's own Still Image face. The driver keeps this object for its
// life, so it holds no reference on the driver (that would be a cycle).
class LockingDevice final : public IStiDevice {
public:
    explicit LockingDevice(IStiUSD* usd) : usd_(usd) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_INVALIDARG;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, LPCWSTR, DWORD, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCapabilities(PSTI_DEV_CAPS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStatus(PSTI_DEVICE_STATUS status) override { return usd_->GetStatus(status); }
    HRESULT STDMETHODCALLTYPE DeviceReset() override { return usd_->DeviceReset(); }
    HRESULT STDMETHODCALLTYPE Diagnostic(LPSTI_DIAG diag) override { return usd_->Diagnostic(diag); }
    HRESULT STDMETHODCALLTYPE Escape(STI_RAW_CONTROL_CODE code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                     LPDWORD returned) override {
        return usd_->Escape(code, in, inSize, out, outSize, returned);
    }
    HRESULT STDMETHODCALLTYPE GetLastError(LPDWORD error) override { return usd_->GetLastError(error); }
    // The driver's lock waits its own time; the service's time-out is the
    // driver's business.
    HRESULT STDMETHODCALLTYPE LockDevice(DWORD) override { return usd_->LockDevice(); }
    HRESULT STDMETHODCALLTYPE UnLockDevice() override { return usd_->UnLockDevice(); }
    HRESULT STDMETHODCALLTYPE RawReadData(LPVOID, LPDWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawWriteData(LPVOID, DWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawReadCommand(LPVOID, LPDWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawWriteCommand(LPVOID, DWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Subscribe(LPSTISUBSCRIBE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLastNotificationData(LPSTINOTIFY) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnSubscribe() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLastErrorInfo(STI_ERROR_INFO* info) override { return usd_->GetLastErrorInfo(info); }

private:
    ~LockingDevice() = default;
    std::atomic<ULONG> references_{1};
    IStiUSD* usd_;
};

std::string PagePath(const std::string& prefix, size_t page) { return prefix + "-" + std::to_string(page) + ".bmp"; }

void Put32(std::vector<BYTE>& bytes, size_t at, uint32_t v) { std::memcpy(bytes.data() + at, &v, 4); }
uint32_t Get32(const BYTE* at) {
    uint32_t v;
    std::memcpy(&v, at, 4);
    return v;
}

bool WriteWholeFile(const std::string& path, const std::vector<BYTE>& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(file);
    return ok;
}

// The application's end of one transfer: collects banded data into pages,
// switches the page file at each end of page, hands out one stream per
// page, records progress and answers S_FALSE once cancelled.
class TransferSink final : public IWiaMiniDrvCallBack, public IWiaMiniDrvTransferCallback {
public:
    TransferSink(Transfer kind, std::string prefix, int cancelAfterBands, std::atomic<bool>* cancel)
        : kind_(kind), prefix_(std::move(prefix)), cancelAfterBands_(cancelAfterBands), cancel_(cancel) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_INVALIDARG;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IWiaMiniDrvCallBack)) {
            *ppv = static_cast<IWiaMiniDrvCallBack*>(this);
        } else if (IsEqualIID(riid, IID_IWiaMiniDrvTransferCallback) && kind_ == Transfer::Stream) {
            *ppv = static_cast<IWiaMiniDrvTransferCallback*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    // Lives on the service's stack for the transfer.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE MiniDrvCallback(LONG reason, LONG, LONG percent, LONG offset, LONG length,
                                              PMINIDRV_TRANSFER_CONTEXT context, LONG) override {
        switch (reason) {
            case IT_MSG_DATA:
                if (offset < 0 || length < 0 || (length > 0 && context->pTransferBuffer == nullptr)) {
                    return E_INVALIDARG;
                }
                if (static_cast<size_t>(offset) + static_cast<size_t>(length) > page_.size()) {
                    page_.resize(static_cast<size_t>(offset) + static_cast<size_t>(length));
                }
                std::memcpy(page_.data() + offset, context->pTransferBuffer, static_cast<size_t>(length));
                progress.push_back(percent);
                if (length > 0 && offset > 0) ++bands;
                return Go();
            case IT_MSG_STATUS:
                progress.push_back(percent);
                ++bands;
                return Go();
            case IT_MSG_NEW_PAGE: return EndPage(context);
            default: return S_OK;
        }
    }

    HRESULT STDMETHODCALLTYPE GetNextStream(LONG, BSTR, BSTR, IStream** stream) override {
        if (stream == nullptr) return E_INVALIDARG;
        *stream = nullptr;
        if (cancel_->load()) return S_FALSE;
        const std::string path = PagePath(prefix_, pages.size() + 1);
        FileStream* created = FileStream::Create(path);
        if (created == nullptr) return E_FAIL;
        pages.push_back(path);
        *stream = created;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SendMessage(LONG, WiaTransferParams* params) override {
        if (params == nullptr) return E_INVALIDARG;
        progress.push_back(params->lPercentComplete);
        ++bands;
        return Go();
    }

    // File transfers: the first page's file, before the driver writes.
    bool OpenFirstFile(MINIDRV_TRANSFER_CONTEXT* context) { return OpenFile(context); }

    // After the transfer: the last page of a callback transfer that the
    // driver didn't end, and an empty file opened for a page that never came.
    void Finish(MINIDRV_TRANSFER_CONTEXT* context) {
        if (kind_ == Transfer::Callback && !page_.empty()) WritePage();
        if (kind_ == Transfer::File && file_ != INVALID_HANDLE_VALUE) {
            const DWORD size = GetFileSize(file_, nullptr);
            CloseHandle(file_);
            file_ = INVALID_HANDLE_VALUE;
            context->hFile = reinterpret_cast<LONG_PTR>(INVALID_HANDLE_VALUE);
            if (size == 0) {
                DeleteFileA(pages.back().c_str());
                pages.pop_back();
            }
        }
    }

    std::vector<std::string> pages;
    std::vector<LONG> progress;
    int bands = 0;

private:
    HRESULT Go() {
        if (cancelAfterBands_ >= 0 && bands >= cancelAfterBands_) *cancel_ = true;
        return cancel_->load() ? S_FALSE : S_OK;
    }

    bool OpenFile(MINIDRV_TRANSFER_CONTEXT* context) {
        const std::string path = PagePath(prefix_, pages.size() + 1);
        file_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ == INVALID_HANDLE_VALUE) return false;
        pages.push_back(path);
        context->hFile = reinterpret_cast<LONG_PTR>(file_);
        return true;
    }

    HRESULT EndPage(MINIDRV_TRANSFER_CONTEXT* context) {
        if (kind_ == Transfer::Callback) {
            WritePage();
        } else if (kind_ == Transfer::File) {
            if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
            file_ = INVALID_HANDLE_VALUE;
            if (!OpenFile(context)) return E_FAIL;
        }
        return S_OK;
    }

    // A memory bitmap page (information header, palette, rows) as a BMP file.
    void WritePage() {
        if (page_.size() < 40) {
            page_.clear();
            return;
        }
        const uint32_t depth = page_[14] | page_[15] << 8;
        uint32_t colours = Get32(page_.data() + 32);
        if (colours == 0 && depth <= 8) colours = 1u << depth;
        const uint32_t header = 40 + colours * 4;
        std::vector<BYTE> file(14 + page_.size());
        file[0] = 'B';
        file[1] = 'M';
        Put32(file, 2, static_cast<uint32_t>(file.size()));
        Put32(file, 10, 14 + header);
        std::memcpy(file.data() + 14, page_.data(), page_.size());
        const std::string path = PagePath(prefix_, pages.size() + 1);
        if (WriteWholeFile(path, file)) pages.push_back(path);
        page_.clear();
    }

    Transfer kind_;
    std::string prefix_;
    int cancelAfterBands_;
    std::atomic<bool>* cancel_;
    std::vector<BYTE> page_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace

DeviceService::DeviceService(IUnknown* driver, std::wstring deviceId) : deviceId_(std::move(deviceId)) {
    if (driver == nullptr) return;
    driver->QueryInterface(IID_IWiaMiniDrv, reinterpret_cast<void**>(&driver_));
    IStiUSD* usd = nullptr;
    if (SUCCEEDED(driver->QueryInterface(IID_IStiUSD, reinterpret_cast<void**>(&usd)))) {
        stiDevice_ = new LockingDevice(usd);
        usd->Release();
    }
}

DeviceService::~DeviceService() {
    if (driver_ != nullptr && root_ != nullptr) {
        // The service's last reference to the tree goes before the driver
        // destroys it.
        BYTE* context = Root();
        root_->AddRef();
        for (int i = 0; i < initializations_; ++i) driver_->drvUnInitializeWia(context);
        root_->Release();
        root_->Release();
        root_ = nullptr;
    }
    if (driver_) driver_->Release();
    if (stiDevice_) stiDevice_->Release();
}

int DeviceService::WiaVersion() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwMajorVersion >= 6 ? 2 : 1;
}

BYTE* DeviceService::Root() const { return root_ ? static_cast<DriverItem*>(root_)->Context() : nullptr; }

BYTE* DeviceService::Feeder() const {
    if (root_ == nullptr) return nullptr;
    Lock lock(StoreLock());
    const auto& children = static_cast<DriverItem*>(root_)->Children();
    return children.empty() ? nullptr : children.front()->Context();
}

HRESULT DeviceService::Initialize() {
    if (driver_ == nullptr) return E_NOINTERFACE;
    IWiaDrvItem* root = nullptr;
    IUnknown* inner = nullptr;
    LONG error = 0;
    BSTR id = SysAllocString(deviceId_.c_str());
    BSTR rootName = SysAllocString((L"0000\\" + deviceId_ + L"\\Root").c_str());
    // The service's own root context while it has none: a placeholder item.
    IWiaDrvItem* placeholder = nullptr;
    wiasCreateDrvItem(WiaItemTypeRoot, id, rootName, driver_, 0, nullptr, &placeholder);
    HRESULT result = driver_->drvInitializeWia(static_cast<DriverItem*>(placeholder)->Context(), 0, id, rootName,
                                               stiDevice_, nullptr, &root, &inner, &error);
    placeholder->Release();
    SysFreeString(id);
    SysFreeString(rootName);
    if (FAILED(result)) return result;
    if (root == nullptr) return E_UNEXPECTED;
    if (root_ != nullptr) root_->Release();
    root->AddRef();
    root_ = root;
    ++initializations_;
    return InitializeProperties();
}

HRESULT DeviceService::Synchronize() {
    if (root_ == nullptr) return E_UNEXPECTED;
    LONG error = 0;
    IWiaDrvItem* none = nullptr;
    driver_->drvLockWiaDevice(Root(), 0, &error);
    const HRESULT result = driver_->drvDeviceCommand(Root(), 0, &WIA_CMD_SYNCHRONIZE, &none, &error);
    driver_->drvUnLockWiaDevice(Root(), 0, &error);
    if (FAILED(result)) return result;
    // The driver built a new tree: take its root as a new initialisation.
    return Initialize();
}

HRESULT DeviceService::InitializeProperties() {
    if (root_ == nullptr) return E_UNEXPECTED;
    std::vector<BYTE*> items{Root()};
    {
        Lock lock(StoreLock());
        for (DriverItem* child : static_cast<DriverItem*>(root_)->Children()) items.push_back(child->Context());
    }
    for (BYTE* item : items) {
        // What the service keeps for every item: its names; and the
        // device's identifier on the root.
        DriverItem* driverItem = DriverItem::FromContext(item);
        std::vector<PROPSPEC> specs;
        std::vector<PROPVARIANT> values;
        std::vector<std::wstring> texts = {driverItem->Name(), driverItem->FullName(), deviceId_};
        const PROPID ids[] = {WIA_IPA_ITEM_NAME, WIA_IPA_FULL_ITEM_NAME, WIA_DIP_DEV_ID};
        for (size_t i = 0; i < (item == Root() ? 3u : 2u); ++i) {
            PROPSPEC property{};
            property.ulKind = PRSPEC_PROPID;
            property.propid = ids[i];
            specs.push_back(property);
            PROPVARIANT value{};
            value.vt = VT_BSTR;
            value.bstrVal = texts[i].data();
            values.push_back(value);
        }
        wiasWriteMultiple(item, static_cast<LONG>(specs.size()), specs.data(), values.data());
        LONG error = 0;
        driver_->drvLockWiaDevice(item, 0, &error);
        const HRESULT result = driver_->drvInitItemProperties(item, 0, &error);
        driver_->drvUnLockWiaDevice(item, 0, &error);
        if (FAILED(result)) return result;
    }
    return S_OK;
}

HRESULT DeviceService::ReadLong(BYTE* item, PROPID id, LONG* value) {
    return wiasReadPropLong(item, id, value, nullptr, TRUE);
}

HRESULT DeviceService::ReadGuid(BYTE* item, PROPID id, GUID* value) {
    return wiasReadPropGuid(item, id, value, nullptr, TRUE);
}

HRESULT DeviceService::ReadText(BYTE* item, PROPID id, std::wstring* value) {
    BSTR text = nullptr;
    const HRESULT result = wiasReadPropStr(item, id, &text, nullptr, TRUE);
    if (result == S_OK && value) *value = text;
    SysFreeString(text);
    return result;
}

bool DeviceService::Info(BYTE* item, PROPID id, PropertyInfo* info) {
    DriverItem* driverItem = DriverItem::FromContext(item);
    if (driverItem == nullptr || info == nullptr) return false;
    Lock lock(StoreLock());
    const Property* p = driverItem->Find(id);
    if (p == nullptr) return false;
    info->name = p->name;
    info->access = p->access;
    info->min = p->min;
    info->nominal = p->nominal;
    info->max = p->max;
    info->step = p->step;
    info->list = p->list;
    info->guids = p->guids;
    info->guidNominal = p->guidNominal;
    info->validBits = p->validBits;
    return true;
}

PROPID DeviceService::IdOf(BYTE* item, const std::wstring& name) {
    DriverItem* driverItem = DriverItem::FromContext(item);
    if (driverItem == nullptr || name.empty()) return 0;
    Lock lock(StoreLock());
    for (const auto& [id, p] : driverItem->Properties()) {
        if (p.name == name) return id;
    }
    return 0;
}

HRESULT DeviceService::ItemFlags(BYTE* item, LONG* flags) { return wiasGetItemType(item, flags); }

HRESULT DeviceService::Read(BYTE* item, std::vector<PropertyData>* values) {
    DriverItem* driverItem = DriverItem::FromContext(item);
    if (driverItem == nullptr || values == nullptr) return E_INVALIDARG;
    bool any = false;
    for (PropertyData& value : *values) {
        if (!value.name.empty()) value.id = IdOf(item, value.name);
        Lock lock(StoreLock());
        const Property* p = value.id != 0 ? driverItem->Find(value.id) : nullptr;
        if (p == nullptr || p->current.vt == VT_EMPTY) {
            value.vt = VT_EMPTY;
            continue;
        }
        any = true;
        value.vt = p->current.vt;
        value.number = p->current.number;
        value.text = p->current.text;
        value.guid = p->current.guid;
    }
    return any ? S_OK : S_FALSE;
}

namespace {

HRESULT ValidateWrite(IWiaMiniDrv* driver, BYTE* item, const std::vector<std::pair<PROPID, PropertyValue>>& values) {
    DriverItem* driverItem = DriverItem::FromContext(item);
    if (driverItem == nullptr) return E_INVALIDARG;
    std::map<PROPID, PropertyValue> before;
    {
        Lock lock(StoreLock());
        for (auto& [id, p] : driverItem->Properties()) {
            before[id] = p.current;
            p.old = p.current;
        }
        for (const auto& [id, value] : values) {
            Property* p = driverItem->Find(id);
            if (p == nullptr || !(p->access & WIA_PROP_WRITE)) return E_INVALIDARG;
            p->current = value;
        }
    }
    std::vector<PROPSPEC> specs(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        specs[i].ulKind = PRSPEC_PROPID;
        specs[i].propid = values[i].first;
    }
    LONG error = 0;
    HRESULT result = driver->drvLockWiaDevice(item, 0, &error);
    if (SUCCEEDED(result)) {
        result = driver->drvValidateItemProperties(item, 0, static_cast<ULONG>(specs.size()), specs.data(), &error);
        driver->drvUnLockWiaDevice(item, 0, &error);
    }
    Lock lock(StoreLock());
    for (auto& [id, p] : driverItem->Properties()) {
        if (FAILED(result) && before.count(id)) p.current = before[id];
        p.old = p.current;
    }
    return result;
}

}  // namespace

HRESULT DeviceService::WriteLongs(BYTE* item, const std::vector<std::pair<PROPID, LONG>>& values) {
    std::vector<std::pair<PROPID, PropertyValue>> typed;
    for (const auto& [id, v] : values) {
        PropertyValue value;
        value.vt = VT_I4;
        value.number = v;
        typed.emplace_back(id, value);
    }
    return ValidateWrite(driver_, item, typed);
}

HRESULT DeviceService::Write(BYTE* item, const std::vector<PropertyData>& values) {
    DriverItem* driverItem = DriverItem::FromContext(item);
    if (driverItem == nullptr) return E_INVALIDARG;
    std::vector<std::pair<PROPID, PropertyValue>> typed;
    for (const PropertyData& data : values) {
        const PROPID id = data.name.empty() ? data.id : IdOf(item, data.name);
        if (id == 0) return E_INVALIDARG;
        PropertyValue value;
        value.vt = data.vt;
        switch (data.vt) {
            case VT_I4:
            case VT_UI4: {
                // An integer keeps the type the item gives the property.
                value.number = data.number;
                Lock lock(StoreLock());
                const Property* p = driverItem->Find(id);
                if (p != nullptr && (p->current.vt == VT_I4 || p->current.vt == VT_UI4)) value.vt = p->current.vt;
                break;
            }
            case VT_BSTR: value.text = data.text; break;
            case VT_CLSID: value.guid = data.guid; break;
            default: return E_INVALIDARG;
        }
        {
            // A value of another type than the property's is refused.
            Lock lock(StoreLock());
            const Property* p = driverItem->Find(id);
            if (p != nullptr && p->current.vt != VT_EMPTY && p->current.vt != value.vt) return E_INVALIDARG;
        }
        typed.emplace_back(id, value);
    }
    if (typed.empty()) return S_OK;
    return ValidateWrite(driver_, item, typed);
}

HRESULT DeviceService::WriteGuid(BYTE* item, PROPID id, const GUID& guid) {
    PropertyValue value;
    value.vt = VT_CLSID;
    value.guid = guid;
    return ValidateWrite(driver_, item, {{id, value}});
}

HRESULT DeviceService::Capabilities(LONG flags, std::vector<Capability>* out) {
    if (out == nullptr || driver_ == nullptr) return E_INVALIDARG;
    out->clear();
    LONG count = 0;
    WIA_DEV_CAP_DRV* caps = nullptr;
    LONG error = 0;
    const HRESULT result = driver_->drvGetCapabilities(Root(), flags, &count, &caps, &error);
    if (FAILED(result)) return result;
    for (LONG i = 0; caps && i < count; ++i) {
        Capability c;
        if (caps[i].guid) c.guid = *caps[i].guid;
        c.flags = caps[i].ulFlags;
        c.name = caps[i].wszName ? caps[i].wszName : L"";
        c.description = caps[i].wszDescription ? caps[i].wszDescription : L"";
        c.icon = caps[i].wszIcon ? caps[i].wszIcon : L"";
        out->push_back(c);
    }
    return result;
}

HRESULT DeviceService::Formats(BYTE* item, std::vector<WIA_FORMAT_INFO>* out) {
    if (out == nullptr || driver_ == nullptr) return E_INVALIDARG;
    out->clear();
    LONG count = 0;
    WIA_FORMAT_INFO* formats = nullptr;
    LONG error = 0;
    const HRESULT result = driver_->drvGetWiaFormatInfo(item, 0, &count, &formats, &error);
    if (FAILED(result)) return result;
    for (LONG i = 0; formats && i < count; ++i) out->push_back(formats[i]);
    return result;
}

HRESULT DeviceService::NotifyPnp(const GUID& event) {
    if (driver_ == nullptr) return E_NOINTERFACE;
    BSTR id = SysAllocString(deviceId_.c_str());
    const HRESULT result = driver_->drvNotifyPnpEvent(&event, id, 0);
    SysFreeString(id);
    return result;
}

AcquireResult DeviceService::Acquire(BYTE* item, Transfer kind, const std::string& prefix, int cancelAfterBands) {
    AcquireResult out;
    if (driver_ == nullptr || DriverItem::FromContext(item) == nullptr) {
        out.result = E_INVALIDARG;
        return out;
    }
    cancel_ = false;
    const bool wia2 = WiaVersion() == 2;
    if (wia2 != (kind == Transfer::Stream)) {
        out.result = E_INVALIDARG;
        return out;
    }
    // The format and medium of the transfer, as an application sets them.
    if (!wia2) {
        const bool callback = kind == Transfer::Callback;
        HRESULT set = WriteLongs(item, {{WIA_IPA_TYMED, callback ? TYMED_CALLBACK : TYMED_FILE}});
        if (SUCCEEDED(set)) set = WriteGuid(item, WIA_IPA_FORMAT, callback ? WiaImgFmt_MEMORYBMP : WiaImgFmt_BMP);
        if (FAILED(set)) {
            out.result = set;
            return out;
        }
    }

    TransferSink sink(kind, prefix, cancelAfterBands, &cancel_);
    MINIDRV_TRANSFER_CONTEXT context{};
    context.lSize = sizeof context;
    context.hFile = reinterpret_cast<LONG_PTR>(INVALID_HANDLE_VALUE);
    LONG bufferSize = 65536;
    wiasReadPropLong(item, WIA_IPA_BUFFER_SIZE, &bufferSize, nullptr, FALSE);
    std::vector<BYTE> buffer;
    if (!wia2) {
        if (bufferSize < 4096) bufferSize = 4096;
        buffer.resize(static_cast<size_t>(bufferSize));
        context.pTransferBuffer = buffer.data();
        context.pBaseBuffer = buffer.data();
        context.lBufferSize = bufferSize;
        context.bClassDrvAllocBuf = TRUE;
        context.bTransferDataCB = kind == Transfer::Callback;
    }
    context.pIWiaMiniDrvCallBack = &sink;
    HRESULT result = wiasGetImageInformation(item, WIAS_INIT_CONTEXT, &context);
    if (SUCCEEDED(result) && kind == Transfer::File && !sink.OpenFirstFile(&context)) result = E_FAIL;
    if (SUCCEEDED(result)) {
        LONG error = 0;
        result = driver_->drvLockWiaDevice(item, 0, &error);
        if (SUCCEEDED(result)) {
            // WIA 1: the item's properties go to the driver before the
            // transfer (a WIA 2 driver writes them itself).
            if (!wia2) result = driver_->drvWriteItemProperties(item, 0, &context, &error);
            if (SUCCEEDED(result)) result = driver_->drvAcquireItemData(item, 0, &context, &error);
            driver_->drvUnLockWiaDevice(item, 0, &error);
        }
    }
    sink.Finish(&context);
    out.result = result;
    out.pages = sink.pages;
    out.progress = sink.progress;
    out.bands = sink.bands;
    return out;
}

// ---- event monitor ----

struct EventMonitor::State {
    IStiUSD* driver = nullptr;
    std::wstring deviceId;
    HANDLE notification = nullptr;
    HANDLE stop = nullptr;
    HANDLE thread = nullptr;

    static unsigned __stdcall Loop(void* argument) {
        auto* state = static_cast<State*>(argument);
        HANDLE handles[2] = {state->stop, state->notification};
        for (;;) {
            const DWORD woke = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            if (woke != WAIT_OBJECT_0 + 1) return 0;
            STINOTIFY notify{};
            notify.dwSize = sizeof notify;
            while (SUCCEEDED(state->driver->GetNotificationData(&notify))) {
                QueueServiceEvent(state->deviceId, notify.guidNotificationCode, L"");
                notify = STINOTIFY{};
                notify.dwSize = sizeof notify;
            }
        }
    }
};

EventMonitor::EventMonitor(IStiUSD* driver, std::wstring deviceId) : state_(new State) {
    state_->driver = driver;
    state_->driver->AddRef();
    state_->deviceId = std::move(deviceId);
    state_->notification = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    state_->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    driver->SetNotificationHandle(state_->notification);
    unsigned id = 0;
    state_->thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &State::Loop, state_, 0, &id));
}

EventMonitor::~EventMonitor() {
    state_->driver->SetNotificationHandle(nullptr);
    SetEvent(state_->stop);
    if (state_->thread) {
        WaitForSingleObject(state_->thread, INFINITE);
        CloseHandle(state_->thread);
    }
    CloseHandle(state_->stop);
    CloseHandle(state_->notification);
    state_->driver->Release();
    delete state_;
}

}  // namespace platform::wia
