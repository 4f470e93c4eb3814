// Access-control records as the descriptor functions lay them out.
#pragma once

#include <winnt.h>

#include <cstdint>

namespace platform {

struct AceHeader {
    uint8_t type;   // kAccessAllowed or kAccessDenied
    uint8_t flags;  // inheritance flags
    uint16_t size;  // header, mask and SID
};

inline constexpr uint8_t kAccessAllowed = 0;
inline constexpr uint8_t kAccessDenied = 1;

// A SID as stored after an entry's mask: revision, count, authority, sub-authorities.
struct SidHeader {
    uint8_t revision;
    uint8_t subAuthorityCount;
    uint8_t authority[6];
};

inline constexpr DWORD kFileAllAccess = 0x001F01FFu;

}  // namespace platform
