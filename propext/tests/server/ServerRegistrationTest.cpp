// Registration of the server from its script, and the class objects it
// serves: CShellExt under the id the script names, the user-interface
// extension under its own.
#include "PrefeedDevice.h"
#include "ServerSupport.h"

#include <platform/testing.h>

#include <optional>
#include <vector>
#include <string>

namespace {

using namespace propext_test;

constexpr char kShellExtKey[] = "CLSID\\{AF7753A8-95B7-4109-AA58-9401DD9A8970}";
constexpr char kDeviceClassKey[] = "CLSID\\{A88F4563-88ED-4bbd-BB4E-C1B48FEDA4B3}";

// A string value of HKCR, or nothing when the key or the value is missing.
std::optional<std::string> ClassesValue(const std::string& key, const char* name = "") {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return std::nullopt;
    char data[512] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    const LSTATUS read = RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(opened);
    if (read != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    return std::string(data);
}

bool ClassesKeyExists(const std::string& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

TEST(ServerRegistration, RegistersTheClassAndBothHandlersAndRemovesThemAgain) {
    ServerModule module;
    ASSERT_TRUE(module.Loaded());
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module.Handle(), path, sizeof path);
    platform::testing::CaptureDebugOutput();
    ASSERT_EQ(module.Register(), S_OK);
    const std::string contextMenu = std::string(kDeviceClassKey) +
                                    "\\shellex\\ContextMenuHandlers\\{AF7753A8-95B7-4109-AA58-9401DD9A8970}";
    const std::string propertySheet = std::string(kDeviceClassKey) +
                                      "\\shellex\\PropertySheetHandlers\\{AF7753A8-95B7-4109-AA58-9401DD9A8970}";
    EXPECT_EQ(ClassesValue(kShellExtKey), "Varnix WIA shell extension Class");
    EXPECT_EQ(ClassesValue(std::string(kShellExtKey) + "\\InprocServer32"), std::string(path));
    EXPECT_EQ(ClassesValue(std::string(kShellExtKey) + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(ClassesValue(contextMenu), "Varnix extension");
    EXPECT_EQ(ClassesValue(propertySheet), "Varnix extension");
    bool typeLibrary = false;
    for (const auto& line : platform::testing::TakeDebugOutput())
        typeLibrary = typeLibrary || line.find("type library") != std::string::npos;
    EXPECT_TRUE(typeLibrary);

    // Registered, the class is created as the shell creates it.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    {
        Held<IShellExtInit> created;
        EXPECT_EQ(CoCreateInstance(kShellExtClass, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, created.Raw()),
                  S_OK);
    }
    CoUninitialize();

    // A neighbour under the device class's handlers stays.
    HKEY other = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, (std::string(kDeviceClassKey) + "\\shellex\\ContextMenuHandlers\\Other").c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &other, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(other);

    ASSERT_EQ(module.Unregister(), S_OK);
    EXPECT_FALSE(ClassesKeyExists(kShellExtKey));
    EXPECT_FALSE(ClassesKeyExists(contextMenu));
    EXPECT_FALSE(ClassesKeyExists(propertySheet));
    EXPECT_TRUE(ClassesKeyExists(std::string(kDeviceClassKey) + "\\shellex\\ContextMenuHandlers\\Other"));
    EXPECT_TRUE(ClassesKeyExists(std::string(kDeviceClassKey) + "\\shellex\\PropertySheetHandlers"));
    // Unregistering twice finds nothing to remove.
    EXPECT_EQ(module.Unregister(), S_OK);
}

struct ClassCase {
    const char* name;
    const char* module;
    CLSID clsid;
    IID iid;
    HRESULT expected;
};

// The same server built with a script that names another class id.
constexpr CLSID kOtherClass = {0x12345678, 0x95B7, 0x4109, {0xAA, 0x58, 0x94, 0x01, 0xDD, 0x9A, 0x89, 0x70}};

TEST(ServerClasses, ClassObjectsByIdAndTheModulesUnloadAnswer) {
    const ClassCase cases[] = {
        {"shell extension", "PelidorU.dll", kShellExtClass, IID_IClassFactory, S_OK},
        {"user-interface extension", "PelidorU.dll", kUiExtensionClass, IID_IClassFactory, S_OK},
        {"factory as unknown", "PelidorU.dll", kShellExtClass, IID_IUnknown, S_OK},
        {"no such interface", "PelidorU.dll", kShellExtClass, IID_IShellExtInit, E_NOINTERFACE},
        {"another class", "PelidorU.dll", IID_IWiaItem, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"the null class", "PelidorU.dll", GUID_NULL, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"script with another id: that id", "PropextOtherId.dll", kOtherClass, IID_IClassFactory, S_OK},
        {"script with another id: not the built-in one", "PropextOtherId.dll", kShellExtClass, IID_IClassFactory,
         CLASS_E_CLASSNOTAVAILABLE},
        {"script without an id: no shell extension", "PropextNoId.dll", GUID_NULL, IID_IClassFactory,
         CLASS_E_CLASSNOTAVAILABLE},
        {"script without an id: the other class still", "PropextNoId.dll", kUiExtensionClass, IID_IClassFactory,
         S_OK},
    };
    for (const auto& c : cases) {
        ServerModule module(c.module);
        ASSERT_TRUE(module.Loaded()) << c.name;
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(module.GetClassObject(c.clsid, c.iid, &out), c.expected) << c.name;
        if (SUCCEEDED(c.expected)) {
            ASSERT_NE(out, nullptr) << c.name;
            EXPECT_EQ(module.CanUnloadNow(), S_FALSE) << c.name;
            EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 0u) << c.name;
        } else {
            EXPECT_EQ(out, nullptr) << c.name;
        }
        EXPECT_EQ(module.CanUnloadNow(), S_OK) << c.name;
    }
}

TEST(ServerClasses, ObjectsKeepTheModuleAndAnswerTheirInterfaces) {
    ServerModule module;
    Held<IClassFactory> factory;
    ASSERT_EQ(module.GetClassObject(kShellExtClass, IID_IClassFactory, factory.Raw()), S_OK);
    IUnknown* outer = reinterpret_cast<IUnknown*>(factory.p);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    Held<IShellExtInit> init;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, init.Raw()), S_OK);
    factory->Release();
    factory.p = nullptr;
    EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
    Held<IContextMenu> menu;
    Held<IShellPropSheetExt> sheet;
    Held<IUnknown> unknown;
    EXPECT_EQ(init->QueryInterface(IID_IContextMenu, menu.Raw()), S_OK);
    EXPECT_EQ(init->QueryInterface(IID_IShellPropSheetExt, sheet.Raw()), S_OK);
    EXPECT_EQ(menu->QueryInterface(IID_IUnknown, unknown.Raw()), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.p), static_cast<void*>(init.p)) << "one identity";
    void* none = nullptr;
    EXPECT_EQ(init->QueryInterface(IID_IWiaItem, &none), E_NOINTERFACE);

    Held<IClassFactory> uiFactory;
    ASSERT_EQ(module.GetClassObject(kUiExtensionClass, IID_IClassFactory, uiFactory.Raw()), S_OK);
    Held<IWiaUIExtension> ui;
    ASSERT_EQ(uiFactory->CreateInstance(nullptr, IID_IWiaUIExtension, ui.Raw()), S_OK);
    EXPECT_EQ(ui->DeviceDialog(nullptr), E_NOTIMPL);
    EXPECT_EQ(ui->GetDeviceIcon(nullptr, nullptr, 32), E_NOTIMPL);
    EXPECT_EQ(ui->GetDeviceBitmapLogo(nullptr, nullptr, 64, 64), E_NOTIMPL);
    // A server lock alone keeps the module.
    ui.p->Release();
    ui.p = nullptr;
    init.p->Release();
    init.p = nullptr;
    menu.p->Release();
    menu.p = nullptr;
    sheet.p->Release();
    sheet.p = nullptr;
    unknown.p->Release();
    unknown.p = nullptr;
    EXPECT_EQ(uiFactory->LockServer(TRUE), S_OK);
    uiFactory.p->Release();
    uiFactory.p = nullptr;
    EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
    Held<IClassFactory> again;
    ASSERT_EQ(module.GetClassObject(kUiExtensionClass, IID_IClassFactory, again.Raw()), S_OK);
    EXPECT_EQ(again->LockServer(FALSE), S_OK);
    again.p->Release();
    again.p = nullptr;
    EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

// Loading the module touches no device value; the first class object
// seeds them. In a process of its own, where nothing loaded the module yet.
int LoadThenCreate(const std::vector<std::string>&) {
    ServerModule module;
    if (!module.Loaded()) return 10;
    if (CurrentPrefeed() != Prefeed{} || DefaultPrefeed() != Prefeed{}) return 11;
    Held<IShellExtInit> init;
    if (module.CreateShellExt(init.Out()) != S_OK) return 12;
    if (CurrentPrefeed() != (Prefeed{1, 1500, 13}) || DefaultPrefeed() != (Prefeed{1, 1500, 13})) return 13;
    return 0;
}

const bool kRoles = platform::testing::RegisterChildRole("propext-load", LoadThenCreate);

TEST(ServerLoad, DeviceValuesWaitForTheFirstObject) {
    ASSERT_FALSE(platform::testing::InstallStillImageDevice(ScannerEntry()).empty());
    platform::testing::ChildProcess child("propext-load");
    ASSERT_TRUE(child.Started());
    EXPECT_EQ(child.Wait(), 0) << "11: values written at load; 13: not seeded by the first object";
}

}  // namespace
