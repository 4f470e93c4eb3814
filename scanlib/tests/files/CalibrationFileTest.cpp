#include "os/files/CalibrationFile.h"
#include "os/files/FileTime.h"

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace {

constexpr char kPath[] = "C:\\ProgramData\\cal.bin";

void WriteText(const char* path, const std::string& text) {
    const auto file = CreateCalibrationFile();
    ASSERT_TRUE(file->Open(path, kCalibrationFileWrite));
    ASSERT_TRUE(file->Write(text.data(), static_cast<int>(text.size())));
}

TEST(CalibrationFileTest, ModesOpenAsTheirDispositionsSay) {
    const auto file = CreateCalibrationFile();
    EXPECT_FALSE(file->Open(kPath, kCalibrationFileRead)) << "read of a missing file";
    EXPECT_FALSE(file->Open(kPath, kCalibrationFileReadWrite)) << "read-write of a missing file";
    EXPECT_FALSE(file->Open(kPath, kCalibrationFileNone));
    EXPECT_FALSE(file->IsOpen());

    WriteText(kPath, "abcdef");
    ASSERT_TRUE(file->Open(kPath, kCalibrationFileReadWrite));
    char buf[6] = {};
    ASSERT_TRUE(file->Read(buf, 6));
    EXPECT_EQ(std::string(buf, 6), "abcdef");
    ASSERT_TRUE(file->Seek(2));
    ASSERT_TRUE(file->Write("XY", 2));
    file->Close();
    EXPECT_FALSE(file->IsOpen());

    ASSERT_TRUE(file->Open(kPath, kCalibrationFileRead | 4));  // only the low two bits count
    ASSERT_TRUE(file->Read(buf, 6));
    EXPECT_EQ(std::string(buf, 6), "abXYef");
    EXPECT_FALSE(file->Read(buf, 1)) << "nothing left";

    WriteText(kPath, "z");  // write mode truncates
    ASSERT_TRUE(file->Open(kPath, kCalibrationFileRead));
    EXPECT_FALSE(file->Read(buf, 2));
}

TEST(CalibrationFileTest, LengthsAndClosedFiles) {
    const auto file = CreateCalibrationFile();
    char buf[4] = {};
    EXPECT_FALSE(file->Write(buf, 1)) << "closed";
    EXPECT_FALSE(file->Read(buf, 1)) << "closed";
    EXPECT_FALSE(file->Seek(0));
    ASSERT_TRUE(file->Open(kPath, kCalibrationFileWrite));
    EXPECT_TRUE(file->Write(buf, 0));
    EXPECT_FALSE(file->Write(nullptr, 1));
    EXPECT_FALSE(file->Write(buf, -1));
    EXPECT_FALSE(file->Read(buf, -4));
    EXPECT_FALSE(file->Seek(-1));
    file->Close();
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExA(kPath, GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 0u) << "a zero-length write writes nothing";
}

TEST(CalibrationFileTest, OpeningAgainClosesTheFirstFile) {
    const auto file = CreateCalibrationFile();
    ASSERT_TRUE(file->Open(kPath, kCalibrationFileWrite));
    ASSERT_TRUE(file->Open(kPath, kCalibrationFileWrite)) << "the first handle no longer blocks the second";
}

TEST(FileTimeTest, NoticesARewrite) {
    WriteText(kPath, "one");
    const auto first = CreateFileTime();
    const auto second = CreateFileTime();
    EXPECT_EQ(first->Value(), 0u);
    ASSERT_TRUE(first->Load(kPath));
    EXPECT_NE(first->Value(), 0u);
    EXPECT_FALSE(first->Equals(*second));
    second->Assign(*first);
    EXPECT_TRUE(first->Equals(*second));

    // A rewrite by another process shows as another time; set one rather
    // than wait for the clock to tick.
    const std::filesystem::path native = std::filesystem::path(platform::testing::Root()) / "drives/c/ProgramData/cal.bin";
    std::filesystem::last_write_time(native, std::filesystem::last_write_time(native) - std::chrono::hours(1));
    const auto later = CreateFileTime();
    ASSERT_TRUE(later->Load(kPath));
    EXPECT_FALSE(later->Equals(*first));

    const uint64_t before = second->Value();
    EXPECT_FALSE(second->Load("C:\\ProgramData\\missing.bin"));
    EXPECT_EQ(second->Value(), before) << "a failed load keeps the stored time";
}

}  // namespace
