// Security identifiers: validity, length and their parts.
#include "core/Controls.h"

#include <securitybaseapi.h>
#include <winbase.h>

#include <cstdlib>
#include <cstring>

namespace {

PISID AsSid(PSID sid) { return static_cast<PISID>(sid); }

}  // namespace

WINBASEAPI BOOL WINAPI IsValidSid(PSID pSid) {
    if (pSid == nullptr) return FALSE;
    const PISID sid = AsSid(pSid);
    return sid->Revision == SID_REVISION && sid->SubAuthorityCount <= SID_MAX_SUB_AUTHORITIES ? TRUE : FALSE;
}

WINBASEAPI DWORD WINAPI GetLengthSid(PSID pSid) {
    if (!IsValidSid(pSid)) return 0;
    return 8 + 4u * AsSid(pSid)->SubAuthorityCount;
}

WINBASEAPI BOOL WINAPI EqualSid(PSID pSid1, PSID pSid2) {
    if (!IsValidSid(pSid1) || !IsValidSid(pSid2)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD length = GetLengthSid(pSid1);
    SetLastError(ERROR_SUCCESS);
    return length == GetLengthSid(pSid2) && std::memcmp(pSid1, pSid2, length) == 0 ? TRUE : FALSE;
}

WINBASEAPI PSID_IDENTIFIER_AUTHORITY WINAPI GetSidIdentifierAuthority(PSID pSid) {
    return &AsSid(pSid)->IdentifierAuthority;
}

WINBASEAPI PUCHAR WINAPI GetSidSubAuthorityCount(PSID pSid) { return &AsSid(pSid)->SubAuthorityCount; }

WINBASEAPI PDWORD WINAPI GetSidSubAuthority(PSID pSid, DWORD nSubAuthority) {
    // The sub-authorities follow the fixed part; the record declares one.
    return reinterpret_cast<PDWORD>(static_cast<BYTE*>(pSid) + 8 + 4 * static_cast<size_t>(nSubAuthority));
}

WINBASEAPI BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority, BYTE nSubAuthorityCount,
                                                DWORD nSubAuthority0, DWORD nSubAuthority1, DWORD nSubAuthority2,
                                                DWORD nSubAuthority3, DWORD nSubAuthority4, DWORD nSubAuthority5,
                                                DWORD nSubAuthority6, DWORD nSubAuthority7, PSID* pSid) {
    if (platform::FailNow("AllocateAndInitializeSid")) return FALSE;
    if (pIdentifierAuthority == nullptr || pSid == nullptr || nSubAuthorityCount > 8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD subs[8] = {nSubAuthority0, nSubAuthority1, nSubAuthority2, nSubAuthority3,
                           nSubAuthority4, nSubAuthority5, nSubAuthority6, nSubAuthority7};
    auto* sid = static_cast<BYTE*>(std::calloc(1, 8 + 4 * static_cast<size_t>(nSubAuthorityCount)));
    if (sid == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    sid[0] = SID_REVISION;
    sid[1] = nSubAuthorityCount;
    std::memcpy(sid + 2, pIdentifierAuthority->Value, 6);
    std::memcpy(sid + 8, subs, 4 * static_cast<size_t>(nSubAuthorityCount));
    *pSid = sid;
    return TRUE;
}

WINBASEAPI PVOID WINAPI FreeSid(PSID pSid) {
    std::free(pSid);
    return nullptr;
}
