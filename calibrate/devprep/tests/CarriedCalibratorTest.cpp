// The calibrator Devprep.dll carries is the build's Calibrate.exe, byte for
// byte, and is written out as it is.
#include "DevprepFixture.h"

#include "CalibratorImage.h"
#include "CoInstaller.h"

#include <iterator>

namespace {

#ifdef DEVPREP_CALIBRATOR_FILE

std::vector<BYTE> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(DevprepTest, CarriedCalibratorIsTheProgramByteForByte) {
    const std::vector<BYTE> program = ReadFile(DEVPREP_CALIBRATOR_FILE);
    ASSERT_FALSE(program.empty());
    HMODULE module = LoadLibraryA("Devprep.dll");
    ASSERT_NE(module, nullptr);
    const auto image = CalibratorImage(module);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), program.begin(), program.end()));
    {
        TemporaryProgram extracted;
        ASSERT_TRUE(ExtractCalibrator(module, extracted));
        EXPECT_EQ(ReadFile(extracted.Path()), program);
    }
    EXPECT_TRUE(TemporaryFiles().empty());
    FreeLibrary(module);
}

#endif

TEST_F(DevprepTest, ModuleWithoutTheResourceHasNoCalibrator) {
    EXPECT_TRUE(CalibratorImage(GetModuleHandleA(nullptr)).empty());
    TemporaryProgram program;
    EXPECT_FALSE(ExtractCalibrator(GetModuleHandleA(nullptr), program));
    EXPECT_TRUE(TemporaryFiles().empty());
}

}  // namespace
