#include "api/ResultCodes.h"

#include <SIInterface.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Row {
    int32_t code;
    const char* text;
};

constexpr Row kExpected[] = {
    {0, "Operation completed successfully."},
    {10, "The scanner name specified is not recognized."},
    {11, "The scanner hardware was not detected."},
    {14, "A parameter was invalid."},
    {15, "Attempt to open the interface when it is already open."},
    {17, "The scanner interface is not open."},
    {18, "The file system did not allow access to the calibration file."},
    {19, "The scanner is busy."},
    {20, "There is no more image data for this page"},
    {21, "Tried to read image data without starting a scan."},
    {256, "Error communicating with the scanner."},
    {2048, "Unknown error."},
    {2050, "The scanner could not be calibrated."},
    {2051, "There was a failure initializing the scanner."},
    {2112, "The scanner has been successfully calibrated with a white-only target."},
    {2052, "The user cancelled the operation."},
    {2304, "The property specified is not supported."},
    {2305, "The property value specified was invalid."},
    {2306, "Attempt to write to a property that is has read-only access."},
    {-1, ""},
};

}  // namespace

TEST(ResultCodesTest, TableIsStoredInOrderWithEightyByteTexts) {
    const auto table = ResultCodeTable();
    ASSERT_EQ(table.size(), std::size(kExpected));
    for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].code, kExpected[i].code) << "row " << i;
        EXPECT_STREQ(table[i].text, kExpected[i].text) << "row " << i;
        EXPECT_LT(std::strlen(table[i].text), sizeof(table[i].text));
    }
    EXPECT_EQ(sizeof(table[0].text), 80u);
}

TEST(ResultCodesTest, TextLookup) {
    for (const Row& row : kExpected) {
        if (row.code == -1) continue;
        EXPECT_STREQ(ResultCodeText(row.code), row.text) << row.code;
    }
    for (int32_t unknown : {1, 12, 255, 2049, 2113, -1, -2}) {
        EXPECT_STREQ(ResultCodeText(unknown), "No error text available.") << unknown;
    }
}
