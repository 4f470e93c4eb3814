// wiascan run as a person runs it: a child process against the virtual
// scanner's command serving a duplex sheet on the test's machine.
#include "../../siscan/tests/ChildPrograms.h"

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

namespace fs = std::filesystem;
using siscan_test::BuildFolder;
using siscan_test::BuildProgram;
using siscan_test::Emulator;
using siscan_test::RunProgram;

std::string Sample(const char* face) { return (BuildFolder() / "samples" / face).string(); }

// Width, height and depth of a BMP file; height negative for top-down.
struct Header {
    int32_t width = 0, height = 0;
    uint16_t depth = 0;
    uint32_t fileSize = 0;
    uintmax_t bytes = 0;
};

Header ReadHeader(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char bytes[54] = {};
    in.read(bytes, sizeof bytes);
    Header h;
    std::memcpy(&h.fileSize, bytes + 2, 4);
    std::memcpy(&h.width, bytes + 18, 4);
    std::memcpy(&h.height, bytes + 22, 4);
    std::memcpy(&h.depth, bytes + 28, 2);
    h.bytes = fs::file_size(path);
    return h;
}

TEST(WiascanRun, DuplexGrayPagesOneFileEach) {
    // The service host makes the device requests: the scanner keeps the real clock.
    Emulator scanner("RM310-GL841", {Sample("sample-front.ppm") + "," + Sample("sample-back.ppm")}, "real");
    ASSERT_TRUE(scanner.Ready());
    const std::string prefix = (fs::path(platform::testing::Root()) / "page").string();
    const auto run = RunProgram(BuildProgram("wiascan"),
                                {"--resolution", "100", "--data-type", "gray", "--duplex", "--out", prefix});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("WIA 2"), std::string::npos) << run.out;
    for (const char* page : {"-1.bmp", "-2.bmp"}) {
        const Header h = ReadHeader(prefix + page);
        EXPECT_EQ(h.depth, 8);
        EXPECT_LT(h.height, 0) << page;
        EXPECT_GT(h.width, 0);
        EXPECT_EQ(h.fileSize, h.bytes) << page;
        EXPECT_NE(run.out.find("wrote " + prefix + page), std::string::npos) << run.out;
    }
    EXPECT_EQ(scanner.Violations(), 0);
}

TEST(WiascanRun, EmptyFeederAndAWrongPairing) {
    Emulator scanner("RM310-GL841", {}, "real");
    ASSERT_TRUE(scanner.Ready());
    const std::string prefix = (fs::path(platform::testing::Root()) / "none").string();
    auto run = RunProgram(BuildProgram("wiascan"), {"--out", prefix});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("no paper"), std::string::npos) << run.err;
    run = RunProgram(BuildProgram("wiascan"), {"--format", "memorybmp", "--out", prefix});
    EXPECT_EQ(run.status, 2) << "memorybmp needs WIA 1";
    EXPECT_EQ(scanner.Violations(), 0);
}

}  // namespace
