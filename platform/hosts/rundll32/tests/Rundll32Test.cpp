// rundll32 loads a module by name and calls the named entry with the rest
// of its command line and the module's instance.
#include <platform/testing.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string BinFolder() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    std::string self(path, n > 0 ? static_cast<size_t>(n) : 0);
    return self.substr(0, self.rfind('/'));
}

int RunRundll32(const std::vector<std::string>& args, const std::string& out) {
    platform::testing::ChildProcess child("", args, BinFolder() + "/rundll32", {"RUNDLL_PROBE_OUT=" + out});
    EXPECT_TRUE(child.Started());
    return child.Wait();
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(Rundll32, CallsTheEntryWithTheRestOfTheCommandLine) {
    const std::string out = platform::testing::Root() + "/probe.txt";
    EXPECT_EQ(RunRundll32({"rundllprobe.DLL,Record", "Pelidor.dll", "RM310", "x"}, out), 0);
    const auto lines = Lines(out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Pelidor.dll RM310 x");
    EXPECT_EQ(lines[2], BinFolder() + "/RundllProbe.dll");  // the instance is the loaded module
    EXPECT_EQ(lines[3], "1");
}

TEST(Rundll32, MissingModuleEntryOrCommaFails) {
    const std::string out = platform::testing::Root() + "/probe.txt";
    EXPECT_EQ(RunRundll32({"Missing.dll,Record"}, out), 1);
    EXPECT_EQ(RunRundll32({"RundllProbe.dll,Nothing"}, out), 1);
    EXPECT_EQ(RunRundll32({"RundllProbe.dll"}, out), 1);
    EXPECT_EQ(RunRundll32({}, out), 1);
    EXPECT_TRUE(Lines(out).empty());
}

// A program started from a folder without the platform library still finds
// it, as Windows programs find the system's modules.
TEST(Rundll32, ProgramCopiedElsewhereStillFindsThePlatform) {
    std::ifstream in(BinFolder() + "/rundll32", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty());
    HANDLE out = CreateFileA("C:\\Windows\\Temp\\copy.exe", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(out);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    char line[] = "C:\\Windows\\Temp\\copy.exe";
    ASSERT_TRUE(CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    ASSERT_EQ(WaitForSingleObject(process.hProcess, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process.hProcess, &code));
    EXPECT_EQ(code, 1u);  // its usage message: it ran (a missing library gives 127)
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

}  // namespace
