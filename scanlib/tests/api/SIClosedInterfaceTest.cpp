// The SI_ functions while no interface is open.
#include "os/ScanLog.h"

#include <SIInterface.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

int Progress(int) { return 1; }

struct Call {
    const char* name;
    std::function<SIResult()> call;
};

// Every recording function, called with valid-looking arguments.
std::vector<Call> RecordingCalls() {
    static uint8_t buffer[64];
    static int value;
    static SIProperty property;
    static SIEvent event;
    return {
        {"SI_Calibrate", [] { return SI_Calibrate(0, Progress); }},
        {"SI_Clean", [] { return SI_Clean(Progress); }},
        {"SI_CloseInterface", [] { return SI_CloseInterface(); }},
        {"SI_Diagnostic", [] { return SI_Diagnostic(0, &value); }},
        {"SI_EndScan", [] { return SI_EndScan(); }},
        {"SI_Feed", [] { return SI_Feed(); }},
        {"SI_FeedPaperOut", [] { return SI_FeedPaperOut(); }},
        {"SI_GetButtonStatus", [] { return SI_GetButtonStatus(0, &value); }},
        {"SI_GetEvent", [] { return SI_GetEvent(&event); }},
        {"SI_GetPaperStatus", [] { return SI_GetPaperStatus(&value); }},
        {"SI_GetProperty", [] { return SI_GetProperty(&property); }},
        {"SI_GetScannerStatus", [] { return SI_GetScannerStatus(&value); }},
        {"SI_IsCalibrated", [] { return SI_IsCalibrated(&value); }},
        {"SI_ReadImageData", [] { return SI_ReadImageData(buffer, 1, 0, &value); }},
        {"SI_Reset", [] { return SI_Reset(); }},
        {"SI_SetProperty", [] { return SI_SetProperty(&property); }},
        {"SI_StartScan", [] { return SI_StartScan(); }},
    };
}

}  // namespace

TEST(SIClosedInterfaceTest, EveryFunctionAnswersNotOpenAndRecordsIt) {
    for (const Call& c : RecordingCalls()) {
        ASSERT_EQ(SI_OpenInterface(nullptr), SI_ERR_INVALID_PARAMETER);
        EXPECT_EQ(c.call(), SI_ERR_NOT_OPEN) << c.name;
        EXPECT_EQ(SI_GetLastError(), SI_ERR_NOT_OPEN) << c.name;
    }
}

TEST(SIClosedInterfaceTest, NotOpenComesBeforeArgumentChecks) {
    EXPECT_EQ(SI_GetProperty(nullptr), SI_ERR_NOT_OPEN);
    EXPECT_EQ(SI_SetProperty(nullptr), SI_ERR_NOT_OPEN);
    EXPECT_EQ(SI_ReadImageData(nullptr, 1, 2, nullptr), SI_ERR_NOT_OPEN);
    EXPECT_EQ(SI_GetScannerStatus(nullptr), SI_ERR_NOT_OPEN);
    EXPECT_EQ(SI_GetPaperStatus(nullptr), SI_ERR_NOT_OPEN);
    EXPECT_EQ(SI_GetButtonStatus(0, nullptr), SI_ERR_NOT_OPEN);
    EXPECT_EQ(SI_GetEvent(nullptr), SI_ERR_NOT_OPEN);
    EXPECT_EQ(SI_IsCalibrated(nullptr), SI_ERR_NOT_OPEN);
    EXPECT_EQ(SI_Diagnostic(0, nullptr), SI_ERR_NOT_OPEN);
}

TEST(SIClosedInterfaceTest, UnknownModelNamesAnswerTen) {
    // Only exact names are models: other letter case or extra characters are not.
    for (const char* name : {"rm310", "RM310_", "RM410 ", "RM4600__", "Rm1100", "", "__", "NoSuchScanner"}) {
        EXPECT_EQ(SI_OpenInterface(name), SI_ERR_UNKNOWN_SCANNER) << name;
        EXPECT_EQ(SI_GetLastError(), SI_ERR_UNKNOWN_SCANNER);
        EXPECT_EQ(SI_CloseInterface(), SI_ERR_NOT_OPEN) << name;
        // The failed open closed the log it opened.
        EXPECT_EQ(ScanLog::OpenCount(), 0);
    }
}

TEST(SIClosedInterfaceTest, KnownModelsWithoutTheirDeviceAnswerEleven) {
    for (const char* name : {"RM310", "RM310__", "RM410__", "RM460__", "RM1100__"}) {
        EXPECT_EQ(SI_OpenInterface(name), SI_ERR_NO_HARDWARE) << name;
        EXPECT_EQ(SI_CloseInterface(), SI_ERR_NOT_OPEN) << name;
        EXPECT_EQ(ScanLog::OpenCount(), 0);
    }
}

TEST(SIClosedInterfaceTest, ErrorTextOfTheLastResult) {
    const char* text = nullptr;
    SI_OpenInterface("NoSuchScanner");
    ASSERT_EQ(SI_GetLastErrorText(&text), SI_OK);
    EXPECT_STREQ(text, "The scanner name specified is not recognized.");
    // Neither text call records anything.
    EXPECT_EQ(SI_GetLastError(), SI_ERR_UNKNOWN_SCANNER);

    EXPECT_EQ(SI_GetLastErrorText(nullptr), SI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(SI_GetLastError(), SI_ERR_UNKNOWN_SCANNER);

    SI_EndScan();
    ASSERT_EQ(SI_GetLastErrorText(&text), SI_OK);
    EXPECT_STREQ(text, "The scanner interface is not open.");
}
