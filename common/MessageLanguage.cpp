// The language of the message table: chosen once per process from the
// system's default language.
#include "MessageTable.h"

#include <windows.h>

#include <atomic>

LanguageCode LanguageForLangId(uint16_t langId)
{
    const unsigned primary = langId & 0x3FFu;
    const unsigned sub = langId >> 10;
    switch (primary) {
    case LANG_GERMAN:
        return kLanguageGerman;
    case LANG_ENGLISH:
        return kLanguageEnglish;
    case LANG_SPANISH:
        return (sub == 1 || sub == 3) ? kLanguageSpanish : kLanguageSpanishOther;
    case LANG_FRENCH:
        return sub == 3 ? kLanguageFrenchCanada : kLanguageFrench;
    case LANG_ITALIAN:
        return kLanguageItalian;
    case LANG_DUTCH:
        return kLanguageDutch;
    case LANG_PORTUGUESE:
        return sub == 1 ? kLanguagePortugueseBrazil : kLanguagePortuguese;
    default:
        return kLanguageEnglish;
    }
}

LanguageCode GetMessageLanguage()
{
    return LanguageForLangId(GetSystemDefaultLangID());
}

namespace {
// Two threads racing on the first lookup compute the same value.
std::atomic<LanguageCode> chosenLanguage{0};
}  // namespace

LanguageCode CurrentLanguageId()
{
    LanguageCode code = chosenLanguage.load(std::memory_order_relaxed);
    if (code == 0) {
        code = GetMessageLanguage();
        chosenLanguage.store(code, std::memory_order_relaxed);
    }
    return code;
}

void LoadLanguageString(LanguageCode code, int row, std::string& text)
{
    if (code < kLanguageEnglish || code >= kLanguageEnglish + kMessageColumns || row < 0 || row >= kMessageRows) {
        text.clear();
        return;
    }
    text = MessageTable[static_cast<size_t>(row)][code - kLanguageEnglish];
}

std::string MessageText(int row)
{
    std::string text;
    LoadLanguageString(CurrentLanguageId(), row, text);
    return text;
}
