// The WIA device manager as an application in another process gets it from
// COM: the service host runs as its own process over the virtual scanner,
// this test is the application.
#include "WiaFixture.h"

#include <emulator/ImageDeviceEntry.h>
#include <platform/testing.h>
#include <platform/com_holder.h>
#include <platform/testing_io.h>

#include <objbase.h>
#include <oleauto.h>
#include <sti.h>
#include <wia.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace wiadevice {
namespace {

using namespace std::chrono_literals;

using platform::Held;

// A BSTR freed at the end of its scope.
struct Text {
    BSTR b;
    explicit Text(const std::wstring& s) : b(SysAllocString(s.c_str())) {}
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    ~Text() { SysFreeString(b); }
};

PROPSPEC ById(PROPID id) {
    PROPSPEC p{};
    p.ulKind = PRSPEC_PROPID;
    p.propid = id;
    return p;
}

PROPSPEC ByName(const wchar_t* name) {
    PROPSPEC p{};
    p.ulKind = PRSPEC_LPWSTR;
    p.lpwstr = const_cast<LPOLESTR>(name);
    return p;
}

PROPVARIANT Long(LONG v) {
    PROPVARIANT value{};
    value.vt = VT_I4;
    value.lVal = v;
    return value;
}

class WiaDeviceManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::testing::SetWindowsVersion(5, 1);
        // The host makes the device requests: the scanner keeps the real clock.
        scanner_ = std::make_unique<emulator::VirtualScanner>(
            "RM310-GL841", emulator::SwitchOverrides{{"speed", "8"}, {"clock", "real"}});
        scanner_->Serve(platform::testing::Root(), 0);
        ASSERT_FALSE(
            platform::testing::InstallStillImageDevice(emulator::ImageDeviceEntry("RM310-GL841", 0, *scanner_)).empty());
        ASSERT_TRUE(platform::testing::StartImageService());
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_WiaDevMgr, nullptr, CLSCTX_LOCAL_SERVER, IID_IWiaDevMgr, manager_.Raw()),
                  S_OK);
        ASSERT_NE(manager_.p, nullptr);
    }
    void TearDown() override {
        if (manager_.p) manager_.p->Release();
        manager_.p = nullptr;
        CoUninitialize();
        platform::testing::StopImageService();
        for (const auto& v : scanner_->Violations()) ADD_FAILURE() << "violation " << v.rule << ": " << v.text;
        scanner_->StopServing();
    }

    // The identifier of the only device, from the device information.
    std::wstring DeviceId() {
        Held<IEnumWIA_DEV_INFO> devices;
        if (manager_->EnumDeviceInfo(WIA_DEVINFO_ENUM_LOCAL, devices.Out()) != S_OK) return {};
        Held<IWiaPropertyStorage> info;
        ULONG fetched = 0;
        if (devices->Next(1, info.Out(), &fetched) != S_OK || fetched != 1) return {};
        PROPSPEC which = ById(WIA_DIP_DEV_ID);
        PROPVARIANT value{};
        if (info->ReadMultiple(1, &which, &value) != S_OK || value.vt != VT_BSTR) return {};
        std::wstring id = value.bstrVal;
        PropVariantClear(&value);
        return id;
    }

    // The root's first child, the feeder.
    HRESULT Feeder(IWiaItem* root, IWiaItem** feeder) {
        Held<IEnumWiaItem> children;
        const HRESULT listed = root->EnumChildItems(children.Out());
        if (listed != S_OK) return listed;
        ULONG fetched = 0;
        return children->Next(1, feeder, &fetched);
    }

    std::unique_ptr<emulator::VirtualScanner> scanner_;
    Held<IWiaDevMgr> manager_;
};

TEST_F(WiaDeviceManagerTest, DeviceInformationNamesTheInstalledScanner) {
    const auto installed = platform::wia::ListDevices();
    ASSERT_EQ(installed.size(), 1u);
    Held<IEnumWIA_DEV_INFO> devices;
    ASSERT_EQ(manager_->EnumDeviceInfo(WIA_DEVINFO_ENUM_LOCAL, devices.Out()), S_OK);
    ULONG count = 0;
    ASSERT_EQ(devices->GetCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    IWiaPropertyStorage* got[2] = {};
    ULONG fetched = 0;
    ASSERT_EQ(devices->Next(2, got, &fetched), S_FALSE) << "one device where two were asked";
    ASSERT_EQ(fetched, 1u);
    Held<IWiaPropertyStorage> info;
    info.p = got[0];

    // By identifier and by name; one unknown property among them.
    PROPSPEC which[] = {ById(WIA_DIP_DEV_ID), ById(WIA_DIP_DEV_NAME), ById(WIA_DIP_DEV_TYPE),
                        ById(WIA_DIP_PORT_NAME), ByName(L"Unique Device ID"), ById(9999)};
    PROPVARIANT values[6] = {};
    ASSERT_EQ(info->ReadMultiple(6, which, values), S_OK);
    ASSERT_EQ(values[0].vt, VT_BSTR);
    EXPECT_EQ(std::wstring(values[0].bstrVal), installed[0].name);
    ASSERT_EQ(values[1].vt, VT_BSTR);
    EXPECT_EQ(std::wstring(values[1].bstrVal), installed[0].description);
    ASSERT_EQ(values[2].vt, VT_I4);
    EXPECT_EQ(values[2].lVal >> 16, StiDeviceTypeScanner);
    ASSERT_EQ(values[3].vt, VT_BSTR);
    EXPECT_EQ(std::wstring(values[3].bstrVal), installed[0].port);
    ASSERT_EQ(values[4].vt, VT_BSTR);
    EXPECT_EQ(std::wstring(values[4].bstrVal), installed[0].name);
    EXPECT_EQ(values[5].vt, VT_EMPTY);
    for (auto& v : values) PropVariantClear(&v);

    PROPSPEC unknown = ById(9999);
    PROPVARIANT none{};
    EXPECT_EQ(info->ReadMultiple(1, &unknown, &none), S_FALSE);
    PROPVARIANT name = Long(1);
    EXPECT_EQ(info->WriteMultiple(1, which, &name, 2), STG_E_ACCESSDENIED) << "device information is read-only";
}

TEST_F(WiaDeviceManagerTest, CreateDeviceGivesTheRootOfAServedDeviceOnly) {
    const std::wstring id = DeviceId();
    ASSERT_FALSE(id.empty());
    Held<IWiaItem> root;
    ASSERT_EQ(manager_->CreateDevice(Text(id).b, root.Out()), S_OK);
    LONG type = 0;
    ASSERT_EQ(root->GetItemType(&type), S_OK);
    EXPECT_TRUE(type & WiaItemTypeRoot);

    Held<IWiaPropertyStorage> storage;
    ASSERT_EQ(root->QueryInterface(IID_IWiaPropertyStorage, storage.Raw()), S_OK);
    PROPSPEC which[] = {ById(WIA_DIP_DEV_ID), ById(WIA_DPS_DOCUMENT_HANDLING_SELECT), ById(9999)};
    PROPVARIANT values[3] = {};
    ASSERT_EQ(storage->ReadMultiple(3, which, values), S_OK);
    ASSERT_EQ(values[0].vt, VT_BSTR);
    EXPECT_EQ(std::wstring(values[0].bstrVal), id);
    EXPECT_EQ(values[1].vt, VT_I4);
    EXPECT_EQ(values[2].vt, VT_EMPTY);
    for (auto& v : values) PropVariantClear(&v);

    // The item hands out its root and goes back to IWiaItem.
    Held<IWiaItem> again;
    ASSERT_EQ(storage->QueryInterface(IID_IWiaItem, again.Raw()), S_OK);
    Held<IWiaItem> itsRoot;
    ASSERT_EQ(again->GetRootItem(itsRoot.Out()), S_OK);
    ASSERT_EQ(itsRoot->GetItemType(&type), S_OK);
    EXPECT_TRUE(type & WiaItemTypeRoot);

    struct Row {
        const wchar_t* id;
        HRESULT expected;
    };
    for (const Row r : {Row{L"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0099", WIA_S_NO_DEVICE_AVAILABLE},
                        Row{L"", WIA_S_NO_DEVICE_AVAILABLE}}) {
        Held<IWiaItem> none;
        EXPECT_EQ(manager_->CreateDevice(Text(r.id).b, none.Out()), r.expected);
        EXPECT_EQ(none.p, nullptr);
    }
    Held<IWiaItem> none;
    EXPECT_EQ(manager_->CreateDevice(nullptr, none.Out()), E_INVALIDARG);
    EXPECT_EQ(manager_->CreateDevice(Text(id).b, nullptr), E_POINTER);
}

TEST_F(WiaDeviceManagerTest, OnlyAsALocalServerAndNeverAggregated) {
    struct Row {
        DWORD context;
        bool outer;
        HRESULT expected;
    };
    for (const Row r : {Row{CLSCTX_INPROC_SERVER, false, REGDB_E_CLASSNOTREG}, Row{CLSCTX_ALL, false, S_OK},
                        Row{CLSCTX_LOCAL_SERVER, true, CLASS_E_NOAGGREGATION}}) {
        Held<IUnknown> object;
        EXPECT_EQ(CoCreateInstance(CLSID_WiaDevMgr, r.outer ? manager_.p : nullptr, r.context,
                                   r.outer ? IID_IUnknown : IID_IWiaDevMgr, object.Raw()),
                  r.expected)
            << r.context;
        EXPECT_EQ(object.p != nullptr, r.expected == S_OK);
    }
}

TEST_F(WiaDeviceManagerTest, FeederPropertiesAreValidatedByTheDriver) {
    Held<IWiaItem> root;
    ASSERT_EQ(manager_->CreateDevice(Text(DeviceId()).b, root.Out()), S_OK);
    Held<IWiaItem> feeder;
    ASSERT_EQ(Feeder(root.p, feeder.Out()), S_OK);
    LONG type = 0;
    ASSERT_EQ(feeder->GetItemType(&type), S_OK);
    EXPECT_FALSE(type & WiaItemTypeRoot);
    Held<IWiaPropertyStorage> storage;
    ASSERT_EQ(feeder->QueryInterface(IID_IWiaPropertyStorage, storage.Raw()), S_OK);

    // Writes the driver refuses leave every value as it was.
    struct Row {
        const char* what;
        PROPID id;
        PROPVARIANT value;
        HRESULT expected;
    };
    PROPVARIANT text{};
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(L"300");
    const Row refused[] = {
        {"resolution off the list", WIA_IPS_XRES, Long(123), E_INVALIDARG},
        {"a read-only property", WIA_IPA_PIXELS_PER_LINE, Long(100), E_INVALIDARG},
        {"text for a number", WIA_IPS_XRES, text, E_INVALIDARG},
    };
    PROPSPEC xres = ById(WIA_IPS_XRES);
    PROPVARIANT before{};
    ASSERT_EQ(storage->ReadMultiple(1, &xres, &before), S_OK);
    for (const Row& r : refused) {
        PROPSPEC which = ById(r.id);
        EXPECT_EQ(storage->WriteMultiple(1, &which, &r.value, 2), r.expected) << r.what;
        PROPVARIANT now{};
        ASSERT_EQ(storage->ReadMultiple(1, &xres, &now), S_OK);
        EXPECT_EQ(now.lVal, before.lVal) << r.what;
    }
    SysFreeString(text.bstrVal);

    // A write the driver takes: the vertical resolution follows, the
    // extent is rescaled, and a name works as well as an identifier.
    PROPSPEC written[] = {ById(WIA_IPS_XRES), ByName(L"Data Type")};
    PROPVARIANT values[] = {Long(300), Long(WIA_DATA_COLOR)};
    ASSERT_EQ(storage->WriteMultiple(2, written, values, 2), S_OK);
    PROPSPEC after[] = {ById(WIA_IPS_YRES), ById(WIA_IPA_DATATYPE), ById(WIA_IPA_DEPTH)};
    PROPVARIANT read[3] = {};
    ASSERT_EQ(storage->ReadMultiple(3, after, read), S_OK);
    EXPECT_EQ(read[0].lVal, 300) << "the vertical resolution follows";
    EXPECT_EQ(read[1].lVal, WIA_DATA_COLOR);
    EXPECT_EQ(read[2].lVal, 24);

    // Valid values: the resolutions as a list or range, the data types as
    // a list holding colour, the format as a list of identifiers.
    PROPSPEC asked[] = {ById(WIA_IPS_XRES), ById(WIA_IPA_DATATYPE), ById(WIA_IPA_FORMAT), ById(9999)};
    ULONG flags[4] = {};
    PROPVARIANT valid[4] = {};
    ASSERT_EQ(storage->GetPropertyAttributes(4, asked, flags, valid), S_OK);
    EXPECT_TRUE(flags[0] & WIA_PROP_WRITE);
    ASSERT_TRUE(flags[0] & (WIA_PROP_LIST | WIA_PROP_RANGE));
    ASSERT_EQ(valid[0].vt, VT_VECTOR | VT_I4);
    if (flags[0] & WIA_PROP_LIST) {
        const LONG n = valid[0].cal.pElems[WIA_LIST_COUNT];
        ASSERT_EQ(valid[0].cal.cElems, static_cast<ULONG>(n + WIA_LIST_VALUES));
        EXPECT_NE(std::find(valid[0].cal.pElems + WIA_LIST_VALUES, valid[0].cal.pElems + n + WIA_LIST_VALUES, 300),
                  valid[0].cal.pElems + n + WIA_LIST_VALUES);
    } else {
        ASSERT_EQ(valid[0].cal.cElems, 4u);
        EXPECT_LE(valid[0].cal.pElems[WIA_RANGE_MIN], 300);
        EXPECT_GE(valid[0].cal.pElems[WIA_RANGE_MAX], 300);
    }
    EXPECT_TRUE(flags[1] & WIA_PROP_LIST);
    ASSERT_EQ(valid[1].vt, VT_VECTOR | VT_I4);
    const LONG types = valid[1].cal.pElems[WIA_LIST_COUNT];
    EXPECT_NE(std::find(valid[1].cal.pElems + WIA_LIST_VALUES, valid[1].cal.pElems + types + WIA_LIST_VALUES,
                        WIA_DATA_COLOR),
              valid[1].cal.pElems + types + WIA_LIST_VALUES);
    EXPECT_EQ(valid[2].vt, VT_VECTOR | VT_CLSID);
    EXPECT_EQ(flags[3], 0u);
    EXPECT_EQ(valid[3].vt, VT_EMPTY);
    for (auto& v : valid) PropVariantClear(&v);
    for (auto& v : read) PropVariantClear(&v);
}

TEST_F(WiaDeviceManagerTest, PrefeedUsesTheValuesAnotherProcessWrote) {
    // What the device's property page does: the device values through the
    // Still Image client, then the host's prefeed draws the sheet in.
    IStillImageW* still = nullptr;
    ASSERT_EQ(StiCreateInstanceW(GetModuleHandleA(nullptr), STI_VERSION, &still, nullptr), S_OK);
    std::wstring device = DeviceId();
    ASSERT_FALSE(device.empty());
    struct Value {
        const wchar_t* name;
        DWORD value;
    };
    for (const Value v : {Value{L"PrefeedEnable", 1}, Value{L"PrefeedDelayInMs", 200}, Value{L"PrefeedDistance", 25}}) {
        DWORD data = v.value;
        EXPECT_EQ(still->SetDeviceValue(device.data(), const_cast<LPWSTR>(v.name), REG_DWORD,
                                        reinterpret_cast<LPBYTE>(&data), sizeof data),
                  S_OK);
    }
    still->Release();

    platform::wia::ServiceClient events;
    events.Events(0);
    const int64_t before = scanner_->MotorPosition();
    scanner_->InsertSheet(WriteSheet("front.pgm"));
    bool paperIn = false;
    for (int i = 0; i < 20 && !paperIn; ++i) {
        for (const auto& e : events.Events(1000)) paperIn = paperIn || e.deviceId == device;
    }
    ASSERT_TRUE(paperIn) << "the insertion reached the host";
    // 25/100 inch at 600 steps per inch.
    int64_t last = scanner_->MotorPosition();
    for (int stillFor = 0, i = 0; i < 400 && stillFor < 10; ++i) {
        std::this_thread::sleep_for(50ms);
        const int64_t now = scanner_->MotorPosition();
        stillFor = now == last && now != before && scanner_->Engine() == emulator::EngineState::Idle ? stillFor + 1
                                                                                                       : 0;
        last = now;
    }
    EXPECT_NEAR(static_cast<double>(last - before), 150, 2.0);
}

}  // namespace
}  // namespace wiadevice
