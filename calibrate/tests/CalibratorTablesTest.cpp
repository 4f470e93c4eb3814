// The calibrator's model table and language choice.
#include "MessageTable.h"
#include "ModelTable.h"

#include <gtest/gtest.h>

namespace {

struct ModelCase {
    const char* library;
    const char* model;  // nullptr: no row
};

TEST(CalibratorModels, LibraryFileFindsItsRowWhateverTheLetterCase) {
    const ModelCase cases[] = {
        {"Pelidor.DLL", "RM310"}, {"pelidor.dll", "RM310"}, {"PELIDOR.DLL", "RM310"},
        {"Pelimar.DLL", "RM410"}, {"pelinox.dll", "RM460"}, {"CALVSA.dll", "Calvessa"},
        {"hvn52.DLL", "Halvern52"}, {"Pelidor.ds", nullptr},  {"C:\\Windows\\Pelidor.DLL", nullptr},
        {"", nullptr},
    };
    for (const ModelCase& c : cases) {
        const auto model = ModelForLibrary(c.library);
        if (c.model == nullptr) {
            EXPECT_FALSE(model) << c.library;
        } else {
            ASSERT_TRUE(model) << c.library;
            EXPECT_EQ(*model, c.model) << c.library;
        }
    }
}

TEST(CalibratorLanguages, PrimaryLanguageChoosesTheColumn) {
    const struct {
        LANGID language;
        int code;
        const char* calibrate;
    } cases[] = {
        {0x0409, 1210, "Calibrate"},   {0x0809, 1210, "Calibrate"},   {0x040C, 1211, "\311talonner"},
        {0x0C0C, 1211, "\311talonner"}, {0x0C0A, 1212, "Calibrar"},    {0x040A, 1212, "Calibrar"},
        {0x0410, 1213, "Calibra"},     {0x0407, 1214, "Kalibrieren"}, {0x0C07, 1214, "Kalibrieren"},
        {0x0411, 1210, "Calibrate"},   {0x0413, 1210, "Calibrate"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LanguageCode(c.language), c.code) << std::hex << c.language;
        EXPECT_STREQ(Text(CalibratorText::CalibrateButton, LanguageCode(c.language)), c.calibrate);
    }
}

TEST(CalibratorLanguages, EveryRowHasFiveTexts) {
    for (int row = 0; row <= static_cast<int>(CalibratorText::CalibrateButton); ++row) {
        for (int code = 1210; code <= 1214; ++code) {
            const char* text = Text(static_cast<CalibratorText>(row), code);
            ASSERT_NE(text, nullptr);
            EXPECT_GT(std::string(text).size(), 3u) << row << " " << code;
        }
    }
}

}  // namespace
