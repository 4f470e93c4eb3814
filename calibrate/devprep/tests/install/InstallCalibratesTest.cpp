// End to end: installing the virtual scanner through the setup host writes
// the calibrator out of Devprep.dll, starts it for the console user with
// the library's name, and the calibration runs to its result box (a
// scripted user presses Calibrate and OK); afterwards the scanner opens
// calibrated. `rundll32 Devprep.dll,Calibrate Pelidor.dll` does the same on
// demand.
#include <SIInterface.h>
#include <emulator/VirtualScanner.h>
#include <platform/testing.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <dirent.h>
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

std::string Root() { return platform::testing::Root(); }

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> TemporaryFiles() {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir((Root() + "/drives/c/Windows/Temp").c_str())) {
        while (dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    return names;
}

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

// The calibrator's user: Calibrate on the calibration page, OK on the result.
const std::vector<std::string> kUser = {"PLATFORM_UI_SCRIPT=press:131:1103;answer:1"};

class InstallCalibratesTest : public ::testing::Test {
protected:
    void SetUp() override {
        scanner_.Serve(Root());
        scanner_.InsertCalibrationSheet();
        platform::testing::SetConsoleUser("alice");
    }
    void TearDown() override {
        platform::testing::StopImageService();
        EXPECT_TRUE(scanner_.Violations().empty());
    }

    // Runs a program to its end; its output up to the line starting with
    // `last` (the image service it may start keeps the output open).
    int Run(const std::string& program, const std::vector<std::string>& args, std::vector<std::string>* output,
            const std::string& last = "install result:") {
        std::vector<std::string> environment = kUser;
        environment.push_back("PLATFORM_UI_LOG=" + Root() + "/ui.log");
        platform::testing::ChildProcess child("", args, BinFolder() + "/" + program, environment);
        EXPECT_TRUE(child.Started());
        const int status = child.Wait();
        while (!last.empty()) {
            auto line = child.ReadLine();
            if (!line) break;
            output->push_back(*line);
            if (line->rfind(last, 0) == 0) break;
        }
        return status;
    }

    // Whether the library, opened on the device file, finds the scanner calibrated.
    static bool OpensCalibrated() {
        HMODULE library = LoadLibraryA("Pelidor.dll");
        if (library == nullptr) return false;
        auto open = reinterpret_cast<decltype(&SI_OpenInterface)>(
            reinterpret_cast<void*>(GetProcAddress(library, "SI_OpenInterface")));
        auto calibrated = reinterpret_cast<decltype(&SI_IsCalibrated)>(
            reinterpret_cast<void*>(GetProcAddress(library, "SI_IsCalibrated")));
        auto close = reinterpret_cast<decltype(&SI_CloseInterface)>(
            reinterpret_cast<void*>(GetProcAddress(library, "SI_CloseInterface")));
        bool result = false;
        if (open && calibrated && close && open("RM310__") == SI_OK) {
            int value = 0;
            result = calibrated(&value) == SI_OK && value != 0;
            close();
        }
        FreeLibrary(library);
        return result;
    }

    emulator::VirtualScanner scanner_{"RM310-GL841"};
};

TEST_F(InstallCalibratesTest, SetupRunsTheCalibratorForTheConsoleUser) {
    EXPECT_FALSE(OpensCalibrated());
    std::vector<std::string> output;
    EXPECT_EQ(Run("setuphost", {}, &output), 0);
    ASSERT_FALSE(output.empty());
    EXPECT_EQ(output.back(), "install result: 0x00000000");

    const auto started = platform::testing::StartedProcesses();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_TRUE(started[0].asUser);
    EXPECT_EQ(started[0].user, "alice");
    EXPECT_EQ(started[0].session, 1u);
    EXPECT_EQ(started[0].desktop, "default");
    EXPECT_EQ(started[0].workingDirectory, "C:\\");
    EXPECT_EQ(started[0].commandLine.substr(started[0].commandLine.size() - 13), "\" Pelidor.dll");

    const auto ui = Lines(Root() + "/ui.log");
    EXPECT_TRUE(Contains(ui, "Calibration was successful.")) << ::testing::PrintToString(ui);
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_TRUE(OpensCalibrated());
}

TEST_F(InstallCalibratesTest, NobodyAtTheConsoleLeavesTheInstallationAlone) {
    platform::testing::SetConsoleSession(platform::testing::kNoConsoleSession);
    std::vector<std::string> output;
    EXPECT_EQ(Run("setuphost", {}, &output), 0);
    ASSERT_FALSE(output.empty());
    EXPECT_EQ(output.back(), "install result: 0x00000000");
    EXPECT_TRUE(platform::testing::StartedProcesses().empty());
    EXPECT_TRUE(TemporaryFiles().empty());
}

TEST_F(InstallCalibratesTest, Rundll32CalibratesOnDemand) {
    std::vector<std::string> output;
    ASSERT_EQ(Run("setuphost", {"--no-coinstallers"}, &output), 0);
    EXPECT_EQ(Run("rundll32", {"Devprep.dll,Calibrate", "Pelidor.dll"}, &output, ""), 0);
    const auto started = platform::testing::StartedProcesses();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_TRUE(started[0].asUser);
    EXPECT_TRUE(Contains(Lines(Root() + "/ui.log"), "Calibration was successful."));
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_TRUE(OpensCalibrated());
}

}  // namespace
