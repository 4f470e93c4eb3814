// Security descriptors: the string converter, null DACLs, world access of
// named objects, and local memory.
#include <platform/testing.h>

#include <sddl.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

namespace {

struct SddlCase {
    const char* text;
    bool valid;
    bool world;  // grants Everyone
};

class CoreSddl : public ::testing::TestWithParam<SddlCase> {};

TEST_P(CoreSddl, ParsesAndJudgesWorldAccess) {
    const SddlCase& c = GetParam();
    PSECURITY_DESCRIPTOR sd = nullptr;
    ULONG size = 0;
    SetLastError(0);
    BOOL ok = ConvertStringSecurityDescriptorToSecurityDescriptorA(c.text, SDDL_REVISION_1, &sd, &size);
    ASSERT_EQ(ok != FALSE, c.valid) << c.text;
    if (!c.valid) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        return;
    }
    EXPECT_GE(size, sizeof(SECURITY_DESCRIPTOR));
    // World access shows in the mode of a named mutex made with it.
    SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
    HANDLE mutex = CreateMutexA(&sa, FALSE, "Global\\sddl");
    ASSERT_NE(mutex, nullptr);
    struct stat st;
    ASSERT_EQ(::stat((platform::testing::Root() + "/objects/global/sddl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, c.world ? 0666u : 0600u) << c.text;
    CloseHandle(mutex);
    EXPECT_EQ(LocalFree(sd), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CoreSddl,
    ::testing::Values(SddlCase{"D:P(D;OICI;WDWO;;;WD)(A;OICI;GA;;;WD)", true, true},
                      SddlCase{"O:BAG:SYD:(A;;FA;;;WD)", true, true},
                      SddlCase{"D:(A;;GR;;;S-1-1-0)", true, true},
                      SddlCase{"D:(A;;0x1F01FF;;;WD)", true, true},
                      SddlCase{"D:(A;;GA;;;BA)(A;;GA;;;SY)", true, false},
                      SddlCase{"D:(D;;GA;;;WD)", true, false},
                      SddlCase{"D:(A;;RC;;;WD)", true, false},
                      SddlCase{"D:P", true, false},
                      SddlCase{"S:(AU;SA;GA;;;WD)", true, false},
                      SddlCase{"D:(A;;GA;;;WD", false, false},
                      SddlCase{"D:(X;;GA;;;WD)", false, false},
                      SddlCase{"D:(A;;ZZ;;;WD)", false, false},
                      SddlCase{"D:(A;;GA;;;QQ)", false, false},
                      SddlCase{"X:garbage", false, false}));

TEST(CoreSecurity, ConverterRevisionAndArguments) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    EXPECT_FALSE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:", 2, &sd, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_REVISION));
    EXPECT_FALSE(ConvertStringSecurityDescriptorToSecurityDescriptorA(nullptr, 1, &sd, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CoreSecurity, NullDaclOpensObjectsToEveryone) {
    SECURITY_DESCRIPTOR sd;
    EXPECT_FALSE(InitializeSecurityDescriptor(&sd, 2));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_REVISION));
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    SECURITY_ATTRIBUTES sa{sizeof sa, &sd, TRUE};
    HANDLE privateMutex = CreateMutexA(&sa, FALSE, "Global\\empty-dacl");
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
    HANDLE openMutex = CreateMutexA(&sa, FALSE, "Global\\null-dacl");
    struct stat st;
    ASSERT_EQ(::stat((platform::testing::Root() + "/objects/global/null-dacl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
    ASSERT_EQ(::stat((platform::testing::Root() + "/objects/global/empty-dacl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    CloseHandle(privateMutex);
    CloseHandle(openMutex);
}

TEST(CoreSecurity, LocalFreeRefusesForeignPointers) {
    void* block = LocalAlloc(LPTR, 16);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(block)[15], 0);
    EXPECT_EQ(LocalFree(block), nullptr);
    void* foreign = std::malloc(8);
    EXPECT_EQ(LocalFree(foreign), foreign);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    std::free(foreign);
    EXPECT_EQ(LocalFree(nullptr), nullptr);
}

}  // namespace
