#include "os/OSFunctions.h"

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

TEST(OSFunctionsTest, WindowsVersionClasses) {
    struct Case {
        int major, minor, platformId, kind;
    };
    for (const Case& c : {Case{4, 10, 1, 3}, Case{4, 90, 1, 2}, Case{5, 0, 2, 1}, Case{5, 1, 2, 0}, Case{5, 2, 2, 6},
                          Case{6, 0, 2, 7}, Case{6, 1, 2, 0}, Case{10, 0, 2, 0}}) {
        platform::testing::SetWindowsVersion(c.major, c.minor, c.platformId);
        EXPECT_EQ(GetOSKind(), c.kind) << c.major << "." << c.minor;
    }
}

TEST(OSFunctionsTest, FailedVersionQueryIsOther) {
    platform::testing::InjectFailure("GetVersionExA");
    EXPECT_EQ(GetOSKind(), 0);
}

TEST(OSFunctionsTest, MaxBulkChunk) { EXPECT_EQ(GetMaxBulkChunk(), 61440); }

TEST(OSFunctionsTest, InterleavePlanes) {
    const std::array<uint8_t, 3> r{1, 2, 3}, g{4, 5, 6}, b{7, 8, 9};
    std::array<uint8_t, 10> dst{};
    InterleavePlanes(dst.data(), r.data(), g.data(), b.data(), 3);
    EXPECT_EQ(dst, (std::array<uint8_t, 10>{1, 4, 7, 2, 5, 8, 3, 6, 9, 0}));
}
