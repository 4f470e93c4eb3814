// The capabilities an acquisition needs: pixel type, resolution, transfer
// mechanism, transfer count, duplex and indicators. Every other capability
// answers TWCC_CAPUNSUPPORTED.
#include "TwainSource.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

TW_FIX32 ToFix32(double value)
{
    const auto scaled = static_cast<int32_t>(std::lround(value * 65536.0));
    TW_FIX32 fix;
    fix.Whole = static_cast<TW_INT16>(scaled >> 16);
    fix.Frac = static_cast<TW_UINT16>(scaled & 0xFFFF);
    return fix;
}

double FromFix32(TW_FIX32 fix)
{
    return fix.Whole + fix.Frac / 65536.0;
}

TW_UINT32 Fix32Bits(TW_FIX32 fix)
{
    TW_UINT32 bits = 0;
    std::memcpy(&bits, &fix, sizeof fix);
    return bits;
}

TW_FIX32 Fix32FromBits(TW_UINT32 bits)
{
    TW_FIX32 fix;
    std::memcpy(&fix, &bits, sizeof fix);
    return fix;
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
    default:
        return 4;
    }
}

void StoreItem(TW_UINT8* at, TW_UINT16 type, TW_UINT32 value)
{
    const size_t size = ItemSize(type);
    if (size == 2) {
        const auto v = static_cast<TW_UINT16>(value);
        std::memcpy(at, &v, 2);
    } else if (size == 1) {
        *at = static_cast<TW_UINT8>(value);
    } else {
        std::memcpy(at, &value, 4);
    }
}

TW_UINT32 LoadItem(const TW_UINT8* at, TW_UINT16 type)
{
    switch (ItemSize(type)) {
    case 1:
        return type == TWTY_INT8 ? static_cast<TW_UINT32>(static_cast<int8_t>(*at)) : *at;
    case 2: {
        TW_UINT16 v = 0;
        std::memcpy(&v, at, 2);
        return type == TWTY_INT16 ? static_cast<TW_UINT32>(static_cast<int16_t>(v)) : v;
    }
    default: {
        TW_UINT32 v = 0;
        std::memcpy(&v, at, 4);
        return v;
    }
    }
}

// A capability's answer: one value or a list with current and default.
struct CapAnswer {
    TW_UINT16 type = TWTY_UINT16;
    std::vector<TW_UINT32> items;
    size_t current = 0;
    size_t defaultIndex = 0;
    bool list = false;
    bool settable = true;
};

}  // namespace

namespace {

bool MakeContainer(pTW_CAPABILITY cap, const CapAnswer& answer, TW_UINT16 msg)
{
    const bool asList = answer.list && msg == MSG_GET;
    if (asList) {
        const size_t bytes = sizeof(TW_ENUMERATION) + ItemSize(answer.type) * answer.items.size();
        HGLOBAL handle = SourceManagerBinding::Allocate(bytes);
        if (handle == nullptr) return false;
        auto* e = static_cast<pTW_ENUMERATION>(SourceManagerBinding::Lock(handle));
        e->ItemType = answer.type;
        e->NumItems = static_cast<TW_UINT32>(answer.items.size());
        e->CurrentIndex = static_cast<TW_UINT32>(answer.current);
        e->DefaultIndex = static_cast<TW_UINT32>(answer.defaultIndex);
        for (size_t i = 0; i < answer.items.size(); ++i) {
            StoreItem(e->ItemList + i * ItemSize(answer.type), answer.type, answer.items[i]);
        }
        SourceManagerBinding::Unlock(handle);
        cap->ConType = TWON_ENUMERATION;
        cap->hContainer = handle;
        return true;
    }
    HGLOBAL handle = SourceManagerBinding::Allocate(sizeof(TW_ONEVALUE));
    if (handle == nullptr) return false;
    auto* one = static_cast<pTW_ONEVALUE>(SourceManagerBinding::Lock(handle));
    one->ItemType = answer.type;
    const size_t index = msg == MSG_GETDEFAULT ? answer.defaultIndex : answer.current;
    StoreItem(reinterpret_cast<TW_UINT8*>(&one->Item), answer.type,
              index < answer.items.size() ? answer.items[index] : 0);
    SourceManagerBinding::Unlock(handle);
    cap->ConType = TWON_ONEVALUE;
    cap->hContainer = handle;
    return true;
}

}  // namespace

void TwainSource::ResetCapabilities()
{
    indicators_ = true;
    xferMech_ = TWSX_NATIVE;
    std::strcpy(fileName_, "TWAIN.BMP");
    pixelFlavor_ = TWPF_CHOCOLATE;
    xferCount_ = -1;
    for (bool& enabled : pixelTypeEnabled_) enabled = true;
    settings_.scanMode = kScanModeColor;
    for (size_t i = 0; i < resolutions_.enabled.size(); ++i) resolutions_.enabled[i] = resolutions_.dpi[i] != 0;
    settings_.dpi = 300;
    settings_.duplex = 0;
}

namespace {

constexpr TW_UINT16 kPixelTypes[3] = {TWPT_BW, TWPT_GRAY, TWPT_RGB};
constexpr int16_t kScanModes[3] = {kScanModeBlackWhite, kScanModeGray, kScanModeColor};

}  // namespace

TW_UINT16 TwainSource::CapabilityGet(TW_UINT16 msg, TW_MEMREF data)
{
    auto* cap = static_cast<pTW_CAPABILITY>(data);
    if (cap == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    CapAnswer answer;
    TW_INT32 support = TWQC_GET | TWQC_GETCURRENT | TWQC_GETDEFAULT | TWQC_SET | TWQC_RESET;
    switch (cap->Cap) {
    case ICAP_PIXELTYPE:
        answer.list = true;
        for (int i = 0; i < 3; ++i) {
            if (!pixelTypeEnabled_[i]) continue;
            if (kScanModes[i] == settings_.scanMode) answer.current = answer.items.size();
            if (kPixelTypes[i] == TWPT_RGB) answer.defaultIndex = answer.items.size();
            answer.items.push_back(kPixelTypes[i]);
        }
        break;
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION:
        answer.type = TWTY_FIX32;
        answer.list = true;
        for (int i = 0; i < resolutions_.Count(); ++i) {
            if (!resolutions_.enabled[static_cast<size_t>(i)]) continue;
            const int dpi = resolutions_.dpi[static_cast<size_t>(i)];
            if (dpi == settings_.dpi) answer.current = answer.items.size();
            if (dpi == 300) answer.defaultIndex = answer.items.size();
            answer.items.push_back(Fix32Bits(ToFix32(dpi)));
        }
        if (answer.items.empty()) answer.items.push_back(Fix32Bits(ToFix32(settings_.dpi)));
        break;
    case ICAP_XFERMECH:
        answer.list = true;
        answer.items = {TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY};
        answer.current = xferMech_ <= TWSX_MEMORY ? xferMech_ : 0;
        break;
    case CAP_XFERCOUNT:
        answer.type = TWTY_INT16;
        answer.items = {static_cast<TW_UINT32>(static_cast<TW_UINT16>(xferCount_)), 0xFFFFu};
        answer.defaultIndex = 1;
        break;
    case CAP_DUPLEX:
        answer.items = {TWDX_1PASSDUPLEX};
        support = TWQC_GET | TWQC_GETCURRENT | TWQC_GETDEFAULT;
        break;
    case CAP_DUPLEXENABLED:
        answer.type = TWTY_BOOL;
        answer.items = {settings_.duplex != 0 ? 1u : 0u, 0u};
        answer.defaultIndex = 1;
        break;
    case CAP_INDICATORS:
        answer.type = TWTY_BOOL;
        answer.items = {indicators_ ? 1u : 0u, 1u};
        answer.defaultIndex = 1;
        break;
    default:
        return Fail(TWCC_CAPUNSUPPORTED);
    }
    if (msg == MSG_QUERYSUPPORT) {
        answer = CapAnswer{};
        answer.type = TWTY_INT32;
        answer.items = {static_cast<TW_UINT32>(support)};
    }
    if (!MakeContainer(cap, answer, msg)) {
        return Fail(TWCC_LOWMEMORY);
    }
    return TWRC_SUCCESS;
}

TW_UINT16 TwainSource::CapabilitySet(TW_UINT16 msg, TW_MEMREF data)
{
    auto* cap = static_cast<pTW_CAPABILITY>(data);
    if (cap == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    switch (cap->Cap) {
    case ICAP_PIXELTYPE:
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION:
    case ICAP_XFERMECH:
    case CAP_XFERCOUNT:
    case CAP_DUPLEXENABLED:
    case CAP_INDICATORS:
        break;
    case CAP_DUPLEX:
        return Fail(TWCC_CAPBADOPERATION);
    default:
        return Fail(TWCC_CAPUNSUPPORTED);
    }
    bool checkStatus = false;
    if (msg == MSG_RESET) {
        switch (cap->Cap) {
        case ICAP_PIXELTYPE: settings_.scanMode = kScanModeColor; break;
        case ICAP_XRESOLUTION:
        case ICAP_YRESOLUTION: settings_.dpi = 300; break;
        case ICAP_XFERMECH: xferMech_ = TWSX_NATIVE; break;
        case CAP_XFERCOUNT: xferCount_ = -1; break;
        case CAP_DUPLEXENABLED: settings_.duplex = 0; break;
        case CAP_INDICATORS: indicators_ = true; break;
        default: break;
        }
        return CapabilityGet(MSG_GETCURRENT, data);
    }
    // The value: a one-value container, or the current item of an enumeration.
    if (cap->hContainer == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    auto* container = static_cast<TW_UINT8*>(SourceManagerBinding::Lock(cap->hContainer));
    if (container == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    TW_UINT16 type = 0;
    TW_UINT32 value = 0;
    bool read = false;
    if (cap->ConType == TWON_ONEVALUE) {
        auto* one = reinterpret_cast<pTW_ONEVALUE>(container);
        type = one->ItemType;
        value = LoadItem(reinterpret_cast<const TW_UINT8*>(&one->Item), type);
        read = true;
    } else if (cap->ConType == TWON_ENUMERATION) {
        auto* e = reinterpret_cast<pTW_ENUMERATION>(container);
        type = e->ItemType;
        if (e->CurrentIndex < e->NumItems && e->NumItems <= 64) {
            value = LoadItem(e->ItemList + e->CurrentIndex * ItemSize(type), type);
            read = true;
        }
    }
    SourceManagerBinding::Unlock(cap->hContainer);
    if (!read) {
        return Fail(TWCC_BADVALUE);
    }
    switch (cap->Cap) {
    case ICAP_PIXELTYPE: {
        int found = -1;
        for (int i = 0; i < 3; ++i) {
            if (kPixelTypes[i] == value && pixelTypeEnabled_[i]) found = i;
        }
        if (found < 0) return Fail(TWCC_BADVALUE);
        settings_.scanMode = kScanModes[found];
        break;
    }
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION: {
        const double wanted = type == TWTY_FIX32 ? FromFix32(Fix32FromBits(value)) : static_cast<double>(value);
        if (wanted <= 0 || wanted > 32767) return Fail(TWCC_BADVALUE);
        const int asked = static_cast<int>(std::lround(wanted));
        const int snapped = resolutions_.Snap(asked, true);
        checkStatus = snapped != asked || std::fabs(wanted - asked) > 1e-3;
        settings_.dpi = static_cast<int16_t>(snapped);
        break;
    }
    case ICAP_XFERMECH:
        if (value > TWSX_MEMORY) return Fail(TWCC_BADVALUE);
        xferMech_ = static_cast<TW_UINT16>(value);
        break;
    case CAP_XFERCOUNT: {
        const auto count = static_cast<int16_t>(value);
        if (count == 0 || count < -1) return Fail(TWCC_BADVALUE);
        xferCount_ = count;
        break;
    }
    case CAP_DUPLEXENABLED:
        settings_.duplex = value != 0 ? 1 : 0;
        break;
    case CAP_INDICATORS:
        indicators_ = value != 0;
        break;
    default:
        break;
    }
    return checkStatus ? TWRC_CHECKSTATUS : TWRC_SUCCESS;
}

TW_UINT16 TwainSource::CapabilityResetAll(TW_UINT16, TW_MEMREF)
{
    if (state_ != 4) {
        // Each reset fails outside state 4; nothing changes.
        conditionCode_ = TWCC_SEQERROR;
        conditionData_ = 0;
        return TWRC_SUCCESS;
    }
    settings_.scanMode = kScanModeColor;
    settings_.dpi = 300;
    settings_.duplex = 0;
    xferMech_ = TWSX_NATIVE;
    xferCount_ = -1;
    indicators_ = true;
    return TWRC_SUCCESS;
}
