// The co-installer: its entry's answers, the library name it reads from the
// device, the rundll32 command line, the temporary calibrator file, and who
// runs the calibrator where.
#include "DevprepFixture.h"

#include "CalibrateCommandLine.h"
#include "CoInstaller.h"
#include "DeviceRegistry.h"
#include "TemporaryProgram.h"

#include <sys/stat.h>

#include <cstring>
#include <optional>

namespace {

using platform::testing::kNoConsoleSession;

TEST(CalibrateCommandLine, TokenisingRule) {
    struct Case {
        const char* line;
        std::optional<std::string> library;
        std::optional<std::string> model;
    };
    const Case cases[] = {
        {"", std::nullopt, std::nullopt},
        {"    ", std::nullopt, std::nullopt},
        {"Pelidor.dll", "Pelidor.dll", std::nullopt},
        {"Pelidor.dll ", "Pelidor.dll", std::nullopt},
        {"Pelidor.dll RM310", "Pelidor.dll", "RM310"},
        {"   Pelidor.dll     RM310__ third and more", "Pelidor.dll", "RM310__"},
        {"Pelidor.dll RM310 ", "Pelidor.dll", "RM310"},
        {"\"C:\\Program Files\\Pelidor.dll\" RM310", "\"C:\\Program", "Files\\Pelidor.dll\""},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseCalibrateCommandLine(c.line);
        ASSERT_EQ(parsed.has_value(), c.library.has_value()) << "[" << c.line << "]";
        if (!parsed) continue;
        EXPECT_EQ(parsed->library, *c.library) << "[" << c.line << "]";
        EXPECT_EQ(parsed->model, c.model) << "[" << c.line << "]";
    }
}

TEST_F(DevprepTest, DllNameIsReadOnlyAsATerminatedString) {
    struct Case {
        const char* what;
        DWORD type;
        std::string bytes;
        bool readable;
        std::string name;
    };
    const Case cases[] = {
        {"terminated text", REG_SZ, std::string("Pelidor.dll\0", 12), true, "Pelidor.dll"},
        {"text with room to spare", REG_SZ, std::string("Pelidor.dll\0\0\0", 14), true, "Pelidor.dll"},
        {"unterminated text", REG_SZ, "Pelidor.dll", false, ""},
        {"empty data", REG_SZ, "", false, ""},
        {"expandable text", REG_EXPAND_SZ, std::string("Pelidor.dll\0", 12), false, ""},
        {"number", REG_DWORD, std::string("\x01\0\0\0", 4), false, ""},
        {"binary", REG_BINARY, std::string("Pelidor.dll\0", 12), false, ""},
    };
    for (const auto& c : cases) {
        SetDeviceData("DLLName", c.type, c.bytes);
        std::string name = "stale";
        EXPECT_EQ(ReadDeviceDllName(set_, &data_, name), c.readable) << c.what;
        EXPECT_EQ(name, c.name) << c.what;
    }
}

TEST_F(DevprepTest, DllNameMissingOrNoDeviceDataOrNoDriverKey) {
    std::string name;
    EXPECT_FALSE(ReadDeviceDllName(set_, &data_, name));  // no "DeviceData"
    SetDeviceData("Other", REG_SZ, std::string("x\0", 2));
    EXPECT_FALSE(ReadDeviceDllName(set_, &data_, name));  // no "DLLName"

    SetDllName("Pelidor.dll");
    platform::testing::InjectFailure("SetupDiOpenDevRegKey", ERROR_KEY_DOES_NOT_EXIST);
    DeviceRegistry registry;
    EXPECT_EQ(registry.OpenDeviceKey(set_, &data_), static_cast<LONG>(ERROR_KEY_DOES_NOT_EXIST));
    EXPECT_EQ(registry.OpenSubKey("DeviceData"), -1);
    std::string value = "stale";
    EXPECT_EQ(registry.QueryString("DLLName", value), -1);
    EXPECT_EQ(value, "");
}

TEST_F(DevprepTest, DeviceRegistryOpensOneSubKeyAtATime) {
    SetDllName("Pelidor.dll");
    DeviceRegistry registry;
    ASSERT_EQ(registry.OpenDeviceKey(set_, &data_), 0);
    EXPECT_EQ(registry.OpenSubKey("Missing"), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    ASSERT_EQ(registry.OpenSubKey("DeviceData"), 0);
    EXPECT_EQ(registry.OpenSubKey("DeviceData"), -1);
    std::string value;
    EXPECT_EQ(registry.QueryString("DLLName", value), 0);
    EXPECT_EQ(value, "Pelidor.dll");
    EXPECT_EQ(registry.QueryString("Missing", value), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    registry.CloseSubKey();
    EXPECT_EQ(registry.QueryString("DLLName", value), -1);
}

TEST_F(DevprepTest, TemporaryProgramIsFreshWholeAndGone) {
    // Larger than one write, with every byte value.
    std::vector<BYTE> image(3 * (1u << 20) + 123);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<BYTE>(i * 7 + i / 256);
    std::string first;
    {
        TemporaryProgram program;
        ASSERT_TRUE(program.Create(image));
        first = program.Path();
        std::ifstream in(first, std::ios::binary);
        std::vector<BYTE> back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(back == image);
        EXPECT_EQ(first.find(Root() + "/drives/c/Windows/Temp/Trimwell"), 0u);

        TemporaryProgram second;
        ASSERT_TRUE(second.Create(image));
        EXPECT_NE(second.Path(), first);
        // While held, nobody else can replace or delete it.
        second.Hold();
        EXPECT_EQ(CreateFileA(second.Path().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_FALSE(DeleteFileA(second.Path().c_str()));
    }
    EXPECT_TRUE(TemporaryFiles().empty());
}

TEST_F(DevprepTest, TemporaryProgramNeverOpensAFileThatIsThere) {
    // The first names tried are taken (planted files, links): new names follow.
    platform::testing::InjectFailure("CreateFileA", ERROR_FILE_EXISTS, 0, 5);
    TemporaryProgram program;
    const std::vector<BYTE> image = Calibrator();
    ASSERT_TRUE(program.Create(image));
    EXPECT_EQ(TemporaryFiles().size(), 1u);
    program.Remove();
    EXPECT_TRUE(TemporaryFiles().empty());
}

TEST_F(DevprepTest, TemporaryProgramFailuresLeaveNothingBehind) {
    struct Case {
        const char* function;
        DWORD error;
        unsigned skip;
    };
    const Case cases[] = {
        {"CreateFileA", ERROR_ACCESS_DENIED, 0},  // temporary folder not writable
        {"WriteFile", ERROR_GEN_FAILURE, 0},      // first write fails
        {"WriteFile", ERROR_GEN_FAILURE, 1},      // a later write fails: the image is not whole
        {"GetTempPathA", ERROR_GEN_FAILURE, 0},
    };
    std::vector<BYTE> image(2 * (1u << 20) + 1, 0x5A);
    for (const auto& c : cases) {
        platform::testing::ClearFailures();
        platform::testing::InjectFailure(c.function, c.error, c.skip);
        TemporaryProgram program;
        EXPECT_FALSE(program.Create(image)) << c.function << "@" << c.skip;
        EXPECT_TRUE(program.Path().empty());
        EXPECT_TRUE(TemporaryFiles().empty()) << c.function << "@" << c.skip;
    }
}

// Who runs the calibrator, with what, in which session.
struct RunCase {
    const char* what;
    bool afterInstall;        // else on demand
    const char* commandLine;  // on demand
    DWORD consoleSession;
    const char* hidden;  // module!export hidden, or ""
    bool runs;
    bool asUser;
    const char* arguments;
};

class DevprepRunTest : public DevprepTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(DevprepRunTest, RunsTheCalibratorForTheUserAndRemovesIt) {
    const RunCase& c = GetParam();
    SetDllName("Pelidor.dll");
    platform::testing::SetConsoleSession(c.consoleSession);
    platform::testing::SetConsoleUser("alice");
    if (*c.hidden) {
        const std::string hidden = c.hidden;
        const auto bang = hidden.find('!');
        platform::testing::Hide(hidden.substr(0, bang), bang == std::string::npos ? "" : hidden.substr(bang + 1));
    }
    const std::vector<BYTE> image = Calibrator();
    bool ran = false;
    if (c.afterInstall) {
        RunCalibratorAfterInstall(set_, &data_, image);
        ran = !Runs().empty();
    } else {
        ran = RunCalibratorOnDemand(c.commandLine, image);
    }
    EXPECT_EQ(ran, c.runs);
    const auto runs = Runs();
    const auto started = platform::testing::StartedProcesses();
    ASSERT_EQ(runs.size(), c.runs ? 1u : 0u);
    ASSERT_EQ(started.size(), c.runs ? 1u : 0u);
    if (c.runs) {
        EXPECT_EQ(runs[0], std::string(c.arguments) + "|" + Root() + "/drives/c|" + (c.asUser ? "1" : "0"));
        EXPECT_EQ(started[0].asUser, c.asUser);
        EXPECT_EQ(started[0].user, c.asUser ? "alice" : "SYSTEM");
        EXPECT_EQ(started[0].workingDirectory, "C:\\");
        // "<quoted program path> <arguments>", the program in the temporary folder.
        const std::string prefix = "\"" + Root() + "/drives/c/Windows/Temp/Trimwell";
        EXPECT_EQ(started[0].commandLine.rfind(prefix, 0), 0u) << started[0].commandLine;
        EXPECT_EQ(started[0].commandLine.substr(started[0].commandLine.find(".exe\" ") + 6), c.arguments);
    }
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_EQ(platform::testing::OpenProcessHandles(), 0);
    EXPECT_EQ(platform::testing::OpenTokenHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DevprepRunTest,
    ::testing::Values(
        RunCase{"after install, for the console user", true, "", 1, "", true, true, "Pelidor.dll"},
        RunCase{"after install, nobody at the console: skipped", true, "", kNoConsoleSession, "", false, false, ""},
        RunCase{"after install, no terminal services: started directly", true, "", 1, "wtsapi32", true, false,
                "Pelidor.dll"},
        RunCase{"after install, no user token: started directly", true, "", 1, "wtsapi32!WTSQueryUserToken", true,
                false, "Pelidor.dll"},
        RunCase{"on demand, for the console user", false, "Pelidor.dll RM310", 1, "", true, true, "Pelidor.dll RM310"},
        RunCase{"on demand, blanks and a third argument", false, "   Pelidor.dll    RM310__  extra", 1, "", true, true,
                "Pelidor.dll RM310__"},
        RunCase{"on demand, nobody at the console: started directly", false, "Pelidor.dll", kNoConsoleSession, "", true,
                false, "Pelidor.dll"},
        RunCase{"on demand, empty command line", false, "  ", 1, "", false, false, ""}),
    [](const ::testing::TestParamInfo<RunCase>& param) { return "Case" + std::to_string(param.index); });

TEST_F(DevprepTest, NothingRunsWithoutALibraryNameOrAProgram) {
    RunCalibratorAfterInstall(set_, &data_, Calibrator());  // no "DLLName"
    SetDllName("Pelidor.dll");
    RunCalibratorAfterInstall(set_, &data_, std::span<const BYTE>());  // no calibrator carried
    platform::testing::InjectFailure("CreateFileA", ERROR_ACCESS_DENIED);
    RunCalibratorAfterInstall(set_, &data_, Calibrator());  // temporary folder not writable
    EXPECT_FALSE(RunCalibratorOnDemand("Pelidor.dll", Calibrator()));
    platform::testing::ClearFailures();
    EXPECT_FALSE(RunCalibratorOnDemand(nullptr, Calibrator()));
    EXPECT_TRUE(Runs().empty());
    EXPECT_TRUE(platform::testing::StartedProcesses().empty());
    EXPECT_TRUE(TemporaryFiles().empty());
}

TEST_F(DevprepTest, ProgramThatCannotStartIsReportedAndRemoved) {
    // Not a program: neither the user's start nor the direct one succeeds.
    const std::string text = "not a program";
    EXPECT_FALSE(RunCalibratorOnDemand("Pelidor.dll", std::vector<BYTE>(text.begin(), text.end())));
    EXPECT_TRUE(TemporaryFiles().empty());
}

// The deliverable's entry, as setup calls it.
TEST_F(DevprepTest, CoDeviceInstallAnswers) {
    HMODULE module = LoadLibraryA("Devprep.dll");
    ASSERT_NE(module, nullptr);
    using Entry = DWORD(CALLBACK*)(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA, PCOINSTALLER_CONTEXT_DATA);
    auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "CoDeviceInstall")));
    ASSERT_NE(entry, nullptr);
    EXPECT_NE(GetProcAddress(module, "Calibrate"), nullptr);
    SetDllName("Pelidor.dll");
    struct Case {
        DI_FUNCTION function;
        BOOL post;
        DWORD installResult;
        DWORD answer;
    };
    const Case cases[] = {
        {DIF_INSTALLDEVICE, FALSE, NO_ERROR, ERROR_DI_POSTPROCESSING_REQUIRED},
        {DIF_INSTALLDEVICE, FALSE, ERROR_GEN_FAILURE, ERROR_DI_POSTPROCESSING_REQUIRED},
        {DIF_SELECTDEVICE, FALSE, NO_ERROR, NO_ERROR},
        {DIF_REMOVE, FALSE, NO_ERROR, NO_ERROR},
        {DIF_INSTALLDEVICEFILES, FALSE, NO_ERROR, NO_ERROR},
        {DIF_REGISTER_COINSTALLERS, FALSE, NO_ERROR, NO_ERROR},
        {DIF_NEWDEVICEWIZARD_FINISHINSTALL, FALSE, NO_ERROR, NO_ERROR},
        {DIF_INSTALLDEVICE, TRUE, NO_ERROR, NO_ERROR},
        {DIF_INSTALLDEVICE, TRUE, ERROR_GEN_FAILURE, ERROR_GEN_FAILURE},
        {DIF_INSTALLDEVICE, TRUE, ERROR_DI_DO_DEFAULT, ERROR_DI_DO_DEFAULT},
        {DIF_INSTALLDEVICE, TRUE, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        COINSTALLER_CONTEXT_DATA context{c.post, c.installResult, nullptr};
        EXPECT_EQ(entry(c.function, set_, &data_, &context), c.answer)
            << std::hex << c.function << " post " << c.post << " result " << c.installResult;
        EXPECT_EQ(context.InstallResult, c.installResult);
    }
    FreeLibrary(module);
    EXPECT_TRUE(TemporaryFiles().empty());
}

}  // namespace
