#include "os/SecurityAttributes.h"

#include <platform/testing.h>

#include <gtest/gtest.h>

TEST(SecurityAttributesTest, ConvertedOnNT) {
    SecurityAttributes attributes;
    ASSERT_TRUE(attributes.IsValid());
    SECURITY_ATTRIBUTES* sa = attributes.Get();
    ASSERT_NE(sa, nullptr);
    EXPECT_EQ(sa->nLength, sizeof(SECURITY_ATTRIBUTES));
    EXPECT_NE(sa->lpSecurityDescriptor, nullptr);
    EXPECT_FALSE(sa->bInheritHandle);
}

TEST(SecurityAttributesTest, InvalidWithoutTheConverter) {
    platform::testing::Hide("AdvApi32.dll", "ConvertStringSecurityDescriptorToSecurityDescriptorA");
    SecurityAttributes attributes;
    EXPECT_FALSE(attributes.IsValid());
    EXPECT_EQ(attributes.Get(), nullptr);
}

TEST(SecurityAttributesTest, InvalidOnWindows9x) {
    platform::testing::SetWindowsVersion(4, 10, 1);
    SecurityAttributes attributes;
    EXPECT_FALSE(attributes.IsValid());
}

TEST(SecurityAttributesTest, MutexWithoutAttributesStillWorks) {
    // What OSMutexWin does when the process-wide attributes are invalid.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\SecurityAttributesTest_plain");
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}
