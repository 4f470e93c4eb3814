// The Windows API of the platform: every base header in one include.
#pragma once

#include <windef.h>
#include <winnt.h>
#include <winerror.h>
#include <minwinbase.h>
#include <winbase.h>
#include <fileapi.h>
#include <ioapiset.h>
#include <processthreadsapi.h>
#include <securitybaseapi.h>
#include <winreg.h>
#include <winioctl.h>
#include <winnls.h>
#include <winuser.h>
#include <wingdi.h>
#include <winver.h>
