// Automation strings: length-prefixed wide strings from the task allocator.
#pragma once

#include <objbase.h>

typedef OLECHAR* BSTR;

#ifdef __cplusplus
extern "C" {
#endif
PLATFORM_EXPORT BSTR WINAPI SysAllocString(const OLECHAR* psz);
PLATFORM_EXPORT BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui);
PLATFORM_EXPORT void WINAPI SysFreeString(BSTR bstrString);
PLATFORM_EXPORT UINT WINAPI SysStringLen(BSTR pbstr);
#ifdef __cplusplus
}
#endif
