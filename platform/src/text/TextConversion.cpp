// Narrow/wide conversion for Windows-1252 and UTF-8, and the lstr helpers.
#include "core/Controls.h"

#include <winbase.h>

#include <array>
#include <optional>
#include <string>

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 bytes 0x80-0x9F; the five undefined ones map to themselves.
constexpr std::array<char32_t, 32> kCp1252High{{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
}};

char32_t FromCp1252(unsigned char c) { return c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c; }

std::optional<unsigned char> ToCp1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
    for (size_t i = 0; i < kCp1252High.size(); ++i)
        if (kCp1252High[i] == c) return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

// Decodes UTF-8; invalid sequences give U+FFFD and set *invalid.
std::u32string DecodeUtf8(const unsigned char* s, size_t n, bool* invalid) {
    std::u32string out;
    size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        size_t length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (length == 0) {
            out += kReplacement;
            *invalid = true;
            ++i;
            continue;
        }
        char32_t cp = length == 1 ? c : c & (0x7F >> length);
        size_t k = 1;
        for (; k < length && i + k < n && (s[i + k] & 0xC0) == 0x80; ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
        constexpr char32_t kMinimum[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (k < length || cp < kMinimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += kReplacement;
            *invalid = true;
            i += k;
            continue;
        }
        out += cp;
        i += length;
    }
    return out;
}

void EncodeUtf8(char32_t cp, std::string* out) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    if (cp < 0x80) {
        *out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out += static_cast<char>(0xC0 | (cp >> 6));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out += static_cast<char>(0xE0 | (cp >> 12));
        *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (cp >> 18));
        *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool KnownCodePage(UINT codePage) { return codePage == CP_ACP || codePage == 1252 || codePage == CP_UTF8; }

int Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

// Copies `count` converted units out, or reports the size asked for.
template <typename T, typename Source>
int Deliver(const Source& converted, T* out, int outSize) {
    const int needed = static_cast<int>(converted.size());
    if (outSize == 0) return needed;
    if (out == nullptr || outSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    for (int i = 0; i < needed; ++i) out[i] = static_cast<T>(converted[static_cast<size_t>(i)]);
    return needed;
}

char32_t FoldCase(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    return c;
}

template <typename T, typename ToCodePoint>
int CompareIgnoringCase(const T* a, const T* b, ToCodePoint toCodePoint) {
    if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
    for (;; ++a, ++b) {
        const char32_t x = FoldCase(toCodePoint(*a)), y = FoldCase(toCodePoint(*b));
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
}

}  // namespace
}  // namespace platform

WINBASEAPI int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                          LPWSTR lpWideCharStr, int cchWideChar) {
    using namespace platform;
    if (FailNow("MultiByteToWideChar")) return 0;
    if (!KnownCodePage(CodePage) || lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 ||
        cchWideChar < 0)
        return Fail(ERROR_INVALID_PARAMETER);
    const auto* bytes = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
    const size_t n = cbMultiByte == -1 ? std::char_traits<char>::length(lpMultiByteStr) + 1
                                       : static_cast<size_t>(cbMultiByte);
    std::u32string converted;
    if (CodePage == CP_UTF8) {
        bool invalid = false;
        converted = DecodeUtf8(bytes, n, &invalid);
        if (invalid && (dwFlags & MB_ERR_INVALID_CHARS)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    } else {
        for (size_t i = 0; i < n; ++i) converted += FromCp1252(bytes[i]);
    }
    return Deliver(converted, lpWideCharStr, cchWideChar);
}

WINBASEAPI int WINAPI WideCharToMultiByte(UINT CodePage, DWORD, LPCWSTR lpWideCharStr, int cchWideChar,
                                          LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                          LPBOOL lpUsedDefaultChar) {
    using namespace platform;
    if (FailNow("WideCharToMultiByte")) return 0;
    if (!KnownCodePage(CodePage) || lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 ||
        cbMultiByte < 0)
        return Fail(ERROR_INVALID_PARAMETER);
    if (CodePage == CP_UTF8 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr))
        return Fail(ERROR_INVALID_PARAMETER);
    const size_t n = cchWideChar == -1 ? std::char_traits<wchar_t>::length(lpWideCharStr) + 1
                                       : static_cast<size_t>(cchWideChar);
    std::string converted;
    bool usedDefault = false;
    for (size_t i = 0; i < n; ++i) {
        const auto cp = static_cast<char32_t>(lpWideCharStr[i]);
        if (CodePage == CP_UTF8) {
            EncodeUtf8(cp, &converted);
        } else if (auto byte = ToCp1252(cp)) {
            converted += static_cast<char>(*byte);
        } else {
            converted += lpDefaultChar ? *lpDefaultChar : '?';
            usedDefault = true;
        }
    }
    const int result = Deliver(converted, lpMultiByteStr, cbMultiByte);
    if (result != 0 && lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
    return result;
}

WINBASEAPI int WINAPI lstrlenA(LPCSTR lpString) {
    return lpString ? static_cast<int>(std::char_traits<char>::length(lpString)) : 0;
}

WINBASEAPI int WINAPI lstrlenW(LPCWSTR lpString) {
    return lpString ? static_cast<int>(std::char_traits<wchar_t>::length(lpString)) : 0;
}

WINBASEAPI int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
    return platform::CompareIgnoringCase(lpString1, lpString2,
                                         [](char c) { return platform::FromCp1252(static_cast<unsigned char>(c)); });
}

WINBASEAPI int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) {
    return platform::CompareIgnoringCase(lpString1, lpString2, [](wchar_t c) { return static_cast<char32_t>(c); });
}
