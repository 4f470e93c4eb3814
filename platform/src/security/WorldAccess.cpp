// The world-access test of a descriptor: walks its DACL.
#include "security/WorldAccess.h"

#include "security/AccessControl.h"

#include <cstring>

namespace platform {

bool DescriptorGrantsWorld(const void* descriptor) {
    if (descriptor == nullptr) return false;
    const auto* sd = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
    if ((sd->Control & SE_DACL_PRESENT) == 0) return false;
    if (sd->Dacl == nullptr) return true;
    const auto* bytes = reinterpret_cast<const uint8_t*>(sd->Dacl);
    const uint8_t* end = bytes + sd->Dacl->AclSize;
    const uint8_t* entry = bytes + sizeof(ACL);
    constexpr DWORD kGenericRights = GENERIC_ALL | GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE;
    for (WORD i = 0; i < sd->Dacl->AceCount && entry + sizeof(AceHeader) <= end; ++i) {
        AceHeader header;
        std::memcpy(&header, entry, sizeof header);
        if (header.size < sizeof(AceHeader) + 4 + sizeof(SidHeader) + 4 || entry + header.size > end) break;
        DWORD mask;
        std::memcpy(&mask, entry + sizeof header, 4);
        SidHeader sid;
        std::memcpy(&sid, entry + sizeof header + 4, sizeof sid);
        uint32_t subAuthority;
        std::memcpy(&subAuthority, entry + sizeof header + 4 + sizeof sid, 4);
        static constexpr uint8_t kWorldAuthority[6] = {0, 0, 0, 0, 0, 1};
        const bool everyone = sid.subAuthorityCount == 1 && subAuthority == 0 &&
                              std::memcmp(sid.authority, kWorldAuthority, 6) == 0;
        const bool grants = (mask & kGenericRights) != 0 || (mask & kFileAllAccess) == kFileAllAccess;
        if (header.type == kAccessAllowed && everyone && grants) return true;
        entry += header.size;
    }
    return false;
}

bool GrantsWorldAccess(const SECURITY_ATTRIBUTES* attributes) {
    return attributes != nullptr && DescriptorGrantsWorld(attributes->lpSecurityDescriptor);
}

}  // namespace platform
