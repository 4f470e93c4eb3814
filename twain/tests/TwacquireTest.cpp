// twacquire against the virtual scanner through our Source Manager: every
// transfer mechanism and pixel type gives a right-reading, right-coloured
// page of the geometry the source reported.
#include "ChildPrograms.h"
#include "PageImages.h"
#include "SourceHarness.h"

#include <emulator/HostSpeed.h>
#include <platform/testing.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace twain_test {
namespace {

namespace fs = std::filesystem;
using siscan_test::Emulator;
using siscan_test::Image;

// The default frame: 4.16 x 6.87 inches.
constexpr uint32_t kFrameWidth = 416;
constexpr uint32_t kFrameLength = 687;

uint32_t U32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

struct Bmp {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bits = 0;
    uint32_t pelsPerMeter = 0;
    Image image;  // top-down, 1 or 3 channels (RGB)
};

std::optional<Bmp> ReadBmp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return std::nullopt;
    Bmp bmp;
    const uint32_t offset = U32(b, 10);
    bmp.width = U32(b, 18);
    bmp.height = U32(b, 22);
    bmp.bits = b[28];
    bmp.pelsPerMeter = U32(b, 38);
    const uint32_t rowSize = (bmp.width * bmp.bits + 31) / 32 * 4;
    if (U32(b, 2) != b.size() || offset + size_t(rowSize) * bmp.height != b.size()) return std::nullopt;
    Image& image = bmp.image;
    image.width = bmp.width;
    image.height = bmp.height;
    image.channels = bmp.bits == 24 ? 3 : 1;
    image.magic = bmp.bits == 24 ? "P6" : bmp.bits == 8 ? "P5" : "P4";
    image.pixels.resize(size_t(image.width) * image.height * image.channels);
    for (uint32_t y = 0; y < bmp.height; ++y) {
        const uint8_t* row = b.data() + offset + size_t(bmp.height - 1 - y) * rowSize;
        for (uint32_t x = 0; x < bmp.width; ++x) {
            uint8_t* px = &image.pixels[(size_t(y) * image.width + x) * image.channels];
            if (bmp.bits == 24) {
                px[0] = row[3 * x + 2];
                px[1] = row[3 * x + 1];
                px[2] = row[3 * x];
            } else if (bmp.bits == 8) {
                px[0] = b[54 + 4 * row[x]];  // through the palette
            } else {
                const int index = (row[x / 8] >> (7 - x % 8)) & 1;
                px[0] = b[54 + 4 * index];
            }
        }
    }
    return bmp;
}

Image Mirror(const Image& image)
{
    Image out = image;
    for (uint32_t y = 0; y < image.height; ++y)
        for (uint32_t x = 0; x < image.width; ++x)
            for (uint32_t c = 0; c < image.channels; ++c)
                out.pixels[(size_t(y) * image.width + x) * image.channels + c] = image.At(image.width - 1 - x, y, c);
    return out;
}

std::string Prefix(const std::string& name) { return (fs::path(platform::testing::Root()) / name).string(); }

class Twacquire : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseDirectPortModel();
        sheet = siscan_test::ReadPnm(SamplePage());
        ASSERT_TRUE(sheet);
    }
    std::optional<Image> sheet;
};

TEST_F(Twacquire, EveryMechanismAndPixelType)
{
    if (emulator::UnderCpuEmulator()) GTEST_SKIP() << "whole pages under a CPU emulator";
    const char* mechanisms[] = {"native", "file", "memory"};
    struct Type {
        const char* name;
        uint32_t bits;
    };
    const Type types[] = {{"bw", 1}, {"gray", 8}, {"rgb", 24}};
    Emulator scanner("RM310-GL841", std::vector<std::string>(9, SamplePage()));
    ASSERT_TRUE(scanner.Ready());
    const Image sheetAt100 = siscan_test::Reduce(*sheet, 6);
    for (const char* mechanism : mechanisms) {
        for (const Type& type : types) {
            const std::string what = std::string(mechanism) + " " + type.name;
            const std::string prefix = Prefix(std::string(mechanism) + "-" + type.name);
            const auto run = siscan_test::RunProgram(BinFolder() / "twacquire",
                                                     {"--mechanism", mechanism, "--pixel-type", type.name,
                                                      "--resolution", "100", "--out", prefix});
            ASSERT_EQ(run.status, 0) << what << ": " << run.err;
            EXPECT_FALSE(fs::exists(prefix + "-2.bmp")) << what;
            const std::optional<Bmp> bmp = ReadBmp(prefix + "-1.bmp");
            ASSERT_TRUE(bmp) << what;
            EXPECT_EQ(bmp->width, kFrameWidth) << what;
            EXPECT_EQ(bmp->height, kFrameLength) << what;
            EXPECT_EQ(bmp->bits, type.bits) << what;
            EXPECT_EQ(bmp->pelsPerMeter, 3937u) << what;
            EXPECT_NE(run.out.find("416 x 687"), std::string::npos) << what << ": " << run.out;
            // Right-reading and right-coloured: each channel resembles the
            // sheet's, better than its mirror image.
            const int channels = type.bits == 24 ? 3 : 0;
            for (int c = (channels ? 0 : -1); c < (channels ? channels : 0); ++c) {
                const Image scan = siscan_test::Channel(bmp->image, c < 0 ? 0 : c);
                const Image reference = siscan_test::Channel(sheetAt100, c);
                const auto right = siscan_test::LocateSheet(scan, reference, 100);
                const auto mirrored = siscan_test::LocateSheet(scan, Mirror(reference), 100);
                // The RM310 sees the middle 4.16 in of the letter-size sheet, below
                // a strip of the paper path before the sheet's edge.
                EXPECT_GT(right.correlation, type.bits == 1 ? 0.4 : 0.6) << what << " channel " << c;
                EXPECT_GT(right.correlation, mirrored.correlation + 0.1) << what << " channel " << c;
            }
        }
    }
    EXPECT_EQ(scanner.Violations(), 0);
}

TEST_F(Twacquire, DuplexGivesTwoPagesOfOneSheet)
{
    if (emulator::UnderCpuEmulator()) GTEST_SKIP() << "whole pages under a CPU emulator";
    const std::string back = (BinFolder().parent_path() / "samples" / "sample-back.ppm").string();
    Emulator scanner("RM310-GL841", {SamplePage() + "," + back, SamplePage()});
    ASSERT_TRUE(scanner.Ready());
    const std::string prefix = Prefix("duplex");
    const auto run = siscan_test::RunProgram(
        BinFolder() / "twacquire", {"--mechanism", "memory", "--pixel-type", "gray", "--resolution", "100", "--duplex",
                                    "--out", prefix});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::optional<Bmp> front = ReadBmp(prefix + "-1.bmp");
    const std::optional<Bmp> rear = ReadBmp(prefix + "-2.bmp");
    ASSERT_TRUE(front && rear);
    EXPECT_FALSE(fs::exists(prefix + "-3.bmp"));
    const std::optional<Image> backSheet = siscan_test::ReadPnm(back);
    ASSERT_TRUE(backSheet);
    const Image backAt100 = siscan_test::Channel(siscan_test::Reduce(*backSheet, 6), -1);
    const auto right = siscan_test::LocateSheet(rear->image, backAt100, 100);
    const auto mirrored = siscan_test::LocateSheet(rear->image, Mirror(backAt100), 100);
    // The back sheet is mostly blank where the narrow sensor sees it.
    EXPECT_GT(right.correlation, 0.2);
    EXPECT_GT(right.correlation, mirrored.correlation + 0.1);
    // One sheet: the second stays in the feeder for the next acquisition.
    const auto next = siscan_test::RunProgram(BinFolder() / "twacquire",
                                              {"--pixel-type", "gray", "--resolution", "100", "--out", Prefix("next")});
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(scanner.Violations(), 0);
}

TEST_F(Twacquire, FailureExitsWithTheConditionCode)
{
    // No scanner: the source opens, enabling fails with TWCC_OPERATIONERROR.
    const auto run = siscan_test::RunProgram(BinFolder() / "twacquire", {"--out", Prefix("none")});
    EXPECT_EQ(run.status, TWCC_OPERATIONERROR) << run.err;
    EXPECT_NE(run.err.find("condition code 5"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(Prefix("none") + "-1.bmp"));
    const auto usage = siscan_test::RunProgram(BinFolder() / "twacquire", {"--mechanism", "fax", "--out", "x"});
    EXPECT_EQ(usage.status, 2);
}

}  // namespace
}  // namespace twain_test
