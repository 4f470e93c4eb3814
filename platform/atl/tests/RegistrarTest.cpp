// The registrar against the registry of the test's machine: what a script
// enters and removes, replacements, and scripts it refuses whole.
#include <atlregistrar.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

std::optional<std::string> Text(const char* key, const char* name = "") {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return std::nullopt;
    char data[256] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    const LSTATUS read = RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(opened);
    if (read != ERROR_SUCCESS) return std::nullopt;
    if (type == REG_DWORD) return "dword " + std::to_string(*reinterpret_cast<DWORD*>(data));
    return std::string(data);
}

bool Exists(const char* key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

constexpr char kScript[] = R"(
HKCR
{
    NoRemove Top
    {
        ForceRemove {0000AAAA-0000-0000-0000-000000000001} = s 'It''s %NAME%'
        {
            Inner = s '%MODULE%'
            {
                val Mode = s 'Apartment'
                val Count = d '12'
            }
        }
        NoRemove Kept
        {
            val Added = s 'x'
            Gone = s 'y'
        }
        Delete Stale
    }
}
)";

TEST(Registrar, EntersAndRemovesWhatTheScriptSays) {
    HKEY stale = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "Top\\Stale\\Below", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &stale,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(stale);
    HKEY old = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "Top\\{0000AAAA-0000-0000-0000-000000000001}\\Old", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &old, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(old);

    const atl::Replacement replacements[] = {{"MODULE", "C:\\x\\M.dll"}, {"NAME", "here"}};
    ASSERT_EQ(atl::UpdateRegistryFromScript(kScript, replacements, true), S_OK);
    EXPECT_EQ(Text("Top\\{0000AAAA-0000-0000-0000-000000000001}"), "It's here");
    EXPECT_EQ(Text("Top\\{0000AAAA-0000-0000-0000-000000000001}\\Inner"), "C:\\x\\M.dll");
    EXPECT_EQ(Text("Top\\{0000AAAA-0000-0000-0000-000000000001}\\Inner", "Mode"), "Apartment");
    EXPECT_EQ(Text("Top\\{0000AAAA-0000-0000-0000-000000000001}\\Inner", "Count"), "dword 12");
    EXPECT_FALSE(Exists("Top\\{0000AAAA-0000-0000-0000-000000000001}\\Old")) << "ForceRemove starts afresh";
    EXPECT_FALSE(Exists("Top\\Stale"));
    EXPECT_EQ(Text("Top\\Kept", "Added"), "x");
    EXPECT_EQ(Text("Top\\Kept\\Gone"), "y");

    ASSERT_EQ(atl::UpdateRegistryFromScript(kScript, replacements, false), S_OK);
    EXPECT_FALSE(Exists("Top\\{0000AAAA-0000-0000-0000-000000000001}"));
    EXPECT_FALSE(Exists("Top\\Kept\\Gone"));
    EXPECT_TRUE(Exists("Top\\Kept"));
    EXPECT_FALSE(Text("Top\\Kept", "Added").has_value());
    EXPECT_TRUE(Exists("Top"));
}

TEST(Registrar, RefusesAScriptThatDoesNotParseAndChangesNothing) {
    const char* const scripts[] = {
        "HKCR { Key = s 'unterminated }",
        "HKXX { Key }",
        "HKCR { Key = q 'x' }",
        "HKCR { val Top = s 'x' }",
        "HKCR { Key { ",
        "HKCR { NoRemove }",
        "HKCR { Key = d 'twelve' }",
    };
    for (const char* script : scripts) {
        EXPECT_EQ(atl::UpdateRegistryFromScript(script, {}, true), E_INVALIDARG) << script;
        EXPECT_FALSE(Exists("Key")) << script;
    }
}

}  // namespace
