// An installed scanner device in the emulated machine, its driver key's
// "DeviceData" and a stand-in calibrator: a small script that notes its
// arguments, folder and session in the machine's root.
#pragma once

#include <platform/testing.h>
#include <setupapi.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <string>
#include <vector>

class DevprepTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::testing::SetSession(0);  // the setup service
        platform::testing::DeviceInstall device;
        device.deviceId = "VID_17C4&PID_00F2";
        device.description = "RM310 Scanner";
        ASSERT_FALSE(platform::testing::InstallDevice(device).empty());
        GUID image{0x6BDD1FC6, 0x810F, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};
        set_ = SetupDiGetClassDevsA(&image, nullptr, nullptr, DIGCF_PRESENT);
        ASSERT_NE(set_, INVALID_HANDLE_VALUE);
        data_.cbSize = sizeof data_;
        ASSERT_TRUE(SetupDiEnumDeviceInfo(set_, 0, &data_));
    }
    void TearDown() override {
        if (set_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set_);
    }

    // Writes a value of "DeviceData" as bytes of the given type.
    void SetDeviceData(const char* name, DWORD type, const std::string& bytes) {
        HKEY driver = SetupDiOpenDevRegKey(set_, &data_, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_ALL_ACCESS);
        ASSERT_NE(driver, INVALID_HANDLE_VALUE);
        HKEY deviceData = nullptr;
        ASSERT_EQ(RegCreateKeyExA(driver, "DeviceData", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deviceData, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(deviceData, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        RegCloseKey(deviceData);
        RegCloseKey(driver);
    }
    void SetDllName(const std::string& name) { SetDeviceData("DLLName", REG_SZ, name + std::string(1, '\0')); }

    // The stand-in calibrator: one line per run, "<arguments>|<folder>|<session>".
    static std::vector<BYTE> Calibrator() {
        const std::string script =
            "#!/bin/sh\n"
            "echo \"$*|$(pwd)|$PLATFORM_SESSION\" >> \"$PLATFORM_ROOT/calibrator-runs\"\n";
        return {script.begin(), script.end()};
    }
    static std::vector<std::string> Runs() {
        std::ifstream in(platform::testing::Root() + "/calibrator-runs");
        std::vector<std::string> runs;
        for (std::string line; std::getline(in, line);) runs.push_back(line);
        return runs;
    }
    static std::string Root() { return platform::testing::Root(); }
    // Files left in the temporary folder.
    static std::vector<std::string> TemporaryFiles() {
        std::vector<std::string> names;
        if (DIR* dir = ::opendir((Root() + "/drives/c/Windows/Temp").c_str())) {
            while (dirent* entry = ::readdir(dir))
                if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
            ::closedir(dir);
        }
        return names;
    }

    HDEVINFO set_ = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA data_{};
};
