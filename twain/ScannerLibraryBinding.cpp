#include "ScannerLibraryBinding.h"

#include <SIPropertyIds.h>
#include <SIRecord.h>

#include <algorithm>
#include <array>

namespace {

template <typename Function>
bool BindOne(HMODULE module, const char* name, Function& function)
{
    using Generic = void (*)();
    function = reinterpret_cast<Function>(reinterpret_cast<Generic>(GetProcAddress(module, name)));
    return function != nullptr;
}

// SI_Calibrate's answer when only the white calibration succeeded.
constexpr SIResult kWhiteOnlyResult = 2112;
// The wait before a prefeed, for the sheet to settle in the slot.
constexpr DWORD kPrefeedSettleMs = 1500;

constexpr std::array<SIPropertyId, 3> kExposures{SI_PROP_EXPOSURE_RED, SI_PROP_EXPOSURE_GREEN, SI_PROP_EXPOSURE_BLUE};

}  // namespace

bool ScannerLibraryBinding::Bind(HMODULE module)
{
    bool all = true;
    all = BindOne(module, "SI_GetScannerStatus", GetScannerStatus) && all;
    all = BindOne(module, "SI_GetPaperStatus", GetPaperStatus) && all;
    all = BindOne(module, "SI_GetButtonStatus", GetButtonStatus) && all;
    all = BindOne(module, "SI_GetProperty", GetProperty) && all;
    all = BindOne(module, "SI_SetProperty", SetProperty) && all;
    all = BindOne(module, "SI_Reset", Reset) && all;
    all = BindOne(module, "SI_Diagnostic", Diagnostic) && all;
    all = BindOne(module, "SI_GetLastErrorText", GetLastErrorText) && all;
    all = BindOne(module, "SI_GetLastError", GetLastError) && all;
    all = BindOne(module, "SI_StartScan", StartScanFn) && all;
    all = BindOne(module, "SI_ReadImageData", ReadImageDataFn) && all;
    all = BindOne(module, "SI_EndScan", EndScanFn) && all;
    all = BindOne(module, "SI_OpenInterface", OpenInterface) && all;
    all = BindOne(module, "SI_CloseInterface", CloseInterface) && all;
    all = BindOne(module, "SI_GetEvent", GetEvent) && all;
    all = BindOne(module, "SI_Calibrate", Calibrate) && all;
    all = BindOne(module, "SI_IsCalibrated", IsCalibrated) && all;
    all = BindOne(module, "SI_FeedPaperOut", FeedPaperOutFn) && all;
    all = BindOne(module, "SI_Feed", Feed) && all;
    all = BindOne(module, "SI_Clean", Clean) && all;
    bound_ = all;
    if (!all) {
        Unbind();
    }
    return all;
}

void ScannerLibraryBinding::Unbind()
{
    *this = ScannerLibraryBinding{};
}

const char* ScannerLibraryBinding::ModelName()
{
    // Until the Still Image route reaches the scanner from this process, a
    // test names the model (the direct-port form) through the environment.
    static char name[32];
    const DWORD n = GetEnvironmentVariableA("PELIDOR_TWAIN_MODEL", name, sizeof name);
    return n > 0 && n < sizeof name ? name : "RM310";
}

uint32_t ScannerLibraryBinding::OpenScannerInterface(const char* name)
{
    switch (OpenInterface(name)) {
    case SI_OK:
        return 0;
    case SI_ERR_UNKNOWN_SCANNER:
    case SI_ERR_INVALID_PARAMETER:
        return 10;
    case SI_ERR_NO_HARDWARE:
        return 11;
    case SI_ERR_ALREADY_OPEN:
        return 15;
    case SI_ERR_COMMUNICATION:
        return 1;
    default:
        return SI_ERR_UNKNOWN;
    }
}

void ScannerLibraryBinding::CloseScannerInterface()
{
    CloseInterface();
}

bool ScannerLibraryBinding::WaitScannerReady()
{
    int status = SI_SCANNER_NOT_READY;
    if (GetScannerStatus(&status) != SI_OK) {
        return false;
    }
    for (int retry = 0; status == SI_SCANNER_BUSY && retry < 10; ++retry) {
        Sleep(200);
        if (GetScannerStatus(&status) != SI_OK) {
            status = SI_SCANNER_BUSY;
        }
    }
    return status == SI_SCANNER_READY;
}

bool ScannerLibraryBinding::NeedsCalibration()
{
    int value = 0;
    return !(IsCalibrated(&value) == SI_OK && value == 1);
}

bool ScannerLibraryBinding::IsPaperLoaded()
{
    int value = 0;
    return GetPaperStatus(&value) == SI_OK && value == SI_PAPER_PRESENT;
}

bool ScannerLibraryBinding::FeedPaperOut()
{
    return FeedPaperOutFn() == SI_OK;
}

int ScannerLibraryBinding::CalibrateScanner()
{
    switch (Calibrate(0, nullptr)) {
    case SI_OK:
        return kCalibrated;
    case kWhiteOnlyResult:
        return kCalibratedWhiteOnly;
    default:
        return kCalibrationFailed;
    }
}

bool ScannerLibraryBinding::CleanScanner()
{
    return Clean(nullptr) == SI_OK;
}

void ScannerLibraryBinding::PrefeedPaper()
{
    Sleep(kPrefeedSettleMs);
    SIProperty optical = si_record::Request(SI_PROP_OPTICAL_RESOLUTION);
    if (Get(optical) != SI_OK) {
        return;
    }
    const int32_t resolution = si_record::CurrentInt(optical);
    // The three properties the feed borrows, in the order they go back.
    std::array<SIProperty, 3> saved{si_record::Request(SI_PROP_Y_RESOLUTION), si_record::Request(SI_PROP_Y_OFFSET),
                                    si_record::Request(SI_PROP_REVERSE_FEED)};
    const std::array<int32_t, 3> borrowed{resolution, resolution / 8, 0};
    std::array<bool, 3> read{};
    for (size_t i = 0; i < saved.size(); ++i) {
        read[i] = Get(saved[i]) == SI_OK;
        if (read[i]) SetSingle(saved[i], borrowed[i]);
    }
    Feed();
    for (size_t i = 0; i < saved.size(); ++i) {
        if (read[i]) SetSingle(saved[i], si_record::CurrentInt(saved[i]));
    }
}

void ScannerLibraryBinding::ReadResolutionList(ResolutionList& list)
{
    SIProperty property = si_record::Request(SI_PROP_X_RESOLUTION);
    if (GetProperty(&property) != SI_OK || property.container != SI_CONTAINER_LIST) {
        return;
    }
    const auto count = std::min<uintptr_t>(property.value[si_record::kListCount], ResolutionList::kMax);
    const auto* items = PointerFromSlot<const int32_t>(property.value[si_record::kListItems]);
    if (items == nullptr) {
        return;
    }
    ResolutionList read;
    for (uintptr_t i = 0; i < count; ++i) {
        read.dpi[i] = static_cast<int16_t>(items[i]);
        read.enabled[i] = true;
    }
    list = read;
}

SIResult ScannerLibraryBinding::Get(SIProperty& property)
{
    return GetProperty(&property);
}

SIResult ScannerLibraryBinding::SetSingle(SIProperty property, int32_t value)
{
    property.container = SI_CONTAINER_SINGLE;
    property.value[0] = SlotFromInt(value);
    property.value[1] = SlotFromInt(value);
    return SetProperty(&property);
}

SIResult ScannerLibraryBinding::SetSingleFloat(SIProperty property, float value)
{
    property.container = SI_CONTAINER_SINGLE;
    property.value[0] = SlotFromFloat(value);
    return SetProperty(&property);
}

uint32_t ScannerLibraryBinding::ApplyScanSettings(const ScanSettings* settings)
{
    if (settings == nullptr) {
        return SI_ERR_INVALID_PARAMETER;
    }
    const ScanSettings& s = *settings;
    // Reads a property and writes it back holding `value`; fails unless
    // `tolerateUnsupported` and the scanner lacks it.
    auto set = [&](SIPropertyId id, int32_t value, bool tolerateUnsupported) -> SIResult {
        SIProperty property = si_record::Request(id);
        SIResult result = Get(property);
        if (result == SI_OK) {
            result = SetSingle(property, value);
        }
        if (result == SI_ERR_PROPERTY_UNSUPPORTED && tolerateUnsupported) {
            return SI_OK;
        }
        return result;
    };
    auto fail = [](SIResult result) -> uint32_t {
        // A device failure keeps its own code, so the caller can tell it
        // from a refused value.
        return result == SI_ERR_COMMUNICATION || result == SI_ERR_BUSY || result == SI_ERR_NOT_OPEN
                   ? result
                   : static_cast<uint32_t>(SI_ERR_PROPERTY_INVALID);
    };

    const int32_t colorMode = s.scanMode == kScanModeColor ? 2 : s.scanMode == kScanModeGray ? 1 : 0;
    if (SIResult r = set(SI_PROP_COLOR_MODE, colorMode, false); r != SI_OK) return fail(r);
    if (s.scanMode == kScanModeColor) {
        if (SIResult r = set(SI_PROP_CHANNEL_ORDER, s.channelOrderFlag != 0 ? 0 : 1, false); r != SI_OK) return fail(r);
    }
    const PixelFrame frame = FrameInPixels(s, s.dpi);
    if (SIResult r = set(SI_PROP_X_RESOLUTION, s.dpi, false); r != SI_OK) return fail(r);
    if (SIResult r = set(SI_PROP_X_OFFSET, static_cast<int32_t>(frame.xOffset), false); r != SI_OK) return fail(r);
    if (SIResult r = set(SI_PROP_Y_OFFSET, static_cast<int32_t>(frame.yOffset), false); r != SI_OK) return fail(r);
    {
        SIProperty width = si_record::Request(SI_PROP_SCAN_WIDTH);
        SIResult r = Get(width);
        if (r == SI_OK) {
            const int32_t maximum = IntFromSlot(width.value[si_record::kRangeMaximum]);
            r = SetSingle(width, std::min(static_cast<int32_t>(frame.width), maximum));
        }
        if (r != SI_OK) return fail(r);
    }
    if (SIResult r = set(SI_PROP_SCAN_LENGTH, static_cast<int32_t>(frame.length), false); r != SI_OK) return fail(r);

    auto tone = [&](SIPropertyId id, int32_t value) { return set(id, value, true); };
    auto gamma = [&](float value) -> SIResult {
        SIProperty property = si_record::Request(SI_PROP_GAMMA);
        SIResult r = Get(property);
        if (r == SI_OK) r = SetSingleFloat(property, value);
        return r == SI_ERR_PROPERTY_UNSUPPORTED ? SIResult{SI_OK} : r;
    };
    std::array<SIResult, 6> results{};
    if (s.scanMode == kScanModeColor || s.scanMode == kScanModeGray) {
        results[0] = gamma(static_cast<float>(s.gamma10 + 8) / 10.0f);
        results[1] = tone(SI_PROP_SHADOW, s.shadow);
        results[2] = tone(SI_PROP_HIGHLIGHT, s.highlight);
        SIProperty brightness = si_record::Request(SI_PROP_BRIGHTNESS);
        SIResult r = Get(brightness);
        if (r == SI_OK) {
            const int32_t low = IntFromSlot(brightness.value[0]);
            const int32_t high = IntFromSlot(brightness.value[1]);
            r = SetSingle(brightness, low <= high ? std::clamp<int32_t>(s.brightness, low, high) : s.brightness);
        }
        results[3] = r == SI_ERR_PROPERTY_UNSUPPORTED ? SIResult{SI_OK} : r;
        results[4] = tone(SI_PROP_CONTRAST, s.contrast);
    } else {
        results[0] = tone(SI_PROP_THRESHOLD, -s.brightness);
        results[1] = gamma(1.0f);
        results[2] = tone(SI_PROP_SHADOW, 0);
        results[3] = tone(SI_PROP_HIGHLIGHT, 255);
        results[4] = tone(SI_PROP_BRIGHTNESS, 0);
        results[5] = tone(SI_PROP_CONTRAST, 0);
    }
    for (SIResult r : results) {
        if (r != SI_OK) return fail(r);
    }
    if (SIResult r = set(SI_PROP_INVERT, s.invert != 0, true); r != SI_OK) return fail(r);

    // Duplex and end-of-page detection: an unsupported property is skipped
    // unless the settings ask for it.
    auto optional = [&](SIPropertyId id, bool wanted) -> SIResult {
        SIProperty property = si_record::Request(id);
        SIResult r = Get(property);
        if (r == SI_ERR_PROPERTY_UNSUPPORTED) return wanted ? r : SIResult{SI_OK};
        if (r != SI_OK) return r;
        return SetSingle(property, wanted ? 1 : 0);
    };
    if (SIResult r = optional(SI_PROP_DUPLEX, s.duplex != 0); r != SI_OK) return fail(r);
    if (SIResult r = optional(SI_PROP_EOP_DETECT, s.detectEop != 0); r != SI_OK) return fail(r);
    {
        SIProperty descreen = si_record::Request(SI_PROP_DESCREEN);
        if (Get(descreen) == SI_OK) {
            if (SIResult r = SetSingle(descreen, s.filter == 1 ? 1 : 0); r != SI_OK) return fail(r);
        }
    }
    return SI_OK;
}

uint32_t ScannerLibraryBinding::PrepareScanProperties(const ScanSettings& settings, int32_t eopExtra)
{
    ScanSettings copy = settings;
    copy.shadow = static_cast<int16_t>(std::clamp<int>(copy.shadow, 0, 254));
    copy.highlight = static_cast<int16_t>(std::clamp<int>(copy.highlight, copy.shadow + 1, 255));
    copy.gamma10 = static_cast<int16_t>(copy.gamma10 - 8);
    copy.channelOrderFlag = 1;

    if (copy.detectEop != 0) {
        // Written whenever detection is on, so going back to 0 takes effect.
        SIProperty extra = si_record::Request(SI_PROP_EOP_EXTRA_LENGTH);
        extra.itemType = SI_TYPE_INT32;
        SetSingle(extra, eopExtra);
    }
    if (uint32_t result = ApplyScanSettings(&copy); result != SI_OK) {
        return result;
    }
    SIProperty width = si_record::Request(SI_PROP_SCAN_WIDTH);
    SIProperty length = si_record::Request(SI_PROP_SCAN_LENGTH);
    SIProperty bytes = si_record::Request(SI_PROP_WIDTH_IN_BYTES);
    for (SIProperty* p : {&width, &length, &bytes}) {
        if (SIResult r = Get(*p); r != SI_OK) {
            return r;
        }
    }
    scanWidth_ = static_cast<uint32_t>(std::max(si_record::CurrentInt(width), 0));
    scanLength_ = static_cast<uint32_t>(std::max(si_record::CurrentInt(length), 0));
    lineBytes_ = static_cast<uint32_t>(std::max(si_record::CurrentInt(bytes), 0));

    // Exposure: scaled when the settings ask for it, else restored.
    exposureAdjusted_ = copy.exposureAdjust != 0;
    if (exposureAdjusted_) {
        const int p = std::clamp(copy.exposurePercent10 / 10, 0, 100);
        for (SIPropertyId id : kExposures) {
            SIProperty exposure = si_record::Request(id);
            if (Get(exposure) == SI_OK) {
                SetSingle(exposure, IntFromSlot(exposure.value[1]) * p / 100);
            }
        }
    } else {
        RestoreExposures();
    }
    eopDetection_ = copy.detectEop != 0;
    return SI_OK;
}

void ScannerLibraryBinding::RestoreExposures()
{
    for (SIPropertyId id : kExposures) {
        SIProperty exposure = si_record::Request(id);
        if (Get(exposure) != SI_OK) {
            continue;
        }
        const int32_t fallback = exposure.container == SI_CONTAINER_RANGE
                                     ? IntFromSlot(exposure.value[si_record::kRangeDefault])
                                     : si_record::CurrentInt(exposure);
        SetSingle(exposure, fallback);
    }
}

bool ScannerLibraryBinding::StartScan()
{
    if (StartScanFn() != SI_OK) {
        if (exposureAdjusted_) {
            RestoreExposures();
        }
        return false;
    }
    scanStarted_ = true;
    return true;
}

void ScannerLibraryBinding::EndScan()
{
    if (EndScanFn() != SI_ERR_NOT_OPEN) {
        RestoreExposures();
    }
}

void ScannerLibraryBinding::EndScanSession()
{
    if (!scanStarted_) {
        return;
    }
    EndScan();
    FeedPaperOut();
    scanStarted_ = false;
}

SIResult ScannerLibraryBinding::ReadImageData(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead)
{
    return ReadImageDataFn(buffer, lines, side, linesRead);
}
