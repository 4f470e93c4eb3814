// The shell extension as the shell drives it: Initialize from a data
// object, the context menu's items and verbs, and its commands.
#include "DataObjects.h"
#include "ServerSupport.h"

#include <platform/testing.h>
#include <platform/testing_ui.h>

#include <cstring>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace propext_test;

class ShellExtTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::testing::SetLanguage(0x0409);
        ASSERT_TRUE(module_.Loaded());
        ASSERT_EQ(module_.CreateShellExt(init_.Out()), S_OK);
        ASSERT_EQ(init_->QueryInterface(IID_IContextMenu, menu_.Raw()), S_OK);
    }

    ServerModule module_;
    Held<IShellExtInit> init_;
    Held<IContextMenu> menu_;
};

struct CommandStringCase {
    const char* name;
    UINT_PTR offset;
    UINT type;
    UINT size;        // characters
    bool buffer;      // a buffer is passed
    HRESULT expected;
    const char* text;  // what the buffer holds afterwards
};

TEST_F(ShellExtTest, CommandStringsHonourTheBuffer) {
    const CommandStringCase cases[] = {
        {"calibrate verb", 0, GCS_VERBA, 32, true, S_OK, "Calibrate"},
        {"clean verb", 1, GCS_VERBA, 32, true, S_OK, "Clean"},
        {"clean wide verb", 1, GCS_VERBW, 32, true, S_OK, "Clean"},
        {"calibrate wide validate", 0, GCS_VALIDATEW, 32, true, S_OK, "Calibrate"},
        {"clean validate", 1, GCS_VALIDATEA, 32, true, S_OK, "Clean"},
        {"validate without a buffer", 0, GCS_VALIDATEA, 32, false, S_OK, nullptr},
        {"help text", 0, GCS_HELPTEXTA, 32, true, E_FAIL, "#####"},
        {"wide help text", 1, GCS_HELPTEXTW, 32, true, E_FAIL, "#####"},
        {"third offset", 2, GCS_VERBA, 32, true, E_FAIL, "#####"},
        {"exactly fits", 1, GCS_VERBA, 6, true, S_OK, "Clean"},
        {"one short", 1, GCS_VERBA, 5, true, S_OK, "Clea"},
        {"wide one short", 0, GCS_VERBW, 4, true, S_OK, "Cal"},
        {"one character", 0, GCS_VERBA, 1, true, S_OK, ""},
        {"size zero", 0, GCS_VERBA, 0, true, S_OK, "#####"},
        {"wide size zero", 1, GCS_VERBW, 0, true, S_OK, "#####"},
    };
    for (const auto& c : cases) {
        const bool wide = c.type & GCS_UNICODE;
        // A guard after the buffer catches a copy past its size.
        std::vector<wchar_t> wideBuffer(40, L'#');
        std::vector<char> narrowBuffer(40, '#');
        wideBuffer[5] = narrowBuffer[5] = 0;
        CHAR* buffer = nullptr;
        if (c.buffer) buffer = wide ? reinterpret_cast<CHAR*>(wideBuffer.data()) : narrowBuffer.data();
        EXPECT_EQ(menu_->GetCommandString(c.offset, c.type, nullptr, buffer, c.size), c.expected) << c.name;
        if (c.text == nullptr) continue;
        std::string got;
        if (wide) {
            for (const wchar_t* w = wideBuffer.data(); *w; ++w) got += static_cast<char>(*w);
        } else {
            got = narrowBuffer.data();
        }
        EXPECT_EQ(got, c.text) << c.name;
        for (size_t i = std::max<size_t>(c.size, 10); i < 40; ++i) {
            EXPECT_EQ(wide ? static_cast<int>(wideBuffer[i]) : static_cast<int>(narrowBuffer[i]), '#')
                << c.name << " wrote at " << i;
        }
    }
}

TEST_F(ShellExtTest, MenuGetsBothItemsAtTheIndex) {
    HMENU menu = CreatePopupMenu();
    ASSERT_TRUE(InsertMenuA(menu, 0, MF_BYPOSITION | MF_STRING, 1, "Open"));
    ASSERT_TRUE(InsertMenuA(menu, 1, MF_BYPOSITION | MF_STRING, 2, "Properties"));
    EXPECT_EQ(menu_->QueryContextMenu(menu, 1, 100, 200, CMF_NORMAL), 2);
    ASSERT_EQ(GetMenuItemCount(menu), 4);
    const std::vector<std::pair<std::string, UINT>> expected = {
        {"Open", 1}, {"Calibrate", 100}, {"Clean", 101}, {"Properties", 2}};
    for (int i = 0; i < 4; ++i) {
        char text[64] = {};
        GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        EXPECT_EQ(text, expected[static_cast<size_t>(i)].first);
        EXPECT_EQ(GetMenuItemID(menu, i), expected[static_cast<size_t>(i)].second);
    }
    DestroyMenu(menu);
    EXPECT_EQ(menu_->QueryContextMenu(menu, 0, 100, 200, CMF_NORMAL), E_FAIL) << "a destroyed menu";
}

TEST_F(ShellExtTest, OnlyTheTwoOffsetsAreCommands) {
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = "Calibrate";
    EXPECT_EQ(menu_->InvokeCommand(&info), E_FAIL) << "a verb given as a string";
    info.lpVerb = MAKEINTRESOURCEA(2);
    EXPECT_EQ(menu_->InvokeCommand(&info), E_FAIL);
    EXPECT_EQ(menu_->InvokeCommand(nullptr), E_INVALIDARG);
    EXPECT_TRUE(platform::testing::MessageBoxes().empty());
}

// The command offsets run the commands: with no library they say the
// scanner is not there, in the command's caption.
TEST_F(ShellExtTest, OffsetsRunCalibrateAndClean) {
    platform::testing::Hide("Pelidor.dll");
    platform::testing::ScriptUser({"answer:1", "answer:1"});
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = MAKEINTRESOURCEA(0);
    EXPECT_EQ(menu_->InvokeCommand(&info), E_FAIL);
    info.lpVerb = MAKEINTRESOURCEA(1);
    EXPECT_EQ(menu_->InvokeCommand(&info), E_FAIL);
    const auto boxes = platform::testing::MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Calibrate");
    EXPECT_EQ(boxes[1].caption, "Clean");
    EXPECT_NE(boxes[0].text.find("not powered on"), std::string::npos);
}

struct InitializeCase {
    const char* name;
    std::function<IDataObject*()> make;
    HRESULT expected;
};

TEST_F(ShellExtTest, InitializeTakesARootItemOrOneDeviceName) {
    const InitializeCase cases[] = {
        {"no data object", [] { return static_cast<IDataObject*>(nullptr); }, E_INVALIDARG},
        {"the device's root item",
         [] {
             auto* item = new TestItem(WiaItemTypeRoot | WiaItemTypeFolder | WiaItemTypeDevice);
             IDataObject* object = TestDataObject::WithItem(item);
             item->Release();
             return object;
         },
         S_OK},
        {"an item that is not the root",
         [] {
             auto* item = new TestItem(WiaItemTypeFile | WiaItemTypeImage);
             IDataObject* object = TestDataObject::WithItem(item);
             item->Release();
             return object;
         },
         E_FAIL},
        {"neither item nor names", [] { return static_cast<IDataObject*>(TestDataObject::Empty()); }, E_FAIL},
        {"two names", [] { return static_cast<IDataObject*>(TestDataObject::WithNames(std::vector<std::wstring>{L"a", L"b"})); }, E_FAIL},
        {"an item's name", [] { return static_cast<IDataObject*>(TestDataObject::WithNames(std::vector<std::wstring>{L"a:b"})); }, E_FAIL},
        {"no names", [] { return static_cast<IDataObject*>(TestDataObject::WithNames(std::vector<std::wstring>{})); },
         E_FAIL},
        {"a block without its end",
         [] { return static_cast<IDataObject*>(TestDataObject::WithBlock(std::vector<wchar_t>{L'a', 0})); }, E_FAIL},
    };
    for (const auto& c : cases) {
        Held<IShellExtInit> init;
        ASSERT_EQ(module_.CreateShellExt(init.Out()), S_OK);
        IDataObject* object = c.make();
        EXPECT_EQ(init->Initialize(nullptr, object, nullptr), c.expected) << c.name;
        if (object) object->Release();
    }
}

TEST_F(ShellExtTest, TheItemIsHeldUntilTheExtensionGoes) {
    auto* item = new TestItem(WiaItemTypeRoot);
    IDataObject* object = TestDataObject::WithItem(item);
    Held<IShellExtInit> init;
    ASSERT_EQ(module_.CreateShellExt(init.Out()), S_OK);
    ASSERT_EQ(init->Initialize(nullptr, object, nullptr), S_OK);
    object->Release();
    EXPECT_EQ(item->Refs(), 2u);
    // Initialized again, the first item is let go.
    auto* second = new TestItem(WiaItemTypeRoot);
    IDataObject* other = TestDataObject::WithItem(second);
    ASSERT_EQ(init->Initialize(nullptr, other, nullptr), S_OK);
    other->Release();
    EXPECT_EQ(item->Refs(), 1u);
    init.p->Release();
    init.p = nullptr;
    EXPECT_EQ(second->Refs(), 1u);
    item->Release();
    second->Release();
}

}  // namespace
