// Security identifiers and access tokens.
#pragma once

#include <windef.h>
#include <winnt.h>

#define TOKEN_ASSIGN_PRIMARY 0x0001u
#define TOKEN_DUPLICATE 0x0002u
#define TOKEN_IMPERSONATE 0x0004u
#define TOKEN_QUERY 0x0008u
#define TOKEN_ALL_ACCESS 0x000F01FFu
#define MAXIMUM_ALLOWED 0x02000000u

#define SID_REVISION 1
#define SID_MAX_SUB_AUTHORITIES 15

typedef struct _SID_IDENTIFIER_AUTHORITY {
    BYTE Value[6];
} SID_IDENTIFIER_AUTHORITY, *PSID_IDENTIFIER_AUTHORITY;

typedef struct _SID {
    BYTE Revision;
    BYTE SubAuthorityCount;
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
    DWORD SubAuthority[1];
} SID, *PISID;

typedef struct _SID_AND_ATTRIBUTES {
    PSID Sid;
    DWORD Attributes;
} SID_AND_ATTRIBUTES, *PSID_AND_ATTRIBUTES;

typedef struct _TOKEN_USER {
    SID_AND_ATTRIBUTES User;
} TOKEN_USER, *PTOKEN_USER;

#ifdef __cplusplus
static_assert(sizeof(SID) == 12, "SID layout");
static_assert(sizeof(TOKEN_USER) == (sizeof(void*) == 8 ? 16 : 8), "TOKEN_USER layout");
#endif

typedef enum _TOKEN_INFORMATION_CLASS {
    TokenUser = 1,
    TokenGroups,
    TokenPrivileges,
    TokenOwner,
    TokenPrimaryGroup,
    TokenDefaultDacl,
    TokenSource,
    TokenType,
    TokenImpersonationLevel,
    TokenStatistics,
    TokenRestrictedSids,
    TokenSessionId
} TOKEN_INFORMATION_CLASS, *PTOKEN_INFORMATION_CLASS;

// clang-format off
#define SECURITY_NULL_SID_AUTHORITY {{0, 0, 0, 0, 0, 0}}
#define SECURITY_WORLD_SID_AUTHORITY {{0, 0, 0, 0, 0, 1}}
#define SECURITY_NT_AUTHORITY {{0, 0, 0, 0, 0, 5}}
// clang-format on
#define SECURITY_LOCAL_SYSTEM_RID 0x00000012u
#define SECURITY_NT_NON_UNIQUE 0x00000015u
#define SECURITY_BUILTIN_DOMAIN_RID 0x00000020u
#define DOMAIN_ALIAS_RID_ADMINS 0x00000220u

WINBASEAPI BOOL WINAPI GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                                           LPVOID TokenInformation, DWORD TokenInformationLength, PDWORD ReturnLength);
WINBASEAPI BOOL WINAPI IsValidSid(PSID pSid);
WINBASEAPI DWORD WINAPI GetLengthSid(PSID pSid);
WINBASEAPI BOOL WINAPI EqualSid(PSID pSid1, PSID pSid2);
WINBASEAPI PSID_IDENTIFIER_AUTHORITY WINAPI GetSidIdentifierAuthority(PSID pSid);
WINBASEAPI PUCHAR WINAPI GetSidSubAuthorityCount(PSID pSid);
WINBASEAPI PDWORD WINAPI GetSidSubAuthority(PSID pSid, DWORD nSubAuthority);
WINBASEAPI BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority, BYTE nSubAuthorityCount,
                                                DWORD nSubAuthority0, DWORD nSubAuthority1, DWORD nSubAuthority2,
                                                DWORD nSubAuthority3, DWORD nSubAuthority4, DWORD nSubAuthority5,
                                                DWORD nSubAuthority6, DWORD nSubAuthority7, PSID* pSid);
WINBASEAPI PVOID WINAPI FreeSid(PSID pSid);
