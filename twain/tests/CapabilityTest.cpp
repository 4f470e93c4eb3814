// Capability negotiation as an application does it, against the virtual
// scanner: what each capability answers, byte for byte, what it accepts,
// its resets and the states each message is taken in.
#include "CapabilityHarness.h"
#include "ChildPrograms.h"
#include "SourceHarness.h"

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace twain_test {
namespace {

using siscan_test::Emulator;
namespace pt = platform::testing;

constexpr TW_UINT16 kDescreen = 0xBC00;
constexpr TW_UINT16 kDetectEop = 0xBC01;
constexpr TW_UINT16 kEopExtra = 0xBC02;
constexpr TW_UINT16 kNeedsCalibration = 0xBE00;
constexpr TW_UINT16 kCalibrate = 0xBE01;
constexpr TW_UINT16 kPrefeed = 0xBE02;
constexpr TW_UINT16 kClean = 0xBE03;

// The resolutions the virtual RM310 offers.
const std::vector<int> kScannerResolutions{75, 100, 150, 200, 300, 400, 500, 600};

class Capabilities : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseDirectPortModel();
        std::vector<std::string> sheets(4, SamplePage());
        scanner = std::make_unique<Emulator>("RM310-GL841", sheets);
        ASSERT_TRUE(scanner->Ready());
        ASSERT_TRUE(ds.Loaded());
        ASSERT_EQ(ds.Open(), TWRC_SUCCESS);
    }
    void TearDown() override
    {
        ds.Close();
        EXPECT_EQ(scanner->Violations(), 0);
    }

    void ResetAll()
    {
        TW_CAPABILITY cap{};
        cap.ConType = TWON_DONTCARE16;
        ASSERT_EQ(ds.Call(DG_CONTROL, DAT_CAPABILITY, MSG_RESETALL, &cap), TWRC_SUCCESS);
        ds.Condition();
    }

    std::unique_ptr<Emulator> scanner;
    DirectSource ds;
};

std::vector<uint8_t> B(std::initializer_list<int> bytes)
{
    std::vector<uint8_t> out;
    for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
    return out;
}

struct GetCase {
    TW_UINT16 cap;
    TW_UINT16 msg;
    TW_UINT16 conType;
    std::vector<uint8_t> bytes;
};

// Right after MSG_OPENDS with no profile: black and white, 300 dpi, the
// default frame (no supported size), gamma 1.8.
TEST_F(Capabilities, ContainersByteForByte)
{
    const GetCase cases[] = {
        {CAP_XFERCOUNT, MSG_GET, TWON_ONEVALUE, B({1, 0, 0xFF, 0xFF, 0, 0})},
        {CAP_XFERCOUNT, MSG_GETDEFAULT, TWON_ONEVALUE, B({1, 0, 0xFF, 0xFF, 0, 0})},
        {ICAP_COMPRESSION, MSG_GET, TWON_ONEVALUE, B({4, 0, 0, 0, 0, 0})},
        {ICAP_UNITS, MSG_GETDEFAULT, TWON_ONEVALUE, B({4, 0, 0, 0, 0, 0})},
        {ICAP_PIXELTYPE, MSG_GET, TWON_ENUMERATION, B({4, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2, 0})},
        {ICAP_PIXELTYPE, MSG_GETCURRENT, TWON_ONEVALUE, B({4, 0, 0, 0, 0, 0})},
        {ICAP_XFERMECH, MSG_GET, TWON_ENUMERATION, B({4, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2, 0})},
        {CAP_FEEDERENABLED, MSG_GET, TWON_ONEVALUE, B({6, 0, 1, 0, 0, 0})},
        {CAP_FEEDERLOADED, MSG_GET, TWON_ONEVALUE, B({6, 0, 1, 0, 0, 0})},
        {CAP_FEEDERLOADED, MSG_GETDEFAULT, TWON_ONEVALUE, B({6, 0, 0, 0, 0, 0})},
        {CAP_AUTOFEED, MSG_GET, TWON_ONEVALUE, B({6, 0, 0, 0, 0, 0})},
        {CAP_INDICATORS, MSG_GET, TWON_ONEVALUE, B({6, 0, 1, 0, 0, 0})},
        {CAP_PAPERDETECTABLE, MSG_GET, TWON_ONEVALUE, B({6, 0, 1, 0, 0, 0})},
        {CAP_UICONTROLLABLE, MSG_GET, TWON_ONEVALUE, B({6, 0, 1, 0, 0, 0})},
        {CAP_DEVICEONLINE, MSG_GET, TWON_ONEVALUE, B({6, 0, 1, 0, 0, 0})},
        {CAP_DUPLEX, MSG_GET, TWON_ONEVALUE, B({4, 0, 1, 0, 0, 0})},
        {CAP_DUPLEXENABLED, MSG_GET, TWON_ONEVALUE, B({6, 0, 0, 0, 0, 0})},
        {CAP_ENABLEDSUIONLY, MSG_GET, TWON_ONEVALUE, B({6, 0, 1, 0, 0, 0})},
        {CAP_FEEDERALIGNMENT, MSG_GET, TWON_ONEVALUE, B({4, 0, 2, 0, 0, 0})},
        {CAP_REACQUIREALLOWED, MSG_GET, TWON_ONEVALUE, B({6, 0, 0, 0, 0, 0})},
        // -1000..1000 step 10, default 0, current 0.
        {ICAP_BRIGHTNESS, MSG_GET, TWON_RANGE,
         B({7, 0, 0x18, 0xFC, 0, 0, 0xE8, 3, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
        {ICAP_CONTRAST, MSG_GETCURRENT, TWON_ONEVALUE, B({7, 0, 0, 0, 0, 0})},
        // 1.8: Whole 1, Frac 0xCCCD.
        {ICAP_GAMMA, MSG_GET, TWON_ONEVALUE, B({7, 0, 1, 0, 0xCD, 0xCC})},
        {ICAP_GAMMA, MSG_GETDEFAULT, TWON_ONEVALUE, B({7, 0, 1, 0, 0xCD, 0xCC})},
        {ICAP_HIGHLIGHT, MSG_GET, TWON_RANGE,
         B({7, 0, 0, 0, 0, 0, 0xFF, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0})},
        {ICAP_SHADOW, MSG_GET, TWON_RANGE, B({7, 0, 0, 0, 0, 0, 0xFF, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
        {ICAP_IMAGEFILEFORMAT, MSG_GET, TWON_ONEVALUE, B({4, 0, 2, 0, 0, 0})},
        // 4.16: Whole 4, Frac 0x28F6.
        {ICAP_PHYSICALWIDTH, MSG_GET, TWON_ONEVALUE, B({7, 0, 4, 0, 0xF6, 0x28})},
        {ICAP_PHYSICALHEIGHT, MSG_GETCURRENT, TWON_ONEVALUE, B({7, 0, 10, 0, 0, 0})},
        {ICAP_XNATIVERESOLUTION, MSG_GET, TWON_ONEVALUE, B({7, 0, 0x58, 2, 0, 0})},
        {ICAP_YNATIVERESOLUTION, MSG_GETDEFAULT, TWON_ONEVALUE, B({7, 0, 0x58, 2, 0, 0})},
        // 75 to 600; current and default 300 (index 4).
        {ICAP_XRESOLUTION, MSG_GET, TWON_ENUMERATION,
         B({7, 0, 8, 0, 0, 0, 4, 0, 0, 0, 4, 0, 0, 0, 75, 0, 0, 0, 100, 0, 0, 0, 150, 0, 0, 0, 200, 0, 0, 0, 0x2C, 1,
            0, 0, 0x90, 1, 0, 0, 0xF4, 1, 0, 0, 0x58, 2, 0, 0})},
        {ICAP_YRESOLUTION, MSG_GETCURRENT, TWON_ONEVALUE, B({7, 0, 0x2C, 1, 0, 0})},
        {ICAP_BITORDER, MSG_GET, TWON_ONEVALUE, B({4, 0, 1, 0, 0, 0})},
        {ICAP_PIXELFLAVOR, MSG_GET, TWON_ENUMERATION, B({4, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0})},
        {ICAP_PLANARCHUNKY, MSG_GET, TWON_ONEVALUE, B({4, 0, 0, 0, 0, 0})},
        // The default frame is no supported size; A6 is the default.
        {ICAP_SUPPORTEDSIZES, MSG_GET, TWON_ENUMERATION,
         B({4, 0, 3, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 13, 0, 53, 0})},
        {ICAP_SUPPORTEDSIZES, MSG_GETDEFAULT, TWON_ONEVALUE, B({4, 0, 13, 0, 0, 0})},
        {ICAP_THRESHOLD, MSG_GET, TWON_ONEVALUE, B({7, 0, 128, 0, 0, 0})},
        {ICAP_BITDEPTH, MSG_GET, TWON_ONEVALUE, B({4, 0, 1, 0, 0, 0})},
        {ICAP_BITDEPTHREDUCTION, MSG_GET, TWON_ONEVALUE, B({4, 0, 0, 0, 0, 0})},
        {kDescreen, MSG_GET, TWON_ONEVALUE, B({6, 0, 0, 0, 0, 0})},
        {kDetectEop, MSG_GETDEFAULT, TWON_ONEVALUE, B({6, 0, 0, 0, 0, 0})},
        {kCalibrate, MSG_GET, TWON_ONEVALUE, B({6, 0, 0, 0, 0, 0})},
        {kClean, MSG_GETCURRENT, TWON_ONEVALUE, B({6, 0, 0, 0, 0, 0})},
        {kPrefeed, MSG_GETDEFAULT, TWON_ONEVALUE, B({6, 0, 0, 0, 0, 0})},
    };
    const size_t liveBefore = pt::LiveGlobalBlocks();
    for (const GetCase& c : cases) {
        const CapAnswer answer = Negotiate(ds, c.msg, c.cap);
        ASSERT_EQ(answer.rc, TWRC_SUCCESS) << std::hex << c.cap << " condition " << answer.condition;
        EXPECT_EQ(answer.conType, c.conType) << std::hex << c.cap << " msg " << c.msg;
        EXPECT_EQ(answer.bytes, c.bytes) << std::hex << c.cap << " msg " << c.msg;
    }
    EXPECT_EQ(pt::LiveGlobalBlocks(), liveBefore);
    // The paper-end extra length lives for the process: it is whatever an
    // earlier session left until it is set.
    ASSERT_EQ(Negotiate(ds, MSG_SET, kEopExtra, One(TWTY_INT32, static_cast<TW_UINT32>(-5))).rc, TWRC_SUCCESS);
    EXPECT_EQ(Negotiate(ds, MSG_GET, kEopExtra).bytes, B({2, 0, 0xFB, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Negotiate(ds, MSG_GETDEFAULT, kEopExtra).bytes, B({2, 0, 0, 0, 0, 0}));
}

TEST_F(Capabilities, NegativeValuesAndCouplingsReadBack)
{
    // Brightness -15 is stored as -1: -10 as FIX32 (Whole 0xFFF6).
    EXPECT_EQ(Negotiate(ds, MSG_SET, ICAP_BRIGHTNESS, One(TWTY_FIX32, Fx(-15))).rc, TWRC_CHECKSTATUS);
    EXPECT_EQ(Negotiate(ds, MSG_GETCURRENT, ICAP_BRIGHTNESS).bytes, B({7, 0, 0xF6, 0xFF, 0, 0}));
    EXPECT_EQ(Negotiate(ds, MSG_GET, ICAP_THRESHOLD).bytes, B({7, 0, 129, 0, 0, 0}));
    // The range carries the current value.
    const CapAnswer range = Negotiate(ds, MSG_GET, ICAP_BRIGHTNESS);
    EXPECT_EQ(std::vector<uint8_t>(range.bytes.begin() + 18, range.bytes.end()), B({0xF6, 0xFF, 0, 0}));
    // Threshold 0 is taken as 1: brightness 127, answered clamped to 1000.
    EXPECT_EQ(Negotiate(ds, MSG_SET, ICAP_THRESHOLD, One(TWTY_FIX32, Fx(0))).rc, TWRC_SUCCESS);
    EXPECT_EQ(Current(ds, ICAP_BRIGHTNESS), Fx(1000));
    EXPECT_EQ(Current(ds, ICAP_THRESHOLD), Fx(1));
    // Pixel type and bit depth.
    EXPECT_EQ(Negotiate(ds, MSG_SET, ICAP_PIXELTYPE, One(TWTY_UINT16, TWPT_RGB)).rc, TWRC_SUCCESS);
    EXPECT_EQ(Current(ds, ICAP_BITDEPTH), 8u);
}

TEST_F(Capabilities, FixedPointConversionsRoundHalfAwayFromZero)
{
    struct Case {
        double value;
        TW_UINT32 bits;
    };
    const Case cases[] = {
        {4.16, 0x28F60004u}, {1.8, 0xCCCD0001u}, {-0.5, 0x8000FFFFu}, {-1.25, 0xC000FFFEu},
        {-1000, 0x0000FC18u}, {600, 0x00000258u},
    };
    for (const Case& c : cases) EXPECT_EQ(Fx(c.value), c.bits) << c.value;
    // The gamma the source answers comes from the same rule: 2.2 set, 2.2 read.
    EXPECT_EQ(Negotiate(ds, MSG_SET, ICAP_GAMMA, One(TWTY_FIX32, Fx(2.2))).rc, TWRC_SUCCESS);
    EXPECT_EQ(Current(ds, ICAP_GAMMA), 0x33330002u);
}

struct Step {
    TW_UINT16 cap;
    Container container;
};

struct SetCase {
    const char* name;
    std::vector<Step> before;
    TW_UINT16 cap;
    Container container;
    TW_UINT16 rc;
    TW_UINT16 condition;
    TW_UINT16 readCap;
    TW_UINT32 readBack;
};

Container Fix(double v) { return One(TWTY_FIX32, Fx(v)); }
Container U16(TW_UINT32 v) { return One(TWTY_UINT16, v); }
Container Boolean(TW_UINT32 v) { return One(TWTY_BOOL, v); }

Container BrokenEnumeration(TW_UINT32 numItems, TW_UINT32 currentIndex)
{
    Container c = Enumeration(TWTY_UINT16, {TWPT_GRAY, TWPT_RGB}, 0);
    c.numItemsOverride = numItems;
    c.currentIndexOverride = currentIndex;
    return c;
}

TEST_F(Capabilities, SetCases)
{
    const Step duplexOn{CAP_DUPLEXENABLED, Boolean(1)};
    const Step grayOnly{ICAP_PIXELTYPE, Enumeration(TWTY_UINT16, {TWPT_GRAY}, 0)};
    const Step colour{ICAP_PIXELTYPE, U16(TWPT_RGB)};
    const Container array{TWON_ARRAY, TWTY_FIX32, {Fx(10)}, 0, 0, 0, 0, 0, {}, {}};
    const SetCase cases[] = {
        // brightness and contrast: tenths, whole numbers
        {"brightness 15", {}, ICAP_BRIGHTNESS, Fix(15), TWRC_CHECKSTATUS, 0, ICAP_BRIGHTNESS, Fx(10)},
        {"brightness 15.9 truncated", {}, ICAP_BRIGHTNESS, Fix(15.9), TWRC_CHECKSTATUS, 0, ICAP_BRIGHTNESS, Fx(10)},
        {"brightness -1000", {}, ICAP_BRIGHTNESS, Fix(-1000), TWRC_SUCCESS, 0, ICAP_THRESHOLD, Fx(228)},
        {"brightness 1001", {}, ICAP_BRIGHTNESS, Fix(1001), TWRC_FAILURE, TWCC_BADVALUE, ICAP_BRIGHTNESS, Fx(0)},
        {"brightness range", {}, ICAP_BRIGHTNESS, Range(TWTY_FIX32, Fx(-1000), Fx(1000), Fx(10), Fx(500)),
         TWRC_SUCCESS, 0, ICAP_THRESHOLD, Fx(78)},
        {"brightness array", {}, ICAP_BRIGHTNESS, array, TWRC_FAILURE, TWCC_BADVALUE, ICAP_BRIGHTNESS, Fx(0)},
        {"contrast enumeration", {}, ICAP_CONTRAST, Enumeration(TWTY_FIX32, {Fx(-100), Fx(200)}, 1), TWRC_SUCCESS, 0,
         ICAP_CONTRAST, Fx(200)},
        {"contrast int32", {}, ICAP_CONTRAST, One(TWTY_INT32, static_cast<TW_UINT32>(-300)), TWRC_SUCCESS, 0,
         ICAP_CONTRAST, Fx(-300)},
        // threshold shares brightness
        {"threshold 200.4", {}, ICAP_THRESHOLD, Fix(200.4), TWRC_SUCCESS, 0, ICAP_BRIGHTNESS, Fx(-720)},
        {"threshold 0 as 1", {}, ICAP_THRESHOLD, Fix(0), TWRC_SUCCESS, 0, ICAP_THRESHOLD, Fx(1)},
        {"threshold 256", {}, ICAP_THRESHOLD, Fix(256), TWRC_FAILURE, TWCC_BADVALUE, ICAP_THRESHOLD, Fx(128)},
        {"threshold range", {}, ICAP_THRESHOLD, Range(TWTY_FIX32, Fx(0), Fx(255), Fx(1), Fx(100)), TWRC_SUCCESS, 0,
         ICAP_THRESHOLD, Fx(100)},
        // gamma in tenths, clamped, never refused
        {"gamma 2.24", {}, ICAP_GAMMA, Fix(2.24), TWRC_SUCCESS, 0, ICAP_GAMMA, Fx(2.2)},
        {"gamma 9", {}, ICAP_GAMMA, Fix(9), TWRC_SUCCESS, 0, ICAP_GAMMA, Fx(4.0)},
        {"gamma 0.5", {}, ICAP_GAMMA, Fix(0.5), TWRC_SUCCESS, 0, ICAP_GAMMA, Fx(1.0)},
        {"gamma enumeration", {}, ICAP_GAMMA, Enumeration(TWTY_FIX32, {Fx(2)}, 0), TWRC_FAILURE, TWCC_BADVALUE,
         ICAP_GAMMA, Fx(1.8)},
        // highlight and shadow
        {"highlight 200", {}, ICAP_HIGHLIGHT, Fix(200), TWRC_SUCCESS, 0, ICAP_HIGHLIGHT, Fx(200)},
        {"shadow 256", {}, ICAP_SHADOW, Fix(256), TWRC_FAILURE, TWCC_BADVALUE, ICAP_SHADOW, Fx(0)},
        {"shadow range", {}, ICAP_SHADOW, Range(TWTY_FIX32, Fx(0), Fx(255), Fx(1), Fx(30)), TWRC_SUCCESS, 0,
         ICAP_SHADOW, Fx(30)},
        // pixel types and their enabled flags
        {"pixel gray only", {}, ICAP_PIXELTYPE, Enumeration(TWTY_UINT16, {TWPT_GRAY}, 0), TWRC_SUCCESS, 0,
         ICAP_PIXELTYPE, TWPT_GRAY},
        {"pixel rgb after gray only", {grayOnly}, ICAP_PIXELTYPE, U16(TWPT_RGB), TWRC_CHECKSTATUS, 0, ICAP_PIXELTYPE,
         TWPT_GRAY},
        {"pixel enumeration picks rgb", {}, ICAP_PIXELTYPE, Enumeration(TWTY_UINT16, {TWPT_BW, TWPT_RGB}, 1),
         TWRC_SUCCESS, 0, ICAP_PIXELTYPE, TWPT_RGB},
        {"pixel enumeration of nothing valid", {grayOnly}, ICAP_PIXELTYPE, Enumeration(TWTY_UINT16, {7, 9}, 0),
         TWRC_FAILURE, TWCC_BADVALUE, ICAP_PIXELTYPE, TWPT_GRAY},
        {"pixel enumeration current invalid", {}, ICAP_PIXELTYPE, Enumeration(TWTY_UINT16, {TWPT_GRAY, 7}, 1),
         TWRC_FAILURE, TWCC_BADVALUE, ICAP_PIXELTYPE, TWPT_BW},
        {"pixel 3", {}, ICAP_PIXELTYPE, U16(3), TWRC_FAILURE, TWCC_BADVALUE, ICAP_PIXELTYPE, TWPT_BW},
        {"pixel range", {}, ICAP_PIXELTYPE, Range(TWTY_UINT16, 0, 2, 1, 1), TWRC_FAILURE, TWCC_BADVALUE,
         ICAP_PIXELTYPE, TWPT_BW},
        // resolutions
        {"resolution 250", {}, ICAP_XRESOLUTION, Fix(250), TWRC_CHECKSTATUS, 0, ICAP_YRESOLUTION, Fx(200)},
        {"resolution 150 as uint16", {}, ICAP_YRESOLUTION, U16(150), TWRC_SUCCESS, 0, ICAP_XRESOLUTION, Fx(150)},
        {"resolution 50", {}, ICAP_XRESOLUTION, Fix(50), TWRC_FAILURE, TWCC_BADVALUE, ICAP_XRESOLUTION, Fx(300)},
        {"resolution 601", {}, ICAP_XRESOLUTION, Fix(601), TWRC_FAILURE, TWCC_BADVALUE, ICAP_XRESOLUTION, Fx(300)},
        {"resolution enumeration", {}, ICAP_XRESOLUTION, Enumeration(TWTY_FIX32, {Fx(100), Fx(600)}, 0),
         TWRC_SUCCESS, 0, ICAP_XRESOLUTION, Fx(100)},
        {"resolution enumeration of nothing known", {}, ICAP_XRESOLUTION, Enumeration(TWTY_FIX32, {Fx(123)}, 0),
         TWRC_FAILURE, TWCC_BADVALUE, ICAP_XRESOLUTION, Fx(300)},
        {"resolution range", {}, ICAP_XRESOLUTION, Range(TWTY_FIX32, Fx(100), Fx(600), Fx(100), Fx(250)),
         TWRC_CHECKSTATUS, 0, ICAP_XRESOLUTION, Fx(200)},
        {"resolution range upside down", {}, ICAP_XRESOLUTION, Range(TWTY_FIX32, Fx(600), Fx(100), Fx(100), Fx(300)),
         TWRC_FAILURE, TWCC_BADVALUE, ICAP_XRESOLUTION, Fx(300)},
        {"resolution range step 0", {}, ICAP_XRESOLUTION, Range(TWTY_FIX32, Fx(100), Fx(600), Fx(0), Fx(300)),
         TWRC_FAILURE, TWCC_BADVALUE, ICAP_XRESOLUTION, Fx(300)},
        {"resolution range of nothing known", {}, ICAP_XRESOLUTION,
         Range(TWTY_FIX32, Fx(110), Fx(190), Fx(30), Fx(150)), TWRC_FAILURE, TWCC_BADVALUE, ICAP_XRESOLUTION, Fx(300)},
        // transfer count against duplex; INT16 sign-extended
        {"count -1", {}, CAP_XFERCOUNT, One(TWTY_INT16, 0xFFFF), TWRC_SUCCESS, 0, CAP_XFERCOUNT, 0xFFFF},
        {"count 0", {}, CAP_XFERCOUNT, One(TWTY_INT16, 0), TWRC_FAILURE, TWCC_BADVALUE, CAP_XFERCOUNT, 0xFFFF},
        {"count -2", {}, CAP_XFERCOUNT, One(TWTY_INT16, 0xFFFE), TWRC_FAILURE, TWCC_BADVALUE, CAP_XFERCOUNT, 0xFFFF},
        {"count 1", {}, CAP_XFERCOUNT, One(TWTY_INT16, 1), TWRC_SUCCESS, 0, CAP_XFERCOUNT, 1},
        {"count 2 simplex", {}, CAP_XFERCOUNT, One(TWTY_INT16, 2), TWRC_FAILURE, TWCC_BADVALUE, CAP_XFERCOUNT, 0xFFFF},
        {"count 2 duplex", {duplexOn}, CAP_XFERCOUNT, One(TWTY_INT16, 2), TWRC_SUCCESS, 0, CAP_XFERCOUNT, 2},
        {"count 3 duplex", {duplexOn}, CAP_XFERCOUNT, One(TWTY_INT16, 3), TWRC_FAILURE, TWCC_BADVALUE, CAP_XFERCOUNT,
         0xFFFF},
        // mechanisms, fixed values
        {"mechanism memory", {}, ICAP_XFERMECH, Enumeration(TWTY_UINT16, {0, 1, 2}, 2), TWRC_SUCCESS, 0,
         ICAP_XFERMECH, TWSX_MEMORY},
        {"mechanism 3", {}, ICAP_XFERMECH, U16(3), TWRC_FAILURE, TWCC_BADVALUE, ICAP_XFERMECH, TWSX_NATIVE},
        {"compression 0", {}, ICAP_COMPRESSION, U16(0), TWRC_SUCCESS, 0, ICAP_COMPRESSION, 0},
        {"compression 1", {}, ICAP_COMPRESSION, U16(1), TWRC_FAILURE, TWCC_BADVALUE, ICAP_COMPRESSION, 0},
        {"units enumeration", {}, ICAP_UNITS, Enumeration(TWTY_UINT16, {0}, 0), TWRC_SUCCESS, 0, ICAP_UNITS, 0},
        {"feeder off", {}, CAP_FEEDERENABLED, Boolean(0), TWRC_FAILURE, TWCC_BADVALUE, CAP_FEEDERENABLED, 1},
        {"autofeed on", {}, CAP_AUTOFEED, Boolean(1), TWRC_FAILURE, TWCC_BADVALUE, CAP_AUTOFEED, 0},
        {"file format bmp", {}, ICAP_IMAGEFILEFORMAT, Enumeration(TWTY_UINT16, {2}, 0), TWRC_SUCCESS, 0,
         ICAP_IMAGEFILEFORMAT, 2},
        {"file format tiff", {}, ICAP_IMAGEFILEFORMAT, U16(0), TWRC_FAILURE, TWCC_BADVALUE, ICAP_IMAGEFILEFORMAT, 2},
        {"bit order lsb", {}, ICAP_BITORDER, U16(0), TWRC_FAILURE, TWCC_BADVALUE, ICAP_BITORDER, 1},
        {"pixel flavor vanilla", {}, ICAP_PIXELFLAVOR, U16(1), TWRC_SUCCESS, 0, ICAP_PIXELFLAVOR, 1},
        {"pixel flavor 2", {}, ICAP_PIXELFLAVOR, U16(2), TWRC_FAILURE, TWCC_BADVALUE, ICAP_PIXELFLAVOR, 0},
        {"bit depth 1 in black and white", {}, ICAP_BITDEPTH, U16(1), TWRC_SUCCESS, 0, ICAP_BITDEPTH, 1},
        {"bit depth 8 in black and white", {}, ICAP_BITDEPTH, U16(8), TWRC_FAILURE, TWCC_BADVALUE, ICAP_BITDEPTH, 1},
        {"bit depth 24 in colour", {colour}, ICAP_BITDEPTH, U16(24), TWRC_SUCCESS, 0, ICAP_BITDEPTH, 8},
        // supported sizes set the frame
        {"size business card", {}, ICAP_SUPPORTEDSIZES, U16(TWSS_BUSINESSCARD), TWRC_SUCCESS, 0,
         ICAP_SUPPORTEDSIZES, TWSS_BUSINESSCARD},
        {"size none", {}, ICAP_SUPPORTEDSIZES, Enumeration(TWTY_UINT16, {0, 13}, 0), TWRC_SUCCESS, 0,
         ICAP_SUPPORTEDSIZES, TWSS_NONE},
        {"size 14", {}, ICAP_SUPPORTEDSIZES, U16(14), TWRC_FAILURE, TWCC_BADVALUE, ICAP_SUPPORTEDSIZES, TWSS_A6},
        // flags and custom values
        {"indicators off", {}, CAP_INDICATORS, Boolean(0), TWRC_SUCCESS, 0, CAP_INDICATORS, 0},
        {"duplex on", {}, CAP_DUPLEXENABLED, Boolean(5), TWRC_SUCCESS, 0, CAP_DUPLEXENABLED, 1},
        {"descreen on", {}, kDescreen, Boolean(1), TWRC_SUCCESS, 0, kDescreen, 1},
        {"paper end on", {}, kDetectEop, Boolean(1), TWRC_SUCCESS, 0, kDetectEop, 1},
        {"paper end extra 50", {}, kEopExtra, One(TWTY_INT32, 50), TWRC_SUCCESS, 0, kEopExtra, 50},
        {"paper end extra 150", {}, kEopExtra, One(TWTY_INT32, 150), TWRC_CHECKSTATUS, 0, kEopExtra, 100},
        {"paper end extra -150", {}, kEopExtra, One(TWTY_INT32, static_cast<TW_UINT32>(-150)), TWRC_CHECKSTATUS, 0,
         kEopExtra, static_cast<TW_UINT32>(-100)},
        {"calibrate 0 does nothing", {}, kCalibrate, Boolean(0), TWRC_SUCCESS, 0, kCalibrate, 0},
        // read-only and unknown
        {"duplex kind", {}, CAP_DUPLEX, U16(1), TWRC_FAILURE, TWCC_CAPBADOPERATION, CAP_DUPLEX, 1},
        {"supported caps", {}, CAP_SUPPORTEDCAPS, U16(1), TWRC_FAILURE, TWCC_CAPBADOPERATION, CAP_DUPLEX, 1},
        {"needs calibration", {}, kNeedsCalibration, Boolean(1), TWRC_FAILURE, TWCC_CAPBADOPERATION, CAP_DUPLEX, 1},
        {"physical width", {}, ICAP_PHYSICALWIDTH, Fix(8), TWRC_FAILURE, TWCC_CAPBADOPERATION, ICAP_PHYSICALWIDTH,
         Fx(4.16)},
        {"feeder alignment", {}, CAP_FEEDERALIGNMENT, U16(2), TWRC_FAILURE, TWCC_CAPUNSUPPORTED, CAP_FEEDERALIGNMENT,
         2},
        {"orientation", {}, ICAP_ORIENTATION, U16(0), TWRC_FAILURE, TWCC_CAPUNSUPPORTED, CAP_DUPLEX, 1},
        {"author", {}, 0x1000, U16(0), TWRC_FAILURE, TWCC_CAPUNSUPPORTED, CAP_DUPLEX, 1},
        // containers that do not hold what they claim
        {"text item", {}, ICAP_PIXELTYPE, One(TWTY_STR32, TWPT_GRAY), TWRC_FAILURE, TWCC_BADVALUE, ICAP_PIXELTYPE,
         TWPT_BW},
        {"more items than the block", {}, ICAP_PIXELTYPE, BrokenEnumeration(1000, 0), TWRC_FAILURE, TWCC_BADVALUE,
         ICAP_PIXELTYPE, TWPT_BW},
        {"current index past the items", {}, ICAP_PIXELTYPE, BrokenEnumeration(2, 2), TWRC_FAILURE, TWCC_BADVALUE,
         ICAP_PIXELTYPE, TWPT_BW},
        {"no items", {}, ICAP_PIXELTYPE, BrokenEnumeration(0, 0), TWRC_FAILURE, TWCC_BADVALUE, ICAP_PIXELTYPE,
         TWPT_BW},
    };
    const size_t liveBefore = pt::LiveGlobalBlocks();
    for (const SetCase& c : cases) {
        ResetAll();
        for (const Step& step : c.before) {
            ASSERT_NE(Negotiate(ds, MSG_SET, step.cap, step.container).rc, TWRC_FAILURE) << c.name;
        }
        const CapAnswer answer = Negotiate(ds, MSG_SET, c.cap, c.container);
        EXPECT_EQ(answer.rc, c.rc) << c.name;
        EXPECT_EQ(answer.condition, c.condition) << c.name;
        EXPECT_EQ(Current(ds, c.readCap), c.readBack) << c.name;
    }
    EXPECT_EQ(pt::LiveGlobalBlocks(), liveBefore);
}

TEST_F(Capabilities, SetWithoutAContainerIsABadValue)
{
    TW_CAPABILITY cap{};
    cap.Cap = ICAP_PIXELTYPE;
    cap.ConType = TWON_ONEVALUE;
    EXPECT_EQ(ds.Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap), TWRC_FAILURE);
    EXPECT_EQ(ds.Condition(), TWCC_BADVALUE);
}

TEST_F(Capabilities, EnumerationsFollowTheEnabledFlags)
{
    auto dpis = [this]() {
        std::vector<TW_UINT32> bits = ListItems(Negotiate(ds, MSG_GET, ICAP_YRESOLUTION));
        std::vector<int> out;
        for (TW_UINT32 b : bits) out.push_back(static_cast<int16_t>(b & 0xFFFF));
        return out;
    };
    EXPECT_EQ(dpis(), kScannerResolutions);
    // Entries at 100 + k x 200 up to 600.
    ASSERT_EQ(Negotiate(ds, MSG_SET, ICAP_XRESOLUTION, Range(TWTY_FIX32, Fx(100), Fx(600), Fx(200), Fx(300))).rc,
              TWRC_SUCCESS);
    EXPECT_EQ(dpis(), (std::vector<int>{100, 300, 500}));
    // A list of nothing the scanner has keeps the flags.
    EXPECT_EQ(Negotiate(ds, MSG_SET, ICAP_XRESOLUTION, Enumeration(TWTY_FIX32, {Fx(123)}, 0)).rc, TWRC_FAILURE);
    EXPECT_EQ(dpis(), (std::vector<int>{100, 300, 500}));
    // A value between enabled entries snaps to the nearest enabled one; the
    // current index points at it.
    EXPECT_EQ(Negotiate(ds, MSG_SET, ICAP_XRESOLUTION, Fix(190)).rc, TWRC_CHECKSTATUS);
    const CapAnswer got = Negotiate(ds, MSG_GET, ICAP_XRESOLUTION);
    TW_UINT32 currentIndex = 0;
    std::memcpy(&currentIndex, got.bytes.data() + 6, 4);
    EXPECT_EQ(currentIndex, 0u);
    EXPECT_EQ(Current(ds, ICAP_XRESOLUTION), Fx(100));

    ASSERT_EQ(Negotiate(ds, MSG_SET, ICAP_PIXELTYPE, Enumeration(TWTY_UINT16, {TWPT_GRAY, TWPT_RGB}, 1)).rc,
              TWRC_SUCCESS);
    const CapAnswer types = Negotiate(ds, MSG_GET, ICAP_PIXELTYPE);
    // Gray and RGB; current RGB at index 1; default the first listed.
    EXPECT_EQ(types.bytes, B({4, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2, 0}));
    EXPECT_EQ(OneValueItem(Negotiate(ds, MSG_GETDEFAULT, ICAP_PIXELTYPE)), TW_UINT32{TWPT_GRAY});
}

TEST_F(Capabilities, QuerySupportMasks)
{
    struct Case {
        TW_UINT16 cap;
        TW_INT32 mask;
    };
    const Case cases[] = {
        {CAP_XFERCOUNT, 31}, {ICAP_PIXELTYPE, 31}, {ICAP_XRESOLUTION, 31}, {ICAP_BRIGHTNESS, 31},
        {kDescreen, 31}, {kEopExtra, 31}, {ICAP_BITDEPTH, 31}, {CAP_FEEDERLOADED, 13},
        {CAP_SUPPORTEDCAPS, 13}, {CAP_DUPLEX, 13}, {CAP_ENABLEDSUIONLY, 13}, {CAP_FEEDERALIGNMENT, 13},
        {ICAP_PHYSICALWIDTH, 13}, {ICAP_YNATIVERESOLUTION, 13}, {kNeedsCalibration, 13}, {kCalibrate, 15},
        {kPrefeed, 15}, {kClean, 15}, {ICAP_ORIENTATION, 0}, {ICAP_AUTOMATICDESKEW, 0},
        {ICAP_AUTOMATICBORDERDETECTION, 0}, {0x1000, 0}, {0xBE04, 0},
    };
    for (const Case& c : cases) {
        const CapAnswer answer = Negotiate(ds, MSG_QUERYSUPPORT, c.cap);
        ASSERT_EQ(answer.rc, TWRC_SUCCESS) << std::hex << c.cap;
        EXPECT_EQ(answer.bytes.size(), 6u);
        EXPECT_EQ(answer.bytes[0], TWTY_INT32);
        EXPECT_EQ(OneValueItem(answer), static_cast<TW_UINT32>(c.mask)) << std::hex << c.cap;
    }
}

// Every capability answered is listed, and nothing else answers.
TEST_F(Capabilities, SupportedCapsListExactlyTheAnsweredOnes)
{
    const CapAnswer list = Negotiate(ds, MSG_GET, CAP_SUPPORTEDCAPS);
    ASSERT_EQ(list.conType, TWON_ARRAY);
    const std::vector<TW_UINT32> listed = ListItems(list);
    EXPECT_EQ(listed.size(), 44u);
    EXPECT_EQ(listed.front(), TW_UINT32{CAP_XFERCOUNT});
    EXPECT_EQ(listed.back(), TW_UINT32{kClean});
    EXPECT_EQ(ListItems(Negotiate(ds, MSG_GETCURRENT, CAP_SUPPORTEDCAPS)), listed);
    const std::pair<int, int> spans[] = {{0x0000, 0x0200}, {0x1000, 0x1200}, {0xBC00, 0xBC10}, {0xBE00, 0xBE10}};
    const size_t liveBefore = pt::LiveGlobalBlocks();
    for (auto [from, to] : spans) {
        for (int cap = from; cap < to; ++cap) {
            const bool isListed = std::find(listed.begin(), listed.end(), TW_UINT32(cap)) != listed.end();
            const CapAnswer answer = Negotiate(ds, MSG_GET, static_cast<TW_UINT16>(cap));
            EXPECT_EQ(answer.rc == TWRC_SUCCESS, isListed) << std::hex << cap;
            if (!isListed) {
                EXPECT_EQ(answer.condition, TWCC_CAPUNSUPPORTED) << std::hex << cap;
            }
        }
    }
    EXPECT_EQ(pt::LiveGlobalBlocks(), liveBefore);
}

// The values right after MSG_OPENDS (no profile yet) and what MSG_RESET
// brings back after a change.
TEST_F(Capabilities, ValuesAfterOpenAndAfterReset)
{
    struct Case {
        TW_UINT16 cap;
        std::optional<TW_UINT32> afterOpen;  // none: kept for the process
        Container change;
        TW_UINT32 afterReset;
    };
    const Case cases[] = {
        {CAP_XFERCOUNT, 0xFFFF, One(TWTY_INT16, 1), 0xFFFF},
        {ICAP_PIXELTYPE, TWPT_BW, Enumeration(TWTY_UINT16, {TWPT_RGB}, 0), TWPT_BW},
        {ICAP_XFERMECH, TWSX_NATIVE, U16(TWSX_FILE), TWSX_NATIVE},
        {CAP_INDICATORS, 1, Boolean(0), 1},
        {CAP_DUPLEXENABLED, 0, Boolean(1), 0},
        {ICAP_BRIGHTNESS, Fx(0), Fix(300), Fx(0)},
        {ICAP_CONTRAST, Fx(0), Fix(-300), Fx(0)},
        {ICAP_GAMMA, Fx(1.8), Fix(2.5), Fx(1.8)},
        {ICAP_HIGHLIGHT, Fx(255), Fix(100), Fx(255)},
        {ICAP_SHADOW, Fx(0), Fix(100), Fx(0)},
        {ICAP_XRESOLUTION, Fx(300), Enumeration(TWTY_FIX32, {Fx(75)}, 0), Fx(300)},
        {ICAP_YRESOLUTION, Fx(300), Fix(600), Fx(300)},
        {ICAP_PIXELFLAVOR, TWPF_CHOCOLATE, U16(TWPF_VANILLA), TWPF_CHOCOLATE},
        {ICAP_SUPPORTEDSIZES, TWSS_NONE, U16(TWSS_BUSINESSCARD), TWSS_A6},
        {ICAP_THRESHOLD, Fx(128), Fix(20), Fx(128)},
        {kDescreen, 0, Boolean(1), 0},
        {kDetectEop, 0, Boolean(1), 0},
        {kEopExtra, std::nullopt, One(TWTY_INT32, 40), 0},
        {ICAP_COMPRESSION, 0, U16(0), 0},
        {ICAP_BITDEPTH, 1, U16(1), 1},
    };
    for (const Case& c : cases) {
        if (c.afterOpen) {
            EXPECT_EQ(Current(ds, c.cap), *c.afterOpen) << std::hex << c.cap;
        }
    }
    for (const Case& c : cases) {
        ASSERT_NE(Negotiate(ds, MSG_SET, c.cap, c.change).rc, TWRC_FAILURE) << std::hex << c.cap;
        const CapAnswer reset = Negotiate(ds, MSG_RESET, c.cap);
        ASSERT_EQ(reset.rc, TWRC_SUCCESS) << std::hex << c.cap;
        EXPECT_EQ(OneValueItem(reset), c.afterReset) << std::hex << c.cap;
        EXPECT_EQ(Current(ds, c.cap), c.afterReset) << std::hex << c.cap;
    }
    // Resetting the resolution enables every entry again.
    EXPECT_EQ(ListItems(Negotiate(ds, MSG_GET, ICAP_XRESOLUTION)).size(), kScannerResolutions.size());
    // Read-only capabilities and commands cannot be reset.
    for (TW_UINT16 cap : std::initializer_list<TW_UINT16>{CAP_DUPLEX, CAP_FEEDERLOADED, ICAP_PHYSICALHEIGHT,
                                                          kNeedsCalibration, kCalibrate, kClean}) {
        const CapAnswer reset = Negotiate(ds, MSG_RESET, cap);
        EXPECT_EQ(reset.rc, TWRC_FAILURE) << std::hex << cap;
        EXPECT_EQ(reset.condition, TWCC_CAPBADOPERATION) << std::hex << cap;
    }
}

TEST_F(Capabilities, ResetAllRestoresEveryDefaultAndFreesItsAnswers)
{
    ASSERT_EQ(Negotiate(ds, MSG_SET, ICAP_PIXELTYPE, Enumeration(TWTY_UINT16, {TWPT_GRAY}, 0)).rc, TWRC_SUCCESS);
    ASSERT_EQ(Negotiate(ds, MSG_SET, ICAP_XRESOLUTION, Fix(100)).rc, TWRC_SUCCESS);
    ASSERT_EQ(Negotiate(ds, MSG_SET, ICAP_THRESHOLD, Fix(30)).rc, TWRC_SUCCESS);
    ASSERT_EQ(Negotiate(ds, MSG_SET, CAP_DUPLEXENABLED, Boolean(1)).rc, TWRC_SUCCESS);
    ASSERT_EQ(Negotiate(ds, MSG_SET, kEopExtra, One(TWTY_INT32, 12)).rc, TWRC_SUCCESS);
    const size_t liveBefore = pt::LiveGlobalBlocks();
    TW_CAPABILITY cap{};
    cap.ConType = TWON_DONTCARE16;
    EXPECT_EQ(ds.Call(DG_CONTROL, DAT_CAPABILITY, MSG_RESETALL, &cap), TWRC_SUCCESS);
    EXPECT_EQ(pt::LiveGlobalBlocks(), liveBefore);
    EXPECT_EQ(Current(ds, ICAP_PIXELTYPE), TW_UINT32{TWPT_BW});
    EXPECT_EQ(ListItems(Negotiate(ds, MSG_GET, ICAP_PIXELTYPE)).size(), 3u);
    EXPECT_EQ(Current(ds, ICAP_XRESOLUTION), Fx(300));
    EXPECT_EQ(Current(ds, ICAP_THRESHOLD), Fx(128));
    EXPECT_EQ(Current(ds, CAP_DUPLEXENABLED), 0u);
    EXPECT_EQ(Current(ds, kEopExtra), 0u);
    EXPECT_EQ(Current(ds, ICAP_SUPPORTEDSIZES), TW_UINT32{TWSS_A6});
}

TEST_F(Capabilities, EnabledUiOnlyByProductName)
{
    struct Case {
        const char* product;
        TW_UINT32 answer;
    };
    const Case cases[] = {{"ApplicationXtender", 0}, {"ApplicationXtender 2", 1}, {"applicationxtender", 1},
                          {"DispatchTest", 1}};
    for (const Case& c : cases) {
        ds.Close();
        std::memset(ds.app.ProductName, 0, sizeof ds.app.ProductName);
        std::strcpy(ds.app.ProductName, c.product);
        ASSERT_EQ(ds.Open(), TWRC_SUCCESS);
        EXPECT_EQ(Current(ds, CAP_ENABLEDSUIONLY), c.answer) << c.product;
        EXPECT_EQ(OneValueItem(Negotiate(ds, MSG_GETDEFAULT, CAP_ENABLEDSUIONLY)), c.answer) << c.product;
    }
}

// SET and RESET in state 4 only; the gets in 4 to 7; RESETALL anywhere, but
// outside state 4 it changes nothing.
TEST_F(Capabilities, StatesEachMessageIsTakenIn)
{
    ASSERT_EQ(Negotiate(ds, MSG_SET, ICAP_PIXELTYPE, U16(TWPT_GRAY)).rc, TWRC_SUCCESS);
    ASSERT_EQ(Negotiate(ds, MSG_SET, ICAP_XRESOLUTION, Fix(75)).rc, TWRC_SUCCESS);
    ASSERT_EQ(Negotiate(ds, MSG_SET, CAP_INDICATORS, Boolean(0)).rc, TWRC_SUCCESS);
    auto probe = [this](int state) {
        for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_QUERYSUPPORT}) {
            EXPECT_EQ(Negotiate(ds, msg, ICAP_PIXELTYPE).rc, TWRC_SUCCESS) << msg << " in state " << state;
        }
        const CapAnswer set = Negotiate(ds, MSG_SET, ICAP_PIXELTYPE, U16(TWPT_RGB));
        const CapAnswer reset = Negotiate(ds, MSG_RESET, ICAP_PIXELTYPE);
        if (state == 4) {
            EXPECT_EQ(set.rc, TWRC_SUCCESS);
            EXPECT_EQ(reset.rc, TWRC_SUCCESS);
            ASSERT_EQ(Negotiate(ds, MSG_SET, ICAP_PIXELTYPE, U16(TWPT_GRAY)).rc, TWRC_SUCCESS);
        } else {
            EXPECT_EQ(set.condition, TWCC_SEQERROR) << "state " << state;
            EXPECT_EQ(reset.condition, TWCC_SEQERROR) << "state " << state;
        }
        TW_CAPABILITY cap{};
        cap.ConType = TWON_DONTCARE16;
        EXPECT_EQ(ds.Call(DG_CONTROL, DAT_CAPABILITY, MSG_RESETALL, &cap), TWRC_SUCCESS);
        if (state != 4) {
            EXPECT_EQ(ds.Condition(), TWCC_SEQERROR);
            EXPECT_EQ(Current(ds, ICAP_PIXELTYPE), TW_UINT32{TWPT_GRAY}) << "state " << state;
        }
    };
    probe(4);
    ASSERT_EQ(Current(ds, ICAP_PIXELTYPE), TW_UINT32{TWPT_BW});
    ASSERT_EQ(Negotiate(ds, MSG_SET, ICAP_PIXELTYPE, U16(TWPT_GRAY)).rc, TWRC_SUCCESS);
    ASSERT_EQ(Negotiate(ds, MSG_SET, ICAP_XRESOLUTION, Fix(75)).rc, TWRC_SUCCESS);
    ASSERT_EQ(Negotiate(ds, MSG_SET, CAP_INDICATORS, Boolean(0)).rc, TWRC_SUCCESS);
    ASSERT_EQ(ds.Enable(), TWRC_SUCCESS);
    probe(6);
    ASSERT_EQ(ds.Strip(1), TWRC_SUCCESS);
    probe(7);
    ASSERT_EQ(ds.Reset(), TWRC_SUCCESS);
    probe(5);
    ds.Close();
    TW_CAPABILITY cap{};
    cap.Cap = ICAP_PIXELTYPE;
    EXPECT_EQ(ds.Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), TWRC_FAILURE);
    EXPECT_EQ(ds.Condition(), TWCC_SEQERROR);
    cap.ConType = TWON_DONTCARE16;
    EXPECT_EQ(ds.Call(DG_CONTROL, DAT_CAPABILITY, MSG_RESETALL, &cap), TWRC_SUCCESS);
}

TEST_F(Capabilities, ContainersThatCannotBeAllocatedAreLowMemory)
{
    pt::InjectFailure("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    TW_CAPABILITY cap{};
    cap.Cap = ICAP_XRESOLUTION;
    const TW_UINT16 rc = ds.Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap);
    pt::ClearFailures();
    EXPECT_EQ(rc, TWRC_FAILURE);
    EXPECT_EQ(ds.Condition(), TWCC_LOWMEMORY);
}

}  // namespace
}  // namespace twain_test
