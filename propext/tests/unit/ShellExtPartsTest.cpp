// The pieces of the shell extension that read what they are given: the
// class id from the registration script's text, and the item names of a
// data object's block.
#include "DataObjects.h"
#include "ShellExtClsid.h"
#include "WiaItemNames.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using namespace propext_test;

std::string ModuleScript() {
    std::ifstream in(std::string(PROPEXT_SOURCE_DIR) + "/PelidorU.rgs");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Text(const CLSID& clsid) {
    wchar_t text[40] = {};
    StringFromGUID2(clsid, text, 40);
    std::string narrow;
    for (const wchar_t* c = text; *c; ++c) narrow += static_cast<char>(*c);
    return narrow;
}

struct ClsidCase {
    const char* name;
    std::string script;
    const char* expected;  // null: no class served
};

TEST(ShellExtClsid, ReadFromTheContextMenuHandlerEntry) {
    const std::string script = ModuleScript();
    ASSERT_FALSE(script.empty());
    std::string other = script;
    const size_t handlers = other.find("ContextMenuHandlers");
    ASSERT_NE(handlers, std::string::npos);
    const size_t id = other.find("{AF7753A8", handlers + 1);
    ASSERT_NE(id, std::string::npos);
    other.replace(id + 1, 8, "12345678");
    const ClsidCase cases[] = {
        {"the module's script", script, "{AF7753A8-95B7-4109-AA58-9401DD9A8970}"},
        {"another id after the handlers", other, "{12345678-95B7-4109-AA58-9401DD9A8970}"},
        {"lower case", "ContextMenuHandlers { {af7753a8-95b7-4109-aa58-9401dd9a8970} }",
         "{AF7753A8-95B7-4109-AA58-9401DD9A8970}"},
        {"no handler entry", "HKCR { NoRemove CLSID { {AF7753A8-95B7-4109-AA58-9401DD9A8970} } }", nullptr},
        {"no brace after the handlers", "ContextMenuHandlers AF7753A8-95B7-4109-AA58-9401DD9A8970", nullptr},
        {"no digit after the brace", "ContextMenuHandlers { { -- }", nullptr},
        {"id cut short by the end of the text", "ContextMenuHandlers { {AF7753A8-95B7-4109", nullptr},
        {"36 characters but no class id", "ContextMenuHandlers { {AF7753A8-95B7-4109-AA58-9401DD9A89zz} }", nullptr},
        {"exactly 36 characters to the end", "ContextMenuHandlers {AF7753A8-95B7-4109-AA58-9401DD9A8970",
         "{AF7753A8-95B7-4109-AA58-9401DD9A8970}"},
    };
    for (const auto& c : cases) {
        const auto clsid = ParseShellExtClsid(c.script);
        if (c.expected == nullptr) {
            EXPECT_FALSE(clsid.has_value()) << c.name;
        } else {
            ASSERT_TRUE(clsid.has_value()) << c.name;
            EXPECT_EQ(Text(*clsid), c.expected) << c.name;
        }
    }
}

struct NamesCase {
    const char* name;
    std::vector<wchar_t> block;
    std::vector<std::wstring> expected;
};

TEST(WiaItemNames, WalkStaysInsideTheBlockAndNeedsItsEnd) {
    const NamesCase cases[] = {
        {"one name", {L'd', L'e', L'v', 0, 0}, {L"dev"}},
        {"two names", {L'a', 0, L'b', L'c', 0, 0}, {L"a", L"bc"}},
        {"empty list", {0}, {}},
        {"no final terminator", {L'a', 0, L'b', 0}, {}},
        {"no terminator at all", {L'a', L'b', L'c'}, {}},
        {"empty block", {}, {}},
        // Bytes past the list's end belong to nobody.
        {"stops at the empty name", {L'a', 0, 0, L'x', 0, 0}, {L"a"}},
    };
    for (const auto& c : cases) {
        IDataObject* object = TestDataObject::WithBlock(c.block);
        EXPECT_EQ(GetWiaItemNames(object), c.expected) << c.name;
        object->Release();
    }
    IDataObject* none = TestDataObject::Empty();
    EXPECT_TRUE(GetWiaItemNames(none).empty());
    none->Release();
    EXPECT_TRUE(GetWiaItemNames(nullptr).empty());
}

}  // namespace
