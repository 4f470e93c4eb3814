#include "PrefeedSettings.h"

namespace {

constexpr wchar_t kEnable[] = L"PrefeedEnable";
constexpr wchar_t kDelay[] = L"PrefeedDelayInMs";
constexpr wchar_t kDistance[] = L"PrefeedDistance";

// The values as numbers, in the order they are seeded and written.
struct Numbers {
    int enable;
    int delay;
    int distance;
};

Numbers ToNumbers(const PrefeedValues& v) { return {v.enable ? 1 : 0, v.delay, v.distance}; }

// Opened for the scanner for the length of the object.
class OpenSettings {
public:
    explicit OpenSettings(STISettings& settings) : settings_(settings), open_(settings.Open(kPrefeedDevice)) {}
    ~OpenSettings() { settings_.Close(); }
    OpenSettings(const OpenSettings&) = delete;
    OpenSettings& operator=(const OpenSettings&) = delete;

    bool IsOpen() const { return open_; }

private:
    STISettings& settings_;
    bool open_;
};

}  // namespace

void InitPrefeedDefaults(STISettings& settings) {
    OpenSettings open(settings);
    if (!open.IsOpen()) return;
    const Numbers builtIn = ToNumbers(kBuiltInPrefeed);
    const struct {
        const wchar_t* name;
        const wchar_t* defaultName;
        int builtIn;
    } entries[] = {{kEnable, L"PrefeedEnableDef", builtIn.enable},
                   {kDelay, L"PrefeedDelayInMsDef", builtIn.delay},
                   {kDistance, L"PrefeedDistanceDef", builtIn.distance}};
    for (const auto& e : entries) {
        int copy = 0;
        if (settings.GetValue(e.defaultName, copy)) continue;
        int value = 0;
        if (!settings.GetValue(e.name, value)) {
            value = e.builtIn;
            settings.SetValue(e.name, value);
        }
        settings.SetValue(e.defaultName, value);
    }
}

bool ReadPrefeedSettings(STISettings& settings, PrefeedValues& values) {
    values = kBuiltInPrefeed;
    OpenSettings open(settings);
    if (!open.IsOpen()) return false;
    Numbers n = ToNumbers(kBuiltInPrefeed);
    const Numbers builtIn = n;
    bool result = true;
    const struct {
        const wchar_t* name;
        int builtIn;
        int* out;
    } entries[] = {{kEnable, builtIn.enable, &n.enable},
                   {kDelay, builtIn.delay, &n.delay},
                   {kDistance, builtIn.distance, &n.distance}};
    for (const auto& e : entries) {
        if (settings.GetValue(e.name, *e.out)) continue;
        *e.out = e.builtIn;
        if (!settings.SetValue(e.name, e.builtIn)) result = false;
    }
    values = {n.enable != 0, n.delay, n.distance};
    return result;
}

void ReadPrefeedDefaults(STISettings& settings, PrefeedValues& values) {
    values = kBuiltInPrefeed;
    OpenSettings open(settings);
    if (!open.IsOpen()) return;
    Numbers n = ToNumbers(kBuiltInPrefeed);
    settings.GetValue(L"PrefeedEnableDef", n.enable);
    settings.GetValue(L"PrefeedDelayInMsDef", n.delay);
    settings.GetValue(L"PrefeedDistanceDef", n.distance);
    values = {n.enable != 0, n.delay, n.distance};
}

bool WritePrefeedSettings(STISettings& settings, const PrefeedValues& values) {
    OpenSettings open(settings);
    if (!open.IsOpen()) return false;
    const Numbers n = ToNumbers(values);
    // All three are written even when one fails.
    const bool enable = settings.SetValue(kEnable, n.enable);
    const bool delay = settings.SetValue(kDelay, n.delay);
    const bool distance = settings.SetValue(kDistance, n.distance);
    return enable && delay && distance;
}
