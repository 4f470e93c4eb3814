// The data stage against a scripted scanner library: the order of its calls
// (the scan started once per sheet, ended and the sheet ejected after its
// last side), and a scan that ends early, fails or is cancelled leaves no
// scan open.
#include "ScanPipeline.h"
#include "ScannerDataStage.h"

#include <SIPropertyIds.h>
#include <SIRecord.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The scripted library: a page of kRows rows of kWidth gray pixels.
constexpr int32_t kWidth = 10;  // 10 bytes a line: rows are padded to 12
constexpr int32_t kRows = 7;

struct Script {
    std::vector<std::string> calls;
    int readsBeforeFailure = -1;  // -1: never fails
    int32_t rowsLeft[2] = {kRows, kRows};
} script;

SIResult GetProperty(SIProperty* p)
{
    p->container = SI_CONTAINER_SINGLE;
    p->itemType = SI_TYPE_INT32;
    int32_t v = 0;
    switch (p->id) {
    case SI_PROP_SCAN_WIDTH:
        p->container = SI_CONTAINER_RANGE;
        p->value[si_record::kRangeMaximum] = SlotFromInt(1000);
        p->value[4] = SlotFromInt(kWidth);
        return SI_OK;
    case SI_PROP_SCAN_LENGTH: v = kRows; break;
    case SI_PROP_WIDTH_IN_BYTES: v = kWidth; break;
    case SI_PROP_EOP_DETECT:
    case SI_PROP_DESCREEN: return SI_ERR_PROPERTY_UNSUPPORTED;
    default: break;
    }
    p->value[0] = p->value[1] = SlotFromInt(v);
    return SI_OK;
}
SIResult SetProperty(const SIProperty*) { return SI_OK; }
SIResult StartScan()
{
    script.calls.push_back("start");
    script.rowsLeft[0] = script.rowsLeft[1] = kRows;
    return SI_OK;
}
SIResult EndScan()
{
    script.calls.push_back("end");
    return SI_OK;
}
SIResult FeedPaperOut()
{
    script.calls.push_back("eject");
    return SI_OK;
}
SIResult ReadImageData(uint8_t* buffer, uint32_t lines, uint32_t side, int* read)
{
    if (script.readsBeforeFailure == 0) {
        *read = 0;
        return SI_ERR_COMMUNICATION;
    }
    if (script.readsBeforeFailure > 0) --script.readsBeforeFailure;
    const int32_t n = std::min<int32_t>(static_cast<int32_t>(lines), script.rowsLeft[side]);
    for (int32_t i = 0; i < n * kWidth; ++i) buffer[i] = static_cast<uint8_t>(side + 1);
    script.rowsLeft[side] -= n;
    *read = n;
    return SI_OK;
}

class DataStage : public ::testing::Test {
protected:
    void SetUp() override
    {
        script = Script{};
        library.GetProperty = GetProperty;
        library.SetProperty = SetProperty;
        library.StartScanFn = StartScan;
        library.EndScanFn = EndScan;
        library.FeedPaperOutFn = FeedPaperOut;
        library.ReadImageDataFn = ReadImageData;
    }

    int Build(bool duplex, bool indicators = false)
    {
        ScanSettings settings;
        settings.scanMode = kScanModeGray;
        settings.dpi = 100;
        settings.duplex = duplex ? 1 : 0;
        const int built = pipeline.Add(std::make_unique<ScannerDataStage>(library, pipeline, 0), settings,
                                       indicators, nullptr);
        pipeline.MarkBuilt();
        return built;
    }

    // Reads a side in reads of `rows` rows; the error of the last read.
    int ReadSide(uint32_t rows, std::vector<uint8_t>* data = nullptr)
    {
        std::vector<uint8_t> buffer(12 * rows);
        uint32_t total = 0;
        while (total < kRows) {
            uint32_t got = 0;
            const int error = pipeline.Read(buffer.data(), rows, &got);
            if (error != 0) return error;
            if (data) data->insert(data->end(), buffer.begin(), buffer.begin() + 12 * got);
            total += got;
        }
        return 0;
    }

    ScannerLibraryBinding library;
    ScanPipeline pipeline;
};

TEST_F(DataStage, DuplexSheetStartsOnceAndEndsAfterTheBack)
{
    ASSERT_EQ(Build(true), 0);
    EXPECT_EQ(pipeline.Output()->BytesPerRow(), 12u);
    pipeline.StartPage(0);
    std::vector<uint8_t> front;
    ASSERT_EQ(ReadSide(3, &front), 0);
    EXPECT_EQ(script.calls, (std::vector<std::string>{"start"}));
    // Rows padded with zeros to 4 bytes.
    ASSERT_EQ(front.size(), 12u * kRows);
    EXPECT_EQ(front[9], 1);
    EXPECT_EQ(front[10], 0);
    EXPECT_EQ(front[11], 0);
    pipeline.FinishPage();
    pipeline.StartPage(1);
    std::vector<uint8_t> back;
    ASSERT_EQ(ReadSide(4, &back), 0);
    EXPECT_EQ(back[0], 2);
    EXPECT_EQ(script.calls, (std::vector<std::string>{"start", "end", "eject"}));
    pipeline.End();
    EXPECT_EQ(script.calls.size(), 3u) << "ended once";
}

TEST_F(DataStage, SimplexEndsAfterTheFront)
{
    ASSERT_EQ(Build(false), 0);
    pipeline.StartPage(0);
    ASSERT_EQ(ReadSide(kRows), 0);
    EXPECT_EQ(script.calls, (std::vector<std::string>{"start", "end", "eject"}));
}

// Duplex with one transfer, a read error, a cancel: ending the pipeline ends the scan.
TEST_F(DataStage, AnEndedPipelineLeavesNoScanOpen)
{
    struct Case {
        const char* what;
        int readsBeforeFailure;
        int expectedError;
    };
    const Case cases[] = {
        {"duplex with one transfer", -1, 0},
        {"read error", 1, kScanErrorDevice},
    };
    for (const Case& c : cases) {
        SetUp();
        ASSERT_EQ(Build(true), 0);
        script.readsBeforeFailure = c.readsBeforeFailure;
        pipeline.StartPage(0);
        EXPECT_EQ(ReadSide(2), c.expectedError) << c.what;
        pipeline.End();
        EXPECT_EQ(script.calls, (std::vector<std::string>{"start", "end", "eject"})) << c.what;
        pipeline = ScanPipeline{};
    }
}

TEST_F(DataStage, RefusedBuildIsTheScannersFailure)
{
    library.SetProperty = [](const SIProperty* p) -> SIResult {
        return p->id == SI_PROP_X_RESOLUTION ? SI_ERR_PROPERTY_INVALID : SI_OK;
    };
    EXPECT_EQ(Build(false), kScanErrorDevice);
}

}  // namespace
