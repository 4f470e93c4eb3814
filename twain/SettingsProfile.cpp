#include "SettingsProfile.h"

#include "WorkFiles.h"

#include <shlobj.h>
#include <windows.h>
#include <winnls.h>

#include <array>
#include <cctype>
#include <string>

namespace {

constexpr char kProfileFile[] = "Pelidor.INI";
constexpr char kMainSection[] = "MAIN";

struct Frame {
    int16_t top, left, bottom, right;
};

// The UI paper sizes, hundredths of an inch.
constexpr std::array<Frame, 4> kPaperSizes{{
    {0, 31, 217, 385},  // business card
    {0, 33, 500, 383},  // photo 5.0 x 3.5 in
    {0, 8, 600, 408},   // large photo 6.0 x 4.0 in
    {0, 8, 800, 408},   // panorama photo 4.0 x 8.0 in
}};

struct BuiltIn {
    int16_t scanMode;
    int16_t dpi;
    int paperSize;
};

constexpr std::array<BuiltIn, kPresetCount> kBuiltInPresets{{
    {kScanModeColor, 150, 3},
    {kScanModeColor, 150, 2},
    {kScanModeGray, 300, 2},
    {kScanModeGray, 200, 1},
    {kScanModeBlackWhite, 300, 1},
}};

std::string PresetSection(int index) { return "PRESET_" + std::to_string(index); }

// Leaves `value` when it lies in [low, high], else `fallback`.
int16_t Checked(int value, int low, int high, int fallback)
{
    return static_cast<int16_t>(value < low || value > high ? fallback : value);
}

// Caches the measurement units for the process (-1: not yet known).
int cachedUnits = -1;

}  // namespace

std::string MakeProfileSection(std::string_view productName)
{
    std::string section;
    const size_t scanned = std::min<size_t>(productName.size(), 33);
    for (size_t i = 0; i < scanned && section.size() < 15; ++i) {
        const auto c = static_cast<unsigned char>(productName[i]);
        if (c == '\0') break;
        if (c < 0x80 && std::isalpha(c)) section.push_back(static_cast<char>(std::toupper(c)));
    }
    return section.size() < 3 ? std::string("UNTITLED") : section;
}

bool SelectPaperSize(int size, ScanSettings& settings)
{
    const bool known = size >= 1 && size <= static_cast<int>(kPaperSizes.size());
    const Frame& frame = kPaperSizes[static_cast<size_t>(known ? size - 1 : 0)];
    settings.top = frame.top;
    settings.left = frame.left;
    settings.bottom = frame.bottom;
    settings.right = frame.right;
    return known;
}

int FindPaperSize(const ScanSettings& settings)
{
    for (size_t i = 0; i < kPaperSizes.size(); ++i) {
        const Frame& frame = kPaperSizes[i];
        if (frame.top == settings.top && frame.bottom == settings.bottom && frame.left == settings.left &&
            frame.right == settings.right) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

std::string SettingsProfile::DefaultPath(const std::string& fallbackFolder)
{
    std::string work;
    if (GetWorkFolder(work)) {
        return work + kProfileFile;
    }
    std::string path = fallbackFolder;
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path.push_back('/');
    return path + kProfileFile;
}

int SettingsProfile::ReadInt(const std::string& section, const char* key, int fallback) const
{
    return static_cast<int>(GetPrivateProfileIntA(section.c_str(), key, fallback, path_.c_str()));
}

void SettingsProfile::WriteInt(const std::string& section, const char* key, int value) const
{
    WritePrivateProfileStringA(section.c_str(), key, std::to_string(value).c_str(), path_.c_str());
}

bool SettingsProfile::HasKey(const std::string& section, const char* key) const
{
    char value[16] = {};
    GetPrivateProfileStringA(section.c_str(), key, "", value, sizeof value, path_.c_str());
    return value[0] != '\0';
}

ScanSettings SettingsProfile::Load(const std::string& section, const ResolutionList& resolutions) const
{
    ScanSettings s{};
    s.exposureAdjust = s.exposurePercent10 = s.channelOrderFlag = 0;
    const int mode = ReadInt(section, "ScanMode", kScanModeBlackWhite);
    s.scanMode = static_cast<int16_t>(mode == kScanModeGray || mode == kScanModeBlackWhite || mode == kScanModeColor
                                          ? mode
                                          : kScanModeBlackWhite);
    // A resolution of 0 or below would divide by zero in the frame
    // formulas: it reads as 300, and any value as the nearest the scanner has.
    int dpi = ReadInt(section, "DPI", 300);
    if (dpi <= 0 || dpi > 32767) dpi = 300;
    if (resolutions.Count() > 0) dpi = resolutions.Snap(dpi, false);
    s.dpi = static_cast<int16_t>(dpi);
    s.duplex = static_cast<int16_t>(ReadInt(section, "Duplex", 0));
    s.detectEop = static_cast<int16_t>(ReadInt(section, "DetectEOP", 0));
    s.brightness = Checked(ReadInt(section, "Brightness", 0), -100, 100, 0);
    s.contrast = Checked(ReadInt(section, "Contrast", 0), -100, 100, 0);
    s.gamma10 = Checked(ReadInt(section, "Gamma", 18), 10, 40, 18);
    s.highlight = Checked(ReadInt(section, "Highlight", 255), 5, 255, 255);
    s.shadow = Checked(ReadInt(section, "Shadow", 0), 0, 250, 0);
    const int top = ReadInt(section, "Top", 0);
    const int left = ReadInt(section, "Left", 0);
    const int bottom = ReadInt(section, "Bottom", 687);
    const int right = ReadInt(section, "Right", 416);
    SetScanFrame(s, top, left, bottom, right);
    s.filter = static_cast<int16_t>(ReadInt(section, "Filter", 0));
    s.invert = static_cast<int16_t>(ReadInt(section, "Invert", 0));
    return s;
}

void SettingsProfile::Save(const std::string& section, const ScanSettings& s) const
{
    WriteInt(section, "ScanMode", s.scanMode);
    WriteInt(section, "DPI", s.dpi);
    WriteInt(section, "Duplex", s.duplex);
    WriteInt(section, "DetectEOP", s.detectEop);
    WriteInt(section, "Brightness", s.brightness);
    WriteInt(section, "Contrast", s.contrast);
    WriteInt(section, "Gamma", s.gamma10);
    WriteInt(section, "Highlight", s.highlight);
    WriteInt(section, "Shadow", s.shadow);
    WriteInt(section, "Top", s.top);
    WriteInt(section, "Left", s.left);
    WriteInt(section, "Bottom", s.bottom);
    WriteInt(section, "Right", s.right);
    WriteInt(section, "Filter", s.filter);
    WriteInt(section, "Invert", s.invert);
}

ScanSettings SettingsProfile::BuiltInPreset(int index)
{
    const BuiltIn& preset = kBuiltInPresets[static_cast<size_t>(index >= 0 && index < kPresetCount ? index : 0)];
    ScanSettings s{};
    s.scanMode = preset.scanMode;
    s.dpi = preset.dpi;
    s.brightness = 0;
    s.contrast = 0;
    s.gamma10 = 18;
    s.highlight = 255;
    s.shadow = 0;
    s.filter = 0;
    s.invert = 0;
    s.detectEop = 0;
    s.duplex = 1;
    SelectPaperSize(preset.paperSize, s);
    return s;
}

ScanSettings SettingsProfile::LoadPreset(int index, const ResolutionList& resolutions, int16_t xferCount) const
{
    const std::string section = PresetSection(index);
    ScanSettings s = HasKey(section, "DPI") ? Load(section, resolutions) : BuiltInPreset(index);
    if (xferCount == 1) s.duplex = 0;
    return s;
}

void SettingsProfile::SavePreset(int index, const ScanSettings& settings) const
{
    const std::string section = PresetSection(index);
    if (!HasKey(section, "DPI")) WriteInt(section, "Locked", 0);
    Save(section, settings);
}

bool SettingsProfile::IsPresetLocked(int index) const { return ReadInt(PresetSection(index), "Locked", 0) != 0; }

int SettingsProfile::PropertyPage(const std::string& section) const { return ReadInt(section, "PropPage", 1); }

void SettingsProfile::SetPropertyPage(const std::string& section, int page) const
{
    WriteInt(section, "PropPage", page);
}

int SettingsProfile::GetMeasurementUnits() const
{
    if (cachedUnits != -1) return cachedUnits;
    int units = ReadInt(kMainSection, "Units", -1);
    if (units == -1) {
        char measure[4] = {};
        GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IMEASURE, measure, sizeof measure);
        units = measure[0] == '1' ? 1 : 0;
    }
    cachedUnits = units;
    return units;
}

void SettingsProfile::SetMeasurementUnits(int units) const
{
    cachedUnits = units;
    WriteInt(kMainSection, "Units", units);
}

void SettingsProfile::ForgetMeasurementUnits() { cachedUnits = -1; }
