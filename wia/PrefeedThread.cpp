#include "PrefeedThread.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned kStackSize = 2048;
constexpr DWORD kDefaultDelayMs = 1000;
constexpr DWORD kMinDelayMs = 200;
constexpr DWORD kMaxDelayMs = 2500;
constexpr DWORD kDefaultDistance = 13;
constexpr DWORD kMaxDistance = 40;
constexpr DWORD kValueBufferSize = 100;

// A REG_DWORD, or REG_SZ text read as a number; false when absent or of
// another type.
bool ReadNumber(HKEY key, const char* name, DWORD* value) {
    BYTE buffer[kValueBufferSize] = {};
    DWORD size = kValueBufferSize - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, buffer, &size) != ERROR_SUCCESS) return false;
    if (type == REG_DWORD && size >= sizeof(DWORD)) {
        std::memcpy(value, buffer, sizeof(DWORD));
        return true;
    }
    if (type == REG_SZ) {
        buffer[size < kValueBufferSize ? size : kValueBufferSize - 1] = 0;
        *value = static_cast<DWORD>(std::strtol(reinterpret_cast<const char*>(buffer), nullptr, 10));
        return true;
    }
    return false;
}

}  // namespace

bool PrefeedThread::ReadSettings(HKEY deviceKey, Settings* settings) {
    HKEY data = nullptr;
    if (deviceKey == nullptr || RegOpenKeyExA(deviceKey, "DeviceData", 0, KEY_READ, &data) != ERROR_SUCCESS) {
        return false;
    }
    Settings s;
    if (!ReadNumber(data, "PrefeedDelayInMs", &s.delayMs)) s.delayMs = kDefaultDelayMs;
    // Compared unsigned: a negative delay counts as a long one.
    if (s.delayMs < kMinDelayMs) s.delayMs = kMinDelayMs;
    if (s.delayMs > kMaxDelayMs) s.delayMs = kMaxDelayMs;
    if (!ReadNumber(data, "PrefeedDistance", &s.distance)) s.distance = kDefaultDistance;
    if (s.distance == 0) s.distance = 1;
    if (s.distance > kMaxDistance) s.distance = kMaxDistance;
    DWORD enable = 0;
    s.enabled = ReadNumber(data, "PrefeedEnable", &enable) && enable != 0;
    RegCloseKey(data);
    *settings = s;
    return true;
}

int32_t PrefeedThread::OffsetLines(int32_t resolution, DWORD distance) {
    const float product = static_cast<float>(resolution) * static_cast<float>(distance);
    return static_cast<int32_t>(static_cast<double>(product) / 100.0 + 0.5);
}

int32_t PrefeedThread::FeedResolution(const int32_t* items, int32_t count) {
    for (int32_t i = count - 1; items != nullptr && i >= 0; --i) {
        if (items[i] <= 600) return items[i];
    }
    return 300;
}

PrefeedThread::PrefeedThread() {
    trigger_.CreateSharedEvent(true);
    quit_.CreateSharedEvent(false);
}

PrefeedThread::~PrefeedThread() { Stop(); }

bool PrefeedThread::Start(HKEY deviceKey, LibraryAccess* library, HANDLE scanLock) {
    deviceKey_ = deviceKey;
    library_ = library;
    scanLock_ = scanLock;
    if (Handle() != nullptr) return true;
    if (trigger_.Handle() == nullptr || quit_.Handle() == nullptr) return false;
    return OSThread::Start(kStackSize);
}

void PrefeedThread::Trigger() {
    if (trigger_.Handle()) SetEvent(trigger_.Handle());
}

void PrefeedThread::Stop() {
    if (Handle() == nullptr) return;
    SetEvent(quit_.Handle());
    WaitForSingleObject(Handle(), INFINITE);
    Close();
}

void PrefeedThread::Run() {
    for (;;) {
        ResetEvent(trigger_.Handle());
        const HANDLE handles[2] = {trigger_.Handle(), quit_.Handle()};
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0) return;
        if (!Prefeed()) return;
    }
}

bool PrefeedThread::Prefeed() {
    Settings settings;
    if (!ReadSettings(deviceKey_, &settings) || !settings.enabled) return true;
    int status = 0;
    if (library_->With([&](ScannerLibrary& l) { return l.GetScannerStatus(&status); }) != SI_OK ||
        status != SI_SCANNER_READY) {
        return true;
    }
    // The delay watches quit, so a closing device never waits it out.
    if (WaitForSingleObject(quit_.Handle(), settings.delayMs) == WAIT_OBJECT_0) return false;

    // A transfer holds the scan lock for its whole length: no prefeed then.
    const DWORD taken = WaitForSingleObject(scanLock_, 0);
    if (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED) return true;
    library_->With([&](ScannerLibrary& l) {
        int ready = 0;
        int paper = 0;
        if (l.GetScannerStatus(&ready) != SI_OK || ready != SI_SCANNER_READY) return SI_OK;
        if (l.GetPaperStatus(&paper) != SI_OK || paper != SI_PAPER_PRESENT) return SI_OK;

        SIProperty rate = si_record::Request(SI_PROP_FEED_RATE);
        l.GetProperty(&rate);
        const float savedRate = si_record::CurrentFloat(rate);
        float feedRate = 1.0f;
        if (rate.container == SI_CONTAINER_RANGE) {
            const float maximum = FloatFromSlot(rate.value[si_record::kRangeMaximum]);
            const float minimum = FloatFromSlot(rate.value[si_record::kRangeMinimum]);
            if (feedRate > maximum) feedRate = maximum;
            if (feedRate < minimum) feedRate = minimum;
        }
        si_record::SetCurrentFloat(rate, feedRate);
        l.SetProperty(&rate);

        SIProperty y = si_record::Request(SI_PROP_Y_RESOLUTION);
        l.GetProperty(&y);
        const int32_t savedY = si_record::CurrentInt(y);
        int32_t resolution = 300;
        if (y.container == SI_CONTAINER_LIST) {
            resolution = FeedResolution(PointerFromSlot<const int32_t>(y.value[si_record::kListItems]),
                                        IntFromSlot(y.value[si_record::kListCount]));
        }
        const auto single = [&](SIPropertyId id, uint16_t type, uintptr_t slot) {
            SIProperty p = si_record::Request(id);
            p.container = SI_CONTAINER_SINGLE;
            p.itemType = type;
            p.value[0] = slot;
            p.value[1] = slot;
            l.SetProperty(&p);
        };
        single(SI_PROP_Y_RESOLUTION, SI_TYPE_INT32, SlotFromInt(resolution));

        SIProperty offset = si_record::Request(SI_PROP_Y_OFFSET);
        l.GetProperty(&offset);
        const int32_t savedOffset = si_record::CurrentInt(offset);
        single(SI_PROP_Y_OFFSET, SI_TYPE_INT32, SlotFromInt(OffsetLines(resolution, settings.distance)));

        SIProperty reverse = si_record::Request(SI_PROP_REVERSE_FEED);
        l.GetProperty(&reverse);
        const int32_t savedReverse = si_record::CurrentInt(reverse);
        single(SI_PROP_REVERSE_FEED, SI_TYPE_INT32, SlotFromInt(0));

        l.Feed();

        single(SI_PROP_FEED_RATE, SI_TYPE_FLOAT, SlotFromFloat(savedRate));
        single(SI_PROP_Y_RESOLUTION, SI_TYPE_INT32, SlotFromInt(savedY));
        single(SI_PROP_Y_OFFSET, SI_TYPE_INT32, SlotFromInt(savedOffset));
        single(SI_PROP_REVERSE_FEED, SI_TYPE_INT32, SlotFromInt(savedReverse));
        return SI_OK;
    });
    ReleaseMutex(scanLock_);
    return true;
}
