// Calibrate and Clean against a fake library: what the prompt, the paper
// answer and the library's results make of the boxes, the calls and the
// command's result.
#include "CommandSupport.h"
#include "ModuleState.h"
#include "ScannerCommands.h"

#include <gmock/gmock.h>

namespace {

using namespace propext_test;

struct CommandCase {
    const char* name;
    bool calibrate;
    SIResult openResult;
    std::vector<int> paper;  // paper answers in order
    SIResult paperResult;
    SIResult runResult;      // of SI_Calibrate or SI_Clean
    std::vector<std::string> steps;
    HRESULT expected;
    std::vector<std::string> boxes;
    std::vector<std::string> calls;
};

const CommandCase kCases[] = {
    {"CalibrationSucceeds", true, SI_OK, {SI_PAPER_PRESENT}, SI_OK, SI_OK, {"press:104:1", "answer:1"}, S_OK,
     {"Calibrate|row 0"},
     {"SI_OpenInterface RM310", "SI_GetPaperStatus", "SI_Calibrate 0 null", "SI_CloseInterface"}},
    {"CalibrationFails", true, SI_OK, {SI_PAPER_PRESENT}, SI_OK, SI_ERR_CALIBRATION_FAILED, {"press:104:1", "answer:1"},
     E_FAIL, {"Calibrate|row 3"},
     {"SI_OpenInterface RM310", "SI_GetPaperStatus", "SI_Calibrate 0 null", "SI_CloseInterface"}},
    // A usable calibration of the white reference alone says so and succeeds.
    {"WhiteOnlyCalibrationSucceeds", true, SI_OK, {SI_PAPER_PRESENT}, SI_OK, SI_CALIBRATED_WHITE_ONLY,
     {"press:104:1", "answer:1"}, S_OK, {"Calibrate|row 4"},
     {"SI_OpenInterface RM310", "SI_GetPaperStatus", "SI_Calibrate 0 null", "SI_CloseInterface"}},
    {"NoPaperPromptsAgainWithoutABox", true, SI_OK, {SI_PAPER_ABSENT, SI_PAPER_PRESENT}, SI_OK, SI_OK,
     {"press:104:1", "press:104:1", "answer:1"}, S_OK, {"Calibrate|row 0"},
     {"SI_OpenInterface RM310", "SI_GetPaperStatus", "SI_GetPaperStatus", "SI_Calibrate 0 null",
      "SI_CloseInterface"}},
    {"CancelAtThePromptRunsNothing", true, SI_OK, {SI_PAPER_PRESENT}, SI_OK, SI_OK, {"press:104:2"}, S_OK, {},
     {"SI_OpenInterface RM310", "SI_CloseInterface"}},
    {"CancelAfterNoPaper", false, SI_OK, {SI_PAPER_ABSENT}, SI_OK, SI_OK, {"press:104:1", "press:104:2"}, S_OK,
     {}, {"SI_OpenInterface RM310", "SI_GetPaperStatus", "SI_CloseInterface"}},
    {"PaperStatusFailureIsSilent", true, SI_OK, {SI_PAPER_PRESENT}, SI_ERR_COMMUNICATION, SI_OK, {"press:104:1"},
     E_FAIL, {}, {"SI_OpenInterface RM310", "SI_GetPaperStatus", "SI_CloseInterface"}},
    {"InterfaceNotOpening", true, SI_ERR_NO_HARDWARE, {SI_PAPER_PRESENT}, SI_OK, SI_OK, {"answer:1"}, E_FAIL,
     {"Calibrate|row 7"}, {"SI_OpenInterface RM310"}},
    {"CleanSucceedsWithoutABox", false, SI_OK, {SI_PAPER_PRESENT}, SI_OK, SI_OK, {"press:104:1"}, S_OK, {},
     {"SI_OpenInterface RM310", "SI_GetPaperStatus", "SI_Clean null", "SI_CloseInterface"}},
    {"CleanFails", false, SI_OK, {SI_PAPER_PRESENT}, SI_OK, SI_ERR_COMMUNICATION, {"press:104:1"}, E_FAIL, {},
     {"SI_OpenInterface RM310", "SI_GetPaperStatus", "SI_Clean null", "SI_CloseInterface"}},
    {"CleanInterfaceNotOpening", false, SI_ERR_BUSY, {SI_PAPER_PRESENT}, SI_OK, SI_OK, {"answer:1"}, E_FAIL,
     {"Clean|row 7"}, {"SI_OpenInterface RM310"}},
};

class ScannerCommandsFake : public ::testing::TestWithParam<CommandCase> {
protected:
    void SetUp() override {
        platform::testing::SetLanguage(0x0409);
        module_state::SetInstance(GetModuleHandleA(nullptr));
    }
};

TEST_P(ScannerCommandsFake, PromptPaperAndResult) {
    const CommandCase& c = GetParam();
    FakeLibrary library;
    ASSERT_TRUE(library.Loaded());
    FakeLibraryState& state = library.State();
    state.openResult = c.openResult;
    state.paper = c.paper;
    state.paperResult = c.paperResult;
    state.calibrateResult = c.runResult;
    state.cleanResult = c.runResult;
    platform::testing::ScriptUser(c.steps);
    const HRESULT result = c.calibrate ? RunCalibrate(nullptr) : RunClean(nullptr);
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(platform::testing::PendingUserSteps(), 0u);
    EXPECT_EQ(ShownBoxes(), c.boxes);
    EXPECT_EQ(state.calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(Cases, ScannerCommandsFake, ::testing::ValuesIn(kCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(ScannerCommandsBinding, LibraryWithoutAnExportIsUnloadedAndReportsNotConnected) {
    module_state::SetInstance(GetModuleHandleA(nullptr));
    FakeLibrary library;
    ASSERT_TRUE(library.Loaded());
    platform::testing::Hide("Pelidor.dll", "SI_Feed");
    platform::testing::CaptureDebugOutput();
    platform::testing::ScriptUser({"answer:1"});
    EXPECT_EQ(RunClean(nullptr), E_FAIL);
    EXPECT_THAT(ShownBoxes(), ::testing::ElementsAre(MessageText(30) + "|row 7"));
    EXPECT_TRUE(library.State().calls.empty());
    const auto lines = platform::testing::TakeDebugOutput();
    EXPECT_THAT(lines, ::testing::Contains(::testing::HasSubstr("One or more DLL functions could not be linked.")));
}

TEST(ScannerCommandsBinding, MissingLibraryReportsNotConnected) {
    module_state::SetInstance(GetModuleHandleA(nullptr));
    platform::testing::Hide("Pelidor.dll");
    platform::testing::CaptureDebugOutput();
    platform::testing::ScriptUser({"answer:1"});
    EXPECT_EQ(RunCalibrate(nullptr), E_FAIL);
    EXPECT_THAT(ShownBoxes(), ::testing::ElementsAre(MessageText(29) + "|row 7"));
    EXPECT_THAT(platform::testing::TakeDebugOutput(),
                ::testing::Contains(::testing::HasSubstr("Could not load DLL using pathname: Pelidor.dll")));
}

// The prompt as a person sees it.
TEST(ScannerCommandsBinding, PromptShowsTheSheetTextAndItsButtons) {
    module_state::SetInstance(GetModuleHandleA(nullptr));
    FakeLibrary library;
    ASSERT_TRUE(library.Loaded());
    const auto picture = std::filesystem::path(platform::testing::Root()) / "prompt.png";
    platform::testing::ScriptUser({"picture:104:" + picture.string(), "press:104:2"});
    EXPECT_EQ(RunCalibrate(nullptr), S_OK);
    int width = 0, height = 0;
    EXPECT_FALSE(platform::testing::ReadPng(picture.string(), &width, &height).empty());
    EXPECT_GT(width, 300);
}

}  // namespace
