#include "os/files/CalibrationFile.h"
#include "os/files/FileFunctions.h"

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

namespace {

bool IsFolder(const char* path) {
    const DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

void MakeFile(const char* path) {
    const auto file = CreateCalibrationFile();
    ASSERT_TRUE(file->Open(path, kCalibrationFileWrite));
}

struct AppendCase {
    const char* path;
    const char* element;
    bool trailing;
    const char* expected;
};

class AppendPathTest : public ::testing::TestWithParam<AppendCase> {};

TEST_P(AppendPathTest, JoinsWithOneSeparator) {
    const AppendCase& c = GetParam();
    char path[MAX_PATH] = {};
    std::strcpy(path, c.path);
    ASSERT_TRUE(AppendPath(path, c.element, c.trailing));
    EXPECT_STREQ(path, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Paths, AppendPathTest,
                         ::testing::Values(AppendCase{"C:\\a", "\\b\\", false, "C:\\a\\b"},
                                           AppendCase{"C:\\a", "\\b\\", true, "C:\\a\\b\\"},
                                           AppendCase{"C:\\a\\", "b", true, "C:\\a\\b\\"},
                                           AppendCase{"C:\\a\\", "b", false, "C:\\a\\b"},
                                           AppendCase{"", "b", false, "b"},
                                           AppendCase{"", "\\b", true, "b\\"},
                                           AppendCase{"C:", "x.dat", false, "C:\\x.dat"}));

TEST(AppendPathLimitTest, ResultsOfMaxPathOrMoreLeaveThePathAlone) {
    char path[MAX_PATH] = "C:\\a";
    const std::string fits(MAX_PATH - 1 - 5, 'x');  // "C:\a\" + fits = 259 characters
    ASSERT_TRUE(AppendPath(path, fits.c_str(), false));
    EXPECT_EQ(std::strlen(path), MAX_PATH - 1u);
    char other[MAX_PATH] = "C:\\a";
    const std::string tooLong(MAX_PATH - 5, 'x');
    EXPECT_FALSE(AppendPath(other, tooLong.c_str(), false));
    EXPECT_STREQ(other, "C:\\a");
}

TEST(CreateDirectoryTreeTest, CreatesEveryMissingLevel) {
    ASSERT_TRUE(CreateDirectoryTree("C:\\x\\y\\z\\"));
    EXPECT_TRUE(IsFolder("C:\\x"));
    EXPECT_TRUE(IsFolder("C:\\x\\y"));
    EXPECT_TRUE(IsFolder("C:\\x\\y\\z"));
    EXPECT_TRUE(CreateDirectoryTree("C:\\x\\y\\z")) << "an existing folder";
    ASSERT_TRUE(CreateDirectoryTree("C:\\x\\w"));
    EXPECT_TRUE(IsFolder("C:\\x\\w"));
}

TEST(CreateDirectoryTreeTest, AFileInTheWayIsAFailure) {
    MakeFile("C:\\ProgramData\\plain");
    EXPECT_FALSE(CreateDirectoryTree("C:\\ProgramData\\plain"));
    EXPECT_FALSE(CreateDirectoryTree("C:\\ProgramData\\plain\\below\\"));
    EXPECT_FALSE(CreateDirectoryTree("nofolder"));
    EXPECT_FALSE(CreateDirectoryTree(""));
}

TEST(GetDataDirectoryTest, MakesTheModelFolderUnderApplicationData) {
    char path[MAX_PATH] = {};
    ASSERT_TRUE(GetDataDirectory(0, "Tessaline", "RM410", path));
    EXPECT_STREQ(path, "C:\\ProgramData\\Tessaline\\RM410\\");
    EXPECT_TRUE(IsFolder(path));
    ASSERT_TRUE(GetDataDirectory(1, "Tessaline", "RM460", path));
    EXPECT_STREQ(path, "C:\\Users\\User\\AppData\\Roaming\\Tessaline\\RM460\\");
    EXPECT_TRUE(IsFolder(path));
    std::strcpy(path, "unchanged");
    EXPECT_FALSE(GetDataDirectory(2, "Tessaline", "RM410", path));
    EXPECT_STREQ(path, "unchanged");
}

TEST(GetDataDirectoryTest, OverlongNamesCreateNothing) {
    char path[MAX_PATH] = {};
    // "C:\ProgramData" is 14 characters: 14 + 2 + maker + model reaching 260 fails.
    const std::string maker(100, 'm');
    const std::string model(MAX_PATH - 14 - 2 - 100, 'n');
    EXPECT_FALSE(GetDataDirectory(0, maker.c_str(), model.c_str(), path));
    EXPECT_FALSE(Exists(("C:\\ProgramData\\" + maker).c_str()));
    // With its separators the joined path needs one more character than the
    // length check counts, so one character less still fails, two less fit.
    const std::string oneLess(model.size() - 1, 'n');
    EXPECT_FALSE(GetDataDirectory(0, maker.c_str(), oneLess.c_str(), path));
    const std::string twoLess(model.size() - 2, 'n');
    EXPECT_TRUE(GetDataDirectory(0, maker.c_str(), twoLess.c_str(), path));
    EXPECT_EQ(std::strlen(path), MAX_PATH - 1u);
}

TEST(GetDataDirectoryTest, AFileNamedLikeTheMakerFolderFails) {
    MakeFile("C:\\ProgramData\\Tessaline");
    char path[MAX_PATH] = {};
    EXPECT_FALSE(GetDataDirectory(0, "Tessaline", "RM410", path));
}

TEST(TempFileTest, MakesAnEmptyFileThatCanBeDeleted) {
    std::string name;
    ASSERT_TRUE(MakeTempFileName(name));
    EXPECT_NE(name.find("SI"), std::string::npos);
    EXPECT_TRUE(Exists(name.c_str()));
    std::string second;
    ASSERT_TRUE(MakeTempFileName(second));
    EXPECT_NE(name, second);
    EXPECT_TRUE(OSDeleteFile(name.c_str()));
    EXPECT_FALSE(Exists(name.c_str()));
    EXPECT_FALSE(OSDeleteFile(name.c_str())) << "already gone";
    EXPECT_FALSE(OSDeleteFile(nullptr));
    OSDeleteFile(second.c_str());
}

TEST(DiskFreeSpaceTest, SplitsTheCountIntoHalves) {
    platform::testing::SetFreeSpace(0x123456789ull);
    int high = -1;
    unsigned low = 0;
    ASSERT_TRUE(OSGetDiskFreeSpace("C:\\ProgramData", &high, &low));
    EXPECT_EQ(high, 1);
    EXPECT_EQ(low, 0x23456789u);
    EXPECT_FALSE(OSGetDiskFreeSpace(nullptr, &high, &low));
    EXPECT_FALSE(OSGetDiskFreeSpace("C:\\no\\such\\folder", &high, &low));
    platform::testing::SetFreeSpace(std::nullopt);
}

}  // namespace
