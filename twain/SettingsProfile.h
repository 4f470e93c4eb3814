// Where the data source keeps its settings between uses: a private INI file
// with one section per calling application, five preset sections and
// "MAIN", the keys of a scan-settings record with their defaults and checks,
// the built-in presets and the measurement units.
#pragma once

#include "ScanSettings.h"

#include <string>
#include <string_view>

inline constexpr int kPresetCount = 5;

// The application's section: the letters among the first 33 characters of
// its product name, upper-cased, at most 15; "UNTITLED" below 3 letters.
std::string MakeProfileSection(std::string_view productName);

// The UI paper sizes 1 to 4; FindPaperSize answers 0 when no size matches.
bool SelectPaperSize(int size, ScanSettings& settings);
int FindPaperSize(const ScanSettings& settings);

class SettingsProfile {
public:
    // "Pelidor.INI" in the work folder (the local application data folder
    // plus "Paperlyn", made when missing), else in `fallbackFolder`.
    static std::string DefaultPath(const std::string& fallbackFolder);

    void SetPath(std::string path) { path_ = std::move(path); }
    const std::string& Path() const { return path_; }

    // Every settings key with its default, then the checks; a "DPI" that is
    // not positive reads as 300 and is snapped to `resolutions` when it has
    // entries.
    ScanSettings Load(const std::string& section, const ResolutionList& resolutions) const;
    void Save(const std::string& section, const ScanSettings& settings) const;

    // A preset: the saved one, else the built-in; duplex off when only one
    // transfer is allowed.
    ScanSettings LoadPreset(int index, const ResolutionList& resolutions, int16_t xferCount) const;
    // Writes "Locked" = 0 first when the preset was never saved.
    void SavePreset(int index, const ScanSettings& settings) const;
    bool IsPresetLocked(int index) const;
    static ScanSettings BuiltInPreset(int index);

    // "PropPage" of an application's section (default 1).
    int PropertyPage(const std::string& section) const;
    void SetPropertyPage(const std::string& section, int page) const;

    // 1 inches, 0 metric: "Units" of "MAIN", else the user's locale; cached
    // for the process.
    int GetMeasurementUnits() const;
    void SetMeasurementUnits(int units) const;
    // Forgets the cached units (a new process starts without them).
    static void ForgetMeasurementUnits();

private:
    int ReadInt(const std::string& section, const char* key, int fallback) const;
    void WriteInt(const std::string& section, const char* key, int value) const;
    bool HasKey(const std::string& section, const char* key) const;

    std::string path_;
};
