// Setup classes and the device installation database.
#include <windows.h>
#include <setupapi.h>

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr GUID kImageClass = {0x6BDD1FC6, 0x810F, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};

platform::testing::DeviceInstall Scanner(const std::string& id, const std::string& friendlyName, bool present = true) {
    platform::testing::DeviceInstall device;
    device.deviceId = id;
    device.description = "USB scanner";
    device.friendlyName = friendlyName;
    device.manufacturer = "Maker";
    device.hardwareId = "USB\\" + id;
    device.present = present;
    return device;
}

// Friendly names of the present Image devices, in enumeration order.
std::vector<std::string> PresentNames() {
    std::vector<std::string> names;
    HDEVINFO set = SetupDiGetClassDevsA(&kImageClass, nullptr, nullptr, DIGCF_PRESENT);
    EXPECT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        char name[256] = {};
        DWORD type = 0;
        DWORD needed = 0;
        EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_FRIENDLYNAME, &type,
                                                      reinterpret_cast<BYTE*>(name), sizeof name, &needed));
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(needed, std::strlen(name) + 1);
        EXPECT_EQ(std::memcmp(&data.ClassGuid, &kImageClass, sizeof(GUID)), 0);
        names.push_back(name);
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    return names;
}

TEST(IoSetupTest, ImageClassIsFoundByNameAndGuid) {
    GUID guids[2] = {};
    DWORD required = 0;
    ASSERT_TRUE(SetupDiClassGuidsFromNameA("image", guids, 2, &required));
    ASSERT_EQ(required, 1u);
    EXPECT_EQ(std::memcmp(&guids[0], &kImageClass, sizeof(GUID)), 0);
    EXPECT_FALSE(SetupDiClassGuidsFromNameA("Image", guids, 0, &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, 1u);
    ASSERT_TRUE(SetupDiClassGuidsFromNameA("Printer", guids, 2, &required));
    EXPECT_EQ(required, 0u);

    char name[32] = {};
    ASSERT_TRUE(SetupDiClassNameFromGuidA(&kImageClass, name, sizeof name, &required));
    EXPECT_STREQ(name, "Image");
    EXPECT_EQ(required, 6u);
    GUID unknown = kImageClass;
    unknown.Data1 ^= 1;
    EXPECT_FALSE(SetupDiClassNameFromGuidA(&unknown, name, sizeof name, &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_CLASS));

    HKEY key = SetupDiOpenClassRegKeyExA(&kImageClass, KEY_READ, DIOCR_INSTALLER, nullptr, nullptr);
    ASSERT_NE(key, reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
    RegCloseKey(key);
    EXPECT_EQ(SetupDiOpenClassRegKeyExA(&unknown, KEY_READ, DIOCR_INSTALLER, nullptr, nullptr),
              reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
}

TEST(IoSetupTest, PresentDevicesAreEnumeratedInPathOrder) {
    EXPECT_TRUE(PresentNames().empty());
    ASSERT_FALSE(platform::testing::InstallDevice(Scanner("VID_17C4&PID_00F1", "RM410")).empty());
    ASSERT_FALSE(platform::testing::InstallDevice(Scanner("VID_17C4&PID_00F0", "RM310")).empty());
    std::string hidden = platform::testing::InstallDevice(Scanner("VID_1F63&PID_4800", "RM1100", false));
    ASSERT_EQ(hidden, "USB\\VID_1F63&PID_4800\\0000");
    EXPECT_EQ(PresentNames(), (std::vector<std::string>{"RM310", "RM410"}));
    ASSERT_TRUE(platform::testing::SetDevicePresent(hidden, true));
    EXPECT_EQ(PresentNames(), (std::vector<std::string>{"RM310", "RM410", "RM1100"}));
    EXPECT_FALSE(platform::testing::SetDevicePresent("USB\\nothing\\0000", true));
}

TEST(IoSetupTest, PropertiesAndKeysOfADevice) {
    auto device = Scanner("VID_17C4&PID_00F0", "");
    ASSERT_FALSE(platform::testing::InstallDevice(device).empty());
    HDEVINFO set = SetupDiGetClassDevsA(&kImageClass, nullptr, nullptr, DIGCF_PRESENT);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data - 1;
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &data));

    char text[128] = {};
    DWORD needed = 0;
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_FRIENDLYNAME, nullptr,
                                                   reinterpret_cast<BYTE*>(text), sizeof text, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_DEVICEDESC, nullptr,
                                                   reinterpret_cast<BYTE*>(text), 4, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 12u);
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_DEVICEDESC, nullptr,
                                                  reinterpret_cast<BYTE*>(text), sizeof text, &needed));
    EXPECT_STREQ(text, "USB scanner");
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_DRIVER, nullptr, reinterpret_cast<BYTE*>(text),
                                                  sizeof text, &needed));
    EXPECT_STREQ(text, "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000");

    HKEY driver = SetupDiOpenDevRegKey(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_ALL_ACCESS);
    ASSERT_NE(driver, reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
    DWORD value = 5;
    EXPECT_EQ(RegSetValueExA(driver, "Stored", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value),
              ERROR_SUCCESS);
    RegCloseKey(driver);
    HKEY parameters = SetupDiOpenDevRegKey(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    ASSERT_NE(parameters, reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
    RegCloseKey(parameters);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));

    // A second device gets the next driver key.
    ASSERT_FALSE(platform::testing::InstallDevice(Scanner("VID_17C4&PID_00F1", "RM410")).empty());
    HKEY second = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                            "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0001",
                            0, KEY_READ, &second),
              ERROR_SUCCESS);
    RegCloseKey(second);
}

TEST(IoSetupTest, InjectedFailureOfTheDeviceList) {
    platform::testing::InjectFailure("SetupDiGetClassDevsA", ERROR_GEN_FAILURE, 0, 1);
    EXPECT_EQ(SetupDiGetClassDevsA(&kImageClass, nullptr, nullptr, DIGCF_PRESENT), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
}

}  // namespace
