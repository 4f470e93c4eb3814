// Record layouts shared with other modules and processes, in both builds.
#include <windows.h>

#include <setupapi.h>
#include <sti.h>
#include <usbscan.h>

#include <gtest/gtest.h>

#include <cstddef>

namespace {

constexpr bool k64 = sizeof(void*) == 8;

static_assert(sizeof(IO_BLOCK) == (k64 ? 24 : 16));
static_assert(offsetof(IO_BLOCK, pbyData) == 8 && offsetof(IO_BLOCK, uIndex) == (k64 ? 16 : 12));
static_assert(sizeof(OVERLAPPED) == (k64 ? 32 : 20));
static_assert(sizeof(SECURITY_ATTRIBUTES) == (k64 ? 24 : 12));
static_assert(sizeof(SECURITY_DESCRIPTOR) == (k64 ? 40 : 20));
static_assert(sizeof(SP_DEVINFO_DATA) == (k64 ? 32 : 28));
static_assert(sizeof(CRITICAL_SECTION) == (k64 ? 40 : 24));
static_assert(sizeof(OSVERSIONINFOA) == 148);
static_assert(sizeof(OSVERSIONINFOEXA) == 156);
static_assert(sizeof(WIN32_FILE_ATTRIBUTE_DATA) == 36);
static_assert(sizeof(LARGE_INTEGER) == 8 && alignof(LARGE_INTEGER) == 8);
static_assert(alignof(LONGLONG) == 8 && alignof(ULONGLONG) == 8);
static_assert(sizeof(GUID) == 16);
static_assert(sizeof(DEVICE_DESCRIPTOR) == 8);
static_assert(sizeof(CHANNEL_INFO) == 12);
static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(BOOL) == 4 && sizeof(HRESULT) == 4);
static_assert(sizeof(ULONG_PTR) == sizeof(void*) && sizeof(HANDLE) == sizeof(void*));

TEST(CoreLayout, MacrosAndConstants) {
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), static_cast<HRESULT>(0x80070002));
    EXPECT_EQ(HRESULT_FROM_WIN32(0), 0);
    EXPECT_EQ(HRESULT_CODE(E_INVALIDARG), 0x57);
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_EQ(MAKELONG(0x1234, 0xABCD), static_cast<LONG>(0xABCD1234));
    EXPECT_EQ(HIWORD(0xABCD1234u), 0xABCD);
    EXPECT_EQ(LOBYTE(0x1234), 0x34);
    EXPECT_EQ(MAKEWORD(0x34, 0x12), 0x1234);
    LONG value = 5;
    EXPECT_EQ(InterlockedIncrement(&value), 6);
    EXPECT_EQ(InterlockedDecrement(&value), 5);
    EXPECT_EQ(InterlockedExchange(&value, 9), 5);
    EXPECT_EQ(InterlockedCompareExchange(&value, 1, 9), 9);
    EXPECT_EQ(InterlockedCompareExchange(&value, 2, 9), 1);
    EXPECT_EQ(value, 1);
}

TEST(CoreLayout, CriticalSectionsAreRecursive) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    DeleteCriticalSection(&section);
}

}  // namespace
