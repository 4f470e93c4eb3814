// Class identifiers as braced text, task memory and automation strings.
#include "core/Controls.h"

#include <objbase.h>
#include <oleauto.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int HexDigit(WCHAR c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// Reads `digits` hex digits at text[*at]; false on a non-digit.
bool ReadHex(LPCOLESTR text, size_t* at, int digits, uint32_t* out) {
    uint32_t value = 0;
    for (int i = 0; i < digits; ++i) {
        const int digit = HexDigit(text[*at]);
        if (digit < 0) return false;
        value = value << 4 | static_cast<uint32_t>(digit);
        ++*at;
    }
    *out = value;
    return true;
}

bool Expect(LPCOLESTR text, size_t* at, WCHAR c) {
    if (text[*at] != c) return false;
    ++*at;
    return true;
}

// A BSTR's block: the byte length in front of the characters.
struct BstrHeader {
    uint32_t bytes;
};

}  // namespace

extern "C" {

HRESULT WINAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    if (pclsid == nullptr) return E_INVALIDARG;
    if (lpsz == nullptr) {
        *pclsid = GUID_NULL;
        return S_OK;
    }
    GUID guid{};
    size_t at = 0;
    uint32_t part = 0;
    bool ok = Expect(lpsz, &at, L'{') && ReadHex(lpsz, &at, 8, &guid.Data1) && Expect(lpsz, &at, L'-') &&
              ReadHex(lpsz, &at, 4, &part);
    guid.Data2 = static_cast<uint16_t>(part);
    ok = ok && Expect(lpsz, &at, L'-') && ReadHex(lpsz, &at, 4, &part);
    guid.Data3 = static_cast<uint16_t>(part);
    ok = ok && Expect(lpsz, &at, L'-');
    for (int i = 0; ok && i < 8; ++i) {
        if (i == 2) ok = Expect(lpsz, &at, L'-');
        ok = ok && ReadHex(lpsz, &at, 2, &part);
        guid.Data4[i] = static_cast<uint8_t>(part);
    }
    ok = ok && Expect(lpsz, &at, L'}') && lpsz[at] == L'\0';
    if (!ok) return CO_E_CLASSSTRING;
    *pclsid = guid;
    return S_OK;
}

int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    char text[40];
    const int length = std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                                     rguid.Data1, rguid.Data2, rguid.Data3, rguid.Data4[0], rguid.Data4[1],
                                     rguid.Data4[2], rguid.Data4[3], rguid.Data4[4], rguid.Data4[5], rguid.Data4[6],
                                     rguid.Data4[7]);
    if (lpsz == nullptr || cchMax < length + 1) return 0;
    for (int i = 0; i <= length; ++i) lpsz[i] = static_cast<OLECHAR>(static_cast<unsigned char>(text[i]));
    return length + 1;
}

LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb == 0 ? 1 : cb); }

LPVOID WINAPI CoTaskMemRealloc(LPVOID pv, SIZE_T cb) { return std::realloc(pv, cb == 0 ? 1 : cb); }

void WINAPI CoTaskMemFree(LPVOID pv) { std::free(pv); }

BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    const size_t bytes = static_cast<size_t>(ui) * sizeof(OLECHAR);
    if (bytes > UINT32_MAX - sizeof(BstrHeader) - sizeof(OLECHAR)) return nullptr;
    auto* block = static_cast<unsigned char*>(CoTaskMemAlloc(sizeof(BstrHeader) + bytes + sizeof(OLECHAR)));
    if (block == nullptr) return nullptr;
    BstrHeader header{static_cast<uint32_t>(bytes)};
    std::memcpy(block, &header, sizeof header);
    auto* text = reinterpret_cast<OLECHAR*>(block + sizeof(BstrHeader));
    if (strIn != nullptr) {
        std::memcpy(text, strIn, bytes);
    } else {
        std::memset(text, 0, bytes);
    }
    text[ui] = 0;
    return text;
}

BSTR WINAPI SysAllocString(const OLECHAR* psz) {
    if (psz == nullptr) return nullptr;
    UINT length = 0;
    while (psz[length] != 0) ++length;
    return SysAllocStringLen(psz, length);
}

void WINAPI SysFreeString(BSTR bstrString) {
    if (bstrString != nullptr) CoTaskMemFree(reinterpret_cast<unsigned char*>(bstrString) - sizeof(BstrHeader));
}

UINT WINAPI SysStringLen(BSTR pbstr) {
    if (pbstr == nullptr) return 0;
    BstrHeader header{};
    std::memcpy(&header, reinterpret_cast<unsigned char*>(pbstr) - sizeof(BstrHeader), sizeof header);
    return static_cast<UINT>(header.bytes / sizeof(OLECHAR));
}

}  // extern "C"
