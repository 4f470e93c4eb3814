// The localized message table shared by the front ends: 168 rows of texts in
// ten language columns (Windows-1252), and the language chosen once per
// process from the system's default language.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// A column of the table: 1210 (English) to 1219 (Dutch); 0 = not chosen yet.
using LanguageCode = uint16_t;

inline constexpr LanguageCode kLanguageEnglish = 1210;
inline constexpr LanguageCode kLanguageFrench = 1211;
inline constexpr LanguageCode kLanguageSpanish = 1212;
inline constexpr LanguageCode kLanguageItalian = 1213;
inline constexpr LanguageCode kLanguageGerman = 1214;
inline constexpr LanguageCode kLanguagePortuguese = 1215;
inline constexpr LanguageCode kLanguageFrenchCanada = 1216;
inline constexpr LanguageCode kLanguageSpanishOther = 1217;
inline constexpr LanguageCode kLanguagePortugueseBrazil = 1218;
inline constexpr LanguageCode kLanguageDutch = 1219;

inline constexpr int kMessageRows = 168;
inline constexpr int kMessageColumns = 10;

using MessageRow = std::array<const char*, kMessageColumns>;
extern const std::array<MessageRow, kMessageRows> MessageTable;

// The column of a language identifier (primary language in the low 10 bits,
// sublanguage in the high 6).
LanguageCode LanguageForLangId(uint16_t langId);

// The system default language's column.
LanguageCode GetMessageLanguage();

// The cached column, chosen at the first call for the life of the process.
LanguageCode CurrentLanguageId();

// Assigns row `row` of column code - 1210 to `text`.
void LoadLanguageString(LanguageCode code, int row, std::string& text);

// The text of `row` in the process's language.
std::string MessageText(int row);
