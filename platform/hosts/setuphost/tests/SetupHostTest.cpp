// setuphost installs the device of a virtual scanner: the device's records,
// the driver files, and the co-installers called before and after.
#include <emulator/VirtualScanner.h>
#include <platform/testing.h>
#include <setupapi.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string BinFolder() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    const std::string self(path, n > 0 ? static_cast<size_t>(n) : 0);
    return self.substr(0, self.rfind('/'));
}

struct SetupRun {
    int status = -1;
    std::vector<std::string> output;
};

SetupRun RunSetupHost(const std::vector<std::string>& args) {
    platform::testing::ChildProcess child("", args, BinFolder() + "/setuphost",
                                          {"COINSTALLER_PROBE_OUT=" + platform::testing::Root() + "/probe.txt"});
    EXPECT_TRUE(child.Started());
    SetupRun run;
    while (auto line = child.ReadLine()) run.output.push_back(*line);
    run.status = child.Wait();
    return run;
}

std::vector<std::string> ProbeCalls() {
    std::ifstream in(platform::testing::Root() + "/probe.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string DriverValue(const char* subKey, const char* name) {
    GUID image{0x6BDD1FC6, 0x810F, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};
    HDEVINFO set = SetupDiGetClassDevsA(&image, nullptr, nullptr, DIGCF_PRESENT);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    std::string value;
    if (SetupDiEnumDeviceInfo(set, 0, &data)) {
        HKEY driver = SetupDiOpenDevRegKey(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
        HKEY key = nullptr;
        if (driver != INVALID_HANDLE_VALUE && RegOpenKeyA(driver, subKey, &key) == ERROR_SUCCESS) {
            char buffer[256] = {};
            DWORD size = sizeof buffer - 1;
            if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS)
                value = buffer;
            RegCloseKey(key);
        }
        if (driver != INVALID_HANDLE_VALUE) RegCloseKey(driver);
    }
    SetupDiDestroyDeviceInfoList(set);
    return value;
}

class SetupHostTest : public ::testing::Test {
protected:
    void SetUp() override { scanner_.Serve(platform::testing::Root()); }
    emulator::VirtualScanner scanner_{"RM310-GL841"};
};

TEST_F(SetupHostTest, InstallsTheDeviceAndCallsTheCoInstallerBeforeAndAfter) {
    const SetupRun run = RunSetupHost({"--coinstaller", "CoInstallerProbe.dll,ProbeInstall"});
    EXPECT_EQ(run.status, 0);
    ASSERT_FALSE(run.output.empty());
    EXPECT_EQ(run.output.back(), "install result: 0x00000000");
    // Registered at DIF_REGISTER_COINSTALLERS, then called around each later
    // function; after DIF_INSTALLDEVICE, with its result, the records are there.
    const std::vector<std::string> expected = {
        "32 before 0x00000000 -",            // DIF_INSTALLINTERFACES
        "2 before 0x00000000 -",             // DIF_INSTALLDEVICE
        "2 after 0x00000000 Pelidor.dll",    // its post-processing
        "30 before 0x00000000 Pelidor.dll",  // DIF_NEWDEVICEWIZARD_FINISHINSTALL
    };
    EXPECT_EQ(ProbeCalls(), expected);
    EXPECT_EQ(DriverValue("DeviceData", "DLLName"), "Pelidor.dll");
    EXPECT_EQ(DriverValue("", "CreateFileName"), "\\\\.\\usbscan0");
    EXPECT_EQ(DriverValue("Events\\ScanButton", "GUID"), "{A6C5A715-8C6E-11D2-977A-0000F87A926F}");
    EXPECT_TRUE(scanner_.Violations().empty());
}

TEST_F(SetupHostTest, FailedInstallationReachesThePostProcessingAndIsReported) {
    const SetupRun run = RunSetupHost({"--coinstaller", "CoInstallerProbe.dll,ProbeInstall", "--fail-install", "5"});
    EXPECT_EQ(run.status, 1);
    ASSERT_FALSE(run.output.empty());
    EXPECT_EQ(run.output.back(), "install result: 0x00000005");
    const std::vector<std::string> expected = {"32 before 0x00000000 -", "2 before 0x00000000 -",
                                               "2 after 0x00000005 -"};
    EXPECT_EQ(ProbeCalls(), expected);
}

TEST_F(SetupHostTest, TheScannersCoInstallerIsCalledAroundTheInstallation) {
    const SetupRun run = RunSetupHost({});
    EXPECT_EQ(run.status, 0);
    auto has = [&](const std::string& line) {
        return std::find(run.output.begin(), run.output.end(), line) != run.output.end();
    };
    EXPECT_TRUE(has("Devprep.dll,CoDeviceInstall DIF_INSTALLDEVICE before: 0xE0000226"));
    EXPECT_TRUE(has("Devprep.dll,CoDeviceInstall DIF_INSTALLDEVICE after: 0x00000000"));
    EXPECT_TRUE(has("Devprep.dll,CoDeviceInstall DIF_NEWDEVICEWIZARD_FINISHINSTALL before: 0x00000000"));
    EXPECT_EQ(run.output.back(), "install result: 0x00000000");
    // The driver files went into the system folder.
    EXPECT_NE(GetFileAttributesA("C:\\Windows\\System32\\Devprep.dll"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SetupHostTest, DeviceWithoutAModelOrWithoutAPortIsNotInstalled) {
    EXPECT_EQ(RunSetupHost({"--port", "\\\\.\\usbscan7"}).status, 2);
    EXPECT_EQ(RunSetupHost({"--bogus"}).status, 2);
    EXPECT_TRUE(ProbeCalls().empty());
}

}  // namespace
