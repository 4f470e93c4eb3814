#include "CapabilityContainers.h"

#include "SourceManagerBinding.h"

#include <cmath>
#include <cstring>

namespace {

void StoreItem(TW_UINT8* at, TW_UINT16 type, TW_UINT32 bits)
{
    switch (ItemSize(type)) {
    case 1:
        *at = static_cast<TW_UINT8>(bits);
        break;
    case 2: {
        const auto v = static_cast<TW_UINT16>(bits);
        std::memcpy(at, &v, 2);
        break;
    }
    default:
        std::memcpy(at, &bits, 4);
        break;
    }
}

// The number an item of `type` stands for, read from its own bytes.
double LoadNumber(const TW_UINT8* at, TW_UINT16 type)
{
    switch (type) {
    case TWTY_INT8:
        return static_cast<int8_t>(*at);
    case TWTY_UINT8:
        return *at;
    case TWTY_INT16: {
        int16_t v = 0;
        std::memcpy(&v, at, 2);
        return v;
    }
    case TWTY_UINT16:
    case TWTY_BOOL: {
        uint16_t v = 0;
        std::memcpy(&v, at, 2);
        return v;
    }
    case TWTY_INT32: {
        int32_t v = 0;
        std::memcpy(&v, at, 4);
        return v;
    }
    case TWTY_UINT32: {
        uint32_t v = 0;
        std::memcpy(&v, at, 4);
        return v;
    }
    case TWTY_FIX32: {
        TW_FIX32 fix;
        std::memcpy(&fix, at, sizeof fix);
        return FromFix32(fix);
    }
    default:
        return 0;
    }
}

// A locked global block, unlocked when it goes.
class LockedBlock {
public:
    explicit LockedBlock(TW_HANDLE handle) : handle_(handle)
    {
        if (handle_ != nullptr) bytes_ = static_cast<TW_UINT8*>(SourceManagerBinding::Lock(handle_));
        if (bytes_ != nullptr) size_ = GlobalSize(handle_);
    }
    ~LockedBlock()
    {
        if (bytes_ != nullptr) SourceManagerBinding::Unlock(handle_);
    }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;

    const TW_UINT8* Bytes() const { return bytes_; }
    size_t Size() const { return size_; }

private:
    TW_HANDLE handle_;
    TW_UINT8* bytes_ = nullptr;
    size_t size_ = 0;
};

// A new zeroed block of `bytes`, locked while the answer is written.
class NewBlock {
public:
    explicit NewBlock(size_t bytes) : handle_(SourceManagerBinding::Allocate(bytes))
    {
        if (handle_ != nullptr) bytes_ = static_cast<TW_UINT8*>(SourceManagerBinding::Lock(handle_));
    }
    ~NewBlock()
    {
        if (bytes_ != nullptr) SourceManagerBinding::Unlock(handle_);
        if (handle_ != nullptr && !kept_) SourceManagerBinding::Free(handle_);
    }
    NewBlock(const NewBlock&) = delete;
    NewBlock& operator=(const NewBlock&) = delete;

    TW_UINT8* Bytes() const { return bytes_; }
    TW_HANDLE Keep()
    {
        kept_ = true;
        return handle_;
    }

private:
    HGLOBAL handle_;
    TW_UINT8* bytes_ = nullptr;
    bool kept_ = false;
};

template <typename T>
void Put(TW_UINT8* at, size_t offset, T value)
{
    std::memcpy(at + offset, &value, sizeof value);
}

size_t IndexOf(const std::vector<TW_UINT32>& items, TW_UINT32 bits)
{
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i] == bits) return i;
    }
    return 0;
}

}  // namespace

TW_FIX32 ToFix32(double value)
{
    const auto n = static_cast<int32_t>(std::lround(value * 65536.0));
    TW_FIX32 fix;
    fix.Whole = static_cast<TW_INT16>(n >> 16);
    fix.Frac = static_cast<TW_UINT16>(static_cast<uint32_t>(n) & 0xFFFFu);
    return fix;
}

double FromFix32(TW_FIX32 fix) { return fix.Whole + fix.Frac / 65536.0; }

TW_UINT32 Fix32Bits(double value)
{
    const TW_FIX32 fix = ToFix32(value);
    TW_UINT32 bits = 0;
    std::memcpy(&bits, &fix, sizeof fix);
    return bits;
}

size_t ItemSize(TW_UINT16 type)
{
    switch (type) {
    case TWTY_INT8:
    case TWTY_UINT8:
        return 1;
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL:
        return 2;
    case TWTY_INT32:
    case TWTY_UINT32:
    case TWTY_FIX32:
        return 4;
    default:
        return 0;
    }
}

bool BuildOneValue(TW_CAPABILITY& cap, TW_UINT16 type, TW_UINT32 bits)
{
    NewBlock block(sizeof(TW_ONEVALUE));
    if (block.Bytes() == nullptr) return false;
    Put(block.Bytes(), offsetof(TW_ONEVALUE, ItemType), type);
    StoreItem(block.Bytes() + offsetof(TW_ONEVALUE, Item), type, bits);
    cap.ConType = TWON_ONEVALUE;
    cap.hContainer = block.Keep();
    return true;
}

bool BuildContainer(TW_CAPABILITY& cap, const CapabilityValue& value, TW_UINT16 msg)
{
    const TW_UINT16 kind = msg == MSG_GET || value.getContainer == TWON_ARRAY ? value.getContainer : TW_UINT16{TWON_ONEVALUE};
    const size_t itemSize = ItemSize(value.type);
    switch (kind) {
    case TWON_ENUMERATION: {
        NewBlock block(offsetof(TW_ENUMERATION, ItemList) + itemSize * value.items.size());
        if (block.Bytes() == nullptr) return false;
        TW_UINT8* e = block.Bytes();
        Put(e, offsetof(TW_ENUMERATION, ItemType), value.type);
        Put(e, offsetof(TW_ENUMERATION, NumItems), static_cast<TW_UINT32>(value.items.size()));
        Put(e, offsetof(TW_ENUMERATION, CurrentIndex), static_cast<TW_UINT32>(IndexOf(value.items, value.current)));
        Put(e, offsetof(TW_ENUMERATION, DefaultIndex),
            static_cast<TW_UINT32>(IndexOf(value.items, value.defaultValue)));
        for (size_t i = 0; i < value.items.size(); ++i) {
            StoreItem(e + offsetof(TW_ENUMERATION, ItemList) + i * itemSize, value.type, value.items[i]);
        }
        cap.ConType = TWON_ENUMERATION;
        cap.hContainer = block.Keep();
        return true;
    }
    case TWON_ARRAY: {
        NewBlock block(offsetof(TW_ARRAY, ItemList) + itemSize * value.items.size());
        if (block.Bytes() == nullptr) return false;
        TW_UINT8* a = block.Bytes();
        Put(a, offsetof(TW_ARRAY, ItemType), value.type);
        Put(a, offsetof(TW_ARRAY, NumItems), static_cast<TW_UINT32>(value.items.size()));
        for (size_t i = 0; i < value.items.size(); ++i) {
            StoreItem(a + offsetof(TW_ARRAY, ItemList) + i * itemSize, value.type, value.items[i]);
        }
        cap.ConType = TWON_ARRAY;
        cap.hContainer = block.Keep();
        return true;
    }
    case TWON_RANGE: {
        NewBlock block(sizeof(TW_RANGE));
        if (block.Bytes() == nullptr) return false;
        TW_UINT8* r = block.Bytes();
        Put(r, offsetof(TW_RANGE, ItemType), value.type);
        Put(r, offsetof(TW_RANGE, MinValue), value.min);
        Put(r, offsetof(TW_RANGE, MaxValue), value.max);
        Put(r, offsetof(TW_RANGE, StepSize), value.step);
        Put(r, offsetof(TW_RANGE, DefaultValue), value.defaultValue);
        Put(r, offsetof(TW_RANGE, CurrentValue), value.current);
        cap.ConType = TWON_RANGE;
        cap.hContainer = block.Keep();
        return true;
    }
    default:
        return BuildOneValue(cap, value.type, msg == MSG_GETDEFAULT ? value.defaultValue : value.current);
    }
}

std::optional<SetContainer> ReadSetContainer(const TW_CAPABILITY& cap)
{
    const LockedBlock block(cap.hContainer);
    const TW_UINT8* bytes = block.Bytes();
    if (bytes == nullptr || block.Size() < sizeof(TW_UINT16)) return std::nullopt;
    SetContainer set;
    set.conType = cap.ConType;
    std::memcpy(&set.itemType, bytes, sizeof set.itemType);
    const size_t itemSize = ItemSize(set.itemType);
    if (itemSize == 0) return std::nullopt;
    switch (cap.ConType) {
    case TWON_ONEVALUE:
        if (block.Size() < sizeof(TW_ONEVALUE)) return std::nullopt;
        // The item sits in the low bytes of the 32-bit field.
        set.value = LoadNumber(bytes + offsetof(TW_ONEVALUE, Item), set.itemType);
        return set;
    case TWON_ENUMERATION: {
        const size_t header = offsetof(TW_ENUMERATION, ItemList);
        if (block.Size() < header) return std::nullopt;
        TW_UINT32 count = 0;
        TW_UINT32 current = 0;
        std::memcpy(&count, bytes + offsetof(TW_ENUMERATION, NumItems), sizeof count);
        std::memcpy(&current, bytes + offsetof(TW_ENUMERATION, CurrentIndex), sizeof current);
        if (count == 0 || count > (block.Size() - header) / itemSize || current >= count) return std::nullopt;
        set.items.reserve(count);
        for (TW_UINT32 i = 0; i < count; ++i) {
            set.items.push_back(LoadNumber(bytes + header + size_t(i) * itemSize, set.itemType));
        }
        set.currentIndex = current;
        set.value = set.items[current];
        return set;
    }
    case TWON_RANGE:
        if (block.Size() < sizeof(TW_RANGE)) return std::nullopt;
        set.min = LoadNumber(bytes + offsetof(TW_RANGE, MinValue), set.itemType);
        set.max = LoadNumber(bytes + offsetof(TW_RANGE, MaxValue), set.itemType);
        set.step = LoadNumber(bytes + offsetof(TW_RANGE, StepSize), set.itemType);
        set.value = LoadNumber(bytes + offsetof(TW_RANGE, CurrentValue), set.itemType);
        return set;
    default:
        return std::nullopt;
    }
}
