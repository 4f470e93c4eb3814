// The message table: its shape, texts every column can show, the same
// placeholders in every language, the rows given word for word, and the
// choice of the column from the system's language.
#include "MessageTable.h"

#include <platform/testing_ui.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kSameInAll[] = {63,  64,  65,  66,  67,  68,  97,  98,  99,  101, 102, 104, 105, 106,
                              107, 108, 115, 121, 125, 127, 131, 137, 138, 139, 144, 145, 146, 164};

// The printf conversions of a text, in order.
std::vector<std::string> Conversions(const char* text)
{
    std::vector<std::string> out;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p != '%') continue;
        std::string c = "%";
        while (*++p != '\0' && std::strchr("0123456789.-+ #l", *p) != nullptr) c += *p;
        if (*p == '\0') break;
        c += *p;
        out.push_back(c);
    }
    return out;
}

TEST(MessageTable, EveryTextIsShowableWindows1252)
{
    for (int row = 0; row < kMessageRows; ++row) {
        for (int column = 0; column < kMessageColumns; ++column) {
            const char* text = MessageTable[static_cast<size_t>(row)][static_cast<size_t>(column)];
            ASSERT_NE(text, nullptr) << row << "/" << column;
            const size_t length = std::strlen(text);
            EXPECT_GT(length, 0u) << row << "/" << column;
            EXPECT_LT(length, 400u) << row << "/" << column;
            for (size_t i = 0; i < length; ++i) {
                const auto byte = static_cast<unsigned char>(text[i]);
                const bool undefined = byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
                EXPECT_TRUE((byte >= 0x20 && byte != 0x7F && !undefined) || byte == '\n')
                    << "row " << row << " column " << column << " byte " << i << " is " << int(byte);
            }
        }
    }
}

TEST(MessageTable, EveryColumnHasTheEnglishPlaceholders)
{
    for (int row = 0; row < kMessageRows; ++row) {
        const auto english = Conversions(MessageTable[static_cast<size_t>(row)][0]);
        for (int column = 1; column < kMessageColumns; ++column) {
            EXPECT_EQ(Conversions(MessageTable[static_cast<size_t>(row)][static_cast<size_t>(column)]), english)
                << "row " << row << " column " << column;
        }
    }
}

TEST(MessageTable, LanguageIndependentRowsAreTheSameEverywhere)
{
    const std::set<int> same(std::begin(kSameInAll), std::end(kSameInAll));
    for (int row = 0; row < kMessageRows; ++row) {
        const std::string english = MessageTable[static_cast<size_t>(row)][0];
        int differing = 0;
        for (int column = 1; column < kMessageColumns; ++column) {
            differing += english != MessageTable[static_cast<size_t>(row)][static_cast<size_t>(column)];
        }
        if (same.count(row) != 0) {
            EXPECT_EQ(differing, 0) << "row " << row;
        } else {
            EXPECT_GT(differing, 0) << "row " << row << " is not translated";
        }
    }
}

TEST(MessageTable, RowsGivenWordForWord)
{
    struct Case {
        int row;
        const char* english;
    };
    const Case cases[] = {
        {0, "Calibration was successful.\n"},
        {6, "The scanner driver could not be loaded.\n\nPlease plug in the scanner or reinstall the driver.\n\n"},
        {7, "The scan was aborted because the scanner is not powered on or not connected properly.\n\nPlease check "
            "the hardware connections and try again."},
        {64, "This setting is suitable for scanning a document to converted to text by an OCR program."},
        {68, "%s\n\nIt uses %s%d dpi, %s, %s%s"},
        {72, "Letter size (8.5 x 11.0\")"},
        {82, "Panorama photo (4.0 x 8.0\")"},
        {88, "Calibrating..."},
        {97, "%s   featuring Adobe\xae PDF Scan Technology"},
        {98, "with Adobe\xae PDF Scan Technology"},
        {102, "Adobe PDF Scan Library Version: %d.%d.%d\n"},
        {160, "Short"},
        {162, "Short"},
        {167, "Please insert the black and white calibration paper into the scanner then press OK."},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(MessageTable[static_cast<size_t>(c.row)][0], c.english) << "row " << c.row;
    }
    // Row 8 in every column.
    const char* row8[] = {"Scan aborted by user.",
                          "La num\xe9risation a \xe9t\xe9 abandonn\xe9" "e par l'utilisateur.",
                          "Escaneado cancelado por el usuario.",
                          "Scansione interrotta dall\x92utente.",
                          "Scanvorgang vom Benutzer abgebrochen.",
                          "Digitaliza\xe7\xe3o anulada pelo utilizador.",
                          "La num\xe9risation a \xe9t\xe9 abandonn\xe9" "e par l'utilisateur.",
                          "Escaneado cancelado por el usuario.",
                          "Digitaliza\xe7\xe3o anulada pelo utilizador.",
                          "Het scannen is door de gebruiker afgebroken!"};
    for (int column = 0; column < kMessageColumns; ++column) {
        EXPECT_STREQ(MessageTable[8][static_cast<size_t>(column)], row8[column]) << "column " << column;
    }
    // The rights notice and holder name this project's maker.
    EXPECT_NE(std::string(MessageTable[36][0]).find("Tessaline Corp."), std::string::npos);
    EXPECT_NE(std::string(MessageTable[99][0]).find("Tessaline Corp."), std::string::npos);
}

TEST(MessageLanguage, LanguageIdentifiersMapToColumns)
{
    struct Case {
        uint16_t langId;
        LanguageCode code;
    };
    const Case cases[] = {
        {0x0409, kLanguageEnglish},        {0x0809, kLanguageEnglish},        {0x040C, kLanguageFrench},
        {0x080C, kLanguageFrench},         {0x100C, kLanguageFrench},         {0x0C0C, kLanguageFrenchCanada},
        {0x040A, kLanguageSpanish},        {0x0C0A, kLanguageSpanish},        {0x080A, kLanguageSpanishOther},
        {0x2C0A, kLanguageSpanishOther},   {0x0410, kLanguageItalian},        {0x0810, kLanguageItalian},
        {0x0407, kLanguageGerman},         {0x0C07, kLanguageGerman},         {0x0816, kLanguagePortuguese},
        {0x0416, kLanguagePortugueseBrazil}, {0x0413, kLanguageDutch},      {0x0813, kLanguageDutch},
        {0x0411, kLanguageEnglish},        {0x0804, kLanguageEnglish},        {0x0419, kLanguageEnglish},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LanguageForLangId(c.langId), c.code) << std::hex << c.langId;
    }
}

TEST(MessageLanguage, ChosenOnceForTheProcess)
{
    platform::testing::SetLanguage(0x0413);
    EXPECT_EQ(GetMessageLanguage(), kLanguageDutch);
    const LanguageCode first = CurrentLanguageId();
    platform::testing::SetLanguage(first == kLanguageGerman ? 0x0409 : 0x0407);
    EXPECT_EQ(CurrentLanguageId(), first);
    std::string text;
    LoadLanguageString(kLanguageGerman, 20, text);
    EXPECT_EQ(text, "Abbrechen");
    EXPECT_EQ(MessageText(8), MessageTable[8][first - kLanguageEnglish]);
    platform::testing::SetLanguage(0);
}

}  // namespace
