// Capability negotiation: the supported table, what each capability answers
// and accepts, and how setting it changes the scan settings.
#include "TwainSource.h"

#include "CapabilityContainers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace {

// Custom capabilities.
constexpr int kRowScannerNotReady = 7;

constexpr TW_UINT16 CAP_CUSTOM_DESCREEN = 0xBC00;
constexpr TW_UINT16 CAP_CUSTOM_DETECTEOP = 0xBC01;
constexpr TW_UINT16 CAP_CUSTOM_EOPEXTRA = 0xBC02;
constexpr TW_UINT16 CAP_CUSTOM_NEEDSCALIBRATION = 0xBE00;
constexpr TW_UINT16 CAP_CUSTOM_CALIBRATE = 0xBE01;
constexpr TW_UINT16 CAP_CUSTOM_PREFEED = 0xBE02;
constexpr TW_UINT16 CAP_CUSTOM_CLEAN = 0xBE03;

struct SupportedRow {
    TW_UINT16 cap;
    uint8_t imageProcessingOnly;
    uint8_t reserved;
};

// Every capability the source knows, ended by a zero row. Rows for image
// processing only are offered while that feature is available.
constexpr std::array<SupportedRow, 48> kSupportedCaps{{
    {CAP_XFERCOUNT, 0, 0},
    {ICAP_COMPRESSION, 0, 0},
    {ICAP_PIXELTYPE, 0, 0},
    {ICAP_UNITS, 0, 0},
    {ICAP_XFERMECH, 0, 0},
    {CAP_FEEDERENABLED, 0, 0},
    {CAP_FEEDERLOADED, 0, 0},
    {CAP_SUPPORTEDCAPS, 0, 0},
    {CAP_AUTOFEED, 0, 0},
    {CAP_INDICATORS, 0, 0},
    {CAP_PAPERDETECTABLE, 0, 0},
    {CAP_UICONTROLLABLE, 0, 0},
    {CAP_DEVICEONLINE, 0, 0},
    {CAP_DUPLEX, 0, 0},
    {CAP_DUPLEXENABLED, 0, 0},
    {CAP_ENABLEDSUIONLY, 0, 0},
    {CAP_FEEDERALIGNMENT, 0, 0},
    {CAP_REACQUIREALLOWED, 0, 0},
    {ICAP_BRIGHTNESS, 0, 0},
    {ICAP_CONTRAST, 0, 0},
    {ICAP_GAMMA, 0, 0},
    {ICAP_HIGHLIGHT, 0, 0},
    {ICAP_IMAGEFILEFORMAT, 0, 0},
    {ICAP_ORIENTATION, 1, 0},
    {ICAP_PHYSICALWIDTH, 0, 0},
    {ICAP_PHYSICALHEIGHT, 0, 0},
    {ICAP_SHADOW, 0, 0},
    {ICAP_XNATIVERESOLUTION, 0, 0},
    {ICAP_YNATIVERESOLUTION, 0, 0},
    {ICAP_XRESOLUTION, 0, 0},
    {ICAP_YRESOLUTION, 0, 0},
    {ICAP_BITORDER, 0, 0},
    {ICAP_PIXELFLAVOR, 0, 0},
    {ICAP_PLANARCHUNKY, 0, 0},
    {ICAP_SUPPORTEDSIZES, 0, 0},
    {ICAP_THRESHOLD, 0, 0},
    {ICAP_BITDEPTH, 0, 0},
    {ICAP_BITDEPTHREDUCTION, 0, 0},
    {ICAP_AUTOMATICBORDERDETECTION, 1, 0},
    {ICAP_AUTOMATICDESKEW, 1, 0},
    {CAP_CUSTOM_DESCREEN, 0, 0},
    {CAP_CUSTOM_DETECTEOP, 0, 0},
    {CAP_CUSTOM_EOPEXTRA, 0, 0},
    {CAP_CUSTOM_NEEDSCALIBRATION, 0, 0},
    {CAP_CUSTOM_CALIBRATE, 0, 0},
    {CAP_CUSTOM_PREFEED, 0, 0},
    {CAP_CUSTOM_CLEAN, 0, 0},
    {0, 0, 0},
}};

// The outside image-processing component is not part of this product.
constexpr bool ImageProcessingAvailable() { return false; }

bool Answered(TW_UINT16 cap)
{
    for (const SupportedRow& row : kSupportedCaps) {
        if (row.cap == 0) break;
        if (row.cap == cap) return row.imageProcessingOnly == 0 || ImageProcessingAvailable();
    }
    return false;
}

constexpr TW_INT32 kQueryGets = TWQC_GET | TWQC_GETDEFAULT | TWQC_GETCURRENT;

// Read only: answered, never set or reset.
bool ReadOnly(TW_UINT16 cap)
{
    switch (cap) {
    case CAP_FEEDERLOADED:
    case CAP_SUPPORTEDCAPS:
    case CAP_PAPERDETECTABLE:
    case CAP_UICONTROLLABLE:
    case CAP_DEVICEONLINE:
    case CAP_DUPLEX:
    case CAP_ENABLEDSUIONLY:
    case CAP_REACQUIREALLOWED:
    case ICAP_PHYSICALWIDTH:
    case ICAP_PHYSICALHEIGHT:
    case ICAP_XNATIVERESOLUTION:
    case ICAP_YNATIVERESOLUTION:
    case CAP_CUSTOM_NEEDSCALIBRATION:
        return true;
    default:
        return false;
    }
}

bool IsCommand(TW_UINT16 cap)
{
    return cap == CAP_CUSTOM_CALIBRATE || cap == CAP_CUSTOM_PREFEED || cap == CAP_CUSTOM_CLEAN;
}

TW_INT32 QuerySupport(TW_UINT16 cap)
{
    if (!Answered(cap)) return 0;
    if (ReadOnly(cap) || cap == CAP_FEEDERALIGNMENT) return kQueryGets;
    if (IsCommand(cap)) return kQueryGets | TWQC_SET;
    return kQueryGets | TWQC_SET | TWQC_RESET;
}

constexpr std::array<TW_UINT16, 3> kPixelTypes{TWPT_BW, TWPT_GRAY, TWPT_RGB};
constexpr std::array<int16_t, 3> kScanModes{kScanModeBlackWhite, kScanModeGray, kScanModeColor};

int PixelTypeOf(int16_t scanMode)
{
    for (size_t i = 0; i < kScanModes.size(); ++i) {
        if (kScanModes[i] == scanMode) return static_cast<int>(i);
    }
    return TWPT_BW;
}

struct SupportedSize {
    TW_UINT16 code;
    int16_t top, left, bottom, right;
};
constexpr std::array<SupportedSize, 3> kSupportedSizes{{
    {TWSS_NONE, 0, 0, 1000, 416},
    {TWSS_A6, 0, 1, 583, 414},
    {TWSS_BUSINESSCARD, 0, 31, 217, 385},
}};

TW_UINT32 Bool(bool value) { return value ? 1u : 0u; }

// Rounds an application's value to a whole number (half up).
double RoundWhole(double value) { return std::floor(value + 0.5); }

// Whole numbers that an int holds.
bool FitsInt(double value) { return value >= -2147483647.0 && value <= 2147483647.0; }

}  // namespace

void TwainSource::ResetCapabilities()
{
    indicators_ = true;
    xferMech_ = TWSX_NATIVE;
    std::strcpy(fileName_, "TWAIN.BMP");
    pixelFlavor_ = TWPF_CHOCOLATE;
    xferCount_ = -1;
    pixelTypeEnabled_ = {true, true, true};
    settings_.scanMode = kScanModeBlackWhite;
    EnableAllResolutions();
}

void TwainSource::EnableAllResolutions()
{
    for (size_t i = 0; i < resolutions_.enabled.size(); ++i) resolutions_.enabled[i] = resolutions_.dpi[i] != 0;
    settings_.dpi = static_cast<int16_t>(resolutions_.Count() > 0 ? resolutions_.Snap(300, true) : 300);
}

int TwainSource::CurrentResolution() const
{
    return resolutions_.Count() > 0 ? resolutions_.Snap(settings_.dpi, true) : settings_.dpi;
}

std::optional<CapabilityValue> TwainSource::DescribeCapability(TW_UINT16 cap)
{
    CapabilityValue v;
    auto one = [&v](TW_UINT16 type, TW_UINT32 current, TW_UINT32 defaultValue) {
        v.type = type;
        v.current = current;
        v.defaultValue = defaultValue;
    };
    auto range = [&v](double low, double high, double step, double current, double defaultValue) {
        v.getContainer = TWON_RANGE;
        v.type = TWTY_FIX32;
        v.min = Fix32Bits(low);
        v.max = Fix32Bits(high);
        v.step = Fix32Bits(step);
        v.current = Fix32Bits(current);
        v.defaultValue = Fix32Bits(defaultValue);
    };
    switch (cap) {
    case CAP_XFERCOUNT: {
        const auto bits = static_cast<TW_UINT32>(static_cast<TW_UINT16>(xferCount_));
        one(TWTY_INT16, bits, bits);
        break;
    }
    case ICAP_COMPRESSION:
    case ICAP_UNITS:
    case ICAP_PLANARCHUNKY:
    case ICAP_BITDEPTHREDUCTION:
        one(TWTY_UINT16, 0, 0);
        break;
    case ICAP_PIXELTYPE: {
        v.getContainer = TWON_ENUMERATION;
        for (size_t i = 0; i < kPixelTypes.size(); ++i) {
            if (pixelTypeEnabled_[i]) v.items.push_back(kPixelTypes[i]);
        }
        const TW_UINT32 current = kPixelTypes[static_cast<size_t>(PixelTypeOf(settings_.scanMode))];
        const TW_UINT32 defaultType = pixelTypeEnabled_[0] || v.items.empty() ? TW_UINT32{TWPT_BW} : v.items.front();
        one(TWTY_UINT16, current, defaultType);
        break;
    }
    case ICAP_XFERMECH:
        v.getContainer = TWON_ENUMERATION;
        v.items = {TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY};
        one(TWTY_UINT16, xferMech_, TWSX_NATIVE);
        break;
    case CAP_FEEDERENABLED:
    case CAP_PAPERDETECTABLE:
    case CAP_UICONTROLLABLE:
        one(TWTY_BOOL, 1, 1);
        break;
    case CAP_FEEDERLOADED:
        one(TWTY_BOOL, Bool(deviceOpen_ != 0 && library_.IsPaperLoaded()), 0);
        break;
    case CAP_SUPPORTEDCAPS:
        v.getContainer = TWON_ARRAY;
        v.type = TWTY_UINT16;
        for (const SupportedRow& row : kSupportedCaps) {
            if (row.cap == 0) break;
            if (Answered(row.cap)) v.items.push_back(row.cap);
        }
        break;
    case CAP_AUTOFEED:
    case CAP_REACQUIREALLOWED:
        one(TWTY_BOOL, 0, 0);
        break;
    case CAP_INDICATORS:
        one(TWTY_BOOL, Bool(indicators_), 1);
        break;
    case CAP_DEVICEONLINE:
        one(TWTY_BOOL, Bool(deviceOpen_ != 0), 1);
        break;
    case CAP_DUPLEX:
        one(TWTY_UINT16, TWDX_1PASSDUPLEX, TWDX_1PASSDUPLEX);
        break;
    case CAP_DUPLEXENABLED:
        one(TWTY_BOOL, Bool(settings_.duplex != 0), 0);
        break;
    case CAP_ENABLEDSUIONLY: {
        const bool refused = std::strncmp(appIdentity_.ProductName, "ApplicationXtender",
                                          sizeof appIdentity_.ProductName) == 0;
        one(TWTY_BOOL, Bool(!refused), Bool(!refused));
        break;
    }
    case CAP_FEEDERALIGNMENT:
        one(TWTY_UINT16, TWFA_CENTER, TWFA_CENTER);
        break;
    case ICAP_BRIGHTNESS:
        range(-1000, 1000, 10, std::clamp(10 * settings_.brightness, -1000, 1000), 0);
        break;
    case ICAP_CONTRAST:
        range(-1000, 1000, 10, std::clamp(10 * settings_.contrast, -1000, 1000), 0);
        break;
    case ICAP_GAMMA:
        one(TWTY_FIX32, Fix32Bits(settings_.gamma10 / 10.0), Fix32Bits(1.8));
        break;
    case ICAP_HIGHLIGHT:
        range(0, 255, 1, settings_.highlight, 255);
        break;
    case ICAP_SHADOW:
        range(0, 255, 1, settings_.shadow, 0);
        break;
    case ICAP_IMAGEFILEFORMAT:
        one(TWTY_UINT16, TWFF_BMP, TWFF_BMP);
        break;
    case ICAP_PHYSICALWIDTH:
        one(TWTY_FIX32, Fix32Bits(4.16), Fix32Bits(4.16));
        break;
    case ICAP_PHYSICALHEIGHT:
        one(TWTY_FIX32, Fix32Bits(10.0), Fix32Bits(10.0));
        break;
    case ICAP_XNATIVERESOLUTION:
    case ICAP_YNATIVERESOLUTION:
        one(TWTY_FIX32, Fix32Bits(600), Fix32Bits(600));
        break;
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION: {
        v.getContainer = TWON_ENUMERATION;
        for (int i = 0; i < resolutions_.Count(); ++i) {
            if (resolutions_.enabled[static_cast<size_t>(i)]) {
                v.items.push_back(Fix32Bits(resolutions_.dpi[static_cast<size_t>(i)]));
            }
        }
        // Without the scanner's list the current resolution is the only one.
        if (v.items.empty()) v.items.push_back(Fix32Bits(settings_.dpi));
        one(TWTY_FIX32, Fix32Bits(CurrentResolution()), Fix32Bits(300));
        break;
    }
    case ICAP_BITORDER:
        one(TWTY_UINT16, TWBO_MSBFIRST, TWBO_MSBFIRST);
        break;
    case ICAP_PIXELFLAVOR:
        v.getContainer = TWON_ENUMERATION;
        v.items = {TWPF_CHOCOLATE, TWPF_VANILLA};
        one(TWTY_UINT16, pixelFlavor_, TWPF_CHOCOLATE);
        break;
    case ICAP_SUPPORTEDSIZES: {
        v.getContainer = TWON_ENUMERATION;
        v.items = {TWSS_NONE, TWSS_A6, TWSS_BUSINESSCARD};
        TW_UINT32 current = TWSS_NONE;
        for (const SupportedSize& size : kSupportedSizes) {
            if (size.top == settings_.top && size.left == settings_.left && size.bottom == settings_.bottom &&
                size.right == settings_.right) {
                current = size.code;
                break;
            }
        }
        one(TWTY_UINT16, current, TWSS_A6);
        break;
    }
    case ICAP_THRESHOLD:
        one(TWTY_FIX32, Fix32Bits(128 - settings_.brightness), Fix32Bits(128));
        break;
    case ICAP_BITDEPTH: {
        const TW_UINT32 depth = settings_.scanMode == kScanModeBlackWhite ? 1 : 8;
        one(TWTY_UINT16, depth, depth);
        break;
    }
    case CAP_CUSTOM_DESCREEN:
        one(TWTY_BOOL, Bool(settings_.filter != 0), 0);
        break;
    case CAP_CUSTOM_DETECTEOP:
        one(TWTY_BOOL, Bool(settings_.detectEop != 0), 0);
        break;
    case CAP_CUSTOM_EOPEXTRA:
        one(TWTY_INT32, static_cast<TW_UINT32>(eopExtra_), 0);
        break;
    case CAP_CUSTOM_NEEDSCALIBRATION:
        one(TWTY_BOOL, Bool(deviceOpen_ != 0 && library_.NeedsCalibration()), 0);
        break;
    case CAP_CUSTOM_CALIBRATE:
    case CAP_CUSTOM_PREFEED:
    case CAP_CUSTOM_CLEAN:
        one(TWTY_BOOL, 0, 0);
        break;
    default:
        return std::nullopt;
    }
    return v;
}

TW_UINT16 TwainSource::CapabilityGet(TW_UINT16 msg, TW_MEMREF data)
{
    auto* cap = static_cast<pTW_CAPABILITY>(data);
    if (cap == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    if (msg == MSG_QUERYSUPPORT) {
        if (!BuildOneValue(*cap, TWTY_INT32, static_cast<TW_UINT32>(QuerySupport(cap->Cap)))) {
            return Fail(TWCC_LOWMEMORY);
        }
        return TWRC_SUCCESS;
    }
    if (!Answered(cap->Cap)) {
        return Fail(TWCC_CAPUNSUPPORTED);
    }
    const std::optional<CapabilityValue> value = DescribeCapability(cap->Cap);
    if (!value) {
        return Fail(TWCC_CAPUNSUPPORTED);
    }
    if (!BuildContainer(*cap, *value, msg)) {
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
    if (!Answered(cap->Cap)) {
        return Fail(TWCC_CAPUNSUPPORTED);
    }
    if (cap->Cap == CAP_FEEDERALIGNMENT) {
        return Fail(TWCC_CAPUNSUPPORTED);
    }
    if (ReadOnly(cap->Cap) || (msg == MSG_RESET && IsCommand(cap->Cap))) {
        return Fail(TWCC_CAPBADOPERATION);
    }
    if (msg == MSG_RESET) {
        ResetCapability(cap->Cap);
        return CapabilityGet(MSG_GETCURRENT, data);
    }
    const std::optional<SetContainer> set = ReadSetContainer(*cap);
    if (!set) {
        return Fail(TWCC_BADVALUE);
    }
    return SetCapability(cap->Cap, *set);
}

void TwainSource::ResetCapability(TW_UINT16 cap)
{
    switch (cap) {
    case CAP_XFERCOUNT: xferCount_ = -1; break;
    case ICAP_PIXELTYPE:
        pixelTypeEnabled_ = {true, true, true};
        settings_.scanMode = kScanModeBlackWhite;
        break;
    case ICAP_XFERMECH: xferMech_ = TWSX_NATIVE; break;
    case CAP_INDICATORS: indicators_ = true; break;
    case CAP_DUPLEXENABLED: settings_.duplex = 0; break;
    case ICAP_BRIGHTNESS:
    case ICAP_THRESHOLD: settings_.brightness = 0; break;
    case ICAP_CONTRAST: settings_.contrast = 0; break;
    case ICAP_GAMMA: settings_.gamma10 = 18; break;
    case ICAP_HIGHLIGHT: settings_.highlight = 255; break;
    case ICAP_SHADOW: settings_.shadow = 0; break;
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION: EnableAllResolutions(); break;
    case ICAP_PIXELFLAVOR: pixelFlavor_ = TWPF_CHOCOLATE; break;
    case ICAP_SUPPORTEDSIZES: {
        const SupportedSize& a6 = kSupportedSizes[1];
        SetScanFrame(settings_, a6.top, a6.left, a6.bottom, a6.right);
        break;
    }
    case CAP_CUSTOM_DESCREEN: settings_.filter = 0; break;
    case CAP_CUSTOM_DETECTEOP: settings_.detectEop = 0; break;
    case CAP_CUSTOM_EOPEXTRA: eopExtra_ = 0; break;
    default: break;  // the fixed ones only answer
    }
}

TW_UINT16 TwainSource::SetCapability(TW_UINT16 cap, const SetContainer& set)
{
    auto accepts = [&set](unsigned kinds) {
        return (set.conType == TWON_ONEVALUE && (kinds & kAcceptOne) != 0) ||
               (set.conType == TWON_ENUMERATION && (kinds & kAcceptEnumeration) != 0) ||
               (set.conType == TWON_RANGE && (kinds & kAcceptRange) != 0);
    };
    constexpr unsigned kOneOrList = kAcceptOne | kAcceptEnumeration;
    constexpr unsigned kAny = kAcceptOne | kAcceptEnumeration | kAcceptRange;
    const double value = set.value;
    if (!FitsInt(value)) return Fail(TWCC_BADVALUE);
    const auto whole = static_cast<int32_t>(value);  // truncated
    switch (cap) {
    case CAP_XFERCOUNT: {
        if (!accepts(kAcceptOne)) return Fail(TWCC_BADVALUE);
        const int32_t most = settings_.duplex != 0 ? 2 : 1;
        if (whole != -1 && (whole < 1 || whole > most)) return Fail(TWCC_BADVALUE);
        xferCount_ = static_cast<int16_t>(whole);
        pendingXfers_ = xferCount_;
        return TWRC_SUCCESS;
    }
    case ICAP_COMPRESSION:
    case ICAP_UNITS:
    case ICAP_PLANARCHUNKY:
    case ICAP_BITDEPTHREDUCTION:
        return accepts(kOneOrList) && value == 0 ? TWRC_SUCCESS : Fail(TWCC_BADVALUE);
    case ICAP_PIXELTYPE:
        return accepts(kOneOrList) ? SetPixelType(set) : Fail(TWCC_BADVALUE);
    case ICAP_XFERMECH:
        if (!accepts(kOneOrList) || whole < TWSX_NATIVE || whole > TWSX_MEMORY || whole != value) {
            return Fail(TWCC_BADVALUE);
        }
        xferMech_ = static_cast<TW_UINT16>(whole);
        return TWRC_SUCCESS;
    case CAP_FEEDERENABLED:
        return accepts(kAcceptOne) && value != 0 ? TWRC_SUCCESS : Fail(TWCC_BADVALUE);
    case CAP_AUTOFEED:
        return accepts(kAcceptOne) && value == 0 ? TWRC_SUCCESS : Fail(TWCC_BADVALUE);
    case CAP_INDICATORS:
        if (!accepts(kAcceptOne)) return Fail(TWCC_BADVALUE);
        indicators_ = value != 0;
        return TWRC_SUCCESS;
    case CAP_DUPLEXENABLED:
        if (!accepts(kAcceptOne)) return Fail(TWCC_BADVALUE);
        settings_.duplex = value != 0 ? 1 : 0;
        return TWRC_SUCCESS;
    case ICAP_BRIGHTNESS:
    case ICAP_CONTRAST:
        if (!accepts(kAny) || whole < -1000 || whole > 1000) return Fail(TWCC_BADVALUE);
        (cap == ICAP_BRIGHTNESS ? settings_.brightness : settings_.contrast) = static_cast<int16_t>(whole / 10);
        return whole % 10 != 0 ? TWRC_CHECKSTATUS : TWRC_SUCCESS;
    case ICAP_GAMMA: {
        if (!accepts(kAcceptOne)) return Fail(TWCC_BADVALUE);
        settings_.gamma10 = static_cast<int16_t>(std::clamp(RoundWhole(value * 10), 10.0, 40.0));
        return TWRC_SUCCESS;
    }
    case ICAP_HIGHLIGHT:
    case ICAP_SHADOW:
        if (!accepts(kAny) || whole < 0 || whole > 255) return Fail(TWCC_BADVALUE);
        (cap == ICAP_HIGHLIGHT ? settings_.highlight : settings_.shadow) = static_cast<int16_t>(whole);
        return TWRC_SUCCESS;
    case ICAP_IMAGEFILEFORMAT:
        return accepts(kOneOrList) && value == TWFF_BMP ? TWRC_SUCCESS : Fail(TWCC_BADVALUE);
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION:
        return accepts(kAny) ? SetResolution(set) : Fail(TWCC_BADVALUE);
    case ICAP_BITORDER:
        return accepts(kAcceptOne) && value == TWBO_MSBFIRST ? TWRC_SUCCESS : Fail(TWCC_BADVALUE);
    case ICAP_PIXELFLAVOR:
        if (!accepts(kAcceptOne) || (value != TWPF_CHOCOLATE && value != TWPF_VANILLA)) return Fail(TWCC_BADVALUE);
        pixelFlavor_ = static_cast<TW_UINT16>(whole);
        return TWRC_SUCCESS;
    case ICAP_SUPPORTEDSIZES:
        if (!accepts(kOneOrList)) return Fail(TWCC_BADVALUE);
        for (const SupportedSize& size : kSupportedSizes) {
            if (size.code == value) {
                SetScanFrame(settings_, size.top, size.left, size.bottom, size.right);
                return TWRC_SUCCESS;
            }
        }
        return Fail(TWCC_BADVALUE);
    case ICAP_THRESHOLD: {
        const double rounded = RoundWhole(value);
        if (!accepts(kAny) || rounded < 0 || rounded > 255) return Fail(TWCC_BADVALUE);
        settings_.brightness = static_cast<int16_t>(128 - std::max(static_cast<int>(rounded), 1));
        return TWRC_SUCCESS;
    }
    case ICAP_BITDEPTH: {
        bool ok = false;
        switch (settings_.scanMode) {
        case kScanModeBlackWhite: ok = value == 1; break;
        case kScanModeGray: ok = value == 8; break;
        default: ok = value == 8 || value == 24; break;
        }
        return accepts(kOneOrList) && ok ? TWRC_SUCCESS : Fail(TWCC_BADVALUE);
    }
    case CAP_CUSTOM_DESCREEN:
    case CAP_CUSTOM_DETECTEOP:
        if (!accepts(kAcceptOne)) return Fail(TWCC_BADVALUE);
        (cap == CAP_CUSTOM_DESCREEN ? settings_.filter : settings_.detectEop) = value != 0 ? 1 : 0;
        return TWRC_SUCCESS;
    case CAP_CUSTOM_EOPEXTRA:
        if (!accepts(kAcceptOne)) return Fail(TWCC_BADVALUE);
        eopExtra_ = std::clamp(whole, -100, 100);
        return eopExtra_ != whole ? TWRC_CHECKSTATUS : TWRC_SUCCESS;
    case CAP_CUSTOM_CALIBRATE:
    case CAP_CUSTOM_CLEAN:
        if (!accepts(kAcceptOne)) return Fail(TWCC_BADVALUE);
        return value == 0 ? TWRC_SUCCESS : RunMaintenance(cap == CAP_CUSTOM_CALIBRATE);
    case CAP_CUSTOM_PREFEED:
        if (!accepts(kAcceptOne)) return Fail(TWCC_BADVALUE);
        if (value != 0 && deviceOpen_ != 0) library_.PrefeedPaper();
        return TWRC_SUCCESS;
    default:
        return Fail(TWCC_CAPUNSUPPORTED);
    }
}

TW_UINT16 TwainSource::SetPixelType(const SetContainer& set)
{
    auto typeOf = [](double item) { return item == TWPT_BW || item == TWPT_GRAY || item == TWPT_RGB ? static_cast<int>(item) : -1; };
    const int wanted = typeOf(set.value);
    if (wanted < 0) return Fail(TWCC_BADVALUE);
    std::array<bool, 3> enabled = pixelTypeEnabled_;
    if (set.conType == TWON_ENUMERATION) {
        // The list says which types the application takes.
        enabled = {false, false, false};
        for (double item : set.items) {
            const int type = typeOf(item);
            if (type >= 0) enabled[static_cast<size_t>(type)] = true;
        }
    }
    int chosen = wanted;
    if (!enabled[static_cast<size_t>(wanted)]) {
        chosen = enabled[TWPT_RGB] ? TWPT_RGB : enabled[TWPT_GRAY] ? TWPT_GRAY : TWPT_BW;
        // Nothing the application listed is enabled: refused, as it was.
        if (!enabled[static_cast<size_t>(chosen)]) return Fail(TWCC_BADVALUE);
    }
    pixelTypeEnabled_ = enabled;
    settings_.scanMode = kScanModes[static_cast<size_t>(chosen)];
    return chosen == wanted ? TWRC_SUCCESS : TWRC_CHECKSTATUS;
}

TW_UINT16 TwainSource::SetResolution(const SetContainer& set)
{
    const int count = resolutions_.Count();
    if (count == 0) return Fail(TWCC_BADVALUE);
    ResolutionList list = resolutions_;
    if (set.conType == TWON_ENUMERATION || set.conType == TWON_RANGE) {
        const double low = RoundWhole(set.min);
        const double high = RoundWhole(set.max);
        const double step = RoundWhole(set.step);
        if (set.conType == TWON_RANGE && (high < low || step < 1)) return Fail(TWCC_BADVALUE);
        bool any = false;
        for (int i = 0; i < count; ++i) {
            const double dpi = list.dpi[static_cast<size_t>(i)];
            bool on = false;
            if (set.conType == TWON_ENUMERATION) {
                on = std::any_of(set.items.begin(), set.items.end(),
                                 [dpi](double item) { return RoundWhole(item) == dpi; });
            } else {
                on = dpi >= low && dpi <= high && std::fmod(dpi - low, step) == 0;
            }
            list.enabled[static_cast<size_t>(i)] = on;
            any = any || on;
        }
        // A list or range that names no resolution of the scanner leaves
        // nothing to choose: refused, the enabled ones kept.
        if (!any) return Fail(TWCC_BADVALUE);
    }
    int lowest = list.dpi[0];
    int highest = list.dpi[0];
    for (int i = 0; i < count; ++i) {
        lowest = std::min<int>(lowest, list.dpi[static_cast<size_t>(i)]);
        highest = std::max<int>(highest, list.dpi[static_cast<size_t>(i)]);
    }
    if (set.value < lowest || set.value > highest) return Fail(TWCC_BADVALUE);
    // The nearest enabled entry; the earlier wins a tie.
    int chosen = 0;
    double best = -1;
    for (int i = 0; i < count; ++i) {
        if (!list.enabled[static_cast<size_t>(i)]) continue;
        const double distance = std::fabs(list.dpi[static_cast<size_t>(i)] - set.value);
        if (best < 0 || distance < best) {
            best = distance;
            chosen = list.dpi[static_cast<size_t>(i)];
            if (distance == 0) break;
        }
    }
    resolutions_ = list;
    settings_.dpi = static_cast<int16_t>(chosen);
    return chosen == set.value ? TWRC_SUCCESS : TWRC_CHECKSTATUS;
}

TW_UINT16 TwainSource::RunMaintenance(bool calibrate)
{
    if (deviceOpen_ == 0) {
        if (indicators_) ShowMessage(kRowScannerNotReady, MB_ICONEXCLAMATION);
        return Fail(TWCC_BUMMER);
    }
    if (!calibrate) {
        // A cleaning that did not run is not reported as done.
        return library_.CleanScanner() ? TWRC_SUCCESS : Fail(TWCC_BUMMER);
    }
    switch (library_.CalibrateScanner()) {
    case ScannerLibraryBinding::kCalibrated:
        return TWRC_SUCCESS;
    case ScannerLibraryBinding::kCalibratedWhiteOnly:
        if (indicators_) return TWRC_SUCCESS;
        conditionCode_ = TWCC_BUMMER;
        conditionData_ = 0;
        return TWRC_CHECKSTATUS;
    default:
        return Fail(TWCC_BUMMER);
    }
}

TW_UINT16 TwainSource::CapabilityResetAll(TW_UINT16, TW_MEMREF)
{
    for (const SupportedRow& row : kSupportedCaps) {
        if (row.cap == 0) break;
        if (!Answered(row.cap)) continue;
        if (state_ != 4) {
            // Each reset is out of sequence; nothing changes.
            Fail(TWCC_SEQERROR);
            continue;
        }
        TW_CAPABILITY cap{};
        cap.Cap = row.cap;
        cap.ConType = TWON_DONTCARE16;
        if (CapabilitySet(MSG_RESET, &cap) != TWRC_FAILURE && cap.hContainer != nullptr) {
            SourceManagerBinding::Free(cap.hContainer);
        }
    }
    return TWRC_SUCCESS;
}
