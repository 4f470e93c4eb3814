// Security descriptor strings.
#pragma once

#include <windef.h>
#include <winnt.h>

#define SDDL_REVISION_1 1
#define SDDL_REVISION SDDL_REVISION_1

WINBASEAPI BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorA(LPCSTR StringSecurityDescriptor,
                                                                            DWORD StringSDRevision,
                                                                            PSECURITY_DESCRIPTOR* SecurityDescriptor,
                                                                            PULONG SecurityDescriptorSize);
