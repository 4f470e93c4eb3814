// The security descriptor string language: owner, group, DACL and SACL with
// their flags and entries, rights as two-letter codes or numbers, accounts
// as two-letter aliases or S-1-… strings.
#include "security/SddlConverter.h"

#include "core/Controls.h"
#include "security/AccessControl.h"

#include <sddl.h>
#include <winbase.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {
namespace {

template <typename T>
struct Code {
    std::string_view name;
    T value;
};

constexpr std::array<Code<uint32_t>, 25> kRights{{
    {"GA", 0x10000000u}, {"GR", 0x80000000u}, {"GW", 0x40000000u}, {"GX", 0x20000000u}, {"RC", 0x00020000u},
    {"SD", 0x00010000u}, {"WD", 0x00040000u}, {"WO", 0x00080000u}, {"RP", 0x00000010u}, {"WP", 0x00000020u},
    {"CC", 0x00000001u}, {"DC", 0x00000002u}, {"LC", 0x00000004u}, {"SW", 0x00000008u}, {"LO", 0x00000080u},
    {"DT", 0x00000040u}, {"CR", 0x00000100u}, {"FA", 0x001F01FFu}, {"FR", 0x00120089u}, {"FW", 0x00120116u},
    {"FX", 0x001200A0u}, {"KA", 0x000F003Fu}, {"KR", 0x00020019u}, {"KW", 0x00020006u}, {"KX", 0x00020019u},
}};

constexpr std::array<Code<uint8_t>, 8> kAceTypes{{
    {"A", 0x00}, {"D", 0x01}, {"AU", 0x02}, {"AL", 0x03}, {"OA", 0x05}, {"OD", 0x06}, {"OU", 0x07}, {"ML", 0x11},
}};

constexpr std::array<Code<uint8_t>, 7> kAceFlags{{
    {"OI", 0x01}, {"CI", 0x02}, {"NP", 0x04}, {"IO", 0x08}, {"ID", 0x10}, {"SA", 0x40}, {"FA", 0x80},
}};

constexpr std::array<Code<std::string_view>, 16> kAccounts{{
    {"WD", "S-1-1-0"},      {"CO", "S-1-3-0"},      {"CG", "S-1-3-1"},      {"NU", "S-1-5-2"},
    {"IU", "S-1-5-4"},      {"SU", "S-1-5-6"},      {"AN", "S-1-5-7"},      {"PS", "S-1-5-10"},
    {"AU", "S-1-5-11"},     {"SY", "S-1-5-18"},     {"LS", "S-1-5-19"},     {"NS", "S-1-5-20"},
    {"BA", "S-1-5-32-544"}, {"BU", "S-1-5-32-545"}, {"BG", "S-1-5-32-546"}, {"PU", "S-1-5-32-547"},
}};

template <typename T, size_t N>
const Code<T>* Find(const std::array<Code<T>, N>& table, std::string_view name) {
    for (const auto& code : table)
        if (code.name == name) return &code;
    return nullptr;
}

bool ParseNumber(std::string_view text, uint64_t* value) {
    if (text.empty()) return false;
    std::string copy(text);
    char* end = nullptr;
    *value = std::strtoull(copy.c_str(), &end, 0);
    return *end == '\0';
}

// "S-1-<authority>-<sub>..." into its binary form.
bool SidFromString(std::string_view text, std::vector<uint8_t>* sid) {
    if (text.substr(0, 2) != "S-") return false;
    std::vector<uint64_t> parts;
    size_t start = 2;
    while (start <= text.size()) {
        size_t dash = text.find('-', start);
        uint64_t value = 0;
        if (!ParseNumber(text.substr(start, dash == std::string_view::npos ? dash : dash - start), &value))
            return false;
        parts.push_back(value);
        if (dash == std::string_view::npos) break;
        start = dash + 1;
    }
    if (parts.size() < 3 || parts[0] != 1 || parts.size() - 2 > 15) return false;
    sid->assign(8, 0);
    (*sid)[0] = 1;
    (*sid)[1] = static_cast<uint8_t>(parts.size() - 2);
    for (int i = 0; i < 6; ++i) (*sid)[2 + i] = static_cast<uint8_t>(parts[1] >> (8 * (5 - i)));
    for (size_t i = 2; i < parts.size(); ++i) {
        if (parts[i] > 0xFFFFFFFFu) return false;
        auto sub = static_cast<uint32_t>(parts[i]);
        uint8_t bytes[4];
        std::memcpy(bytes, &sub, 4);
        sid->insert(sid->end(), bytes, bytes + 4);
    }
    return true;
}

bool ParseAccount(std::string_view text, std::vector<uint8_t>* sid) {
    if (const auto* alias = Find(kAccounts, text)) return SidFromString(alias->value, sid);
    return SidFromString(text, sid);
}

// A run of two-letter codes from `table`, their values or'ed together.
template <typename T, size_t N>
bool ParseCodes(const std::array<Code<T>, N>& table, std::string_view text, T* value) {
    *value = 0;
    if (text.size() % 2 != 0) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        const auto* code = Find(table, text.substr(i, 2));
        if (code == nullptr) return false;
        *value = static_cast<T>(*value | code->value);
    }
    return true;
}

bool ParseRights(std::string_view text, uint32_t* mask) {
    if (text.substr(0, 2) == "0x" || text.substr(0, 2) == "0X") {
        uint64_t value = 0;
        if (!ParseNumber(text, &value) || value > 0xFFFFFFFFu) return false;
        *mask = static_cast<uint32_t>(value);
        return true;
    }
    return ParseCodes(kRights, text, mask);
}

// "type;flags;rights;object guid;inherited object guid;account"
bool ParseAce(std::string_view text, ParsedAce* ace) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        size_t semi = text.find(';', start);
        fields.push_back(text.substr(start, semi == std::string_view::npos ? semi : semi - start));
        if (semi == std::string_view::npos) break;
        start = semi + 1;
    }
    if (fields.size() != 6 && fields.size() != 7) return false;
    const auto* type = Find(kAceTypes, fields[0]);
    if (type == nullptr || !fields[3].empty() || !fields[4].empty()) return false;
    ace->type = type->value;
    return ParseCodes(kAceFlags, fields[1], &ace->flags) && ParseRights(fields[2], &ace->mask) &&
           ParseAccount(fields[5], &ace->sid);
}

// Flags ("P", "AI", "AR", "NO_ACCESS_CONTROL") then "(ace)" entries.
bool ParseAcl(std::string_view text, ParsedAcl* acl) {
    size_t open = text.find('(');
    std::string_view flags = text.substr(0, open);
    while (!flags.empty()) {
        if (flags[0] == 'P') {
            acl->flags |= SE_DACL_PROTECTED;
            flags.remove_prefix(1);
        } else if (flags.substr(0, 2) == "AI" || flags.substr(0, 2) == "AR") {
            flags.remove_prefix(2);
        } else if (flags.substr(0, 17) == "NO_ACCESS_CONTROL") {
            flags.remove_prefix(17);
        } else {
            return false;
        }
    }
    while (open != std::string_view::npos && open < text.size()) {
        if (text[open] != '(') return false;
        size_t close = text.find(')', open);
        if (close == std::string_view::npos) return false;
        ParsedAce ace;
        if (!ParseAce(text.substr(open + 1, close - open - 1), &ace)) return false;
        acl->entries.push_back(std::move(ace));
        open = close + 1;
    }
    return true;
}

bool IsSectionStart(std::string_view text, size_t at) {
    return at + 1 < text.size() && text[at + 1] == ':' &&
           (text[at] == 'O' || text[at] == 'G' || text[at] == 'D' || text[at] == 'S');
}

// The end of a section's body: the next "X:" outside parentheses.
size_t SectionEnd(std::string_view text, size_t from) {
    int depth = 0;
    for (size_t i = from; i < text.size(); ++i) {
        if (text[i] == '(') ++depth;
        if (text[i] == ')') --depth;
        // An account "S-…" never has ':' after its 'S'.
        if (depth == 0 && IsSectionStart(text, i)) return i;
    }
    return text.size();
}

size_t AclBytes(const ParsedAcl& acl) {
    size_t bytes = sizeof(ACL);
    for (const auto& ace : acl.entries) bytes += sizeof(AceHeader) + 4 + ace.sid.size();
    return bytes;
}

uint8_t* WriteAcl(const ParsedAcl& acl, uint8_t* out) {
    ACL header{};
    header.AclRevision = 2;
    header.AclSize = static_cast<WORD>(AclBytes(acl));
    header.AceCount = static_cast<WORD>(acl.entries.size());
    std::memcpy(out, &header, sizeof header);
    uint8_t* p = out + sizeof header;
    for (const auto& ace : acl.entries) {
        AceHeader ah{ace.type, ace.flags, static_cast<uint16_t>(sizeof(AceHeader) + 4 + ace.sid.size())};
        std::memcpy(p, &ah, sizeof ah);
        std::memcpy(p + sizeof ah, &ace.mask, 4);
        std::memcpy(p + sizeof ah + 4, ace.sid.data(), ace.sid.size());
        p += ah.size;
    }
    return p;
}

size_t Align4(size_t n) { return (n + 3) & ~size_t{3}; }

}  // namespace

std::optional<ParsedDescriptor> ParseSddl(std::string_view text) {
    ParsedDescriptor parsed;
    size_t at = 0;
    if (text.empty()) return parsed;
    while (at < text.size()) {
        if (!IsSectionStart(text, at)) return std::nullopt;
        const char kind = text[at];
        size_t end = SectionEnd(text, at + 2);
        std::string_view body = text.substr(at + 2, end - at - 2);
        bool ok = true;
        if (kind == 'O') ok = ParseAccount(body, &parsed.owner);
        if (kind == 'G') ok = ParseAccount(body, &parsed.group);
        if (kind == 'D') ok = ParseAcl(body, &parsed.dacl.emplace());
        if (kind == 'S') ok = ParseAcl(body, &parsed.sacl.emplace());
        if (!ok) return std::nullopt;
        at = end;
    }
    return parsed;
}

}  // namespace platform

WINBASEAPI BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorA(LPCSTR StringSecurityDescriptor,
                                                                            DWORD StringSDRevision,
                                                                            PSECURITY_DESCRIPTOR* SecurityDescriptor,
                                                                            PULONG SecurityDescriptorSize) {
    using namespace platform;
    if (FailNow("ConvertStringSecurityDescriptorToSecurityDescriptorA")) return FALSE;
    if (StringSDRevision != SDDL_REVISION_1) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    if (StringSecurityDescriptor == nullptr || SecurityDescriptor == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto parsed = ParseSddl(StringSecurityDescriptor);
    if (!parsed) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    size_t total = Align4(sizeof(SECURITY_DESCRIPTOR));
    total += Align4(parsed->owner.size()) + Align4(parsed->group.size());
    if (parsed->dacl) total += Align4(AclBytes(*parsed->dacl));
    if (parsed->sacl) total += Align4(AclBytes(*parsed->sacl));
    auto* block = static_cast<uint8_t*>(LocalAlloc(LPTR, total));
    if (block == nullptr) return FALSE;

    auto* sd = reinterpret_cast<SECURITY_DESCRIPTOR*>(block);
    sd->Revision = SECURITY_DESCRIPTOR_REVISION;
    uint8_t* p = block + Align4(sizeof(SECURITY_DESCRIPTOR));
    if (!parsed->owner.empty()) {
        std::memcpy(p, parsed->owner.data(), parsed->owner.size());
        sd->Owner = p;
        p += Align4(parsed->owner.size());
    }
    if (!parsed->group.empty()) {
        std::memcpy(p, parsed->group.data(), parsed->group.size());
        sd->Group = p;
        p += Align4(parsed->group.size());
    }
    if (parsed->dacl) {
        sd->Control |= SE_DACL_PRESENT | parsed->dacl->flags;
        sd->Dacl = reinterpret_cast<PACL>(p);
        p = block + Align4(static_cast<size_t>(WriteAcl(*parsed->dacl, p) - block));
    }
    if (parsed->sacl) {
        constexpr WORD kSaclPresent = 0x0010, kSaclProtected = 0x2000;
        sd->Control |= kSaclPresent | ((parsed->sacl->flags & SE_DACL_PROTECTED) ? kSaclProtected : 0);
        sd->Sacl = reinterpret_cast<PACL>(p);
        WriteAcl(*parsed->sacl, p);
    }
    *SecurityDescriptor = block;
    if (SecurityDescriptorSize != nullptr) *SecurityDescriptorSize = static_cast<ULONG>(total);
    return TRUE;
}
