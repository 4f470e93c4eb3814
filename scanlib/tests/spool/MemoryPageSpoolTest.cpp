// The memory spool keeps the last page's buffer for the next page: a later,
// smaller page in that buffer is still bounded by its own size and reads
// back only what it wrote.
#include "engine/spool/PageSpool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(size_t count, uint8_t first) {
    std::vector<uint8_t> bytes(count);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

TEST(MemoryPageSpool, ASmallerPageInAKeptBufferIsBoundedByItsOwnSize) {
    {
        auto large = CreateMemorySpool(4096);
        ASSERT_TRUE(large);
        ASSERT_TRUE(large->Append(Bytes(4096, 7)));
    }
    auto small = CreateMemorySpool(100);
    ASSERT_TRUE(small);
    const auto page = Bytes(100, 1);
    ASSERT_TRUE(small->Append(page));
    EXPECT_FALSE(small->Append(Bytes(1, 0))) << "appended past the page into the kept buffer";
    std::vector<uint8_t> out(100);
    ASSERT_TRUE(small->ReadAt(0, out));
    EXPECT_EQ(out, page);
    std::vector<uint8_t> past(1);
    EXPECT_FALSE(small->ReadAt(100, past)) << "read past the page from the kept buffer";
}

TEST(MemoryPageSpool, PagesOneAfterAnotherEachReadTheirOwnBytes) {
    for (uint8_t page = 0; page < 3; ++page) {
        const size_t size = 1000u + 500u * page;
        auto spool = CreateMemorySpool(size);
        ASSERT_TRUE(spool);
        const auto bytes = Bytes(size, static_cast<uint8_t>(page * 40));
        ASSERT_TRUE(spool->Append(bytes));
        std::vector<uint8_t> out(size);
        ASSERT_TRUE(spool->ReadAt(0, out));
        EXPECT_EQ(out, bytes) << "page " << int(page);
    }
}

}  // namespace
