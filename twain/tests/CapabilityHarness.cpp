#include "CapabilityHarness.h"

#include <cmath>
#include <cstring>

namespace twain_test {

namespace {

size_t Size(TW_UINT16 type)
{
    switch (type) {
    case TWTY_INT8:
    case TWTY_UINT8: return 1;
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL: return 2;
    default: return 4;
    }
}

template <typename T>
void Put(uint8_t* at, T value)
{
    std::memcpy(at, &value, sizeof value);
}

}  // namespace

TW_UINT32 Fx(double value)
{
    const auto n = static_cast<int32_t>(std::lround(value * 65536.0));
    const auto whole = static_cast<uint16_t>(static_cast<uint32_t>(n) >> 16);
    const auto frac = static_cast<uint16_t>(static_cast<uint32_t>(n) & 0xFFFF);
    return whole | (uint32_t(frac) << 16);
}

Container One(TW_UINT16 type, TW_UINT32 bits)
{
    Container c;
    c.type = type;
    c.items = {bits};
    return c;
}

Container Enumeration(TW_UINT16 type, std::vector<TW_UINT32> items, TW_UINT32 currentIndex)
{
    Container c;
    c.conType = TWON_ENUMERATION;
    c.type = type;
    c.items = std::move(items);
    c.currentIndex = currentIndex;
    return c;
}

Container Range(TW_UINT16 type, TW_UINT32 min, TW_UINT32 max, TW_UINT32 step, TW_UINT32 current)
{
    Container c;
    c.conType = TWON_RANGE;
    c.type = type;
    c.min = min;
    c.max = max;
    c.step = step;
    c.current = current;
    return c;
}

HGLOBAL MakeContainer(const Container& c)
{
    std::vector<uint8_t> b;
    auto append = [&b](const void* data, size_t n) {
        const auto* p = static_cast<const uint8_t*>(data);
        b.insert(b.end(), p, p + n);
    };
    append(&c.type, 2);
    switch (c.conType) {
    case TWON_ONEVALUE: {
        const TW_UINT32 item = c.items.empty() ? 0 : c.items[0];
        append(&item, 4);
        break;
    }
    case TWON_ENUMERATION:
    case TWON_ARRAY: {
        const TW_UINT32 count = c.numItemsOverride.value_or(static_cast<TW_UINT32>(c.items.size()));
        append(&count, 4);
        if (c.conType == TWON_ENUMERATION) {
            const TW_UINT32 current = c.currentIndexOverride.value_or(c.currentIndex);
            const TW_UINT32 defaultIndex = 0;
            append(&current, 4);
            append(&defaultIndex, 4);
        }
        for (TW_UINT32 item : c.items) append(&item, Size(c.type));
        break;
    }
    case TWON_RANGE:
        for (TW_UINT32 v : {c.min, c.max, c.step, c.min, c.current}) append(&v, 4);
        break;
    default:
        break;
    }
    HGLOBAL handle = GlobalAlloc(GHND, b.size());
    std::memcpy(GlobalLock(handle), b.data(), b.size());
    GlobalUnlock(handle);
    return handle;
}

CapAnswer Negotiate(DirectSource& ds, TW_UINT16 msg, TW_UINT16 cap, const std::optional<Container>& container)
{
    TW_CAPABILITY c{};
    c.Cap = cap;
    c.ConType = TWON_DONTCARE16;
    HGLOBAL sent = nullptr;
    if (container) {
        c.ConType = container->conType;
        c.hContainer = sent = MakeContainer(*container);
    }
    CapAnswer answer;
    answer.rc = ds.Call(DG_CONTROL, DAT_CAPABILITY, msg, &c);
    answer.condition = answer.rc == TWRC_FAILURE ? ds.Condition() : TWCC_SUCCESS;
    if (answer.rc != TWRC_FAILURE && msg != MSG_SET && c.hContainer != nullptr) {
        answer.conType = c.ConType;
        const SIZE_T size = GlobalSize(c.hContainer);
        const auto* bytes = static_cast<const uint8_t*>(GlobalLock(c.hContainer));
        answer.bytes.assign(bytes, bytes + size);
        GlobalUnlock(c.hContainer);
        if (c.hContainer != sent) GlobalFree(c.hContainer);
    }
    if (sent != nullptr) GlobalFree(sent);
    return answer;
}

std::optional<TW_UINT32> OneValueItem(const CapAnswer& answer)
{
    if (answer.rc == TWRC_FAILURE || answer.conType != TWON_ONEVALUE || answer.bytes.size() < 6) return std::nullopt;
    TW_UINT32 item = 0;
    std::memcpy(&item, answer.bytes.data() + 2, 4);
    return item;
}

std::vector<TW_UINT32> ListItems(const CapAnswer& answer)
{
    std::vector<TW_UINT32> items;
    if (answer.bytes.size() < 6) return items;
    TW_UINT16 type = 0;
    TW_UINT32 count = 0;
    std::memcpy(&type, answer.bytes.data(), 2);
    std::memcpy(&count, answer.bytes.data() + 2, 4);
    const size_t header = answer.conType == TWON_ENUMERATION ? 14 : 6;
    const size_t size = Size(type);
    for (TW_UINT32 i = 0; i < count && header + (i + 1) * size <= answer.bytes.size(); ++i) {
        TW_UINT32 v = 0;
        std::memcpy(&v, answer.bytes.data() + header + i * size, size);
        items.push_back(v);
    }
    return items;
}

std::optional<TW_UINT32> Current(DirectSource& ds, TW_UINT16 cap)
{
    return OneValueItem(Negotiate(ds, MSG_GETCURRENT, cap));
}

}  // namespace twain_test
