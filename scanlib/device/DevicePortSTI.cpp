#include "device/DevicePortSTI.h"

#include "device/DeviceIOException.h"
#include "device/DevicePortFactories.h"
#include "device/PortLocker.h"
#include "os/OSWait.h"

#include <usbscan.h>
#include <wiadef.h>

#include <cstring>

namespace {

// A fresh service instance for one use, released with the object.
class StillImageInstance {
public:
    StillImageInstance() {
        if (FAILED(StiCreateInstanceW(GetModuleHandleA(nullptr), STI_VERSION, &sti_, nullptr))) sti_ = nullptr;
    }
    ~StillImageInstance() {
        if (sti_) sti_->Release();
    }
    StillImageInstance(const StillImageInstance&) = delete;
    StillImageInstance& operator=(const StillImageInstance&) = delete;
    IStillImage* Get() const { return sti_; }
    IStillImage* Detach() {
        IStillImage* sti = sti_;
        sti_ = nullptr;
        return sti;
    }

private:
    IStillImage* sti_ = nullptr;
};

// The service's device list, freed with the object.
class DeviceList {
public:
    explicit DeviceList(IStillImage* sti) {
        void* buffer = nullptr;
        if (sti && SUCCEEDED(sti->GetDeviceList(0, 0, &count_, &buffer)) && buffer) {
            list_ = static_cast<STI_DEVICE_INFORMATIONW*>(buffer);
        } else {
            count_ = 0;
        }
    }
    ~DeviceList() {
        if (list_) LocalFree(list_);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;
    DWORD Count() const { return list_ ? count_ : 0; }
    const STI_DEVICE_INFORMATIONW& operator[](DWORD i) const { return list_[i]; }

private:
    STI_DEVICE_INFORMATIONW* list_ = nullptr;
    DWORD count_ = 0;
};

bool SameText(LPCWSTR listed, const std::wstring& wanted) {
    return listed != nullptr && lstrcmpiW(listed, wanted.c_str()) == 0;
}

IO_BLOCK MakeBlock(int value, int index, void* buf, int len) {
    IO_BLOCK block{};
    block.uOffset = static_cast<unsigned>(value);
    block.uLength = static_cast<unsigned>(len);
    block.pbyData = static_cast<PUCHAR>(buf);
    block.uIndex = static_cast<unsigned>(index);
    return block;
}

}  // namespace

std::wstring ToWide(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return {};
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string ToNarrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

DevicePortSTI::~DevicePortSTI() { Close(); }

bool DevicePortSTI::Open(const std::vector<DeviceId>& ids, int* matchedIndex) {
    Close();
    if (matchedIndex) *matchedIndex = 0;
    StillImageInstance sti;
    if (sti.Get() == nullptr) return false;
    DeviceList list(sti.Get());
    for (DWORD d = 0; d < list.Count() && device_ == nullptr; ++d) {
        const STI_DEVICE_INFORMATIONW& info = list[d];
        for (size_t row = 0; row < ids.size(); ++row) {
            if (!SameText(info.pszVendorDescription, ids[row].vendorDescription) ||
                !SameText(info.pszDeviceDescription, ids[row].productName)) {
                continue;
            }
            WCHAR name[STI_MAX_INTERNAL_NAME_LENGTH] = {};
            std::memcpy(name, info.szDeviceInternalName, sizeof name);
            name[STI_MAX_INTERNAL_NAME_LENGTH - 1] = L'\0';
            IStiDevice* device = nullptr;
            if (FAILED(sti.Get()->CreateDevice(name, STI_DEVICE_CREATE_DATA, &device, nullptr)) || !device) continue;
            device_ = device;
            if (!CreateDeviceLock(ids[row].productName)) {
                Close();
                continue;
            }
            internalName_ = name;
            if (matchedIndex) *matchedIndex = static_cast<int>(row);
            break;
        }
    }
    return device_ != nullptr;
}

void DevicePortSTI::Close() {
    if (device_) device_->Release();
    device_ = nullptr;
    CloseDeviceLock();
}

bool DevicePortSTI::IsOpen() { return device_ != nullptr; }

uint16_t DevicePortSTI::GetVendorId() { return 0; }

uint16_t DevicePortSTI::GetProductId() { return 0; }

// The service's lock, then the product's mutex; released in the same order.
bool DevicePortSTI::Lock() {
    if (device_ == nullptr) return false;
    const HRESULT locked = device_->LockDevice(kLockTimeoutMs);
    if (FAILED(locked)) {
        throw DeviceIOException(locked == WIA_ERROR_BUSY || locked == HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION)
                                    ? DeviceIOException::kBusy
                                    : DeviceIOException::kTransferFailure);
    }
    if (AcquireDeviceLock(kDeviceLockTimeoutMs) != kWaitAcquired) {
        device_->UnLockDevice();
        throw DeviceIOException(DeviceIOException::kBusy);
    }
    return true;
}

bool DevicePortSTI::Unlock() {
    if (device_ == nullptr) return false;
    const HRESULT unlocked = device_->UnLockDevice();
    ReleaseDeviceLock();
    return SUCCEEDED(unlocked);
}

bool DevicePortSTI::ReadBulk(void* buf, int len) {
    if (device_ == nullptr) return false;
    DWORD length = static_cast<DWORD>(len);
    if (FAILED(device_->RawReadData(buf, &length, nullptr))) throw DeviceIOException(DeviceIOException::kTransferFailure);
    return true;
}

bool DevicePortSTI::WriteBulk(const void* buf, int len) {
    if (device_ == nullptr) return false;
    if (FAILED(device_->RawWriteData(const_cast<void*>(buf), static_cast<DWORD>(len), nullptr))) {
        throw DeviceIOException(DeviceIOException::kTransferFailure);
    }
    return true;
}

bool DevicePortSTI::ReadRegisters(int value, int index, void* buf, int len, unsigned* bytesRead) {
    if (device_ == nullptr) return false;
    IO_BLOCK block = MakeBlock(value, index, buf, len);
    DWORD count = 0;
    if (FAILED(device_->RawReadCommand(&block, &count, nullptr))) {
        throw DeviceIOException(DeviceIOException::kTransferFailure);
    }
    if (bytesRead) *bytesRead = count;
    return true;
}

bool DevicePortSTI::WriteRegisters(int value, int index, const void* buf, int len) {
    if (device_ == nullptr) return false;
    IO_BLOCK block = MakeBlock(value, index, const_cast<void*>(buf), len);
    if (FAILED(device_->RawWriteCommand(&block, sizeof block, nullptr))) {
        throw DeviceIOException(DeviceIOException::kTransferFailure);
    }
    return true;
}

bool DevicePortSTI::GetDeviceDescriptor(uint16_t* vid, uint16_t* pid, uint16_t* bcdDevice) {
    if (device_ == nullptr) return false;
    PortLocker locker(this);
    locker.Lock();
    DEVICE_DESCRIPTOR descriptor{};
    DWORD returned = 0;
    const HRESULT result = device_->Escape(IOCTL_GET_DEVICE_DESCRIPTOR, &descriptor, sizeof descriptor, &descriptor,
                                           sizeof descriptor, &returned);
    locker.Unlock();
    if (FAILED(result)) return false;
    if (vid) *vid = descriptor.usVendorId;
    if (pid) *pid = descriptor.usProductId;
    if (bcdDevice) *bcdDevice = descriptor.usBcdDevice;
    return true;
}

bool DevicePortSTI::GetChannelInfo(int* eventSize, int* readAlignment, int* writeAlignment) {
    if (device_ == nullptr || FAILED(device_->LockDevice(kLockTimeoutMs))) return false;
    CHANNEL_INFO info{};
    DWORD returned = 0;
    const HRESULT result = device_->Escape(IOCTL_GET_CHANNEL_ALIGN_RQST, nullptr, 0, &info, sizeof info, &returned);
    device_->UnLockDevice();
    if (FAILED(result)) return false;
    if (eventSize) *eventSize = static_cast<int>(info.EventChannelSize);
    if (readAlignment) *readAlignment = static_cast<int>(info.uReadDataAlignment);
    if (writeAlignment) *writeAlignment = static_cast<int>(info.uWriteDataAlignment);
    return true;
}

bool DevicePortSTI::ResetPipes() {
    if (device_ == nullptr || FAILED(device_->LockDevice(kLockTimeoutMs))) return false;
    DWORD pipe = ALL_PIPE;
    DWORD returned = 0;
    const HRESULT result = device_->Escape(IOCTL_RESET_PIPE, nullptr, 0, &pipe, sizeof pipe, &returned);
    device_->UnLockDevice();
    return SUCCEEDED(result);
}

bool DevicePortSTI::GetDeviceValue(const std::string& name, int* value) {
    if (device_ == nullptr || value == nullptr) return false;
    StillImageInstance sti;
    if (sti.Get() == nullptr) return false;
    std::wstring device = internalName_;
    std::wstring valueName = ToWide(name);
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    if (FAILED(sti.Get()->GetDeviceValue(device.data(), valueName.data(), &type, reinterpret_cast<LPBYTE>(&data),
                                         &size))) {
        return false;
    }
    *value = static_cast<int>(data);
    return true;
}

bool DevicePortSTI::SetDeviceValue(const std::string& name, int value) {
    if (device_ == nullptr) return false;
    StillImageInstance sti;
    if (sti.Get() == nullptr) return false;
    std::wstring device = internalName_;
    std::wstring valueName = ToWide(name);
    DWORD data = static_cast<DWORD>(value);
    return SUCCEEDED(sti.Get()->SetDeviceValue(device.data(), valueName.data(), REG_DWORD,
                                               reinterpret_cast<LPBYTE>(&data), sizeof data));
}

StiDeviceValueHolder::~StiDeviceValueHolder() {
    if (stillImage) stillImage->Release();
}

bool FindStiDevice(StiDeviceValueHolder& holder, const std::string& description) {
    StillImageInstance sti;
    if (sti.Get() == nullptr) return false;
    const std::wstring wanted = ToWide(description);
    DeviceList list(sti.Get());
    for (DWORD d = 0; d < list.Count(); ++d) {
        if (!SameText(list[d].pszDeviceDescription, wanted)) continue;
        WCHAR name[STI_MAX_INTERNAL_NAME_LENGTH] = {};
        std::memcpy(name, list[d].szDeviceInternalName, sizeof name);
        name[STI_MAX_INTERNAL_NAME_LENGTH - 1] = L'\0';
        holder.internalName = name;
        if (holder.stillImage) holder.stillImage->Release();
        holder.stillImage = sti.Detach();
        return true;
    }
    return false;
}

bool GetStiDeviceValue(const std::string& description, const std::string& valueName, int* value) {
    StiDeviceValueHolder holder;
    if (value == nullptr || !FindStiDevice(holder, description)) return false;
    std::wstring name = ToWide(valueName);
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    if (FAILED(holder.stillImage->GetDeviceValue(holder.internalName.data(), name.data(), &type,
                                                 reinterpret_cast<LPBYTE>(&data), &size))) {
        return false;
    }
    *value = static_cast<int>(data);
    return true;
}

bool SetStiDeviceValue(const std::string& description, const std::string& valueName, int value) {
    StiDeviceValueHolder holder;
    if (!FindStiDevice(holder, description)) return false;
    std::wstring name = ToWide(valueName);
    DWORD data = static_cast<DWORD>(value);
    return SUCCEEDED(holder.stillImage->SetDeviceValue(holder.internalName.data(), name.data(), REG_DWORD,
                                                       reinterpret_cast<LPBYTE>(&data), sizeof data));
}

std::unique_ptr<DevicePort> CreateDevicePortSTI() { return std::make_unique<DevicePortSTI>(); }
