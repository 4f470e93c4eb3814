// The source's dispatch over the TWAIN states: every triplet in every state
// 3 to 7 answers as its table says, against the virtual scanner.
#include "ChildPrograms.h"
#include "SourceHarness.h"

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <utility>
#include <string>
#include <vector>

namespace twain_test {
namespace {

using siscan_test::Emulator;

struct Triplet {
    const char* name;
    TW_UINT32 dg;
    TW_UINT16 dat;
    TW_UINT16 msg;
    int firstState;  // 0: never accepted (TWCC_BADPROTOCOL)
    int lastState;
};

// Triplets that leave the state as it is, with the states that accept them.
const Triplet kTriplets[] = {
    {"CAPABILITY GET", DG_CONTROL, DAT_CAPABILITY, MSG_GET, 4, 7},
    {"CAPABILITY GETCURRENT", DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, 4, 7},
    {"CAPABILITY QUERYSUPPORT", DG_CONTROL, DAT_CAPABILITY, MSG_QUERYSUPPORT, 4, 7},
    {"PENDINGXFERS GET", DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, 4, 7},
    {"SETUPMEMXFER GET", DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, 4, 6},
    {"SETUPFILEXFER GET", DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, 4, 6},
    {"SETUPFILEXFER GETDEFAULT", DG_CONTROL, DAT_SETUPFILEXFER, MSG_GETDEFAULT, 4, 6},
    {"SETUPFILEXFER RESET", DG_CONTROL, DAT_SETUPFILEXFER, MSG_RESET, 4, 4},
    {"XFERGROUP GET", DG_CONTROL, DAT_XFERGROUP, MSG_GET, 4, 7},
    {"IDENTITY GET", DG_CONTROL, DAT_IDENTITY, MSG_GET, 3, 7},
    {"IMAGEINFO GET", DG_IMAGE, DAT_IMAGEINFO, MSG_GET, 6, 7},
    {"IMAGELAYOUT GETDEFAULT", DG_IMAGE, DAT_IMAGELAYOUT, MSG_GETDEFAULT, 4, 6},
    {"EVENT PROCESSEVENT", DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, 5, 7},
    {"ENTRYPOINT SET", DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, 0, 0},
    {"IDENTITY GETFIRST", DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, 0, 0},
    {"PARENT OPENDSM", DG_CONTROL, DAT_PARENT, MSG_OPENDSM, 0, 0},
    {"IMAGENATIVEXFER SET", DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_SET, 0, 0},
    {"CUSTOMDSDATA GET", DG_CONTROL, DAT_CUSTOMDSDATA, MSG_GET, 0, 0},
};

// Room for whatever record a triplet writes.
union AnyRecord {
    TW_CAPABILITY capability;
    TW_IDENTITY identity;
    TW_IMAGEINFO info;
    TW_IMAGELAYOUT layout;
    TW_SETUPFILEXFER file;
    uint8_t bytes[512];
};

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseDirectPortModel();
        std::vector<std::string> sheets(6, SamplePage());
        scanner = std::make_unique<Emulator>("RM310-GL841", sheets);
        ASSERT_TRUE(scanner->Ready());
        ASSERT_TRUE(ds.Loaded());
    }
    void TearDown() override
    {
        ds.Close();
        EXPECT_EQ(scanner->Violations(), 0);
    }

    // Brings a closed source to `state`.
    void ToState(int state)
    {
        if (state >= 4) {
            ASSERT_EQ(ds.Open(), TWRC_SUCCESS);
            ASSERT_EQ(ds.SetOne(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
            ASSERT_EQ(ds.SetOne(ICAP_XRESOLUTION, TWTY_FIX32, 75), TWRC_SUCCESS);
            ASSERT_EQ(ds.SetOne(CAP_INDICATORS, TWTY_BOOL, 0), TWRC_SUCCESS);
        }
        if (state >= 5) {
            ASSERT_EQ(ds.Enable(), TWRC_SUCCESS) << ds.Condition();
        }
        if (state == 5) {
            ASSERT_EQ(ds.Reset(), TWRC_SUCCESS);
        }
        if (state == 7) {
            ASSERT_EQ(ds.Strip(1), TWRC_SUCCESS);
        }
    }

    std::unique_ptr<Emulator> scanner;
    DirectSource ds;
};

TEST_F(Dispatch, EveryTripletInEveryState)
{
    for (int state = 3; state <= 7; ++state) {
        ToState(state);
        for (const Triplet& t : kTriplets) {
            AnyRecord record{};
            record.capability.Cap = ICAP_PIXELTYPE;
            record.file.Format = TWFF_BMP;
            const TW_UINT16 rc = ds.Call(t.dg, t.dat, t.msg, &record);
            if (t.dat == DAT_CAPABILITY && rc == TWRC_SUCCESS) GlobalFree(record.capability.hContainer);
            const bool accepted = t.firstState != 0 && state >= t.firstState && state <= t.lastState;
            const TW_UINT16 expectedCode = t.firstState == 0 ? TWCC_BADPROTOCOL : accepted ? TWCC_SUCCESS : TWCC_SEQERROR;
            const TW_UINT16 code = ds.Condition();
            if (accepted) {
                EXPECT_NE(rc, TWRC_FAILURE) << t.name << " in state " << state << ", condition " << code;
            } else {
                EXPECT_EQ(rc, TWRC_FAILURE) << t.name << " in state " << state;
            }
            EXPECT_EQ(code, expectedCode) << t.name << " in state " << state;
            // Reported once, then cleared.
            EXPECT_EQ(ds.Condition(), TWCC_SUCCESS) << t.name << " in state " << state;
        }
        // The state is as it was: the probe of the next state still passes.
        ASSERT_EQ(ds.Close(), TWRC_SUCCESS);
        ASSERT_EQ(scanner->Ask("insert " + SamplePage()), "ok");
    }
}

// The triplets that move between states.
TEST_F(Dispatch, Transitions)
{
    // CLOSEDS in state 3 does nothing.
    EXPECT_EQ(ds.Close(), TWRC_SUCCESS);
    ToState(4);
    EXPECT_EQ(ds.Open(), TWRC_FAILURE);
    EXPECT_EQ(ds.Condition(), TWCC_SEQERROR);
    // Duplex with transfer count -1: two transfers of one sheet.
    ASSERT_EQ(ds.SetOne(CAP_DUPLEXENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
    ASSERT_EQ(ds.Enable(), TWRC_SUCCESS);
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(ds.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
    EXPECT_EQ(pending.Count, 2);
    TW_IMAGEINFO info{};
    ASSERT_EQ(ds.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    // Image transfers in state 6 only: a native transfer after a strip is out of sequence.
    EXPECT_EQ(ds.Strip(static_cast<uint32_t>(info.ImageLength)), TWRC_XFERDONE);
    TW_HANDLE dib = nullptr;
    EXPECT_EQ(ds.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_FAILURE);
    EXPECT_EQ(ds.Condition(), TWCC_SEQERROR);
    TW_UINT16 count = 99;
    ASSERT_EQ(ds.EndTransfer(&count), TWRC_SUCCESS);
    EXPECT_EQ(count, 1);
    // The back by native transfer.
    ASSERT_EQ(ds.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
    ASSERT_NE(dib, nullptr);
    std::free(dib);  // as applications that free with free() do
    ASSERT_EQ(ds.EndTransfer(&count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    // State 5: the next event sends the close request once; ENDXFER is out of sequence.
    EXPECT_EQ(ds.EndTransfer(), TWRC_FAILURE);
    EXPECT_EQ(ds.Condition(), TWCC_SEQERROR);
    TW_USERINTERFACE ui{};
    ASSERT_EQ(ds.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    EXPECT_EQ(ds.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_FAILURE);
    EXPECT_EQ(ds.Condition(), TWCC_SEQERROR);
}

TEST_F(Dispatch, NullDataIsABadValue)
{
    ToState(4);
    const Triplet writers[] = {
        {"CAPABILITY GET", DG_CONTROL, DAT_CAPABILITY, MSG_GET, 4, 7},
        {"SETUPFILEXFER SET", DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, 4, 6},
        {"SETUPMEMXFER GET", DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, 4, 6},
        {"IMAGELAYOUT SET", DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, 4, 4},
        {"USERINTERFACE ENABLEDS", DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, 4, 4},
        {"XFERGROUP GET", DG_CONTROL, DAT_XFERGROUP, MSG_GET, 4, 7},
    };
    for (const Triplet& t : writers) {
        EXPECT_EQ(ds.Call(t.dg, t.dat, t.msg, nullptr), TWRC_FAILURE) << t.name;
        EXPECT_EQ(ds.Condition(), TWCC_BADVALUE) << t.name;
    }
}

TEST_F(Dispatch, LayoutRoundTripsAndClamps)
{
    ToState(4);
    auto fix = [](double v) {
        const auto s = static_cast<int32_t>(v * 65536.0 + (v >= 0 ? 0.5 : -0.5));
        return TW_FIX32{static_cast<TW_INT16>(s >> 16), static_cast<TW_UINT16>(s & 0xFFFF)};
    };
    TW_IMAGELAYOUT layout{};
    layout.Frame = {fix(0.5), fix(1.25), fix(4.16), fix(6.87)};
    EXPECT_EQ(ds.Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
    // Read back and set again, many times: the frame stays.
    for (int i = 0; i < 5; ++i) {
        TW_IMAGELAYOUT got{};
        ASSERT_EQ(ds.Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &got), TWRC_SUCCESS);
        EXPECT_EQ(got.Frame.Left.Whole, 0);
        EXPECT_NEAR(got.Frame.Left.Frac / 65536.0, 0.5, 1e-4);
        EXPECT_EQ(got.Frame.Top.Whole, 1);
        EXPECT_NEAR(got.Frame.Top.Frac / 65536.0, 0.25, 1e-4);
        got.Frame.Right = fix(4.16);
        got.Frame.Bottom = fix(6.87);
        EXPECT_EQ(ds.Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &got), TWRC_SUCCESS);
    }
    layout.Frame = {fix(0), fix(0), fix(9), fix(12)};
    EXPECT_EQ(ds.Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_CHECKSTATUS);
}

TEST_F(Dispatch, FileNameIsTerminatedAndMemoryBuffersHoldWholeRows)
{
    ToState(4);
    TW_SETUPFILEXFER file{};
    std::memset(file.FileName, 'x', sizeof file.FileName);  // no terminator
    file.Format = TWFF_BMP;
    ASSERT_EQ(ds.Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &file), TWRC_SUCCESS);
    TW_SETUPFILEXFER back{};
    ASSERT_EQ(ds.Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &back), TWRC_SUCCESS);
    EXPECT_EQ(std::string(back.FileName).size(), 255u);
    file.Format = TWFF_TIFF;
    EXPECT_EQ(ds.Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &file), TWRC_FAILURE);
    EXPECT_EQ(ds.Condition(), TWCC_BADVALUE);

    TW_SETUPMEMXFER setup{};
    ASSERT_EQ(ds.Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
    EXPECT_EQ(setup.MinBufSize, 16384u);
    EXPECT_EQ(setup.MaxBufSize, 131072u);
    EXPECT_EQ(setup.Preferred, 131072u);

    // Black and white at 75 dpi: narrow rows.
    ASSERT_EQ(ds.SetOne(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW), TWRC_SUCCESS);
    ASSERT_EQ(ds.Enable(), TWRC_SUCCESS);
    ASSERT_EQ(ds.Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
    TW_IMAGEINFO info{};
    ASSERT_EQ(ds.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    const uint32_t row = (static_cast<uint32_t>(info.ImageWidth) + 31) / 32 * 4;
    EXPECT_EQ(setup.MinBufSize % row, 0u);
    EXPECT_LE(setup.MinBufSize, setup.MaxBufSize);
    EXPECT_EQ(setup.Preferred, setup.MaxBufSize);

    // Strips of shrinking buffers, the last smaller than a row.
    std::vector<uint8_t> buffer(row * 40);
    uint32_t done = 0;
    const uint32_t sizes[] = {row * 40, row * 7 + 3, row * 2};
    for (uint32_t size : sizes) {
        TW_IMAGEMEMXFER strip{};
        strip.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
        strip.Memory.Length = size;
        strip.Memory.TheMem = buffer.data();
        ASSERT_EQ(ds.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip), TWRC_SUCCESS);
        // Packed fields are read as values, never bound to references.
        const uint32_t rows = strip.Rows;
        const uint32_t yOffset = strip.YOffset;
        const uint32_t written = strip.BytesWritten;
        EXPECT_EQ(rows, size / row);
        EXPECT_EQ(yOffset, done);
        EXPECT_EQ(written, rows * row);
        done += rows;
    }
    TW_IMAGEMEMXFER tiny{};
    tiny.Memory.Flags = TWMF_APPOWNS | TWMF_HANDLE;
    tiny.Memory.Length = row - 1;
    tiny.Memory.TheMem = GlobalAlloc(GHND, row);
    EXPECT_EQ(ds.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &tiny), TWRC_FAILURE);
    EXPECT_EQ(ds.Condition(), TWCC_BADVALUE);
    tiny.Memory.Length = row;
    EXPECT_EQ(ds.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &tiny), TWRC_SUCCESS);
    const uint32_t tinyOffset = tiny.YOffset;
    EXPECT_EQ(tinyOffset, done);
    GlobalFree(tiny.Memory.TheMem);
}

// An application window that calls the source when a message reaches it:
// the progress of a transfer pumps the application's messages.
DirectSource* reentrantSource = nullptr;
std::vector<std::pair<TW_UINT16, TW_UINT16>> reentrantAnswers;  // result, condition

LRESULT CALLBACK ReentrantWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP + 1 && reentrantSource != nullptr) {
        TW_USERINTERFACE ui{};
        const TW_UINT16 disabled = reentrantSource->Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
        reentrantAnswers.emplace_back(disabled, reentrantSource->Condition());
        TW_PENDINGXFERS pending{};
        const TW_UINT16 ended = reentrantSource->Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
        reentrantAnswers.emplace_back(ended, reentrantSource->Condition());
        TW_EVENT event{};
        reentrantAnswers.emplace_back(reentrantSource->Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), 0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Closing, disabling or ending the transfer from inside it is out of
// sequence; the transfer finishes undisturbed.
TEST_F(Dispatch, TripletsFromInsideATransferAreRefused)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &ReentrantWindow;
    windowClass.lpszClassName = "ReentrantApplication";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "ReentrantApplication", "application", 0, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ToState(4);
    ASSERT_EQ(ds.SetOne(CAP_INDICATORS, TWTY_BOOL, 1), TWRC_SUCCESS);  // the progress pumps messages
    // With paper-end detection the sheet is read ahead when its length is
    // first asked for: that read is guarded the same way.
    for (const TW_UINT32 paperEnd : {0u, 1u}) {
        ASSERT_EQ(ds.SetOne(0xBC01, TWTY_BOOL, paperEnd), TWRC_SUCCESS);
        ASSERT_EQ(ds.Enable(), TWRC_SUCCESS);
        reentrantSource = &ds;
        reentrantAnswers.clear();
        ASSERT_TRUE(PostMessageA(window, WM_APP + 1, 0, 0));
        TW_IMAGEINFO info{};
        ASSERT_EQ(ds.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
        EXPECT_EQ(ds.Strip(static_cast<uint32_t>(info.ImageLength)), TWRC_XFERDONE);
        reentrantSource = nullptr;
        ASSERT_EQ(reentrantAnswers.size(), 3u) << "the message was not pumped during the transfer, paper end " << paperEnd;
        EXPECT_EQ(reentrantAnswers[0], std::make_pair(TW_UINT16{TWRC_FAILURE}, TW_UINT16{TWCC_SEQERROR}));
        EXPECT_EQ(reentrantAnswers[1], std::make_pair(TW_UINT16{TWRC_FAILURE}, TW_UINT16{TWCC_SEQERROR}));
        EXPECT_EQ(reentrantAnswers[2].first, TWRC_NOTDSEVENT);
        TW_UINT16 count = 9;
        EXPECT_EQ(ds.EndTransfer(&count), TWRC_SUCCESS);
        EXPECT_EQ(count, 0);
        TW_USERINTERFACE ui{};
        ds.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
    }
    DestroyWindow(window);
}

int transferDoneSeen = 0;

LRESULT CALLBACK ParentWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == RegisterWindowMessageA("RM310")) {
        ++transferDoneSeen;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// After the last transfer the parent window gets the registered message "RM310".
TEST_F(Dispatch, ParentHearsTheEndOfTheAcquisition)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &ParentWindow;
    windowClass.lpszClassName = "ParentApplication";
    RegisterClassA(&windowClass);
    HWND parent = CreateWindowExA(0, "ParentApplication", "application", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                  nullptr);
    ASSERT_NE(parent, nullptr);
    ToState(4);
    ASSERT_EQ(ds.Enable(false, parent), TWRC_SUCCESS);
    TW_IMAGEINFO info{};
    ASSERT_EQ(ds.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    ASSERT_EQ(ds.Strip(static_cast<uint32_t>(info.ImageLength)), TWRC_XFERDONE);
    transferDoneSeen = 0;
    ASSERT_EQ(ds.EndTransfer(), TWRC_SUCCESS);
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    EXPECT_EQ(transferDoneSeen, 1);
    DestroyWindow(parent);
}

TEST_F(Dispatch, IdentityAsTabled)
{
    TW_IDENTITY id{};
    ASSERT_EQ(ds.Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, &id), TWRC_SUCCESS);
    EXPECT_EQ(id.Version.MajorNum, 3);
    EXPECT_EQ(id.Version.MinorNum, 4);
    EXPECT_EQ(id.Version.Language, TWLG_USA);
    EXPECT_EQ(id.Version.Country, TWCY_USA);
    EXPECT_STREQ(id.Version.Info, "3.4.3.11");
    EXPECT_EQ(id.ProtocolMajor, 1);
    EXPECT_EQ(id.ProtocolMinor, 9);
    const TW_UINT32 groups = id.SupportedGroups;
    EXPECT_EQ(groups, static_cast<TW_UINT32>(DG_CONTROL | DG_IMAGE));
    EXPECT_STREQ(id.Manufacturer, "Tessaline Corp.");
    EXPECT_STREQ(id.ProductFamily, "RMX");
    EXPECT_STREQ(id.ProductName, "RM310");
}

TEST_F(Dispatch, UnknownCapabilityIsUnsupported)
{
    ToState(4);
    TW_CAPABILITY cap{};
    cap.Cap = 0x1000;  // CAP_AUTHOR: no scanner of this family has one
    EXPECT_EQ(ds.Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), TWRC_FAILURE);
    EXPECT_EQ(ds.Condition(), TWCC_CAPUNSUPPORTED);
}

}  // namespace
}  // namespace twain_test
