// The system's default language, from the machine's locale settings
// (LC_ALL, LC_MESSAGES, LANG in that order; C and POSIX are US English), or
// the test control PLATFORM_LANGID (a language identifier, decimal or 0x hex).
#include <windows.h>

#include <array>
#include <cstdlib>
#include <string>
#include <string_view>

namespace platform {
namespace {

struct LanguageEntry {
    std::string_view code;  // ISO 639 language
    WORD primary;
};

constexpr std::array<LanguageEntry, 24> kLanguages{{
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06},
    {"de", 0x07}, {"el", 0x08}, {"en", 0x09}, {"es", 0x0a}, {"fi", 0x0b}, {"fr", 0x0c},
    {"he", 0x0d}, {"hu", 0x0e}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12}, {"nl", 0x13},
    {"nb", 0x14}, {"pl", 0x15}, {"pt", 0x16}, {"ru", 0x19}, {"sv", 0x1d}, {"tr", 0x1f},
}};

struct SublanguageEntry {
    WORD primary;
    std::string_view country;  // ISO 3166
    WORD sub;
};

// Countries whose sublanguage is not the default (1) one.
constexpr std::array<SublanguageEntry, 27> kSublanguages{{
    {0x09, "GB", 2}, {0x09, "AU", 3}, {0x09, "CA", 4}, {0x09, "NZ", 5}, {0x09, "IE", 6},
    {0x0c, "BE", 2}, {0x0c, "CA", 3}, {0x0c, "CH", 4}, {0x0c, "LU", 5},
    {0x0a, "ES", 3}, {0x0a, "MX", 2}, {0x0a, "GT", 4}, {0x0a, "CR", 5}, {0x0a, "PA", 6},
    {0x0a, "VE", 8}, {0x0a, "CO", 9}, {0x0a, "PE", 10}, {0x0a, "AR", 11}, {0x0a, "CL", 13},
    {0x07, "CH", 2}, {0x07, "AT", 3}, {0x07, "LU", 4},
    {0x10, "CH", 2}, {0x13, "BE", 2},
    {0x16, "BR", 1}, {0x16, "PT", 2},
    {0x04, "TW", 1},
}};

WORD FromLocale(std::string_view locale) {
    constexpr WORD kUsEnglish = 0x0409;
    if (locale.empty() || locale == "C" || locale == "POSIX" || locale.starts_with("C.")) return kUsEnglish;
    const std::string_view language = locale.substr(0, locale.find_first_of("_.@"));
    std::string_view country;
    if (size_t underscore = locale.find('_'); underscore != std::string_view::npos) {
        country = locale.substr(underscore + 1);
        country = country.substr(0, country.find_first_of(".@"));
    }
    for (const auto& entry : kLanguages) {
        if (entry.code != language) continue;
        WORD sub = 1;
        // Portuguese without a country is Portugal's.
        if (entry.primary == 0x16) sub = 2;
        for (const auto& s : kSublanguages) {
            if (s.primary == entry.primary && s.country == country) sub = s.sub;
        }
        return static_cast<WORD>((sub << 10) | entry.primary);
    }
    // A language without an identifier here: neutral, with the default sublanguage.
    return 0x0400;
}

}  // namespace
}  // namespace platform

WINBASEAPI LANGID WINAPI GetSystemDefaultLangID(void) {
    if (const char* forced = std::getenv("PLATFORM_LANGID"); forced != nullptr && *forced != '\0') {
        return static_cast<LANGID>(std::strtoul(forced, nullptr, 0));
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return platform::FromLocale(value);
    }
    return platform::FromLocale("");
}
