// The registry: keys, values, enumeration, access, and writers in several processes.
#include <windows.h>

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

struct Key {
    HKEY handle = nullptr;
    ~Key() {
        if (handle != nullptr) RegCloseKey(handle);
    }
};

LSTATUS Create(HKEY parent, const char* path, Key* key, DWORD* disposition = nullptr, REGSAM access = KEY_ALL_ACCESS) {
    return RegCreateKeyExA(parent, path, 0, nullptr, 0, access, nullptr, &key->handle, disposition);
}

LSTATUS SetString(HKEY key, const char* name, const std::string& text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

LSTATUS SetDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

std::vector<std::string> SubKeys(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD size = sizeof name;
        LSTATUS status = RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
            return names;
        }
        EXPECT_EQ(size, std::strlen(name));
        names.push_back(name);
    }
}

TEST(IoRegistryTest, CreateReportsNewThenExistingAndKeepsTheFirstCase) {
    Key first, second;
    DWORD disposition = 0;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Maker\\Model", &first, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "software\\MAKER\\model", &second, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    Key maker;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\maker", 0, KEY_READ, &maker.handle), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(maker.handle), std::vector<std::string>{"Model"});
}

TEST(IoRegistryTest, OpenOfAMissingKeyFailsAndClearsTheResult) {
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nothing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    Key same;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &same.handle), ERROR_SUCCESS);
    EXPECT_NE(same.handle, HKEY_LOCAL_MACHINE);
}

TEST(IoRegistryTest, ValuesAreByteExactWithSizeQueriesAndMoreData) {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Test", &key), ERROR_SUCCESS);
    const BYTE unterminated[3] = {'a', 'b', 'c'};
    ASSERT_EQ(RegSetValueExA(key.handle, "Text", 0, REG_SZ, unterminated, 3), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExA(key.handle, "text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 3u);
    BYTE small[2];
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key.handle, "Text", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 3u);
    BYTE data[8] = {};
    size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key.handle, "Text", nullptr, nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::memcmp(data, unterminated, 3), 0);
    EXPECT_EQ(data[3], 0);

    EXPECT_EQ(RegQueryValueExA(key.handle, "Missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(SetString(key.handle, nullptr, "default"), ERROR_SUCCESS);
    size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key.handle, "", nullptr, nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "default");
}

TEST(IoRegistryTest, ValueEnumerationIsCaseInsensitiveOrder) {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Order", &key), ERROR_SUCCESS);
    for (const char* name : {"beta", "Alpha", "_under", "Gamma"}) ASSERT_EQ(SetDword(key.handle, name, 1), ERROR_SUCCESS);
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[32];
        DWORD size = sizeof name;
        DWORD type = 0;
        DWORD value = 0;
        DWORD valueSize = sizeof value;
        LSTATUS status = RegEnumValueA(key.handle, i, name, &size, nullptr, &type,
                                       reinterpret_cast<BYTE*>(&value), &valueSize);
        if (status == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(status, ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(value, 1u);
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "Gamma", "_under"}));
    char tiny[3];
    DWORD tinySize = sizeof tiny;
    EXPECT_EQ(RegEnumValueA(key.handle, 0, tiny, &tinySize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);

    DWORD subKeys = 9, values = 0, longestName = 0, longestData = 0;
    ASSERT_EQ(RegQueryInfoKeyA(key.handle, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                               &longestName, &longestData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 0u);
    EXPECT_EQ(values, 4u);
    EXPECT_EQ(longestName, 6u);
    EXPECT_EQ(longestData, 4u);
}

TEST(IoRegistryTest, WritingNeedsTheRight) {
    Key writable;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Rights", &writable), ERROR_SUCCESS);
    Key readOnly;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Rights", 0, KEY_READ, &readOnly.handle), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(readOnly.handle, "x", 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(readOnly.handle, "x"), ERROR_ACCESS_DENIED);
    Key child;
    EXPECT_EQ(Create(readOnly.handle, "Child", &child), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SetDword(writable.handle, "x", 1), ERROR_SUCCESS);
}

TEST(IoRegistryTest, DeleteRulesAndDeletedKeys) {
    Key parent, child;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Del", &parent), ERROR_SUCCESS);
    ASSERT_EQ(Create(parent.handle, "Child", &child), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(child.handle, "v", 2), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Del"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(parent.handle, "Nothing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(child.handle, "missing"), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegDeleteKeyA(parent.handle, "child"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(child.handle, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(SetDword(child.handle, "v", 3), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x44))), ERROR_INVALID_HANDLE);
}

TEST(IoRegistryTest, ClassesRootIsMachineSoftwareClasses) {
    Key key;
    ASSERT_EQ(Create(HKEY_CLASSES_ROOT, "CLSID\\{X}", &key), ERROR_SUCCESS);
    Key seen;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\CLSID\\{X}", 0, KEY_READ, &seen.handle),
              ERROR_SUCCESS);
}

TEST(IoRegistryTest, FreshRootHasTheImageClass) {
    Key image;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                            "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}", 0,
                            KEY_READ, &image.handle),
              ERROR_SUCCESS);
    char text[64] = {};
    DWORD size = sizeof text;
    ASSERT_EQ(RegQueryValueExA(image.handle, "Class", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(text, "Image");
    size = sizeof text;
    ASSERT_EQ(RegQueryValueExA(image.handle, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(text, "Imaging devices");
}

TEST(IoRegistryTest, InjectedFailureIsReturned) {
    platform::testing::InjectFailure("RegOpenKeyExA", ERROR_ACCESS_DENIED, 0, 1);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(IoRegistryTest, MalformedKeyLinesInTheFileAreSkipped) {
    {
        Key key;  // the registry file exists from here on
        ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Before", &key), ERROR_SUCCESS);
    }
    const std::string path = platform::testing::Root() + "/registry";
    {
        std::ofstream file(path + ".new", std::ios::binary);
        file << "platform-registry 1\n"
             << "[] 1\n\"Orphan\" 4 01000000\n"         // a key line naming no key
             << "[\\\\] 1\n\"Orphan\" 4 02000000\n"    // only separators
             << "[%zz] 1\n\"Orphan\" 4 03000000\n"      // a bad escape
             << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Good] 1\n\"Kept\" 4 2a000000\n";
    }
    std::filesystem::rename(path + ".new", path);
    Key good;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Good", 0, KEY_READ, &good.handle), ERROR_SUCCESS);
    DWORD value = 0, size = sizeof value;
    ASSERT_EQ(RegQueryValueExA(good.handle, "Kept", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 42u);
    Key software;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &software.handle), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(software.handle), std::vector<std::string>{"Good"});
}

// Child role: writes `count` values named <prefix><i> into HKCU\Software\Shared.
int RegistryWriter(const std::vector<std::string>& args) {
    if (args.size() != 2) return 2;
    int count = std::stoi(args[1]);
    for (int i = 0; i < count; ++i) {
        Key key;
        if (Create(HKEY_CURRENT_USER, "Software\\Shared", &key) != ERROR_SUCCESS) return 3;
        if (SetDword(key.handle, (args[0] + std::to_string(i)).c_str(), static_cast<DWORD>(i)) != ERROR_SUCCESS) {
            return 4;
        }
    }
    return 0;
}

const bool registered = platform::testing::RegisterChildRole("io-registry-writer", &RegistryWriter);

TEST(IoRegistryProcessTest, ConcurrentWritersInSeveralProcessesLoseNothing) {
    ASSERT_TRUE(registered);
    constexpr int kChildren = 3;
    constexpr int kValues = 40;
    std::vector<std::unique_ptr<platform::testing::ChildProcess>> children;
    for (int c = 0; c < kChildren; ++c) {
        children.push_back(std::make_unique<platform::testing::ChildProcess>(
            "io-registry-writer", std::vector<std::string>{"c" + std::to_string(c) + "_", std::to_string(kValues)}));
        ASSERT_TRUE(children.back()->Started());
    }
    // This process writes at the same time.
    ASSERT_EQ(RegistryWriter({"parent_", std::to_string(kValues)}), 0);
    for (auto& child : children) EXPECT_EQ(child->Wait(), 0);

    Key key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Shared", 0, KEY_READ, &key.handle), ERROR_SUCCESS);
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyA(key.handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, static_cast<DWORD>((kChildren + 1) * kValues));
    DWORD value = 0;
    DWORD size = sizeof value;
    ASSERT_EQ(RegQueryValueExA(key.handle, "c2_39", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 39u);
}

}  // namespace
