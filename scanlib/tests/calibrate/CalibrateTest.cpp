// SI_Calibrate end to end on the virtual scanner: the front-end values it
// finds for each sensor variant, its result codes, the file it writes and
// what scans look like afterwards.
#include "../sisupport/SIClient.h"
#include "CalibrateSupport.h"

#include <SIPropertyIds.h>

#include <emulator/VirtualScanner.h>
#include <gtest/gtest.h>
#include <platform/testing.h>

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace siclient;
using namespace calibtest;
namespace pt = platform::testing;

// The sensor whose levels the calibration sheet's worked path is laid out
// for (a dark level that takes the reference voltage to 2), so the values
// found are the ones it names.
emulator::SwitchOverrides WorkedSensor() {
    emulator::SwitchOverrides switches = CalibrationSwitches();
    switches["dark_level"] = "58";
    return switches;
}
const emulator::SwitchOverrides kFast = WorkedSensor();

std::vector<int> g_progress;
int g_cancelAt = -1;

int Record(int percent) {
    g_progress.push_back(percent);
    return percent == g_cancelAt ? 0 : 1;
}

class CalibrateTest : public DeviceTest {
protected:
    void SetUp() override {
        g_progress.clear();
        g_cancelAt = -1;
    }

    // Serves the board with the calibration sheet (or not) and opens it.
    void Open(const char* board, const char* name, const emulator::SwitchOverrides& switches, bool sheet = true) {
        auto& scanner = Serve(board, switches);
        if (sheet) scanner.InsertCalibrationSheet();
        ASSERT_EQ(SI_OpenInterface(name), SI_OK);
    }

    static int IsCalibrated() {
        int calibrated = -1;
        EXPECT_EQ(SI_IsCalibrated(&calibrated), SI_OK);
        return calibrated;
    }
};

struct VariantCase {
    const char* board;
    const char* name;
    const char* sensitivity;
    // What the procedure should settle on.
    float exposure, exposureTolerance;
    float gain, gainTolerance;
    int lampOnOffset;  // a dimmer sensor sees less of the strip
};

class CalibrateVariantTest : public CalibrateTest, public ::testing::WithParamInterface<VariantCase> {};

TEST_P(CalibrateVariantTest, FindsTheFrontEndValuesAndWritesTheFile) {
    const VariantCase& c = GetParam();
    if (std::string(c.sensitivity) != "normal" || std::string(c.board) != "RM410") SKIP_ON_SLOW_HOST();
    emulator::SwitchOverrides switches = kFast;
    switches["sensitivity"] = c.sensitivity;
    Open(c.board, c.name, switches);
    EXPECT_EQ(IsCalibrated(), 0);

    EXPECT_EQ(SI_Calibrate(0, Record), SI_OK);
    EXPECT_EQ(g_progress, (std::vector<int>{6, 9, 16, 19, 22, 25, 28, 45, 60, 67, 84, 95, 100}));
    EXPECT_EQ(Int(SI_PROP_AFE_VREF), 2);
    for (const uint16_t id : {SI_PROP_AFE_OFFSET_RED, SI_PROP_AFE_OFFSET_GREEN, SI_PROP_AFE_OFFSET_BLUE}) {
        EXPECT_NEAR(Int(id), c.lampOnOffset, 2) << id;  // the dark strip under the lamp
    }
    for (const uint16_t id : {SI_PROP_EXPOSURE_RED, SI_PROP_EXPOSURE_GREEN, SI_PROP_EXPOSURE_BLUE}) {
        EXPECT_NEAR(Float(id), c.exposure, c.exposureTolerance) << id;
    }
    for (const uint16_t id : {SI_PROP_AFE_GAIN_RED, SI_PROP_AFE_GAIN_GREEN, SI_PROP_AFE_GAIN_BLUE}) {
        EXPECT_NEAR(Float(id), c.gain, c.gainTolerance) << id;
    }
    EXPECT_EQ(IsCalibrated(), 1);
    EXPECT_TRUE(std::filesystem::exists(CalibrationDatPath()));
    // Each table upload stays inside its region of the chip's memory map.
    for (const auto& note : scanner_->Observations()) EXPECT_NE(note.id, "K-region") << note.text;

    // The file follows SI_IsCalibrated.
    std::filesystem::remove(CalibrationDatPath());
    EXPECT_EQ(IsCalibrated(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Sensors, CalibrateVariantTest,
    ::testing::Values(VariantCase{"RM410", "RM410__", "normal", 100.0f, 0.01f, 1.0f, 0.01f, -8},
                      VariantCase{"RM410", "RM410__", "bright", 93.0f, 2.0f, 1.0f, 0.01f, -8},
                      VariantCase{"RM410", "RM410__", "dim", 100.0f, 0.01f, 1.47f, 0.06f, -3},
                      VariantCase{"RM310-GL841", "RM310__", "normal", 100.0f, 0.01f, 1.0f, 0.01f, -8},
                      VariantCase{"RM1100", "RM1100__", "normal", 100.0f, 0.01f, 1.0f, 0.01f, -8},
                      VariantCase{"RM310-GL125", "RM310__", "normal", 100.0f, 0.01f, 1.0f, 0.01f, -8},
                      VariantCase{"RM310-GL125", "RM310__", "bright", 93.0f, 2.0f, 1.0f, 0.01f, -8},
                      VariantCase{"RM310-GL125", "RM310__", "dim", 100.0f, 0.01f, 1.47f, 0.06f, -3},
                      VariantCase{"RM460", "RM460__", "normal", 100.0f, 0.01f, 1.0f, 0.01f, -8},
                      VariantCase{"RM460", "RM460__", "bright", 93.0f, 2.0f, 1.0f, 0.01f, -8},
                      VariantCase{"RM460", "RM460__", "dim", 100.0f, 0.01f, 1.47f, 0.06f, -3}),
    [](const auto& param) {
        // By board: one model name opens boards of two chips.
        std::string name = std::string(param.param.board) + param.param.sensitivity;
        std::erase(name, '-');
        return name;
    });

TEST_F(CalibrateTest, CalibratingAgainStartsFromTheFoundValuesAndFindsThemAgain) {
    SKIP_ON_SLOW_HOST();
    Open("RM410", "RM410__", kFast);
    ASSERT_EQ(SI_Calibrate(0, nullptr), SI_OK);
    ASSERT_EQ(Int(SI_PROP_AFE_VREF), 2);
    ASSERT_EQ(SI_FeedPaperOut(), SI_OK);
    scanner_->InsertCalibrationSheet();
    int present = 0;
    for (int i = 0; i < 250 && present == 0; ++i) {
        Sleep(20);
        SI_GetPaperStatus(&present);
    }
    ASSERT_EQ(present, 1);
    // The reference voltage search starts from the lowest code again and
    // finds the same code; the rest starts from the values found before.
    EXPECT_EQ(SI_Calibrate(0, nullptr), SI_OK);
    EXPECT_EQ(Int(SI_PROP_AFE_VREF), 2);
    EXPECT_NEAR(Int(SI_PROP_AFE_OFFSET_RED), -8, 2);
    EXPECT_EQ(IsCalibrated(), 1);
}

TEST_F(CalibrateTest, StoredFileCountsAsTheOpenWouldJudgeItAndCannotStopTheNextCalibration) {
    Open("RM410", "RM410__", kFast);
    ASSERT_EQ(SI_Calibrate(0, nullptr), SI_OK);
    const std::filesystem::path dat = CalibrationDatPath();
    std::vector<char> good;
    {
        std::ifstream in(dat, std::ios::binary);
        good.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(good.size(), 17u);
    const auto write = [&](const std::vector<char>& bytes) {
        std::ofstream out(dat, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    };
    struct Damage {
        const char* what;
        std::function<void(std::vector<char>&)> apply;
    };
    for (const Damage& d : {Damage{"truncated", [](auto& b) { b.pop_back(); }},
                            Damage{"lengthened", [](auto& b) { b.push_back(0); }},
                            Damage{"a table count off by one", [](auto& b) { b[29] = static_cast<char>(b[29] + 1); }},
                            Damage{"reference voltage 16", [](auto& b) { b[16] = 16; }}}) {
        std::vector<char> bytes = good;
        d.apply(bytes);
        write(bytes);
        EXPECT_EQ(IsCalibrated(), 0) << d.what;
    }
    write(good);
    EXPECT_EQ(IsCalibrated(), 1);

    // A stored reference voltage at the top of the chip's range: the file is
    // used, and the next calibration still finds its values.
    std::vector<char> top = good;
    top[16] = 15;
    write(top);
    ASSERT_EQ(SI_CloseInterface(), SI_OK);
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    EXPECT_EQ(IsCalibrated(), 1);
    EXPECT_EQ(Int(SI_PROP_AFE_VREF), 15);
    ASSERT_EQ(SI_FeedPaperOut(), SI_OK);
    scanner_->InsertCalibrationSheet();
    int present = 0;
    for (int i = 0; i < 250 && present == 0; ++i) {
        Sleep(20);
        SI_GetPaperStatus(&present);
    }
    ASSERT_EQ(present, 1);
    EXPECT_EQ(SI_Calibrate(0, nullptr), SI_OK);
    EXPECT_EQ(Int(SI_PROP_AFE_VREF), 2);
}

TEST_F(CalibrateTest, PlainWhiteSheetGivesAWhiteOnlyCalibration) {
    SKIP_ON_SLOW_HOST();
    Open("RM410", "RM410__", kFast, false);
    scanner_->InsertSheet(WriteFlatSheet("white.pgm", 4.0, 11.0, 255));
    EXPECT_EQ(SI_Calibrate(0, nullptr), SI_CALIBRATED_WHITE_ONLY);
    EXPECT_EQ(IsCalibrated(), 1);
    int present = -1;
    EXPECT_EQ(SI_GetPaperStatus(&present), SI_OK);
    EXPECT_EQ(present, 0);  // ejected
}

struct FailureCase {
    const char* name;
    double sheetLength;  // 0: no sheet; -1: the calibration sheet
    bool deadLamp;       // the lamp line held low
};

class CalibrateFailureTest : public CalibrateTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CalibrateFailureTest, FailsAndWritesNothing) {
    const FailureCase& c = GetParam();
    if (!c.deadLamp) SKIP_ON_SLOW_HOST();
    Open("RM410", "RM410__", kFast, c.sheetLength < 0);
    if (c.sheetLength > 0) scanner_->InsertSheet(WriteFlatSheet("short.pgm", 4.0, c.sheetLength, 255));
    if (c.deadLamp) {
        int words[2] = {13, 0};  // the lamp enable line
        ASSERT_EQ(SI_Diagnostic(0x20000, words), SI_OK);
    }
    EXPECT_EQ(SI_Calibrate(0, Record), SI_ERR_CALIBRATION_FAILED);
    EXPECT_EQ(g_progress.back(), 100);
    EXPECT_EQ(IsCalibrated(), 0);
    EXPECT_FALSE(std::filesystem::exists(CalibrationDatPath()));
}

INSTANTIATE_TEST_SUITE_P(Faults, CalibrateFailureTest,
                         ::testing::Values(FailureCase{"NoSheet", 0, false}, FailureCase{"ShortSheet", 2.0, false},
                                           FailureCase{"DeadLamp", -1, true}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(CalibrateTest, ScanThatDeliversNoLinesFailsTheStepInsteadOfWaitingForever) {
    SKIP_ON_SLOW_HOST();
    Open("RM410", "RM410__", kFast);
    scanner_->InjectFault("no-lines");
    // Only the lines never come: the step that waits for them fails (2050).
    // The device runs on the virtual clock, so no transfer times out first
    // however slow the host is.
    EXPECT_EQ(SI_Calibrate(0, Record), SI_ERR_CALIBRATION_FAILED);
    EXPECT_EQ(IsCalibrated(), 0);
}

TEST_F(CalibrateTest, CancelAtTheFirstProgressPointEjectsTheSheet) {
    Open("RM410", "RM410__", kFast);
    g_cancelAt = 6;
    EXPECT_EQ(SI_Calibrate(0, Record), SI_ERR_CANCELLED);
    EXPECT_EQ(g_progress, (std::vector<int>{6, 100}));
    int present = -1;
    EXPECT_EQ(SI_GetPaperStatus(&present), SI_OK);
    EXPECT_EQ(present, 0);
    EXPECT_EQ(IsCalibrated(), 0);
}

// Cancelled at each progress point (or failed), a calibration leaves the
// scanner as it found it: the next page of a white sheet is as bright as
// one scanned before the attempt.
TEST_F(CalibrateTest, CancelledCalibrationLeavesLaterPagesAsTheyWere) {
    Open("RM410", "RM410__", kFast);
    const auto white = WriteFlatSheet("white.pgm", 4.0, 2.5, 255);
    const auto pageMean = [&] {
        scanner_->InsertSheet(white);
        int present = 0;
        for (int i = 0; i < 250 && present == 0; ++i) {
            Sleep(20);
            SI_GetPaperStatus(&present);
        }
        const Page page = ScanFlatPage(75, 1, 1.0);
        EXPECT_EQ(page.end, SI_OK);
        EXPECT_GT(page.lines, 0);
        double sum = 0;
        for (const uint8_t v : page.data) sum += v;
        SI_FeedPaperOut();
        return page.data.empty() ? 0.0 : sum / static_cast<double>(page.data.size());
    };
    pageMean();  // the first page after the open is brighter than the rest
    const double before = pageMean();
    ASSERT_GT(before, 100.0);
    for (const int cancelAt : {6, 9, 28, 67}) {
        if (cancelAt != 6) SKIP_ON_SLOW_HOST();
        scanner_->InsertCalibrationSheet();
        g_progress.clear();
        g_cancelAt = cancelAt;
        EXPECT_EQ(SI_Calibrate(0, Record), SI_ERR_CANCELLED) << cancelAt;
        SI_FeedPaperOut();
        EXPECT_EQ(IsCalibrated(), 0) << cancelAt;
        EXPECT_NEAR(pageMean(), before, 3.0) << "after a cancel at " << cancelAt;
    }
}

TEST_F(CalibrateTest, UnwritableDataFolderGives18AndMovesNothing) {
    Open("RM410", "RM410__", kFast);
    pt::InjectFailure("CreateFileA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(SI_Calibrate(0, Record), SI_ERR_CALIBRATION_FILE);
    pt::ClearFailures();
    EXPECT_TRUE(g_progress.empty());
    int present = -1;
    EXPECT_EQ(SI_GetPaperStatus(&present), SI_OK);
    EXPECT_EQ(present, 1);  // the sheet never moved
}

TEST_F(CalibrateTest, DataFolderThatCannotBeCreatedGives18AndWritesNowhereElse) {
    pt::InjectFailure("CreateDirectoryA", ERROR_ACCESS_DENIED);
    Open("RM410", "RM410__", kFast);
    EXPECT_EQ(SI_Calibrate(0, Record), SI_ERR_CALIBRATION_FILE);
    EXPECT_TRUE(g_progress.empty());
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(pt::Root()) / "drives" / "c" / "Calibration.dat"));
    EXPECT_FALSE(std::filesystem::exists(CalibrationDatPath()));
    // Once the folder can be made, the same interface calibrates into it.
    pt::ClearFailures();
    EXPECT_EQ(SI_Calibrate(0, nullptr), SI_OK);
    EXPECT_TRUE(std::filesystem::exists(CalibrationDatPath()));
}

TEST_F(CalibrateTest, ExistingFileThatCannotBeOpenedIsLeftAsItWas) {
    Open("RM410", "RM410__", kFast);
    const std::filesystem::path dat = CalibrationDatPath();
    {
        std::ofstream out(dat, std::ios::binary);
        out << "an earlier calibration";
    }
    // Only the read-write open fails (the file is in use elsewhere).
    pt::InjectFailure("CreateFileA", ERROR_SHARING_VIOLATION, 0, 1);
    EXPECT_EQ(SI_Calibrate(0, nullptr), SI_ERR_CALIBRATION_FILE);
    pt::ClearFailures();
    std::ifstream in(dat, std::ios::binary);
    const std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "an earlier calibration");
}

// The child: opens the scanner and calibrates, holding the calibration
// in its progress callback until the parent writes a line.
int HoldCalibration(int percent) {
    if (percent == 6) {
        std::printf("holding\n");
        std::fflush(stdout);
        char line[16];
        if (!std::fgets(line, sizeof line, stdin)) return 0;
    }
    return 0;
}

int Holder(const std::vector<std::string>&) {
    if (SI_OpenInterface("RM410__") != SI_OK) return 2;
    std::printf("result %d\n", static_cast<int>(SI_Calibrate(0, HoldCalibration)));
    std::fflush(stdout);
    SI_CloseInterface();
    return 0;
}
const bool kHolderRegistered = pt::RegisterChildRole("calibration-holder", Holder);

TEST_F(CalibrateTest, CalibrationRunningInAnotherProcessGives19) {
    ASSERT_TRUE(kHolderRegistered);
    Open("RM410", "RM410__", kFast);
    pt::ChildProcess child("calibration-holder");
    ASSERT_TRUE(child.Started());
    ASSERT_EQ(child.ReadLine(), "holding");
    EXPECT_EQ(SI_Calibrate(0, nullptr), SI_ERR_BUSY);
    child.WriteLine("go");
    EXPECT_EQ(child.ReadLine(), "result 2052");
    EXPECT_EQ(child.Wait(), 0);
}

// The child: calibrates as a process that dies between staging the new file
// and renaming it would (the rename and the clean-up fail), says so and
// waits to be killed.
int DieWhileStaging(const std::vector<std::string>&) {
    if (SI_OpenInterface("RM410__") != SI_OK) return 2;
    pt::InjectFailure("MoveFileExA", ERROR_ACCESS_DENIED);
    pt::InjectFailure("DeleteFileA", ERROR_ACCESS_DENIED);
    std::printf("staged %d\n", static_cast<int>(SI_Calibrate(0, nullptr)));
    std::fflush(stdout);
    char line[16];
    while (std::fgets(line, sizeof line, stdin)) {
    }
    return 0;
}
const bool kStagerRegistered = pt::RegisterChildRole("calibration-dies-while-staging", DieWhileStaging);

std::vector<std::string> StagedFiles() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(CalibrationDatPath().parent_path())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("SI", 0) == 0 && entry.path().extension() == ".tmp") names.push_back(name);
    }
    return names;
}

TEST_F(CalibrateTest, StagingFileOfAKilledCalibrationIsRemovedByTheNext) {
    ASSERT_TRUE(kStagerRegistered);
    auto& scanner = Serve("RM410", kFast);
    scanner.InsertCalibrationSheet();
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    {
        pt::ChildProcess child("calibration-dies-while-staging");
        ASSERT_TRUE(child.Started());
        ASSERT_EQ(child.ReadLine(), "staged 18");
        child.Kill();
        child.Wait();
    }
    ASSERT_EQ(StagedFiles().size(), 1u) << "the child left its staged file";
    scanner.InsertCalibrationSheet();
    EXPECT_EQ(SI_Calibrate(0, nullptr), SI_OK);
    EXPECT_EQ(StagedFiles(), std::vector<std::string>{});
    EXPECT_TRUE(std::filesystem::exists(CalibrationDatPath()));
}

}  // namespace
