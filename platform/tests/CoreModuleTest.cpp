// Modules: system modules, the search order, names, hiding, and the errors
// of absent and foreign objects.
#include <platform/testing.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <link.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// A harmless ELF object of this build's class: the libdl stub next to libc.
std::string StubLibrary() {
    std::string found;
    ::dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            std::string name = info->dlpi_name ? info->dlpi_name : "";
            if (name.find("/libc.so.6") != std::string::npos)
                *static_cast<std::string*>(out) = fs::path(name).parent_path() / "libdl.so.2";
            return 0;
        },
        &found);
    return fs::exists(found) ? found : "";
}

class CoreModule : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = platform::testing::Root() + "/modules";
        fs::create_directories(folder_);
        stub_ = StubLibrary();
    }
    std::string folder_;
    std::string stub_;
};

TEST_F(CoreModule, SystemModulesResolveTheirFunctions) {
    HMODULE kernel32 = LoadLibraryA("kernel32");
    ASSERT_NE(kernel32, nullptr);
    EXPECT_EQ(LoadLibraryA("KERNEL32.DLL"), kernel32);
    EXPECT_EQ(GetModuleHandleA("kernel32.dll"), kernel32);
    using IsWow64 = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64 = reinterpret_cast<IsWow64>(reinterpret_cast<void*>(GetProcAddress(kernel32, "IsWow64Process")));
    ASSERT_NE(isWow64, nullptr);
    BOOL wow64 = 2;
    EXPECT_TRUE(isWow64(GetCurrentProcess(), &wow64));
    EXPECT_EQ(GetProcAddress(kernel32, "NoSuchFunction"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

    HMODULE advapi32 = LoadLibraryA("AdvApi32.dll");
    ASSERT_NE(advapi32, nullptr);
    EXPECT_NE(advapi32, kernel32);
    EXPECT_NE(GetProcAddress(advapi32, "ConvertStringSecurityDescriptorToSecurityDescriptorA"), nullptr);
    char path[MAX_PATH];
    EXPECT_GT(GetModuleFileNameA(advapi32, path, sizeof path), 0u);
    EXPECT_STREQ(path, "C:\\Windows\\System32\\advapi32.dll");
    EXPECT_TRUE(FreeLibrary(advapi32));
    EXPECT_TRUE(FreeLibrary(kernel32));
}

TEST_F(CoreModule, HiddenExportsAndModulesAreMissing) {
    platform::testing::Hide("kernel32", "IsWow64Process");
    EXPECT_EQ(GetProcAddress(LoadLibraryA("kernel32"), "IsWow64Process"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    platform::testing::Hide("advapi32.dll");
    EXPECT_EQ(LoadLibraryA("AdvApi32.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(CoreModule, AbsentAndForeignFilesAreRefused) {
    platform::testing::SetLibraryPath(folder_);
    std::ofstream(folder_ + "/Text.dll") << "not an object";
    // An ELF identification of the other class.
    const char other = sizeof(void*) == 8 ? 1 : 2;
    std::ofstream(folder_ + "/Other.dll", std::ios::binary) << "\x7f" "ELF" << other << std::string(11, '\0');
    struct Case {
        const char* name;
        DWORD error;
    } cases[] = {{"UxTheme.dll", ERROR_MOD_NOT_FOUND}, {"Absent", ERROR_MOD_NOT_FOUND},
                 {"Text.dll", ERROR_MOD_NOT_FOUND}, {"Other.dll", ERROR_BAD_EXE_FORMAT}};
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(LoadLibraryA(c.name), nullptr) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
}

TEST_F(CoreModule, LibraryPathFindsNamesIgnoringCaseAndCountsReferences) {
    if (stub_.empty()) GTEST_SKIP() << "no libdl stub found";
    fs::copy_file(stub_, folder_ + "/helper.DLL");
    platform::testing::SetLibraryPath("/nonexistent:" + folder_);
    HMODULE first = LoadLibraryA("Helper");
    ASSERT_NE(first, nullptr) << GetLastError();
    EXPECT_EQ(LoadLibraryA("HELPER.dll"), first);
    EXPECT_EQ(GetModuleHandleA("helper"), first);
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(first, path, sizeof path), 0u);
    EXPECT_EQ(std::string(path), folder_ + "/helper.DLL");
    char small[8];
    EXPECT_EQ(GetModuleFileNameA(first, small, sizeof small), sizeof small);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::strlen(small), sizeof small - 1);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetModuleHandleA("helper"), nullptr);
}

TEST_F(CoreModule, SystemFolderOfTheMachineIsSearched) {
    if (stub_.empty()) GTEST_SKIP() << "no libdl stub found";
    const std::string system32 = platform::testing::Root() + "/drives/c/Windows/System32";
    fs::copy_file(stub_, system32 + "/sysmod.dll");
    HMODULE module = LoadLibraryA("SysMod.dll");
    ASSERT_NE(module, nullptr);
    char path[MAX_PATH];
    EXPECT_EQ(SearchPathA(nullptr, "sysmod.dll", nullptr, sizeof path, path, nullptr), system32.size() + 11);
    EXPECT_EQ(std::string(path), system32 + "/sysmod.dll");
    FreeLibrary(module);
    // A path loads from there only.
    EXPECT_EQ(LoadLibraryA((folder_ + "/sysmod.dll").c_str()), nullptr);
}

TEST_F(CoreModule, ExecutableFolderIsSearched) {
    char exe[4096];
    ASSERT_GT(GetModuleFileNameA(nullptr, exe, sizeof exe), 0u);
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
    const std::string folder = fs::path(exe).parent_path();
    char path[4096];
    ASSERT_GT(SearchPathA(nullptr, "libplatform", ".so", sizeof path, path, nullptr), 0u);
    EXPECT_EQ(std::string(path), folder + "/libplatform.so");
    // The buffer size needed, terminator included.
    EXPECT_EQ(SearchPathA(nullptr, "libplatform.so", nullptr, 4, path, nullptr), folder.size() + 16);
    EXPECT_EQ(SearchPathA(nullptr, "absent.dll", nullptr, sizeof path, path, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace

namespace {

// GlueProbe.dll (platform/glue/probe) is built next to the test program when
// the build defines it; the test is skipped otherwise.
class CoreModuleEntry : public ::testing::Test {
protected:
    void SetUp() override {
        char exe[4096];
        GetModuleFileNameA(nullptr, exe, sizeof exe);
        if (!fs::exists(fs::path(exe).parent_path() / "GlueProbe.dll")) GTEST_SKIP() << "GlueProbe.dll not built";
        platform::testing::CaptureDebugOutput();
    }
    static std::vector<std::string> Notes() {
        std::vector<std::string> notes;
        for (const auto& line : platform::testing::TakeDebugOutput()) {
            auto at = line.find("glue-probe: ");
            if (at != std::string::npos) notes.push_back(line.substr(at + 12));
        }
        return notes;
    }
};

TEST_F(CoreModuleEntry, DllMainRunsAfterConstructionAndDetachBeforeDestruction) {
    HMODULE module = LoadLibraryA("glueprobe");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Notes(), (std::vector<std::string>{"constructed", "attach"}));
    using Answer = int (*)();
    auto answer = reinterpret_cast<Answer>(reinterpret_cast<void*>(GetProcAddress(module, "GlueProbeAnswer")));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(LoadLibraryA("GlueProbe.dll"), module);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_TRUE(Notes().empty());
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(Notes(), (std::vector<std::string>{"detach", "destroyed"}));
}

TEST_F(CoreModuleEntry, RefusedAttachFailsTheLoadAndUnloads) {
    std::ofstream(platform::testing::Root() + "/drives/c/glue-probe-refuse") << "";
    EXPECT_EQ(LoadLibraryA("GlueProbe.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(Notes(), (std::vector<std::string>{"constructed", "attach", "detach", "destroyed"}));
    EXPECT_EQ(GetModuleHandleA("GlueProbe.dll"), nullptr);
}

}  // namespace
