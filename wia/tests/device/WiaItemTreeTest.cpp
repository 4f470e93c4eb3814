// The item tree, its property tables for WIA 1 and WIA 2, the capability
// and format tables, validation against the opened scanner and the mapping
// onto the library's properties.
#include "WiaFixture.h"

#include <SIInterface.h>
#include <SIPropertyIds.h>
#include <SIRecord.h>

#include <oleauto.h>
#include <windows.h>
#include <wia.h>

namespace wiadevice {
namespace {

using platform::wia::DeviceService;

// The scanner library the driver has loaded (the same module).
SIProperty LibraryProperty(uint16_t id) {
    HMODULE module = LoadLibraryA("Pelidor.dll");
    auto get = reinterpret_cast<SIResult (*)(SIProperty*)>(
        reinterpret_cast<void*>(GetProcAddress(module, "SI_GetProperty")));
    SIProperty p = si_record::Request(id);
    if (get) get(&p);
    FreeLibrary(module);
    return p;
}

LONG Long(DeviceService& service, BYTE* item, PROPID id) {
    LONG value = -12345;
    EXPECT_EQ(service.ReadLong(item, id, &value), S_OK) << id;
    return value;
}

class WiaItemTreeTest : public WiaDeviceTest {};

TEST_F(WiaItemTreeTest, RootAndFeederTablesFollowTheWiaVersion) {
    struct Version {
        DWORD major, minor;
        bool wia2;
    };
    for (const Version v : {Version{5, 1, false}, Version{6, 1, true}}) {
        Open("RM310-GL841", v.major, v.minor);
        BYTE* root = Service().Root();
        BYTE* feeder = Service().Feeder();
        ASSERT_NE(feeder, nullptr);
        EXPECT_EQ(Long(Service(), root, WIA_DPS_DOCUMENT_HANDLING_CAPABILITIES), 37);  // duplex model
        EXPECT_EQ(Long(Service(), root, WIA_DPS_DOCUMENT_HANDLING_STATUS), 5);
        LONG value = 0;
        EXPECT_EQ(Service().ReadLong(root, WIA_IPA_ACCESS_RIGHTS, &value) == S_OK, !v.wia2);
        platform::wia::PropertyInfo info;
        if (!v.wia2) {
            const LONG width = Long(Service(), root, WIA_DPS_HORIZONTAL_SHEET_FEED_SIZE);
            const LONG optical = Long(Service(), root, WIA_DPS_OPTICAL_XRES);
            EXPECT_GT(optical, 0) << "the optical resolution is known at the root already";
            EXPECT_GT(width, 1000);
            ASSERT_TRUE(Service().Info(root, WIA_DPS_DOCUMENT_HANDLING_SELECT, &info));
            EXPECT_EQ(info.access, 67u);
            EXPECT_EQ(info.validBits, 45);
        }
        GUID format{};
        ASSERT_EQ(Service().ReadGuid(feeder, WIA_IPA_FORMAT, &format), S_OK);
        EXPECT_TRUE(IsEqualGUID(format, v.wia2 ? WiaImgFmt_BMP : WiaImgFmt_MEMORYBMP));
        EXPECT_EQ(Long(Service(), feeder, WIA_IPA_TYMED), v.wia2 ? TYMED_FILE : TYMED_CALLBACK);
        EXPECT_EQ(Long(Service(), feeder, WIA_IPA_ITEM_SIZE) == 0, v.wia2) << "file media have no item size";
        ASSERT_TRUE(Service().Info(feeder, WIA_IPS_BRIGHTNESS, &info));
        EXPECT_EQ(info.access, 65555u);
        EXPECT_EQ(info.min, -1000);
        EXPECT_EQ(info.max, 1000);
        ASSERT_TRUE(Service().Info(feeder, WIA_IPA_DATATYPE, &info));
        EXPECT_EQ(info.list, (std::vector<LONG>{0, 2, 3}));
        if (v.wia2) {
            ASSERT_TRUE(Service().Info(feeder, WIA_DPS_DOCUMENT_HANDLING_SELECT, &info));
            EXPECT_EQ(info.validBits, 44);
            EXPECT_GT(Long(Service(), feeder, WIA_IPS_MAX_HORIZONTAL_SIZE), 0);
        }
        CloseDriver();
        Scanner().StopServing();
        scanner_.reset();
    }
}

TEST_F(WiaItemTreeTest, CapabilitiesFormatsAndFixedAnswers) {
    Open("RM310-GL841", 5, 1);
    std::vector<platform::wia::Capability> caps;
    ASSERT_EQ(Service().Capabilities(WIA_DEVICE_COMMANDS | WIA_DEVICE_EVENTS, &caps), S_OK);
    ASSERT_EQ(caps.size(), 5u);  // two registry events
    EXPECT_TRUE(IsEqualGUID(caps[0].guid, WIA_EVENT_DEVICE_CONNECTED));
    EXPECT_TRUE(IsEqualGUID(caps[1].guid, WIA_EVENT_DEVICE_DISCONNECTED));
    // The registry's events in its order.
    EXPECT_TRUE((caps[2].name == L"ScanButton" && caps[3].name == L"PaperIn") ||
                (caps[2].name == L"PaperIn" && caps[3].name == L"ScanButton"));
    EXPECT_EQ(caps[2].flags, 3u);
    EXPECT_EQ(caps[3].flags, 3u);
    EXPECT_EQ(caps[4].name, L"Synchronize");
    EXPECT_EQ(caps[4].icon, L"sti.dll,-2000");
    ASSERT_EQ(Service().Capabilities(WIA_DEVICE_COMMANDS, &caps), S_OK);
    ASSERT_EQ(caps.size(), 1u);
    EXPECT_TRUE(IsEqualGUID(caps[0].guid, WIA_CMD_SYNCHRONIZE));
    ASSERT_EQ(Service().Capabilities(WIA_DEVICE_EVENTS, &caps), S_OK);
    EXPECT_EQ(caps.size(), 4u);
    EXPECT_EQ(Service().Capabilities(4, &caps), E_INVALIDARG);

    IWiaMiniDrv* driver = Service().Driver();
    LONG count = 0;
    WIA_FORMAT_INFO* first = nullptr;
    LONG error = 0;
    ASSERT_EQ(driver->drvGetWiaFormatInfo(Service().Feeder(), 0, &count, &first, &error), S_OK);
    ASSERT_EQ(count, 2);
    EXPECT_TRUE(IsEqualGUID(first[0].guidFormatID, WiaImgFmt_MEMORYBMP));
    EXPECT_EQ(first[0].lTymed, TYMED_CALLBACK);
    WIA_FORMAT_INFO* root = nullptr;
    ASSERT_EQ(driver->drvGetWiaFormatInfo(Service().Root(), 0, &count, &root, &error), S_OK);
    ASSERT_EQ(count, 1);
    EXPECT_TRUE(IsEqualGUID(root[0].guidFormatID, WiaImgFmt_UNDEFINED));
    // A list handed out earlier stays readable after the next request.
    EXPECT_TRUE(IsEqualGUID(first[1].guidFormatID, WiaImgFmt_BMP));
    EXPECT_EQ(driver->drvGetWiaFormatInfo(Service().Root(), 0, nullptr, &root, &error), E_INVALIDARG);

    EXPECT_EQ(driver->drvDeleteItem(Service().Feeder(), 0, &error), STG_E_ACCESSDENIED);
    LPOLESTR text = nullptr;
    EXPECT_EQ(driver->drvGetDeviceErrorStr(0, 0, &text, &error), S_OK);
    EXPECT_EQ(std::wstring(text), L"No Error");
    CoTaskMemFree(text);
    EXPECT_EQ(driver->drvGetDeviceErrorStr(0, 7, &text, &error), E_FAIL);
    EXPECT_EQ(std::wstring(text), L"Device Error, Unknown Error");
    CoTaskMemFree(text);
}

TEST_F(WiaItemTreeTest, InitializationCountKeepsTheTreeAndSynchronizeRebuildsIt) {
    Open("RM310-GL841", 5, 1);
    IWiaMiniDrv* driver = Service().Driver();
    BYTE* root = Service().Root();
    IWiaDrvItem* again = nullptr;
    IUnknown* inner = nullptr;
    LONG error = 0;
    BSTR id = SysAllocString(L"dev");
    BSTR name = SysAllocString(L"0000\\dev\\Root");
    ASSERT_EQ(driver->drvInitializeWia(root, 0, id, name, nullptr, nullptr, &again, &inner, &error), S_OK);
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(driver->drvUnInitializeWia(root), S_OK);  // 2 → 1: the tree stays
    LONG flags = 0;
    ASSERT_EQ(again->GetItemFlags(&flags), S_OK);
    IWiaDrvItem* child = nullptr;
    EXPECT_EQ(again->GetFirstChildItem(&child), S_OK) << "the feeder is still linked";
    if (child) child->Release();
    EXPECT_EQ(driver->drvInitializeWia(nullptr, 0, id, name, nullptr, nullptr, &again, &inner, &error), E_INVALIDARG);
    SysFreeString(id);
    SysFreeString(name);

    platform::wia::TakeServiceEvents();
    ASSERT_EQ(Service().Synchronize(), S_OK);
    const auto events = platform::wia::TakeServiceEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(IsEqualGUID(events[0].event, WIA_EVENT_TREE_UPDATED));
    EXPECT_FALSE(events[0].deviceId.empty());
    EXPECT_NE(Service().Root(), root) << "a new tree";
    EXPECT_NE(Service().Feeder(), nullptr);
}

TEST_F(WiaItemTreeTest, ValidationRescalesFollowsAndRefuses) {
    Open("RM310-GL841", 5, 1);
    BYTE* feeder = Service().Feeder();
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_XRES, 150}}), S_OK);
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_XEXTENT, 400}, {WIA_IPS_XPOS, 60}, {WIA_IPS_YEXTENT, 900},
                                            {WIA_IPS_YPOS, 30}}),
              S_OK);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPA_PIXELS_PER_LINE), 400);
    EXPECT_EQ(Long(Service(), feeder, WIA_DPS_PAGE_WIDTH), 2667);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPA_NUMBER_OF_LINES), 900);

    // Only the horizontal resolution: both extents and starts follow.
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_XRES, 300}}), S_OK);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPS_YRES), 300);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPS_XEXTENT), 800);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPS_XPOS), 120);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPS_YEXTENT), 1800);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPS_YPOS), 60);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPA_PIXELS_PER_LINE), 800);
    EXPECT_EQ(Long(Service(), feeder, WIA_DPS_PAGE_WIDTH), 2667);

    // A start near the right edge, then a higher resolution: the start is
    // limited to the new largest start, the extent to the new width.
    platform::wia::PropertyInfo info;
    ASSERT_TRUE(Service().Info(feeder, WIA_IPS_XPOS, &info));
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_XPOS, info.max - 10}, {WIA_IPS_XEXTENT, 10}}), S_OK);
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_XRES, 600}}), S_OK);
    ASSERT_TRUE(Service().Info(feeder, WIA_IPS_XPOS, &info));
    EXPECT_LE(Long(Service(), feeder, WIA_IPS_XPOS), info.max);
    ASSERT_TRUE(Service().Info(feeder, WIA_IPS_XEXTENT, &info));
    EXPECT_LE(Long(Service(), feeder, WIA_IPS_XEXTENT), info.max);

    // A value outside its list is refused and nothing changes.
    const LONG before = Long(Service(), feeder, WIA_IPS_XRES);
    EXPECT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_XRES, 123}}), E_INVALIDARG);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPS_XRES), before);

    // Intent grey: data type, depth and channels follow; both resolutions 100.
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_CUR_INTENT, WIA_INTENT_IMAGE_TYPE_GRAYSCALE}}), S_OK);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPA_DATATYPE), WIA_DATA_GRAYSCALE);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPA_DEPTH), 8);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPA_CHANNELS_PER_PIXEL), 1);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPA_BITS_PER_CHANNEL), 8);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPS_XRES), 100);
    EXPECT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_CUR_INTENT, 3}}), E_INVALIDARG);

    // Depth alone sets the data type; data type alone sets the depth.
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPA_DEPTH, 1}}), S_OK);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPA_DATATYPE), WIA_DATA_THRESHOLD);
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPA_DATATYPE, WIA_DATA_COLOR}}), S_OK);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPA_DEPTH), 24);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPA_CHANNELS_PER_PIXEL), 3);

    // Item size by media: callback media carry the image size, file none.
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPA_TYMED, TYMED_FILE}}), S_OK);
    EXPECT_EQ(Long(Service(), feeder, WIA_IPA_ITEM_SIZE), 0);
    GUID format{};
    ASSERT_EQ(Service().ReadGuid(feeder, WIA_IPA_FORMAT, &format), S_OK);
    EXPECT_TRUE(IsEqualGUID(format, WiaImgFmt_BMP)) << "the format follows the medium";
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPA_TYMED, TYMED_CALLBACK}}), S_OK);
    const LONG stride = Long(Service(), feeder, WIA_IPA_BYTES_PER_LINE);
    EXPECT_EQ(stride % 4, 0);
    EXPECT_GE(Long(Service(), feeder, WIA_IPA_ITEM_SIZE),
              stride * Long(Service(), feeder, WIA_IPA_NUMBER_OF_LINES));
}

TEST_F(WiaItemTreeTest, WrittenPropertiesReachTheLibraryRescaled) {
    Open("RM310-GL841", 5, 1);
    BYTE* feeder = Service().Feeder();
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_BRIGHTNESS, 1000}, {WIA_IPS_CONTRAST, -1000}}), S_OK);
    LONG error = 0;
    ASSERT_EQ(Service().Driver()->drvWriteItemProperties(feeder, 0, nullptr, &error), S_OK);
    const SIProperty brightness = LibraryProperty(SI_PROP_BRIGHTNESS);
    const SIProperty contrast = LibraryProperty(SI_PROP_CONTRAST);
    ASSERT_EQ(brightness.container, SI_CONTAINER_RANGE);
    EXPECT_EQ(si_record::CurrentInt(brightness), IntFromSlot(brightness.value[si_record::kRangeMaximum]));
    ASSERT_EQ(contrast.container, SI_CONTAINER_RANGE);
    EXPECT_EQ(si_record::CurrentInt(contrast), IntFromSlot(contrast.value[si_record::kRangeMinimum]))
        << "contrast is rescaled like brightness";
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_BRIGHTNESS, 0}, {WIA_IPS_CONTRAST, 0}, {WIA_IPS_XRES, 200},
                                            {WIA_IPA_DATATYPE, WIA_DATA_GRAYSCALE}}),
              S_OK);
    ASSERT_EQ(Service().Driver()->drvWriteItemProperties(feeder, 0, nullptr, &error), S_OK);
    EXPECT_EQ(si_record::CurrentInt(LibraryProperty(SI_PROP_CONTRAST)), 0);
    EXPECT_EQ(si_record::CurrentInt(LibraryProperty(SI_PROP_X_RESOLUTION)), 200);
    EXPECT_EQ(si_record::CurrentInt(LibraryProperty(SI_PROP_COLOR_MODE)), 1);
}

}  // namespace
}  // namespace wiadevice
