// Services the TWAIN data source and its applications rely on: the TWAIN
// record layouts, global memory that interoperates with calloc and free,
// and private profiles.
#include <windows.h>

#include <platform/testing.h>
#include <twain.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr bool k64 = sizeof(void*) == 8;
static_assert(sizeof(TW_IDENTITY) == 156);
static_assert(sizeof(TW_INT32) == 4 && sizeof(TW_UINT32) == 4 && sizeof(TW_HANDLE) == sizeof(void*));
static_assert(sizeof(TW_CAPABILITY) == (k64 ? 12 : 8));
static_assert(sizeof(TW_IMAGEMEMXFER) == (k64 ? 42 : 38));
static_assert(sizeof(TW_USERINTERFACE) == (k64 ? 12 : 8));
static_assert(sizeof(TW_ENTRYPOINT) == (k64 ? 44 : 24));

TEST(FrontEndGlobalMemory, HandleIsTheBlockAndFreeWorks) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 100);
    ASSERT_NE(block, nullptr);
    auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
    EXPECT_EQ(static_cast<void*>(bytes), block);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(bytes[i], 0);
    EXPECT_EQ(GlobalSize(block), 100u);
    EXPECT_TRUE(GlobalLock(block) != nullptr);
    EXPECT_TRUE(GlobalUnlock(block));   // still locked once
    EXPECT_FALSE(GlobalUnlock(block));  // now unlocked
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));
    // An application or Source Manager that frees with free() (the sanitizer
    // build checks the pairing).
    std::free(block);

    // A foreign calloc block is accepted as a handle.
    void* foreign = std::calloc(64, 1);
    EXPECT_EQ(GlobalLock(foreign), foreign);
    EXPECT_GE(GlobalSize(foreign), 64u);
    EXPECT_EQ(GlobalFree(foreign), nullptr);
}

TEST(FrontEndGlobalMemory, ReAllocKeepsContentAndZeroesTheGrowth) {
    HGLOBAL block = GlobalAlloc(GHND, 8);
    std::memcpy(GlobalLock(block), "abcdefgh", 8);
    GlobalUnlock(block);
    HGLOBAL grown = GlobalReAlloc(block, 4096, GMEM_MOVEABLE | GMEM_ZEROINIT);
    ASSERT_NE(grown, nullptr);
    auto* bytes = static_cast<char*>(GlobalLock(grown));
    EXPECT_EQ(std::string(bytes, 8), "abcdefgh");
    EXPECT_EQ(bytes[4095], 0);
    EXPECT_EQ(GlobalSize(grown), 4096u);
    GlobalUnlock(grown);
    GlobalFree(grown);
}

std::string ReadNative(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(FrontEndProfile, NamesIgnoreCaseAndOtherSectionsStay) {
    const char* file = "C:\\Users\\User\\AppData\\Local\\test.ini";
    ASSERT_TRUE(WritePrivateProfileStringA("First", "Alpha", "1", file));
    ASSERT_TRUE(WritePrivateProfileStringA("Second", "Beta", "-42 dpi", file));
    ASSERT_TRUE(WritePrivateProfileStringA("first", "ALPHA", "7", file));
    ASSERT_TRUE(WritePrivateProfileStringA("First", "Gamma", "x", file));

    EXPECT_EQ(GetPrivateProfileIntA("FIRST", "alpha", 5, file), 7u);
    EXPECT_EQ(static_cast<INT>(GetPrivateProfileIntA("second", "beta", 5, file)), -42);
    EXPECT_EQ(GetPrivateProfileIntA("First", "Gamma", 5, file), 0u);   // present, not a number
    EXPECT_EQ(GetPrivateProfileIntA("First", "Delta", 5, file), 5u);   // absent
    EXPECT_EQ(GetPrivateProfileIntA("Third", "Alpha", -3, file), static_cast<UINT>(-3));

    const std::string native = platform::testing::Root() + "/drives/c/Users/User/AppData/Local/test.ini";
    EXPECT_EQ(ReadNative(native), "[First]\r\nAlpha=7\r\nGamma=x\r\n[Second]\r\nBeta=-42 dpi\r\n");

    // Re-read on every call: a change made behind its back is seen.
    std::ofstream(native, std::ios::binary) << "[first]\nalpha = 9\n";
    EXPECT_EQ(GetPrivateProfileIntA("First", "Alpha", 5, file), 9u);

    char text[16];
    EXPECT_EQ(GetPrivateProfileStringA("First", "Missing", "dflt", text, sizeof text, file), 4u);
    EXPECT_STREQ(text, "dflt");
    EXPECT_EQ(GetPrivateProfileStringA("First", "Alpha", "", text, 2, file), 1u);
    EXPECT_STREQ(text, "9");

    // Deleting a key and a section.
    ASSERT_TRUE(WritePrivateProfileStringA("First", "Alpha", nullptr, file));
    EXPECT_EQ(GetPrivateProfileIntA("First", "Alpha", 5, file), 5u);
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "Key", "v", file));
    ASSERT_TRUE(WritePrivateProfileStringA("First", nullptr, nullptr, file));
    EXPECT_EQ(ReadNative(native), "[Other]\r\nKey=v\r\n");
}

TEST(FrontEndProfile, BareNameLivesInTheWindowsFolder) {
    ASSERT_TRUE(WritePrivateProfileStringA("S", "K", "3", "bare.ini"));
    EXPECT_EQ(GetPrivateProfileIntA("S", "K", 0, "C:\\Windows\\BARE.INI"), 3u);
}

}  // namespace
