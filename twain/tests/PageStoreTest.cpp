// Paper-end detection with whole-page transfers: the page is read ahead into
// temporary files, so native and file transfers carry the sheet's own
// length; the files never outlive the acquisition, however it ends.
#include "CapabilityHarness.h"
#include "ChildPrograms.h"
#include "SourceHarness.h"

#include <WorkFiles.h>

#include <emulator/HostSpeed.h>
#include <platform/testing.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace twain_test {
namespace {

using siscan_test::Emulator;
namespace pt = platform::testing;

constexpr TW_UINT16 kDetectEop = 0xBC01;
constexpr char kTempFolder[] = "C:\\Windows\\Temp\\";

// Names of the page files left in the temporary folder.
std::vector<std::string> LeftPageFiles()
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    HANDLE find = FindFirstFileA((std::string(kTempFolder) + "DTS*.tmp").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        names.emplace_back(found.cFileName);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return names;
}

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// A delivered DIB: its info header fields and the bytes after the palette.
struct Dib {
    int32_t width = 0, height = 0;
    uint16_t bits = 0;
    uint32_t sizeImage = 0;
    size_t totalBytes = 0;
    std::vector<uint8_t> pixels;
};

Dib ParseDib(const uint8_t* info, size_t bytes)
{
    Dib dib;
    dib.width = static_cast<int32_t>(Le32(info + 4));
    dib.height = static_cast<int32_t>(Le32(info + 8));
    dib.bits = static_cast<uint16_t>(info[14] | info[15] << 8);
    dib.sizeImage = Le32(info + 20);
    const size_t palette = 4 * size_t(Le32(info + 32));
    dib.totalBytes = bytes;
    if (40 + palette <= bytes) dib.pixels.assign(info + 40 + palette, info + bytes);
    return dib;
}

// Mean of the first byte of every pixel of one bottom-up row.
double RowMean(const Dib& dib, int32_t rowFromBottom)
{
    const size_t rowSize = (size_t(dib.width) * dib.bits + 31) / 32 * 4;
    const uint8_t* row = dib.pixels.data() + size_t(rowFromBottom) * rowSize;
    double sum = 0;
    for (int32_t x = 0; x < dib.width; ++x) sum += row[size_t(x) * dib.bits / 8];
    return sum / dib.width;
}

class PageStoreScan : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (emulator::UnderCpuEmulator()) GTEST_SKIP() << "whole pages under a CPU emulator";
        UseDirectPortModel();
        // 4.5 x 3 in of light gray at the sheets' 600 dpi, front and back.
        const std::string sheet = pt::Root() + "/short-sheet.pgm";
        {
            std::ofstream out(sheet, std::ios::binary);
            out << "P5\n2700 1800\n255\n" << std::string(size_t(2700) * 1800, '\xC0');
        }
        scanner = std::make_unique<Emulator>("RM310-GL841", std::vector<std::string>(8, sheet + "," + sheet));
        ASSERT_TRUE(scanner->Ready());
        ASSERT_TRUE(ds.Loaded());
        ASSERT_EQ(ds.Open(), TWRC_SUCCESS);
        Set(CAP_INDICATORS, One(TWTY_BOOL, 0));
        Set(ICAP_XRESOLUTION, One(TWTY_FIX32, Fx(100)));
        Set(ICAP_SUPPORTEDSIZES, One(TWTY_UINT16, TWSS_NONE));
        Set(kDetectEop, One(TWTY_BOOL, 1));
    }
    void TearDown() override
    {
        if (!scanner) return;
        ds.Close();
        EXPECT_EQ(scanner->Violations(), 0);
        EXPECT_EQ(LeftPageFiles(), std::vector<std::string>());
    }

    void Set(TW_UINT16 cap, const Container& container)
    {
        ASSERT_NE(Negotiate(ds, MSG_SET, cap, container).rc, TWRC_FAILURE) << std::hex << cap;
    }

    // One whole-page transfer; the DIB it delivered (empty on failure).
    TW_UINT16 Transfer(bool toFile, Dib* dib)
    {
        if (toFile) {
            TW_SETUPFILEXFER setup{};
            std::snprintf(setup.FileName, sizeof setup.FileName, "%s/page.bmp", pt::Root().c_str());
            setup.Format = TWFF_BMP;
            EXPECT_EQ(ds.Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
            const TW_UINT16 rc = ds.Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
            if (rc != TWRC_XFERDONE) return rc;
            std::ifstream in(pt::Root() + "/page.bmp", std::ios::binary);
            const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EXPECT_GE(bytes.size(), 54u);
            if (bytes.size() < 54) return rc;
            EXPECT_EQ(Le32(bytes.data() + 2), bytes.size());
            *dib = ParseDib(bytes.data() + 14, bytes.size() - 14);
            return rc;
        }
        TW_HANDLE handle = nullptr;
        const TW_UINT16 rc = ds.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
        if (rc != TWRC_XFERDONE) return rc;
        const auto* bytes = static_cast<const uint8_t*>(GlobalLock(handle));
        *dib = ParseDib(bytes, GlobalSize(handle));
        GlobalUnlock(handle);
        GlobalFree(handle);
        return rc;
    }

    std::unique_ptr<Emulator> scanner;
    DirectSource ds;
};

// Each side by native or file transfer is exactly as long as the paper
// (the frame is 10 in, the sheet 3 in), and the image information says so
// before the first row.
TEST_F(PageStoreScan, WholePageTransfersHaveTheSheetsLength)
{
    struct Case {
        const char* name;
        bool toFile;
        TW_UINT16 pixelType;
        bool duplex;
        uint16_t bits;
    };
    const Case cases[] = {
        {"native gray", false, TWPT_GRAY, false, 8},
        {"file colour", true, TWPT_RGB, false, 24},
        {"native black and white duplex", false, TWPT_BW, true, 1},
        {"file gray duplex", true, TWPT_GRAY, true, 8},
    };
    for (const Case& c : cases) {
        Set(ICAP_PIXELTYPE, One(TWTY_UINT16, c.pixelType));
        Set(CAP_DUPLEXENABLED, One(TWTY_BOOL, c.duplex ? 1 : 0));
        Set(ICAP_XFERMECH, One(TWTY_UINT16, c.toFile ? TWSX_FILE : TWSX_NATIVE));
        ASSERT_EQ(ds.Enable(), TWRC_SUCCESS) << c.name;
        for (int side = 0; side < (c.duplex ? 2 : 1); ++side) {
            TW_IMAGEINFO info{};
            ASSERT_EQ(ds.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS) << c.name;
            EXPECT_GT(info.ImageLength, 250) << c.name;
            EXPECT_LT(info.ImageLength, 500) << c.name;
            Dib dib;
            ASSERT_EQ(Transfer(c.toFile, &dib), TWRC_XFERDONE) << c.name << " side " << side;
            const size_t rowSize = (size_t(dib.width) * c.bits + 31) / 32 * 4;
            EXPECT_EQ(dib.bits, c.bits) << c.name;
            EXPECT_EQ(dib.width, info.ImageWidth) << c.name;
            EXPECT_EQ(dib.height, info.ImageLength) << c.name << " side " << side;
            EXPECT_EQ(dib.sizeImage, rowSize * size_t(info.ImageLength)) << c.name;
            EXPECT_EQ(dib.pixels.size(), dib.sizeImage) << c.name;
            if (c.bits == 8 && dib.pixels.size() == dib.sizeImage) {
                // The bottom row is the sheet's last, still paper: every row
                // was written, none left blank.
                EXPECT_GT(RowMean(dib, 0), 100.0) << c.name << " side " << side;
                EXPECT_GT(RowMean(dib, dib.height / 2), 100.0) << c.name << " side " << side;
            }
            TW_UINT16 count = 0;
            ASSERT_EQ(ds.EndTransfer(&count), TWRC_SUCCESS);
            EXPECT_EQ(count, c.duplex && side == 0 ? 1 : 0) << c.name;
        }
        EXPECT_EQ(LeftPageFiles(), std::vector<std::string>()) << c.name;
        TW_USERINTERFACE ui{};
        ds.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
    }
}

// However the acquisition ends (cancelled between the sides, disabled, a
// page file that cannot be made or opened on either side), no page file is
// left and the sheet's scan is ended (the next one scans).
TEST_F(PageStoreScan, NoPageFileOutlivesTheAcquisition)
{
    struct Case {
        const char* name;
        const char* inject;  // fails from the transfer on, after `skip` calls
        unsigned skip;
        TW_UINT16 end;       // DAT_PENDINGXFERS MSG_RESET or DAT_USERINTERFACE MSG_DISABLEDS after the front
    };
    const Case cases[] = {
        {"reset after the front", nullptr, 0, DAT_PENDINGXFERS},
        {"disabled after the front", nullptr, 0, DAT_USERINTERFACE},
        {"front file cannot be opened", "CreateFileA", 0, 0},
        {"back file cannot be opened", "CreateFileA", 1, 0},
        {"no name at all", "GetTempFileNameA", 0, 0},
    };
    Set(ICAP_PIXELTYPE, One(TWTY_UINT16, TWPT_GRAY));
    Set(CAP_DUPLEXENABLED, One(TWTY_BOOL, 1));
    Set(ICAP_XFERMECH, One(TWTY_UINT16, TWSX_NATIVE));
    for (const Case& c : cases) {
        ASSERT_EQ(ds.Enable(), TWRC_SUCCESS) << c.name;
        Dib dib;
        if (c.inject != nullptr) {
            if (std::strcmp(c.inject, "GetTempFileNameA") == 0) {
                // Our own names are tried then: make them fail too.
                pt::InjectFailure("CreateFileA", ERROR_FILE_EXISTS);
            }
            pt::InjectFailure(c.inject, ERROR_ACCESS_DENIED, c.skip);
            const size_t boxes = pt::MessageBoxes().size();
            EXPECT_EQ(Transfer(false, &dib), TWRC_FAILURE) << c.name;
            pt::ClearFailures();
            EXPECT_EQ(ds.Condition(), TWCC_OPERATIONERROR) << c.name;
            EXPECT_EQ(pt::MessageBoxes().size(), boxes + 1) << c.name;
        } else {
            ASSERT_EQ(Transfer(false, &dib), TWRC_XFERDONE) << c.name;
            TW_PENDINGXFERS pending{};
            TW_USERINTERFACE ui{};
            if (c.end == DAT_PENDINGXFERS) {
                ASSERT_EQ(ds.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS) << c.name;
            } else {
                ASSERT_EQ(ds.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS) << c.name;
            }
        }
        EXPECT_EQ(LeftPageFiles(), std::vector<std::string>()) << c.name;
        TW_USERINTERFACE ui{};
        ds.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
    }
    // The scanner is free again: the next sheet comes whole.
    ASSERT_EQ(ds.Enable(), TWRC_SUCCESS);
    Dib dib;
    EXPECT_EQ(Transfer(false, &dib), TWRC_XFERDONE);
    EXPECT_GT(dib.height, 250);
}

// A temporary name's shape: FOLDER, one of SEPARATORS, PREFIX, hex digits
// and ".tmp"; an empty folder takes any folder.
struct NameShape {
    std::string folder;
    const char* separators;
    const char* prefix;
    size_t minDigits, maxDigits;
    bool lowerCase;

    bool Fits(const std::string& name) const
    {
        size_t at = 0;
        if (folder.empty()) {
            at = name.find_last_of("\\/");
            if (at == std::string::npos) return false;
        } else {
            if (!name.starts_with(folder)) return false;
            at = folder.size();
            if (at >= name.size() || std::strchr(separators, name[at]) == nullptr) return false;
        }
        const std::string rest = name.substr(at + 1);
        if (!rest.starts_with(prefix) || !rest.ends_with(".tmp")) return false;
        const std::string digits = rest.substr(std::strlen(prefix), rest.size() - std::strlen(prefix) - 4);
        if (digits.size() < minDigits || digits.size() > maxDigits) return false;
        for (char c : digits) {
            const bool letter = lowerCase ? (c >= 'a' && c <= 'f') : (c >= 'A' && c <= 'F');
            if (!(c >= '0' && c <= '9') && !letter) return false;
        }
        return true;
    }
};

// Temporary names: from the system when it can, else our own of a fixed
// shape; never one that exists already.
TEST(PageTempFileName, ShapeAndFallback)
{
    struct Case {
        const char* name;
        std::string folder;
        const char* prefix;
        bool systemFails;
        NameShape shape;  // of the whole name
    };
    const std::string temp = kTempFolder;
    const std::string work = pt::Root() + "/work";
    ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr));
    const Case cases[] = {
        {"system folder", "", "DTS", false, {"", "\\/", "DTS", 1, 4, false}},
        {"given folder", work, "DTS", false, {work, "\\/", "DTS", 1, 4, false}},
        {"long prefix", work, "DTSXYZ", false, {work, "\\/", "DTS", 1, 4, false}},
        {"fallback, system folder", "", "DTS", true, {"", "\\/", "DTS", 4, 4, true}},
        {"fallback, given folder", work, "DTS", true, {work, "\\", "DTS", 4, 4, true}},
        {"fallback, long prefix", work, "DTSXYZ", true, {work, "\\", "DTS", 4, 4, true}},
        {"fallback, short prefix", work + "/", "D", true, {work, "/", "D", 4, 4, true}},
    };
    for (const Case& c : cases) {
        if (c.systemFails) pt::InjectFailure("GetTempFileNameA");
        const std::string first = MakePageTempFileName(c.prefix, c.folder);
        const std::string second = MakePageTempFileName(c.prefix, c.folder);
        pt::ClearFailures();
        EXPECT_TRUE(c.shape.Fits(first)) << c.name << ": " << first;
        EXPECT_NE(first, second) << c.name;
        // Both exist, empty, so nobody else is given them.
        for (const std::string& made : {first, second}) {
            EXPECT_NE(GetFileAttributesA(made.c_str()), INVALID_FILE_ATTRIBUTES) << c.name << ": " << made;
            DeleteFileA(made.c_str());
        }
    }
    // Nothing can be made: no name rather than one somebody else owns.
    pt::InjectFailure("GetTempFileNameA");
    pt::InjectFailure("CreateFileA", ERROR_FILE_EXISTS);
    EXPECT_EQ(MakePageTempFileName("DTS", work), "");
    pt::ClearFailures();
}

TEST(WorkFolder, IsMadeUnderLocalApplicationData)
{
    std::string path;
    ASSERT_TRUE(GetWorkFolder(path));
    EXPECT_TRUE(path.ends_with("\\Paperlyn\\")) << path;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    // Made once, found after.
    std::string again;
    EXPECT_TRUE(GetWorkFolder(again));
    EXPECT_EQ(again, path);
    for (const char* function : {"CreateDirectoryA"}) {
        pt::InjectFailure(function);
        std::string failed = "unchanged";
        EXPECT_FALSE(GetWorkFolder(failed)) << function;
        EXPECT_EQ(failed, "unchanged") << function;
        pt::ClearFailures();
    }
}

}  // namespace
}  // namespace twain_test
