#include "engine/model/Halvern30Base.h"

#include "chips/Controller.h"
#include "chips/Motor.h"
#include "engine/model/HalvernRates.h"
#include "os/OSFunctions.h"
#include "os/files/FileFunctions.h"

#include <SIPropertyIds.h>

#include <windows.h>

#include <algorithm>

constexpr Halvern30Base::RateTable Halvern30Base::kNarrowRates{{
    {2.8205f, 2.8205f, 2.3913f, 1.8333f, 1.2222f, 0.7857f, 0.6471f, 0.55f},
    {2.8205f, 2.8205f, 2.3913f, 1.8333f, 1.2222f, 0.7857f, 0.6471f, 0.55f},
    {1.1224f, 1.1224f, 0.7483f, 0.5789f, 0.3691f, 0.2973f, 0.2444f, 0.1864f},
    {1.3924f, 1.3924f, 1.3924f, 1.3924f, 1.1111f, 0.7333f, 0.6471f, 0.55f},
    {1.3924f, 1.3924f, 1.3924f, 1.3924f, 1.1111f, 0.7333f, 0.6471f, 0.55f},
    {1.1111f, 1.1111f, 0.7333f, 0.5556f, 0.3691f, 0.2973f, 0.2444f, 0.1864f},
}};

constexpr Halvern30Base::RateTable Halvern30Base::kWideRates{{
    {1.6912f, 1.6912f, 1.15f, 0.8846f, 0.575f, 0.4423f, 0.371f, 0.3026f},
    {1.6429f, 1.6429f, 1.15f, 0.8846f, 0.575f, 0.4423f, 0.371f, 0.3026f},
    {0.575f, 0.575f, 0.4107f, 0.3026f, 0.2091f, 0.1554f, 0.125f, 0.1045f},
    {1.3924f, 1.3924f, 1.15f, 0.8846f, 0.575f, 0.4423f, 0.371f, 0.3026f},
    {1.3924f, 1.3924f, 1.15f, 0.8846f, 0.575f, 0.4423f, 0.371f, 0.3026f},
    {0.575f, 0.575f, 0.4107f, 0.3026f, 0.2091f, 0.1554f, 0.125f, 0.1045f},
}};

// The model's own folder, also when it could not be created (then nothing
// can be written there and a calibration fails with 18): a fallback such as
// C:\ would be shared by every model. Empty when not even the name can be
// made.
std::string ModelDataDirectory(const std::string& model) {
    char path[MAX_PATH] = {};
    ::GetDataDirectory(0, "Tessaline", model.c_str(), path);
    return path;
}

void Halvern30Base::GetDataDirectory(std::string& path) { path = ModelDataDirectory(GetModelName()); }

std::array<float, 3> Halvern30Base::GetMaxLineRate() {
    float best = 0.0f;
    for (const RateTable* table : {&kNarrowRates, &kWideRates}) {
        for (size_t row = 0; row < table->size(); ++row) {
            const float channels = (row % 3 == 2) ? 3.0f : 1.0f;
            for (size_t col = 0; col < kRateResolutions.size(); ++col) {
                best = std::max(best, static_cast<float>(kRateResolutions[col]) * (*table)[row][col] * channels);
            }
        }
    }
    return {best, best, best};
}

std::string Halvern30Base::DeviceName() {
    std::vector<DeviceId> ids;
    GetDeviceIds(ids);
    if (ids.empty()) return {};
    std::string name;
    for (wchar_t ch : ids.front().productName) name.push_back(static_cast<char>(ch));
    return name;
}

void Halvern30Base::RegisterProperties() {
    DuplexSwiftmere::RegisterProperties();
    std::string directory;
    GetDataDirectory(directory);
    familyProperties_.Register(*this, directory, DeviceName(), this, this);
}

void Halvern30Base::ScanRateRangeFor(float entry, float* minimum, float* maximum, float* recommended) {
    ScanRateInputs in;
    in.entry = entry;
    in.xResolution = IntValue(SI_PROP_X_RESOLUTION);
    in.colourMode = IntValue(SI_PROP_COLOR_MODE);
    in.widthInBytes = IntValue(SI_PROP_WIDTH_IN_BYTES);
    in.fullSpeed = IsFullSpeed();
    const int os = GetOSKind();
    in.oldWindows = os == kOSMe || os == kOS98;
    const RateBounds b = GetController() ? ScanRateBounds(*GetController(), in) : RateBounds{};
    *minimum = b.minimum;
    *maximum = b.maximum;
    *recommended = b.maximum;
}

void Halvern30Base::GetScanRateRange(float* minimum, float* maximum, float* recommended) {
    const int32_t colour = std::clamp(IntValue(SI_PROP_COLOR_MODE), 0, 2);
    const size_t row = static_cast<size_t>(colour + (IsExternalPowerPresent() ? 0 : 3));
    const size_t col = static_cast<size_t>(RateColumn(IntValue(SI_PROP_X_RESOLUTION)));
    const RateTable& table = ScanWindowIsWide() ? kWideRates : kNarrowRates;
    ScanRateRangeFor(table[row][col], minimum, maximum, recommended);
}

void Halvern30Base::GetFeedRateRange(float* minimum, float* maximum) {
    *minimum = GetController() ? GetController()->GetMinScanRate(1800) : 0.0f;
    const size_t first = IsExternalPowerPresent() ? 0 : 3;
    float best = 0.0f;
    for (const RateTable* table : {&kNarrowRates, &kWideRates}) {
        for (size_t row = first; row < first + 3; ++row) {
            best = std::max(best, *std::max_element((*table)[row].begin(), (*table)[row].end()));
        }
    }
    if (GetMotor()) best = std::min(best, GetMotor()->GetMaxFeedRate());
    *maximum = best;
}
