// COM run time: class identifiers as text, apartments, automation strings
// and task memory, and classes that are not registered.
#include <objbase.h>
#include <oleauto.h>
#include <platform/wia_service.h>
#include <wiamindr.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr GUID kClass = {0x4161996E, 0x4020, 0x4EEA, {0x8C, 0x0B, 0xAE, 0x43, 0x82, 0x53, 0xEF, 0x01}};

TEST(CoreCom, ClassIdentifiersRoundTripThroughTheirBracedText) {
    WCHAR text[39];
    ASSERT_EQ(StringFromGUID2(kClass, text, 39), 39);
    EXPECT_EQ(std::wstring(text), L"{4161996E-4020-4EEA-8C0B-AE438253EF01}");
    EXPECT_EQ(StringFromGUID2(kClass, text, 38), 0) << "no room for the terminator";
    CLSID parsed{};
    ASSERT_EQ(CLSIDFromString(text, &parsed), S_OK);
    EXPECT_TRUE(IsEqualGUID(parsed, kClass));
    ASSERT_EQ(CLSIDFromString(L"{4161996e-4020-4eea-8c0b-ae438253ef01}", &parsed), S_OK);
    EXPECT_TRUE(IsEqualGUID(parsed, kClass)) << "hex digits in either case";

    const wchar_t* const bad[] = {
        L"4161996E-4020-4EEA-8C0B-AE438253EF01",     L"{4161996E-4020-4EEA-8C0B-AE438253EF0}",
        L"{4161996E-4020-4EEA-8C0BAE438253EF01}",    L"{4161996E-4020-4EEA-8C0B-AE438253EF01}x",
        L"{4161996G-4020-4EEA-8C0B-AE438253EF01}",   L"",
    };
    for (const wchar_t* candidate : bad) {
        CLSID untouched = kClass;
        EXPECT_EQ(CLSIDFromString(candidate, &untouched), CO_E_CLASSSTRING) << std::string(candidate, candidate + wcslen(candidate));
        EXPECT_TRUE(IsEqualGUID(untouched, kClass));
    }
}

TEST(CoreCom, ApartmentsAreCountedPerThreadAndKeepTheirModel) {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    HRESULT other = E_FAIL;
    std::thread([&] {
        other = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CoUninitialize();
    }).join();
    EXPECT_EQ(other, S_OK) << "another thread has its own apartment";
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "left entirely, any model again";
    CoUninitialize();
}

TEST(CoreCom, UnregisteredOrUninitialisedCreationFailsWithANullResult) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out), CO_E_NOTINITIALIZED);
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(out, nullptr);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{4161996E-4020-4EEA-8C0B-AE438253EF01}\\InprocServer32", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char missing[] = "NoSuchServer.dll";
    RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(missing), sizeof missing);
    RegCloseKey(key);
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out), CO_E_DLLNOTFOUND);
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &out), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_INVALIDARG);
    CoUninitialize();
}

std::vector<std::string> DriverLogLines() {
    std::vector<std::string> lines;
    HANDLE file = CreateFileA(platform::wia::kDriverLogFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lines;
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
    CloseHandle(file);
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The WIA log class exists only where the service serves it; there each
// object writes its lines, with their kind, to the machine's log file.
TEST(CoreCom, TheWiaLogClassIsServedOnlyByTheServiceAndWritesItsLines) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    IWiaLog* log = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_WiaLog, nullptr, CLSCTX_INPROC_SERVER, IID_IWiaLog, reinterpret_cast<void**>(&log)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(log, nullptr);
    platform::wia::ServeDriverLogClass();
    EXPECT_EQ(CoCreateInstance(CLSID_WiaLog, nullptr, CLSCTX_LOCAL_SERVER, IID_IWiaLog, reinterpret_cast<void**>(&log)),
              REGDB_E_CLASSNOTREG)
        << "an in-process class only";
    ASSERT_EQ(CoCreateInstance(CLSID_WiaLog, nullptr, CLSCTX_INPROC_SERVER, IID_IWiaLog, reinterpret_cast<void**>(&log)),
              S_OK);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->InitializeLog(0), S_OK);
    struct Case {
        LONG flags;
        LONG detail;
        const wchar_t* text;
        const char* line;
    };
    const Case cases[] = {
        {WIALOG_TRACE, WIALOG_LEVEL1, L"Logging COM object created successfully",
         "0x00000000 TRACE 1 0 Logging COM object created successfully"},
        {WIALOG_WARNING, 2, L"paper jam", "0x00000000 WARNING 2 0 paper jam"},
        {WIALOG_ERROR, 3, L"lamp failed", "0x00000000 ERROR 3 0 lamp failed"},
        {WIALOG_TRACE | WIALOG_ERROR, 1, L"both", "0x00000000 ERROR 1 0 both"},
        {0, 1, nullptr, "0x00000000 TRACE 1 0 "},
    };
    for (const Case& c : cases) {
        BSTR text = c.text ? SysAllocString(c.text) : nullptr;
        EXPECT_EQ(log->Log(c.flags, 0, c.detail, text), S_OK);
        SysFreeString(text);
    }
    EXPECT_EQ(log->hResult(E_FAIL), S_OK);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(log->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    unknown->Release();
    EXPECT_EQ(log->Release(), 0u);

    const std::vector<std::string> lines = DriverLogLines();
    ASSERT_EQ(lines.size(), std::size(cases) + 2);
    EXPECT_EQ(lines[0], "0x00000000 INIT log opened");
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(lines[i + 1], cases[i].line) << i;
    EXPECT_EQ(lines.back(), "0x00000000 HRESULT 0x80004005");
    CoUninitialize();
}

TEST(CoreCom, AutomationStringsKnowTheirLengthAndTaskMemoryIsTheirs) {
    BSTR text = SysAllocString(L"Calibration");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 11u);
    EXPECT_EQ(std::wstring(text), L"Calibration");
    SysFreeString(text);
    BSTR embedded = SysAllocStringLen(L"a\0b", 3);
    EXPECT_EQ(SysStringLen(embedded), 3u);
    EXPECT_EQ(embedded[3], L'\0');
    SysFreeString(embedded);
    BSTR blank = SysAllocStringLen(nullptr, 4);
    EXPECT_EQ(SysStringLen(blank), 4u);
    SysFreeString(blank);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
    void* block = CoTaskMemAlloc(16);
    ASSERT_NE(block, nullptr);
    block = CoTaskMemRealloc(block, 64);
    ASSERT_NE(block, nullptr);
    CoTaskMemFree(block);
    CoTaskMemFree(nullptr);
}

}  // namespace
