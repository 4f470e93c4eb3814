// The machine's language and measurement system, from its locale
// (LC_ALL, LC_MESSAGES, LANG; C and POSIX are US English) or the test
// control PLATFORM_LANGID.
#include "core/Controls.h"

#include <platform/testing_ui.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {
namespace {

std::atomic<int> languageOverride{-1};

struct LocaleRow {
    const char* prefix;  // language_COUNTRY or language
    LANGID id;
};

// Longest prefix first within each language.
constexpr LocaleRow kLocales[] = {
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en", 0x0409},
    {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr", 0x040C},
    {"de_AT", 0x0C07}, {"de_CH", 0x0807}, {"de", 0x0407},
    {"es_MX", 0x080A}, {"es", 0x0C0A},
    {"it_CH", 0x0810}, {"it", 0x0410},
    {"nl_BE", 0x0813}, {"nl", 0x0413},
    {"pt_BR", 0x0416}, {"pt", 0x0816},
    {"ja", 0x0411},
};

std::string LocaleName() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return value;
    }
    return "C";
}

LANGID FromLocale() {
    const std::string name = LocaleName();
    for (const auto& row : kLocales)
        if (name.compare(0, std::strlen(row.prefix), row.prefix) == 0) return row.id;
    return 0x0409;
}

LANGID Language() {
    const int forced = languageOverride.load();
    if (forced > 0) return static_cast<LANGID>(forced);
    if (forced < 0) {
        if (const char* env = std::getenv("PLATFORM_LANGID")) {
            const long value = std::strtol(env, nullptr, 0);
            if (value > 0) return static_cast<LANGID>(value);
        }
    }
    return FromLocale();
}

}  // namespace
}  // namespace platform

WINBASEAPI LANGID WINAPI GetSystemDefaultLangID(void) { return platform::Language(); }
WINBASEAPI LANGID WINAPI GetUserDefaultLangID(void) { return platform::Language(); }

WINBASEAPI int WINAPI GetLocaleInfoA(LCID, LCTYPE LCType, LPSTR lpLCData, int cchData) {
    const char* value = nullptr;
    if (LCType == LOCALE_IMEASURE) {
        // Only the United States measure in inches among the languages known here.
        value = platform::Language() == 0x0409 ? "1" : "0";
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const int needed = static_cast<int>(std::strlen(value)) + 1;
    if (cchData == 0) return needed;
    if (lpLCData == nullptr || cchData < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(lpLCData, value, needed);
    return needed;
}

namespace platform::testing {

void SetLanguage(WORD langId) { platform::languageOverride = langId ? static_cast<int>(langId) : -1; }

}  // namespace platform::testing
