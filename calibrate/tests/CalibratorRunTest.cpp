// Calibrate.exe under the scripted user against a fake scanner library: the
// page, the paper check, the progress dialog and the result boxes.
#include "ChildRuns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace calibrate_test {
namespace {

const char* kTitle = "\"Scanner Calibrator\"";

// The lines of a log that start with `prefix`.
std::vector<std::string> Starting(const std::vector<std::string>& lines, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& line : lines)
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
}

std::string Box(const std::string& type, const std::string& text) {
    return "box " + type + " " + kTitle + " \"" + text + "\"";
}

const std::string kQuestion = "\\n\\nDo you want to calibrate again?";
const std::string kWhiteOnly =
    "White-only calibration was successful.\\n\\nFor better image quality calibrate again using the black and white "
    "calibration paper." + kQuestion;
const std::string kFailure =
    "The calibration process has failed.\\n\\nCheck that the calibration paper was inserted properly and the "
    "scanner is ready." + kQuestion;
const std::string kInstruction =
    "Please insert the black and white calibration paper into the scanner then press Calibrate.";

TEST(CalibratorRun, SuccessShowsTheInformationBoxAndCloses) {
    const CalibratorRun run = RunCalibrator({"FakeCalibrationLib.dll", "RM310__"}, {"press:131:1103", "answer:1"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Starting(run.ui, "dialog"),
              (std::vector<std::string>{"dialog 131 \"Scanner Calibrator\"", "dialog 132 \"Scanner Calibrator\""}));
    EXPECT_EQ(Starting(run.ui, "box"), (std::vector<std::string>{Box("0x40", "Calibration was successful.\\n")}));
    EXPECT_EQ(run.library, (std::vector<std::string>{"open RM310__ 0 at 0", "is-calibrated", "property 21", "paper 1",
                                                     "calibrate 0", "close"}));
}

TEST(CalibratorRun, WhiteOnlyOffersAnotherCalibrationYesThenNo) {
    SKIP_IN_32_BIT_BUILD();
    const CalibratorRun run = RunCalibrator({"FakeCalibrationLib.dll", "RM310__"},
                                  {"press:131:1103", "answer:6", "press:131:1103", "answer:7"},
                                  {"FAKE_SI_CALIBRATE=2112"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Starting(run.ui, "box"), (std::vector<std::string>{Box("0x44", kWhiteOnly), Box("0x44", kWhiteOnly)}));
    EXPECT_EQ(Starting(run.library, "calibrate"), (std::vector<std::string>{"calibrate 2112", "calibrate 2112"}));
    EXPECT_EQ(run.library.back(), "close");
}

TEST(CalibratorRun, FailureAsksToRepeatAndNoEnds) {
    SKIP_IN_32_BIT_BUILD();
    const CalibratorRun run = RunCalibrator({"FakeCalibrationLib.dll", "RM310__"}, {"press:131:1103", "answer:7"},
                                  {"FAKE_SI_CALIBRATE=2050"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Starting(run.ui, "box"), (std::vector<std::string>{Box("0x14", kFailure)}));
    EXPECT_EQ(Starting(run.ui, "dialog 131").size(), 1u);
    EXPECT_EQ(run.library.back(), "close");
}

TEST(CalibratorRun, NoPaperShowsTheInstructionAndThePageAgain) {
    SKIP_IN_32_BIT_BUILD();
    const CalibratorRun run = RunCalibrator({"FakeCalibrationLib.dll", "RM310__"}, {"press:131:1103", "answer:1", "press:131:2"},
                                  {"FAKE_SI_PAPER=0"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Starting(run.ui, "box"), (std::vector<std::string>{Box("0x0", kInstruction)}));
    EXPECT_EQ(Starting(run.ui, "dialog 131").size(), 2u);
    EXPECT_TRUE(Starting(run.ui, "dialog 132").empty());
    EXPECT_TRUE(Starting(run.library, "calibrate").empty());
    EXPECT_EQ(run.library.back(), "close");
}

// Without property 21 the sheet goes in face down.
TEST(CalibratorRun, InstructionSaysFaceDownWithoutProperty21) {
    SKIP_IN_32_BIT_BUILD();
    const CalibratorRun run = RunCalibrator({"FakeCalibrationLib.dll", "RM310__"}, {"press:131:1103", "answer:1", "press:131:2"},
                                  {"FAKE_SI_PAPER=0", "FAKE_SI_PROPERTY=2304"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Starting(run.ui, "box"),
              (std::vector<std::string>{Box("0x0", "Please insert the black and white calibration paper face down "
                                                   "into the scanner then press Calibrate.")}));
}

TEST(CalibratorRun, CancelDuringTheProgressEndsWithoutABox) {
    SKIP_IN_32_BIT_BUILD();
    const CalibratorRun run = RunCalibrator({"FakeCalibrationLib.dll", "RM310__"}, {"press:131:1103", "after:300", "press:132:1151"},
                                  {"FAKE_SI_STEPS=200", "FAKE_SI_STEP_MS=5"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Starting(run.ui, "box").empty());
    // Cancelled while it worked: neither at the first progress call nor at the end.
    const auto cancelled = Starting(run.library, "calibrate cancelled at");
    ASSERT_EQ(cancelled.size(), 1u);
    const int at = std::stoi(cancelled[0].substr(23));
    EXPECT_GT(at, 1);
    EXPECT_LT(at, 200);
    EXPECT_EQ(run.library.back(), "close");
}

TEST(CalibratorRun, EscapeDuringTheProgressCancelsAsTheButtonDoes) {
    SKIP_IN_32_BIT_BUILD();
    const CalibratorRun run = RunCalibrator({"FakeCalibrationLib.dll", "RM310__"}, {"press:131:1103", "after:300", "key:132:escape"},
                                  {"FAKE_SI_STEPS=200", "FAKE_SI_STEP_MS=5"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Starting(run.ui, "box").empty());
    EXPECT_EQ(Starting(run.library, "calibrate cancelled at").size(), 1u);
}

TEST(CalibratorRun, CancelOnThePageEndsTheProgram) {
    SKIP_IN_32_BIT_BUILD();
    const CalibratorRun run = RunCalibrator({"FakeCalibrationLib.dll", "RM310__"}, {"press:131:2"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.library, (std::vector<std::string>{"open RM310__ 0 at 0", "is-calibrated", "property 21", "close"}));
}

// A busy scanner (11) is tried every 500 ms until 12 s have passed on the
// platform clock; the fake moves that clock on by 3 s at each try.
TEST(CalibratorRun, BusyScannerIsTriedAgainFor12Seconds) {
    SKIP_IN_32_BIT_BUILD();
    const CalibratorRun run = RunCalibrator({"FakeCalibrationLib.dll", "RM310__"}, {},
                                  {"FAKE_SI_OPEN=11", "FAKE_SI_OPEN_ADVANCE_MS=3000"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.library, (std::vector<std::string>{"open RM310__ 11 at 0", "open RM310__ 11 at 3000",
                                                     "open RM310__ 11 at 6000", "open RM310__ 11 at 9000", "close"}));
    EXPECT_TRUE(run.ui.empty());
}

TEST(CalibratorRun, ScannerFreeAfterRetriesIsCalibrated) {
    SKIP_IN_32_BIT_BUILD();
    const CalibratorRun run = RunCalibrator({"FakeCalibrationLib.dll", "RM310__"}, {"press:131:1103", "answer:1"},
                                  {"FAKE_SI_OPEN=11,11,0", "FAKE_SI_OPEN_ADVANCE_MS=1000"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Starting(run.library, "open").size(), 3u);
    EXPECT_EQ(Starting(run.library, "calibrate"), (std::vector<std::string>{"calibrate 0"}));
}

TEST(CalibratorRun, OtherOpenFailureGivesUpAtOnce) {
    SKIP_IN_32_BIT_BUILD();
    const CalibratorRun run = RunCalibrator({"FakeCalibrationLib.dll", "RM310__"}, {}, {"FAKE_SI_OPEN=10"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.library, (std::vector<std::string>{"open RM310__ 10 at 0", "close"}));
}

// Only the library file: its table row, found whatever the letter case,
// gives the model.
TEST(CalibratorRun, ModelComesFromTheTableRowOfTheLibraryFile) {
    SKIP_IN_32_BIT_BUILD();
    const CalibratorRun run = RunCalibrator({"PELINOX.DLL"}, {"press:131:2"});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_FALSE(run.library.empty());
    EXPECT_EQ(run.library.front(), "open RM460 0 at 0");
}

TEST(CalibratorRun, UnknownLibraryOrMissingOneEndsSilently) {
    SKIP_IN_32_BIT_BUILD();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"Unknown.dll"}, {"Missing.dll", "RM310__"}, {}}) {
        const CalibratorRun run = RunCalibrator(args, {});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.ui.empty());
        EXPECT_TRUE(run.library.empty());
    }
}

TEST(CalibratorRun, SpeaksTheMachinesLanguage) {
    SKIP_IN_32_BIT_BUILD();
    const struct {
        const char* environment;
        const char* success;
    } cases[] = {
        {"LANG=fr_FR.UTF-8", "L'\351talonnage a r\351ussi.\\n"},
        {"LANG=de_DE.UTF-8", "Die Kalibrierung war erfolgreich.\\n"},
        {"LANG=es_ES.UTF-8", "La calibraci\363n se ha realizado correctamente.\\n"},
        {"LANG=it_IT.UTF-8", "La calibrazione \350 riuscita.\\n"},
        {"LANG=ja_JP.UTF-8", "Calibration was successful.\\n"},
    };
    for (const auto& c : cases) {
        const CalibratorRun run = RunCalibrator({"FakeCalibrationLib.dll", "RM310__"}, {"press:131:1103", "answer:1"},
                                      {c.environment, "LC_ALL=", "LC_MESSAGES="});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(Starting(run.ui, "box"), (std::vector<std::string>{Box("0x40", c.success)})) << c.environment;
    }
}

// A dialog nobody answers ends the program with a picture of it.
TEST(CalibratorRun, UnansweredPageFailsWithAPicture) {
    SKIP_IN_32_BIT_BUILD();
    const CalibratorRun run = RunCalibrator({"FakeCalibrationLib.dll", "RM310__"}, {}, {"PLATFORM_UI_TIMEOUT_MS=500"});
    EXPECT_EQ(run.status, 3);
    const auto timeouts = Starting(run.ui, "timeout");
    ASSERT_EQ(timeouts.size(), 1u);
    const std::string picture = timeouts[0].substr(timeouts[0].rfind(' ') + 1);
    EXPECT_TRUE(std::filesystem::exists(picture)) << picture;
    EXPECT_GT(std::filesystem::file_size(picture), 1000u);
}

}  // namespace
}  // namespace calibrate_test
