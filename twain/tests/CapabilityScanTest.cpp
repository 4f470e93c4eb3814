// Negotiated capabilities reach the scan: pages acquired from the virtual
// scanner after setting tone, threshold, frame, resolution, duplex and the
// transfer count come out as asked.
#include "CapabilityHarness.h"
#include "ChildPrograms.h"
#include "SourceHarness.h"

#include <emulator/HostSpeed.h>
#include <platform/testing.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace twain_test {
namespace {

using siscan_test::Emulator;
namespace pt = platform::testing;

constexpr TW_UINT16 kCalibrate = 0xBE01;
constexpr TW_UINT16 kPrefeed = 0xBE02;
constexpr TW_UINT16 kClean = 0xBE03;
constexpr TW_UINT16 kNeedsCalibration = 0xBE00;
constexpr TW_UINT16 kDetectEop = 0xBC01;
constexpr TW_UINT16 kEopExtra = 0xBC02;

struct Page {
    int32_t width = 0;
    int32_t length = 0;
    int16_t bits = 0;
    int32_t xResolution = 0;
    uint32_t rowBytes = 0;
    uint32_t rowsReceived = 0;
    std::vector<uint8_t> rows;  // top-down, as the strips came

    // Gray: the mean level; black and white: the share of set bits.
    double Mean() const
    {
        if (rows.empty()) return 0;
        double sum = 0;
        size_t count = 0;
        for (int32_t y = 0; y < length; ++y) {
            const uint8_t* row = rows.data() + size_t(y) * rowBytes;
            for (int32_t x = 0; x < width; ++x) {
                sum += bits == 1 ? (row[x / 8] >> (7 - x % 8)) & 1 : row[x * (bits / 8)];
                ++count;
            }
        }
        return sum / static_cast<double>(count);
    }
};

class CapabilityScan : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (emulator::UnderCpuEmulator()) GTEST_SKIP() << "whole pages under a CPU emulator";
        UseDirectPortModel();
        const std::string back = (BinFolder().parent_path() / "samples" / "sample-back.ppm").string();
        std::vector<std::string> sheets(16, SamplePage() + "," + back);
        scanner = std::make_unique<Emulator>("RM310-GL841", sheets);
        ASSERT_TRUE(scanner->Ready());
        ASSERT_TRUE(ds.Loaded());
        ASSERT_EQ(ds.Open(), TWRC_SUCCESS);
        ASSERT_EQ(Negotiate(ds, MSG_SET, CAP_INDICATORS, One(TWTY_BOOL, 0)).rc, TWRC_SUCCESS);
    }
    void TearDown() override
    {
        if (!scanner) return;
        ds.Close();
        EXPECT_EQ(scanner->Violations(), 0);
    }

    // Enables the source and takes every page by memory transfer.
    std::vector<Page> Acquire()
    {
        std::vector<Page> pages;
        if (ds.Enable() != TWRC_SUCCESS) {
            ADD_FAILURE() << "enable: condition " << ds.Condition();
            return pages;
        }
        for (;;) {
            Page page;
            TW_IMAGEINFO info{};
            EXPECT_EQ(ds.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
            page.width = info.ImageWidth;
            page.length = info.ImageLength;
            page.bits = info.BitsPerPixel;
            page.xResolution = info.XResolution.Whole;
            page.rowBytes = (static_cast<uint32_t>(page.width) * static_cast<uint32_t>(page.bits) + 31) / 32 * 4;
            page.rows.resize(size_t(page.rowBytes) * static_cast<size_t>(page.length));
            uint32_t done = 0;
            TW_UINT16 rc = TWRC_SUCCESS;
            while (rc == TWRC_SUCCESS) {
                TW_IMAGEMEMXFER strip{};
                strip.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
                strip.Memory.Length = static_cast<TW_UINT32>(page.rows.size() - size_t(done) * page.rowBytes);
                strip.Memory.TheMem = page.rows.data() + size_t(done) * page.rowBytes;
                if (strip.Memory.Length == 0) break;
                rc = ds.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip);
                done += strip.Rows;
            }
            EXPECT_EQ(rc, TWRC_XFERDONE);
            page.rowsReceived = done;
            if (!shortPages) {
                EXPECT_EQ(done, static_cast<uint32_t>(page.length));
            }
            pages.push_back(std::move(page));
            TW_UINT16 count = 0;
            if (ds.EndTransfer(&count) != TWRC_SUCCESS || count == 0 || pages.size() > 8) break;
        }
        TW_USERINTERFACE ui{};
        ds.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
        return pages;
    }

    void Set(TW_UINT16 cap, const Container& container)
    {
        ASSERT_NE(Negotiate(ds, MSG_SET, cap, container).rc, TWRC_FAILURE) << std::hex << cap;
    }

    std::unique_ptr<Emulator> scanner;
    DirectSource ds;
    // Paper-end detection may end a page before the frame does.
    bool shortPages = false;
};

Container Fix(double v) { return One(TWTY_FIX32, Fx(v)); }

// The frame of a supported size and the resolution, exactly.
TEST_F(CapabilityScan, FrameAndResolutionGiveTheGeometry)
{
    struct Case {
        TW_UINT16 size;
        int dpi;
        TW_UINT16 pixelType;
        int32_t width, length;
        int16_t bits;
    };
    const Case cases[] = {
        {TWSS_BUSINESSCARD, 100, TWPT_GRAY, 354, 217, 8},
        {TWSS_A6, 75, TWPT_RGB, 309, 437, 24},
        {TWSS_BUSINESSCARD, 150, TWPT_BW, 531, 325, 1},
    };
    for (const Case& c : cases) {
        Set(ICAP_SUPPORTEDSIZES, One(TWTY_UINT16, c.size));
        Set(ICAP_XRESOLUTION, Fix(c.dpi));
        Set(ICAP_PIXELTYPE, One(TWTY_UINT16, c.pixelType));
        const std::vector<Page> pages = Acquire();
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(pages[0].width, c.width) << c.dpi;
        EXPECT_EQ(pages[0].length, c.length) << c.dpi;
        EXPECT_EQ(pages[0].bits, c.bits) << c.dpi;
        EXPECT_EQ(pages[0].xResolution, c.dpi);
    }
}

// Tone and threshold, each pair scanned once with a low and once with a high
// value: the image moves the way the capability says.
TEST_F(CapabilityScan, ToneAndThresholdShowInTheImage)
{
    struct Case {
        const char* name;
        TW_UINT16 pixelType;
        TW_UINT16 cap;
        double low, high;
        int direction;  // +1: the high value gives the brighter page
    };
    const Case cases[] = {
        {"threshold", TWPT_BW, ICAP_THRESHOLD, 60, 200, -1},
        {"brightness in black and white", TWPT_BW, ICAP_BRIGHTNESS, -600, 600, +1},
        {"brightness in gray", TWPT_GRAY, ICAP_BRIGHTNESS, -500, 500, +1},
        {"gamma in gray", TWPT_GRAY, ICAP_GAMMA, 1.0, 2.6, +1},
        {"highlight in gray", TWPT_GRAY, ICAP_HIGHLIGHT, 120, 255, -1},
        {"shadow in gray", TWPT_GRAY, ICAP_SHADOW, 0, 120, -1},
        {"contrast in gray", TWPT_GRAY, ICAP_CONTRAST, -800, 0, 0},
    };
    Set(ICAP_SUPPORTEDSIZES, One(TWTY_UINT16, TWSS_BUSINESSCARD));
    Set(ICAP_XRESOLUTION, Fix(75));
    for (const Case& c : cases) {
        TW_CAPABILITY all{};
        all.ConType = TWON_DONTCARE16;
        ASSERT_EQ(ds.Call(DG_CONTROL, DAT_CAPABILITY, MSG_RESETALL, &all), TWRC_SUCCESS);
        Set(CAP_INDICATORS, One(TWTY_BOOL, 0));
        Set(ICAP_SUPPORTEDSIZES, One(TWTY_UINT16, TWSS_BUSINESSCARD));
        Set(ICAP_XRESOLUTION, Fix(75));
        Set(ICAP_PIXELTYPE, One(TWTY_UINT16, c.pixelType));
        Set(c.cap, Fix(c.low));
        const std::vector<Page> low = Acquire();
        Set(c.cap, Fix(c.high));
        const std::vector<Page> high = Acquire();
        ASSERT_EQ(low.size(), 1u) << c.name;
        ASSERT_EQ(high.size(), 1u) << c.name;
        const double lowMean = low[0].Mean();
        const double highMean = high[0].Mean();
        const double scale = c.pixelType == TWPT_BW ? 1.0 : 255.0;
        if (c.direction > 0) {
            EXPECT_GT(highMean, lowMean + 0.03 * scale) << c.name;
        } else if (c.direction < 0) {
            EXPECT_LT(highMean, lowMean - 0.03 * scale) << c.name;
        } else {
            // Contrast spreads the levels: the page differs.
            EXPECT_NE(low[0].rows, high[0].rows) << c.name;
        }
    }
}

// The transfer count decides the pages of one sheet: one side, or both
// sides with duplex.
TEST_F(CapabilityScan, TransferCountAgainstDuplex)
{
    struct Case {
        bool duplex;
        TW_UINT16 count;
        TW_UINT16 rc;
        size_t pages;
    };
    const Case cases[] = {
        {false, 0, TWRC_FAILURE, 0}, {false, 1, TWRC_SUCCESS, 1},  {false, 0xFFFF, TWRC_SUCCESS, 1},
        {true, 1, TWRC_SUCCESS, 1},  {true, 2, TWRC_SUCCESS, 2},    {true, 0xFFFF, TWRC_SUCCESS, 2},
        {true, 0, TWRC_FAILURE, 0},
    };
    Set(ICAP_SUPPORTEDSIZES, One(TWTY_UINT16, TWSS_BUSINESSCARD));
    Set(ICAP_XRESOLUTION, Fix(75));
    Set(ICAP_PIXELTYPE, One(TWTY_UINT16, TWPT_GRAY));
    for (const Case& c : cases) {
        Set(CAP_DUPLEXENABLED, One(TWTY_BOOL, c.duplex ? 1 : 0));
        Set(CAP_XFERCOUNT, One(TWTY_INT16, 0xFFFF));
        EXPECT_EQ(Negotiate(ds, MSG_SET, CAP_XFERCOUNT, One(TWTY_INT16, c.count)).rc, c.rc)
            << c.duplex << " " << c.count;
        if (c.rc == TWRC_FAILURE) continue;
        const std::vector<Page> pages = Acquire();
        EXPECT_EQ(pages.size(), c.pages) << c.duplex << " " << c.count;
        if (pages.size() == 2) {
            // The back of the sheet is mostly blank: brighter than the front.
            EXPECT_GT(pages[1].Mean(), pages[0].Mean()) << c.duplex << " " << c.count;
            EXPECT_EQ(pages[1].width, pages[0].width);
            EXPECT_EQ(pages[1].length, pages[0].length);
        }
    }
}

// A sheet shorter than the frame: with paper-end detection the page ends
// with the paper, and the extra length adds to it.
TEST_F(CapabilityScan, PaperEndDetectionAndItsExtraLength)
{
    // 4.5 x 3 in of light gray at the sheets' 600 dpi.
    const std::string sheet = pt::Root() + "/short-sheet.pgm";
    {
        std::ofstream out(sheet, std::ios::binary);
        out << "P5\n2700 1800\n255\n" << std::string(size_t(2700) * 1800, '\xC0');
    }
    ds.Close();
    EXPECT_EQ(scanner->Violations(), 0);
    scanner.reset();
    scanner = std::make_unique<Emulator>("RM310-GL841", std::vector<std::string>(3, sheet));
    ASSERT_TRUE(scanner->Ready());
    ASSERT_EQ(ds.Open(), TWRC_SUCCESS);
    Set(CAP_INDICATORS, One(TWTY_BOOL, 0));
    Set(ICAP_PIXELTYPE, One(TWTY_UINT16, TWPT_GRAY));
    Set(ICAP_XRESOLUTION, Fix(100));
    Set(ICAP_SUPPORTEDSIZES, One(TWTY_UINT16, TWSS_NONE));
    Set(kDetectEop, One(TWTY_BOOL, 1));
    shortPages = true;
    const std::vector<Page> plain = Acquire();
    Set(kEopExtra, One(TWTY_INT32, 50));
    const std::vector<Page> longer = Acquire();
    ASSERT_EQ(plain.size(), 1u);
    ASSERT_EQ(longer.size(), 1u);
    // The frame is 10 in; the sheet 3 in.
    EXPECT_GT(plain[0].rowsReceived, 250u);
    EXPECT_LT(plain[0].rowsReceived, 500u);
    EXPECT_NEAR(static_cast<double>(longer[0].rowsReceived), plain[0].rowsReceived + 50.0, 10.0);
}

TEST_F(CapabilityScan, CalibrateCleanAndPrefeedRunOnTheScanner)
{
    // The sample sheet is no calibration target: the scanner calibrates
    // white only. Without indicators the application hears it as a check
    // status with TWCC_BUMMER; with them it is a calibration.
    for (bool indicators : {false, true}) {
        Set(CAP_INDICATORS, One(TWTY_BOOL, indicators ? 1 : 0));
        const CapAnswer calibrated = Negotiate(ds, MSG_SET, kCalibrate, One(TWTY_BOOL, 1));
        EXPECT_EQ(calibrated.rc, indicators ? TWRC_SUCCESS : TWRC_CHECKSTATUS) << "condition " << calibrated.condition;
        if (!indicators) {
            EXPECT_EQ(ds.Condition(), TWCC_BUMMER);
        }
        EXPECT_EQ(Current(ds, kNeedsCalibration), 0u);
        const CapAnswer cleaned = Negotiate(ds, MSG_SET, kClean, One(TWTY_BOOL, 1));
        EXPECT_EQ(cleaned.rc, TWRC_SUCCESS) << "condition " << cleaned.condition;
    }
    EXPECT_EQ(Negotiate(ds, MSG_SET, kPrefeed, One(TWTY_BOOL, 1)).rc, TWRC_SUCCESS);
    EXPECT_TRUE(pt::MessageBoxes().empty());
}

// With the scanner unplugged the commands fail instead of reporting work
// that never happened; with indicators the user is told.
TEST(CapabilityCommands, FailWithTheScannerClosed)
{
    UseDirectPortModel();
    DirectSource ds;
    ASSERT_TRUE(ds.Loaded());
    ASSERT_EQ(ds.Open(), TWRC_SUCCESS);
    EXPECT_EQ(Current(ds, CAP_DEVICEONLINE), 0u);
    EXPECT_EQ(Current(ds, CAP_FEEDERLOADED), 0u);
    EXPECT_EQ(Current(ds, kNeedsCalibration), 0u);
    struct Case {
        TW_UINT16 cap;
        bool indicators;
        TW_UINT16 rc;
        TW_UINT16 condition;
        size_t boxes;
    };
    const Case cases[] = {
        {kCalibrate, false, TWRC_FAILURE, TWCC_BUMMER, 0}, {kClean, false, TWRC_FAILURE, TWCC_BUMMER, 0},
        {kCalibrate, true, TWRC_FAILURE, TWCC_BUMMER, 1},  {kClean, true, TWRC_FAILURE, TWCC_BUMMER, 1},
        {kPrefeed, true, TWRC_SUCCESS, TWCC_SUCCESS, 0},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Negotiate(ds, MSG_SET, CAP_INDICATORS, One(TWTY_BOOL, c.indicators ? 1 : 0)).rc, TWRC_SUCCESS);
        const size_t before = pt::MessageBoxes().size();
        const CapAnswer answer = Negotiate(ds, MSG_SET, c.cap, One(TWTY_BOOL, 1));
        EXPECT_EQ(answer.rc, c.rc) << std::hex << c.cap;
        EXPECT_EQ(answer.condition, c.condition) << std::hex << c.cap;
        const std::vector<pt::MessageBoxRecord> boxes = pt::MessageBoxes();
        ASSERT_EQ(boxes.size() - before, c.boxes) << std::hex << c.cap;
        if (c.boxes == 1) {
            EXPECT_EQ(boxes.back().caption, "RM310");
        }
    }
}

}  // namespace
}  // namespace twain_test
