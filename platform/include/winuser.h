// Message boxes and beeps.
#pragma once

#include <windef.h>

#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_ABORTRETRYIGNORE 0x00000002u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_RETRYCANCEL 0x00000005u
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONHAND 0x00000010u
#define MB_ICONERROR 0x00000010u
#define MB_ICONSTOP 0x00000010u
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONWARNING 0x00000030u
#define MB_ICONASTERISK 0x00000040u
#define MB_ICONINFORMATION 0x00000040u
#define MB_DEFBUTTON1 0x00000000u
#define MB_DEFBUTTON2 0x00000100u
#define MB_DEFBUTTON3 0x00000200u
#define MB_DEFMASK 0x00000F00u
#define MB_SERVICE_NOTIFICATION 0x00200000u

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

#ifndef WINUSERAPI
#define WINUSERAPI WINBASEAPI
#endif

WINUSERAPI int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
WINUSERAPI BOOL WINAPI MessageBeep(UINT uType);

#define MessageBox MessageBoxA

// ---- window stations and desktops ----
DECLARE_HANDLE(HWINSTA);
DECLARE_HANDLE(HDESK);

WINUSERAPI HWINSTA WINAPI GetProcessWindowStation(void);
WINUSERAPI BOOL WINAPI SetProcessWindowStation(HWINSTA hWinSta);
WINUSERAPI HWINSTA WINAPI OpenWindowStationA(LPCSTR lpszWinSta, BOOL fInherit, DWORD dwDesiredAccess);
WINUSERAPI BOOL WINAPI CloseWindowStation(HWINSTA hWinSta);
WINUSERAPI HDESK WINAPI GetThreadDesktop(DWORD dwThreadId);
WINUSERAPI BOOL WINAPI SetThreadDesktop(HDESK hDesktop);
WINUSERAPI HDESK WINAPI OpenDesktopA(LPCSTR lpszDesktop, DWORD dwFlags, BOOL fInherit, DWORD dwDesiredAccess);
WINUSERAPI BOOL WINAPI CloseDesktop(HDESK hDesktop);

#define OpenWindowStation OpenWindowStationA
#define OpenDesktop OpenDesktopA
