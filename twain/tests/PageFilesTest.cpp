// The targets of whole-page transfers: the global-memory file grows, keeps
// what was written, and hands its block over or frees it; the disk file
// never leaves an unfinished page behind; the DIB headers go into both and
// failures are told apart (file or memory).
#include <DibLayout.h>
#include <PageFiles.h>

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace pt = platform::testing;

std::vector<uint8_t> BlockBytes(HGLOBAL handle)
{
    const auto* data = static_cast<const uint8_t*>(GlobalLock(handle));
    std::vector<uint8_t> bytes(data, data + GlobalSize(handle));
    GlobalUnlock(handle);
    return bytes;
}

TEST(GlobalMemoryFile, GrowsInStepsAndKeepsItsBytes)
{
    const size_t liveBefore = pt::LiveGlobalBlocks();
    {
        GlobalMemoryFile file;
        const std::vector<uint8_t> head{1, 2, 3};
        const std::vector<uint8_t> tail{7, 8};
        ASSERT_TRUE(file.WriteAt(0, head));
        EXPECT_EQ(file.Length(), 3u);
        ASSERT_TRUE(file.WriteAt(2000, tail));
        EXPECT_EQ(file.Length(), 2002u);
        HGLOBAL handle = file.Detach();
        ASSERT_NE(handle, nullptr);
        // Grown to the next step of 1024 bytes; the gap is zero.
        const std::vector<uint8_t> bytes = BlockBytes(handle);
        ASSERT_EQ(bytes.size(), 2048u);
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 3), head);
        EXPECT_EQ(bytes[1000], 0);
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 2000, bytes.begin() + 2002), tail);
        // Handed over: the file no longer owns it, the caller frees it.
        EXPECT_EQ(file.Detach(), nullptr);
        GlobalFree(handle);
    }
    {
        // Not handed over: freed with the file.
        GlobalMemoryFile file;
        ASSERT_TRUE(file.SetLength(5000));
        ASSERT_TRUE(file.WriteAt(4990, std::vector<uint8_t>(10, 0xAA)));
    }
    EXPECT_EQ(pt::LiveGlobalBlocks(), liveBefore);
}

// The headers into either target: the same bytes as a DIB's headers, the
// file sized for the rows; a failing target is reported by its kind.
TEST(PageFiles, DibHeadersIntoBothTargets)
{
    struct Case {
        uint32_t bits, width, rows;
        bool toFile;
        const char* inject;  // nullptr, or the call that fails
        int result;
    };
    const Case cases[] = {
        {1, 1000, 3, false, nullptr, 1},     {8, 7, 4, false, nullptr, 1},    {24, 1001, 2, false, nullptr, 1},
        {1, 1000, 3, true, nullptr, 1},      {24, 5, 9, true, nullptr, 1},    {8, 7, 4, false, "GlobalAlloc", -1},
        {8, 7, 4, true, "WriteFile", 0},     {8, 7, 4, true, "SetEndOfFile", 0},
        {24, 30000, 30000, false, nullptr, -1},  // over 2 GiB
    };
    const std::string path = pt::Root() + "/page.bmp";
    const size_t liveBefore = pt::LiveGlobalBlocks();
    for (const Case& c : cases) {
        const std::string name = std::to_string(c.bits) + " bits, " + std::to_string(c.width) + " x " +
                                 std::to_string(c.rows) + (c.toFile ? " file" : " memory") +
                                 (c.inject != nullptr ? std::string(", failing ") + c.inject : std::string());
        const std::vector<uint8_t> headers = DibHeaders(c.bits, 300, c.width, c.rows, c.toFile);
        const size_t length = headers.size() + size_t(c.rows) * DibRowSize(c.bits, c.width);
        std::vector<uint8_t> bytes;
        if (c.toFile) {
            DiskPageFile file(path);
            ASSERT_TRUE(file.IsOpen()) << name;
            if (c.inject != nullptr) pt::InjectFailure(c.inject);
            EXPECT_EQ(WriteDibHeaders(file, c.bits, 300, c.width, c.rows, true), c.result) << name;
            pt::ClearFailures();
            if (c.result == 1) {
                ASSERT_TRUE(file.Finish()) << name;
                std::ifstream in(path, std::ios::binary);
                bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            }
        } else {
            GlobalMemoryFile file;
            if (c.inject != nullptr) pt::InjectFailure(c.inject, ERROR_NOT_ENOUGH_MEMORY);
            EXPECT_EQ(WriteDibHeaders(file, c.bits, 300, c.width, c.rows, false), c.result) << name;
            pt::ClearFailures();
            if (c.result == 1) {
                HGLOBAL handle = file.Detach();
                bytes = BlockBytes(handle);
                GlobalFree(handle);
            }
        }
        if (c.result == 1) {
            ASSERT_EQ(bytes.size(), length) << name;
            EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(headers.size())),
                      headers)
                << name;
            std::remove(path.c_str());
        } else if (c.toFile) {
            // An unfinished file goes with its object.
            EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << name;
        }
    }
    EXPECT_EQ(pt::LiveGlobalBlocks(), liveBefore);
}

}  // namespace
