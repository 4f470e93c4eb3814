// Parses security descriptor strings into a descriptor block.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace platform {

struct ParsedAce {
    uint8_t type = 0;
    uint8_t flags = 0;
    uint32_t mask = 0;
    std::vector<uint8_t> sid;
};

struct ParsedAcl {
    uint16_t flags = 0;  // SE_DACL_PROTECTED and friends
    std::vector<ParsedAce> entries;
};

struct ParsedDescriptor {
    std::vector<uint8_t> owner;
    std::vector<uint8_t> group;
    std::optional<ParsedAcl> dacl;
    std::optional<ParsedAcl> sacl;
};

// Nullopt on any syntax error.
std::optional<ParsedDescriptor> ParseSddl(std::string_view text);

}  // namespace platform
