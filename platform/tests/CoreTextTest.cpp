// Text conversion between Windows-1252, UTF-8 and wide text.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

struct NarrowCase {
    UINT codePage;
    std::string narrow;
    std::wstring wide;
};

class CoreTextRoundTrip : public ::testing::TestWithParam<NarrowCase> {};

TEST_P(CoreTextRoundTrip, BothDirections) {
    const NarrowCase& c = GetParam();
    wchar_t wide[64] = {};
    const int n = MultiByteToWideChar(c.codePage, 0, c.narrow.data(), static_cast<int>(c.narrow.size()), wide, 64);
    EXPECT_EQ(std::wstring(wide, static_cast<size_t>(n)), c.wide);
    char narrow[64] = {};
    BOOL usedDefault = TRUE;
    const int m = WideCharToMultiByte(c.codePage, 0, c.wide.data(), static_cast<int>(c.wide.size()), narrow, 64,
                                      nullptr, c.codePage == CP_UTF8 ? nullptr : &usedDefault);
    EXPECT_EQ(std::string(narrow, static_cast<size_t>(m)), c.narrow);
    if (c.codePage != CP_UTF8) {
        EXPECT_FALSE(usedDefault);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CoreTextRoundTrip,
    ::testing::Values(NarrowCase{CP_ACP, "plain", L"plain"},
                      NarrowCase{CP_ACP, "\x80\x8A\x9F\xE9", L"\u20AC\u0160\u0178\u00E9"},
                      NarrowCase{1252, "\x81\x8D\x8F\x90\x9D", L"\u0081\u008D\u008F\u0090\u009D"},
                      NarrowCase{CP_UTF8, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", L"\u00E9\u20AC\U0001F600"}));

TEST(CoreText, LengthsTerminatorsAndSizes) {
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
    wchar_t small[2];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, small, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    wchar_t wide[8];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 8), 4);
    EXPECT_STREQ(wide, L"abc");
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"abc", -1, nullptr, 0, nullptr, nullptr), 4);
    EXPECT_EQ(MultiByteToWideChar(437, 0, "a", 1, wide, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CoreText, InvalidUtf8AndUnmappableCharacters) {
    wchar_t wide[8];
    const char bad[] = "a\xC3(b\xED\xA0\x80";
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, bad, -1, wide, 8), 6);
    EXPECT_EQ(std::wstring(wide), L"a\uFFFD(b\uFFFD");
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bad, -1, wide, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    char narrow[8];
    BOOL usedDefault = FALSE;
    EXPECT_EQ(WideCharToMultiByte(1252, 0, L"a\u0410b", 3, narrow, 8, nullptr, &usedDefault), 3);
    EXPECT_EQ(std::string(narrow, 3), "a?b");
    EXPECT_TRUE(usedDefault);
}

TEST(CoreText, LstrFunctions) {
    EXPECT_EQ(lstrlenA("abc"), 3);
    EXPECT_EQ(lstrlenA(nullptr), 0);
    EXPECT_EQ(lstrlenW(L"abcd"), 4);
    EXPECT_EQ(lstrcmpiA("Scanner", "sCANNER"), 0);
    EXPECT_EQ(lstrcmpiA("\xC9t\xC9", "\xE9t\xE9"), 0);
    EXPECT_LT(lstrcmpiA("abc", "abd"), 0);
    EXPECT_GT(lstrcmpiA("abcd", "ABC"), 0);
    EXPECT_EQ(lstrcmpiW(L"\u00C9cole", L"\u00E9COLE"), 0);
    EXPECT_NE(lstrcmpiW(L"a", L"b"), 0);
}

}  // namespace
