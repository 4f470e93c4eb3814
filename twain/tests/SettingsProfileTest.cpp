// The settings profile: section names, the keys with their defaults and
// checks, the built-in presets, the units, a damaged file, two processes
// sharing the file, and the source loading its settings at open.
#include "CapabilityHarness.h"
#include "ChildPrograms.h"
#include "SettingsProfile.h"
#include "SourceHarness.h"

#include <platform/testing.h>
#include <platform/testing_ui.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace twain_test {
namespace {

namespace pt = platform::testing;

constexpr char kProfile[] = "C:\\Users\\User\\AppData\\Local\\Paperlyn\\Pelidor.INI";

std::string NativeProfile() { return pt::Root() + "/drives/c/Users/User/AppData/Local/Paperlyn/Pelidor.INI"; }

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Writes into the source's profile, making its folder first.
void Write(const char* section, const char* key, const char* value)
{
    ASSERT_EQ(SettingsProfile::DefaultPath("unused"), kProfile);
    ASSERT_TRUE(WritePrivateProfileStringA(section, key, value, kProfile));
}

SettingsProfile Profile()
{
    SettingsProfile profile;
    profile.SetPath(SettingsProfile::DefaultPath("unused"));
    return profile;
}

ResolutionList Resolutions(std::initializer_list<int16_t> dpis)
{
    ResolutionList list;
    size_t i = 0;
    for (int16_t dpi : dpis) {
        list.dpi[i] = dpi;
        list.enabled[i++] = true;
    }
    return list;
}

TEST(SettingsProfile, SectionNames)
{
    struct Case {
        const char* product;
        const char* section;
    };
    const Case cases[] = {
        {"My App 2.0", "MYAPP"},
        {"X1", "UNTITLED"},
        {"ab-1", "UNTITLED"},
        {"abc", "ABC"},
        {"Abcdefghijklmnopqrst", "ABCDEFGHIJKLMNO"},
        {"Scan & Archive (c) 2026!", "SCANARCHIVEC"},
        // Only the first 33 characters count.
        {"123456789012345678901234567890ab Zed", "UNTITLED"},
        {"12345678901234567890123456789abc", "ABC"},
        {"\xC9t\xE9 Scan", "TSCAN"},
        {"", "UNTITLED"},
    };
    for (const Case& c : cases) EXPECT_EQ(MakeProfileSection(c.product), c.section) << c.product;
    EXPECT_EQ(SettingsProfile::DefaultPath("unused"), kProfile);
}

// Without a local application data folder the profile lives beside the source.
TEST(SettingsProfile, FallsBackToTheSourcesFolder)
{
    for (const char* function : {"SHGetFolderPathA", "CreateDirectoryA"}) {
        pt::InjectFailure(function);
        const std::string path = SettingsProfile::DefaultPath("/opt/twain");
        pt::ClearFailures();
        EXPECT_EQ(path, "/opt/twain/Pelidor.INI") << function;
    }
}

// Every key as written, then each check on reading.
TEST(SettingsProfile, KeysDefaultsAndChecks)
{
    const SettingsProfile profile = Profile();
    const ResolutionList none;
    const ScanSettings defaults = profile.Load("FRESH", none);
    EXPECT_EQ(defaults.scanMode, kScanModeBlackWhite);
    EXPECT_EQ(defaults.dpi, 300);
    EXPECT_EQ(defaults.gamma10, 18);
    EXPECT_EQ(defaults.highlight, 255);
    EXPECT_EQ(defaults.shadow, 0);
    EXPECT_EQ(defaults.bottom, 687);
    EXPECT_EQ(defaults.right, 416);

    struct Case {
        const char* key;
        const char* value;
        int16_t ScanSettings::*field;
        int16_t loaded;
    };
    const Case cases[] = {
        {"ScanMode", "1", &ScanSettings::scanMode, 1},   {"ScanMode", "3", &ScanSettings::scanMode, 2},
        {"ScanMode", "4", &ScanSettings::scanMode, 4},   {"Brightness", "-100", &ScanSettings::brightness, -100},
        {"Brightness", "101", &ScanSettings::brightness, 0}, {"Contrast", "-101", &ScanSettings::contrast, 0},
        {"Gamma", "45", &ScanSettings::gamma10, 18},     {"Gamma", "10", &ScanSettings::gamma10, 10},
        {"Shadow", "251", &ScanSettings::shadow, 0},     {"Shadow", "250", &ScanSettings::shadow, 250},
        {"Highlight", "4", &ScanSettings::highlight, 255}, {"Highlight", "5", &ScanSettings::highlight, 5},
        {"Duplex", "1", &ScanSettings::duplex, 1},       {"DetectEOP", "1", &ScanSettings::detectEop, 1},
        {"Filter", "1", &ScanSettings::filter, 1},       {"Invert", "1", &ScanSettings::invert, 1},
        {"Top", "995", &ScanSettings::top, 990},         {"Right", "500", &ScanSettings::right, 416},
        {"Left", "-5", &ScanSettings::left, 0},          {"Bottom", "1200", &ScanSettings::bottom, 1000},
        // A resolution that is not positive would divide by zero.
        {"DPI", "0", &ScanSettings::dpi, 300},           {"DPI", "-75", &ScanSettings::dpi, 300},
        {"DPI", "250", &ScanSettings::dpi, 250},         {"DPI", "junk", &ScanSettings::dpi, 300},
    };
    for (const Case& c : cases) {
        const std::string section = std::string("KEY") + c.key + c.value;
        Write(section.c_str(), c.key, c.value);
        EXPECT_EQ(profile.Load(section, none).*c.field, c.loaded) << c.key << "=" << c.value;
    }
    // With the scanner's list, the resolution is one it has.
    Write("SNAP", "DPI", "250");
    EXPECT_EQ(profile.Load("SNAP", Resolutions({150, 200, 300, 600})).dpi, 200);
    Write("SNAP0", "DPI", "0");
    EXPECT_EQ(profile.Load("SNAP0", Resolutions({75, 100, 150, 200, 400})).dpi, 200);

    // Saved settings read back as they were.
    ScanSettings saved = defaults;
    saved.scanMode = kScanModeGray;
    saved.dpi = 150;
    saved.brightness = -20;
    saved.contrast = 35;
    saved.gamma10 = 22;
    saved.shadow = 12;
    saved.highlight = 240;
    saved.duplex = 1;
    SetScanFrame(saved, 10, 31, 217, 385);
    profile.Save("ROUNDTRIP", saved);
    const ScanSettings back = profile.Load("ROUNDTRIP", none);
    EXPECT_EQ(std::memcmp(&back, &saved, sizeof saved), 0);
    // Keys in the order written.
    const std::string text = ReadText(NativeProfile());
    const size_t at = text.find("[ROUNDTRIP]");
    ASSERT_NE(at, std::string::npos);
    const char* keys[] = {"ScanMode=", "DPI=", "Duplex=", "DetectEOP=", "Brightness=", "Contrast=", "Gamma=",
                          "Highlight=", "Shadow=", "Top=", "Left=", "Bottom=", "Right=", "Filter=", "Invert="};
    size_t last = at;
    for (const char* key : keys) {
        const size_t found = text.find(key, at);
        ASSERT_NE(found, std::string::npos) << key;
        EXPECT_GT(found, last) << key;
        last = found;
    }
    EXPECT_EQ(text.find("Rotation"), std::string::npos);
}

TEST(SettingsProfile, BuiltInPresets)
{
    struct Case {
        int16_t scanMode, dpi, top, left, bottom, right;
    };
    const Case cases[] = {
        {4, 150, 0, 8, 600, 408}, {4, 150, 0, 33, 500, 383}, {1, 300, 0, 33, 500, 383},
        {1, 200, 0, 31, 217, 385}, {2, 300, 0, 31, 217, 385},
    };
    const SettingsProfile profile = Profile();
    const ResolutionList list = Resolutions({75, 100, 150, 200, 300, 600});
    for (int i = 0; i < kPresetCount; ++i) {
        const Case& c = cases[i];
        const ScanSettings s = profile.LoadPreset(i, list, -1);
        EXPECT_EQ(s.scanMode, c.scanMode) << i;
        EXPECT_EQ(s.dpi, c.dpi) << i;
        EXPECT_EQ(s.top, c.top) << i;
        EXPECT_EQ(s.left, c.left) << i;
        EXPECT_EQ(s.bottom, c.bottom) << i;
        EXPECT_EQ(s.right, c.right) << i;
        EXPECT_EQ(s.duplex, 1) << i;
        EXPECT_EQ(s.gamma10, 18) << i;
        EXPECT_EQ(s.highlight, 255) << i;
        EXPECT_EQ(s.brightness | s.contrast | s.shadow | s.filter | s.invert | s.detectEop, 0) << i;
        // One transfer allowed: one side.
        EXPECT_EQ(profile.LoadPreset(i, list, 1).duplex, 0) << i;
        EXPECT_FALSE(profile.IsPresetLocked(i));
    }
    // A section without "DPI" is still the built-in preset.
    Write("PRESET_2", "ScanMode", "4");
    EXPECT_EQ(profile.LoadPreset(2, list, -1).scanMode, kScanModeGray);
}

TEST(SettingsProfile, SavingAPresetFirstWritesLocked)
{
    const SettingsProfile profile = Profile();
    ScanSettings s = SettingsProfile::BuiltInPreset(3);
    s.dpi = 600;
    profile.SavePreset(3, s);
    const std::string text = ReadText(NativeProfile());
    const size_t section = text.find("[PRESET_3]");
    ASSERT_NE(section, std::string::npos);
    const size_t locked = text.find("Locked=0", section);
    const size_t mode = text.find("ScanMode=", section);
    ASSERT_NE(locked, std::string::npos);
    EXPECT_LT(locked, mode);
    const ResolutionList list = Resolutions({75, 100, 150, 200, 300, 600});
    EXPECT_EQ(profile.LoadPreset(3, list, -1).dpi, 600);
    // A lock set by hand stays through later saves.
    Write("PRESET_3", "Locked", "1");
    profile.SavePreset(3, s);
    EXPECT_TRUE(profile.IsPresetLocked(3));
    EXPECT_EQ(ReadText(NativeProfile()).find("Locked=0"), std::string::npos);
}

TEST(SettingsProfile, MeasurementUnits)
{
    struct Case {
        const char* stored;  // nullptr: absent
        WORD language;
        int units;
    };
    const Case cases[] = {
        {nullptr, 0x0409, 1}, {nullptr, 0x0407, 0}, {"-1", 0x0809, 0}, {"-1", 0x0409, 1},
        {"0", 0x0409, 0},     {"1", 0x040C, 1},
    };
    const SettingsProfile profile = Profile();
    for (const Case& c : cases) {
        SettingsProfile::ForgetMeasurementUnits();
        WritePrivateProfileStringA("MAIN", "Units", c.stored, kProfile);
        pt::SetLanguage(c.language);
        EXPECT_EQ(profile.GetMeasurementUnits(), c.units) << (c.stored ? c.stored : "absent") << " " << c.language;
        // Cached: the file no longer matters.
        WritePrivateProfileStringA("MAIN", "Units", c.units == 1 ? "0" : "1", kProfile);
        EXPECT_EQ(profile.GetMeasurementUnits(), c.units);
    }
    profile.SetMeasurementUnits(0);
    EXPECT_EQ(GetPrivateProfileIntA("MAIN", "Units", 7, kProfile), 0u);
    SettingsProfile::ForgetMeasurementUnits();
    EXPECT_EQ(profile.GetMeasurementUnits(), 0);
    SettingsProfile::ForgetMeasurementUnits();
}

// Junk in the file: every value still passes its check.
TEST(SettingsProfile, DamagedFileLoadsCheckedValues)
{
    const SettingsProfile profile = Profile();
    Write("MAIN", "Units", "1");
    {
        std::ofstream out(NativeProfile(), std::ios::binary | std::ios::app);
        out << "\x01\x02garbage without equals\n[BROKEN\n=7\n[DAMAGED]\nScanMode=\xff\xfe\nDPI=99999999999\n"
               "Gamma=-\nTop=\nLeft=12abc\nBottom=1e9\nRight= 300 \n[DAMAGED]\nShadow=300\n";
        out.write("\0\0\0", 3);
    }
    const ScanSettings s = profile.Load("DAMAGED", Resolutions({75, 150, 300, 600}));
    EXPECT_TRUE(s.scanMode == 1 || s.scanMode == 2 || s.scanMode == 4);
    EXPECT_GT(s.dpi, 0);
    EXPECT_TRUE(s.dpi == 75 || s.dpi == 150 || s.dpi == 300 || s.dpi == 600) << s.dpi;
    EXPECT_GE(s.gamma10, 10);
    EXPECT_LE(s.gamma10, 40);
    EXPECT_LE(s.shadow, 250);
    EXPECT_GE(s.top, 0);
    EXPECT_LE(s.top, 990);
    EXPECT_GE(s.bottom, s.top + 10);
    EXPECT_LE(s.bottom, 1000);
    EXPECT_GE(s.right, s.left + 50);
    EXPECT_LE(s.right, 416);
    // Sections before the junk are still there.
    EXPECT_EQ(GetPrivateProfileIntA("MAIN", "Units", 7, kProfile), 1u);
}

int ProfileWriter(const std::vector<std::string>& args)
{
    if (args.size() != 2) return 2;
    const SettingsProfile profile = Profile();
    ScanSettings s{};
    s.scanMode = kScanModeGray;
    s.dpi = static_cast<int16_t>(std::stoi(args[1]));
    s.gamma10 = 18;
    s.highlight = 255;
    SetScanFrame(s, 0, 0, 687, 416);
    for (int i = 0; i < 20; ++i) {
        s.brightness = static_cast<int16_t>(i);
        profile.Save(args[0], s);
    }
    return 0;
}

const bool writerRegistered = pt::RegisterChildRole("twain-profile-writer", &ProfileWriter);

TEST(SettingsProfile, TwoProcessesWriteTheirOwnSections)
{
    ASSERT_TRUE(writerRegistered);
    Write("MAIN", "Units", "0");
    pt::ChildProcess first("twain-profile-writer", {"FIRSTAPP", "150"});
    pt::ChildProcess second("twain-profile-writer", {"SECONDAPP", "600"});
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(second.Wait(), 0);
    const SettingsProfile profile = Profile();
    const ResolutionList none;
    const ScanSettings a = profile.Load("FIRSTAPP", none);
    const ScanSettings b = profile.Load("SECONDAPP", none);
    EXPECT_EQ(a.dpi, 150);
    EXPECT_EQ(b.dpi, 600);
    EXPECT_EQ(a.brightness, 19);
    EXPECT_EQ(b.brightness, 19);
    EXPECT_EQ(a.scanMode, kScanModeGray);
    EXPECT_EQ(GetPrivateProfileIntA("MAIN", "Units", 7, kProfile), 0u);
}

// MSG_OPENDS loads the calling application's section.
TEST(SettingsProfileSource, OpenLoadsTheApplicationsSection)
{
    UseDirectPortModel();
    siscan_test::Emulator scanner("RM310-GL841", {SamplePage()});
    ASSERT_TRUE(scanner.Ready());
    Write("DISPATCHTEST", "ScanMode", "1");
    Write("DISPATCHTEST", "DPI", "-3");
    Write("DISPATCHTEST", "Brightness", "25");
    Write("DISPATCHTEST", "Gamma", "22");
    Write("DISPATCHTEST", "Top", "0");
    Write("DISPATCHTEST", "Left", "31");
    Write("DISPATCHTEST", "Bottom", "217");
    Write("DISPATCHTEST", "Right", "385");
    Write("OTHER", "ScanMode", "4");
    DirectSource ds;
    ASSERT_TRUE(ds.Loaded());
    ASSERT_EQ(ds.Open(), TWRC_SUCCESS);
    EXPECT_EQ(Current(ds, ICAP_PIXELTYPE), TW_UINT32{TWPT_GRAY});
    EXPECT_EQ(Current(ds, ICAP_XRESOLUTION), Fx(300));
    EXPECT_EQ(Current(ds, ICAP_BRIGHTNESS), Fx(250));
    EXPECT_EQ(Current(ds, ICAP_GAMMA), Fx(2.2));
    EXPECT_EQ(Current(ds, ICAP_SUPPORTEDSIZES), TW_UINT32{TWSS_BUSINESSCARD});
    ds.Close();
    EXPECT_EQ(scanner.Violations(), 0);
}

}  // namespace
}  // namespace twain_test
