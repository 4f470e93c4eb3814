// The prefeed values in the device values of the scanner "RM310": seeding
// of the default copies at load, and reading and writing them for the page.
#include "PrefeedSettings.h"

#include <gtest/gtest.h>
#include <platform/testing.h>

#include <windows.h>

#include <map>
#include <optional>
#include <string>

namespace {

// A stored device value: its type and bytes.
struct Stored {
    DWORD type = REG_DWORD;
    std::string bytes;

    static Stored Number(DWORD n) { return {REG_DWORD, std::string(reinterpret_cast<const char*>(&n), 4)}; }
    static Stored Text(const std::string& s) { return {REG_SZ, s + '\0'}; }
    static Stored Binary(const std::string& s) { return {REG_BINARY, s}; }
    bool operator==(const Stored&) const = default;
};

using Values = std::map<std::string, Stored>;

// The scanner's Still Image entry, without a scanner behind it.
class PrefeedSettingsTest : public ::testing::Test {
protected:
    void Install(const std::string& description = "RM310") {
        platform::testing::StillImageInstall install;
        install.device.deviceId = "VID_1234&PID_0001";
        install.device.description = "test scanner";
        install.vendorDescription = "vendor";
        install.deviceDescription = description;
        install.portName = "\\\\.\\usbscan0";
        install.usdClass = "{4161996E-4020-4EEA-8C0B-AE438253EF01}";
        install.driverModule = "PelidorW.dll";
        instance_ = platform::testing::InstallStillImageDevice(install);
        ASSERT_FALSE(instance_.empty());
        ASSERT_TRUE(settings_.Open(L"RM310") || description != "RM310");
        settings_.Close();
    }

    // Writes the values through the service's own interface.
    void Store(const Values& values) {
        Access([&](IStillImageW* sti, LPWSTR device) {
            for (const auto& [name, value] : values) {
                std::wstring wide(name.begin(), name.end());
                ASSERT_EQ(sti->SetDeviceValue(device, wide.data(), value.type,
                                              reinterpret_cast<LPBYTE>(const_cast<char*>(value.bytes.data())),
                                              static_cast<DWORD>(value.bytes.size())),
                          S_OK);
            }
        });
    }

    std::optional<Stored> Read(const std::string& name) {
        std::optional<Stored> result;
        Access([&](IStillImageW* sti, LPWSTR device) {
            std::wstring wide(name.begin(), name.end());
            BYTE buffer[300];
            DWORD size = sizeof buffer;
            DWORD type = 0;
            if (SUCCEEDED(sti->GetDeviceValue(device, wide.data(), &type, buffer, &size)))
                result = Stored{type, std::string(reinterpret_cast<char*>(buffer), size)};
        });
        return result;
    }

    template <typename F>
    void Access(F f) {
        IStillImageW* sti = nullptr;
        ASSERT_EQ(StiCreateInstanceW(GetModuleHandleA(nullptr), STI_VERSION, &sti, nullptr), S_OK);
        DWORD count = 0;
        void* list = nullptr;
        ASSERT_EQ(sti->GetDeviceList(0, 0, &count, &list), S_OK);
        ASSERT_EQ(count, 1u);
        f(sti, static_cast<STI_DEVICE_INFORMATIONW*>(list)->szDeviceInternalName);
        LocalFree(list);
        sti->Release();
    }

    STISettings settings_;
    std::string instance_;
};

struct SeedCase {
    const char* name;
    Values before;
    Values after;  // every prefeed value afterwards
};

const char* const kNames[] = {"PrefeedEnable",    "PrefeedDelayInMs",    "PrefeedDistance",
                              "PrefeedEnableDef", "PrefeedDelayInMsDef", "PrefeedDistanceDef"};

TEST_F(PrefeedSettingsTest, SeedingAtLoad) {
    using S = Stored;
    const SeedCase cases[] = {
        {"first load",
         {},
         {{"PrefeedEnable", S::Number(1)}, {"PrefeedDelayInMs", S::Number(1500)}, {"PrefeedDistance", S::Number(13)},
          {"PrefeedEnableDef", S::Number(1)}, {"PrefeedDelayInMsDef", S::Number(1500)},
          {"PrefeedDistanceDef", S::Number(13)}}},
        {"a current value becomes the default copy",
         {{"PrefeedDelayInMs", S::Number(800)}},
         {{"PrefeedEnable", S::Number(1)}, {"PrefeedDelayInMs", S::Number(800)}, {"PrefeedDistance", S::Number(13)},
          {"PrefeedEnableDef", S::Number(1)}, {"PrefeedDelayInMsDef", S::Number(800)},
          {"PrefeedDistanceDef", S::Number(13)}}},
        {"a value stored as text reads as its number",
         {{"PrefeedDistance", S::Text("20")}},
         {{"PrefeedEnable", S::Number(1)}, {"PrefeedDelayInMs", S::Number(1500)}, {"PrefeedDistance", S::Text("20")},
          {"PrefeedEnableDef", S::Number(1)}, {"PrefeedDelayInMsDef", S::Number(1500)},
          {"PrefeedDistanceDef", S::Number(20)}}},
        {"existing copies: nothing is written",
         {{"PrefeedEnableDef", S::Number(0)}, {"PrefeedDelayInMsDef", S::Number(700)},
          {"PrefeedDistanceDef", S::Number(5)}, {"PrefeedDelayInMs", S::Number(900)}},
         {{"PrefeedDelayInMs", S::Number(900)}, {"PrefeedEnableDef", S::Number(0)},
          {"PrefeedDelayInMsDef", S::Number(700)}, {"PrefeedDistanceDef", S::Number(5)}}},
        // A value of another type is no value: the built-in default replaces it.
        {"a value of another type",
         {{"PrefeedEnable", S::Binary("\x07")}, {"PrefeedDelayInMsDef", S::Binary("xy")}},
         {{"PrefeedEnable", S::Number(1)}, {"PrefeedDelayInMs", S::Number(1500)}, {"PrefeedDistance", S::Number(13)},
          {"PrefeedEnableDef", S::Number(1)}, {"PrefeedDelayInMsDef", S::Number(1500)},
          {"PrefeedDistanceDef", S::Number(13)}}},
    };
    for (const auto& c : cases) {
        platform::testing::ScopedRoot root;
        Install();
        Store(c.before);
        InitPrefeedDefaults(settings_);
        for (const char* name : kNames) {
            const auto found = c.after.find(name);
            const auto stored = Read(name);
            if (found == c.after.end()) EXPECT_FALSE(stored.has_value()) << c.name << ": " << name;
            else EXPECT_EQ(stored, found->second) << c.name << ": " << name;
        }
    }
}

TEST_F(PrefeedSettingsTest, NoScannerOfThatDescription) {
    Install("RM410");
    InitPrefeedDefaults(settings_);
    PrefeedValues values{false, 1, 1};
    EXPECT_FALSE(ReadPrefeedSettings(settings_, values));
    EXPECT_EQ(values, kBuiltInPrefeed);
    values = {false, 1, 1};
    ReadPrefeedDefaults(settings_, values);
    EXPECT_EQ(values, kBuiltInPrefeed);
    EXPECT_FALSE(WritePrefeedSettings(settings_, {false, 300, 2}));
}

TEST_F(PrefeedSettingsTest, CurrentValuesAndDefaultCopies) {
    Install();
    Store({{"PrefeedEnable", Stored::Number(0)}, {"PrefeedDistance", Stored::Text("27")},
           {"PrefeedDelayInMsDef", Stored::Number(600)}});
    PrefeedValues values;
    EXPECT_TRUE(ReadPrefeedSettings(settings_, values));
    EXPECT_EQ(values, (PrefeedValues{false, 1500, 27}));
    // The missing value was written with its built-in default.
    EXPECT_EQ(Read("PrefeedDelayInMs"), Stored::Number(1500));
    ReadPrefeedDefaults(settings_, values);
    EXPECT_EQ(values, (PrefeedValues{true, 600, 13}));
    EXPECT_TRUE(WritePrefeedSettings(settings_, {true, 2500, 40}));
    EXPECT_EQ(Read("PrefeedEnable"), Stored::Number(1));
    EXPECT_EQ(Read("PrefeedDelayInMs"), Stored::Number(2500));
    EXPECT_EQ(Read("PrefeedDistance"), Stored::Number(40));
}

TEST_F(PrefeedSettingsTest, DescriptionMatchesInAnyLetterCase) {
    Install("rm310");
    EXPECT_TRUE(settings_.Open(L"RM310"));
    int value = 5;
    EXPECT_FALSE(settings_.GetValue(L"PrefeedEnable", value));
    EXPECT_EQ(value, 5);
    settings_.Close();
    EXPECT_FALSE(settings_.GetValue(L"PrefeedEnable", value));
}

}  // namespace
