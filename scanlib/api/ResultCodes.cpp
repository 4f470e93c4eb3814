#include "api/ResultCodes.h"

#include <array>

namespace {

constexpr int32_t kEndOfTable = -1;

constexpr std::array<ResultCodeRow, 20> kResultCodes{{
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
    {kEndOfTable, ""},
}};

static_assert(sizeof(ResultCodeRow) == 84, "each row is a 32-bit code and an 80-byte text");
static_assert(kResultCodes.back().code == kEndOfTable);

constexpr char kNoErrorText[] = "No error text available.";

}  // namespace

std::span<const ResultCodeRow> ResultCodeTable() { return kResultCodes; }

const char* ResultCodeText(int32_t code) {
    for (const ResultCodeRow& row : kResultCodes) {
        if (row.code == kEndOfTable) break;
        if (row.code == code) return row.text;
    }
    return kNoErrorText;
}
