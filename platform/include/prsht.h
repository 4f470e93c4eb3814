// Property sheets and their pages: the page and sheet records, the sheet's
// messages and the notifications its pages get.
#pragma once

#include <windef.h>
#include <winuser.h>

#include <stddef.h>

struct _PSP;
typedef struct _PSP* HPROPSHEETPAGE;
struct _PROPSHEETPAGEA;

typedef UINT(CALLBACK* LPFNPSPCALLBACKA)(HWND hwnd, UINT uMsg, struct _PROPSHEETPAGEA* ppsp);
typedef int(CALLBACK* PFNPROPSHEETCALLBACK)(HWND hwnd, UINT uMsg, LPARAM lParam);
typedef BOOL(CALLBACK* LPFNADDPROPSHEETPAGE)(HPROPSHEETPAGE hpage, LPARAM lParam);
typedef BOOL(CALLBACK* LPFNADDPROPSHEETPAGES)(LPVOID pv, LPFNADDPROPSHEETPAGE pfn, LPARAM lParam);

typedef struct _PROPSHEETPAGEA {
    DWORD dwSize;
    DWORD dwFlags;
    HINSTANCE hInstance;
    union {
        LPCSTR pszTemplate;
        LPCDLGTEMPLATEA pResource;
    };
    union {
        HICON hIcon;
        LPCSTR pszIcon;
    };
    LPCSTR pszTitle;
    DLGPROC pfnDlgProc;
    LPARAM lParam;
    LPFNPSPCALLBACKA pfnCallback;
    UINT* pcRefParent;
    LPCSTR pszHeaderTitle;
    LPCSTR pszHeaderSubTitle;
} PROPSHEETPAGEA, *LPPROPSHEETPAGEA;
typedef const PROPSHEETPAGEA* LPCPROPSHEETPAGEA;
typedef PROPSHEETPAGEA PROPSHEETPAGE;
typedef LPPROPSHEETPAGEA LPPROPSHEETPAGE;
typedef LPCPROPSHEETPAGEA LPCPROPSHEETPAGE;
// The first version of the record ends after pcRefParent.
#define PROPSHEETPAGEA_V1_SIZE offsetof(PROPSHEETPAGEA, pszHeaderTitle)

typedef struct _PROPSHEETHEADERA {
    DWORD dwSize;
    DWORD dwFlags;
    HWND hwndParent;
    HINSTANCE hInstance;
    union {
        HICON hIcon;
        LPCSTR pszIcon;
    };
    LPCSTR pszCaption;
    UINT nPages;
    union {
        UINT nStartPage;
        LPCSTR pStartPage;
    };
    union {
        LPCPROPSHEETPAGEA ppsp;
        HPROPSHEETPAGE* phpage;
    };
    PFNPROPSHEETCALLBACK pfnCallback;
    union {
        HBITMAP hbmWatermark;
        LPCSTR pszbmWatermark;
    };
    HPALETTE hplWatermark;
    union {
        HBITMAP hbmHeader;
        LPCSTR pszbmHeader;
    };
} PROPSHEETHEADERA, *LPPROPSHEETHEADERA;
typedef const PROPSHEETHEADERA* LPCPROPSHEETHEADERA;
typedef PROPSHEETHEADERA PROPSHEETHEADER;
typedef LPPROPSHEETHEADERA LPPROPSHEETHEADER;
typedef LPCPROPSHEETHEADERA LPCPROPSHEETHEADER;
#define PROPSHEETHEADERA_V1_SIZE offsetof(PROPSHEETHEADERA, hbmWatermark)

#ifdef __cplusplus
static_assert(offsetof(PROPSHEETPAGEA, hInstance) == 8, "PROPSHEETPAGEA layout");
static_assert(sizeof(PROPSHEETPAGEA) == 8 + 10 * sizeof(void*), "PROPSHEETPAGEA layout");
static_assert(PROPSHEETPAGEA_V1_SIZE == 8 + 8 * sizeof(void*), "PROPSHEETPAGEA first version");
static_assert(offsetof(PROPSHEETHEADERA, nPages) == 8 + 4 * sizeof(void*), "PROPSHEETHEADERA layout");
static_assert(PROPSHEETHEADERA_V1_SIZE == 8 + 8 * sizeof(void*), "PROPSHEETHEADERA first version");
#endif

typedef struct _PSHNOTIFY {
    NMHDR hdr;
    LPARAM lParam;
} PSHNOTIFY, *LPPSHNOTIFY;

// Page flags.
#define PSP_DEFAULT 0x00000000u
#define PSP_DLGINDIRECT 0x00000001u
#define PSP_USEHICON 0x00000002u
#define PSP_USEICONID 0x00000004u
#define PSP_USETITLE 0x00000008u
#define PSP_RTLREADING 0x00000010u
#define PSP_HASHELP 0x00000020u
#define PSP_USEREFPARENT 0x00000040u
#define PSP_USECALLBACK 0x00000080u
#define PSP_PREMATURE 0x00000400u

#define PSPCB_ADDREF 0
#define PSPCB_RELEASE 1
#define PSPCB_CREATE 2

// Sheet flags.
#define PSH_DEFAULT 0x00000000u
#define PSH_PROPTITLE 0x00000001u
#define PSH_USEHICON 0x00000002u
#define PSH_USEICONID 0x00000004u
#define PSH_PROPSHEETPAGE 0x00000008u
#define PSH_WIZARD 0x00000020u
#define PSH_USEPSTARTPAGE 0x00000040u
#define PSH_NOAPPLYNOW 0x00000080u
#define PSH_USECALLBACK 0x00000100u
#define PSH_HASHELP 0x00000200u
#define PSH_MODELESS 0x00000400u
#define PSH_RTLREADING 0x00000800u

#define PSCB_INITIALIZED 1
#define PSCB_PRECREATE 2

// Notifications to the pages (WM_NOTIFY; the answer in DWLP_MSGRESULT).
#define PSN_FIRST (0U - 200U)
#define PSN_SETACTIVE (PSN_FIRST - 0)
#define PSN_KILLACTIVE (PSN_FIRST - 1)
#define PSN_APPLY (PSN_FIRST - 2)
#define PSN_RESET (PSN_FIRST - 3)
#define PSN_HELP (PSN_FIRST - 5)
#define PSN_QUERYCANCEL (PSN_FIRST - 9)

#define PSNRET_NOERROR 0
#define PSNRET_INVALID 1
#define PSNRET_INVALID_NOCHANGEPAGE 2

// Messages to the sheet.
#define PSM_SETCURSEL (WM_USER + 101)
#define PSM_REMOVEPAGE (WM_USER + 102)
#define PSM_ADDPAGE (WM_USER + 103)
#define PSM_CHANGED (WM_USER + 104)
#define PSM_RESTARTWINDOWS (WM_USER + 105)
#define PSM_REBOOTSYSTEM (WM_USER + 106)
#define PSM_CANCELTOCLOSE (WM_USER + 107)
#define PSM_QUERYSIBLINGS (WM_USER + 108)
#define PSM_UNCHANGED (WM_USER + 109)
#define PSM_APPLY (WM_USER + 110)
#define PSM_SETTITLEA (WM_USER + 111)
#define PSM_PRESSBUTTON (WM_USER + 113)
#define PSM_GETTABCONTROL (WM_USER + 116)
#define PSM_ISDIALOGMESSAGE (WM_USER + 117)
#define PSM_GETCURRENTPAGEHWND (WM_USER + 118)
#define PSM_HWNDTOINDEX (WM_USER + 129)
#define PSM_INDEXTOHWND (WM_USER + 130)
#define PSM_PAGETOINDEX (WM_USER + 131)
#define PSM_INDEXTOPAGE (WM_USER + 132)
#define PSM_SETTITLE PSM_SETTITLEA

#define PSBTN_BACK 0
#define PSBTN_NEXT 1
#define PSBTN_FINISH 2
#define PSBTN_OK 3
#define PSBTN_APPLYNOW 4
#define PSBTN_CANCEL 5
#define PSBTN_HELP 6

// Control ids of the sheet's own windows.
#define ID_APPLY_NOW 0x3021
#define IDC_PROPSHEET_TABCONTROL 0x3020
#define IDHELP 9

#define PropSheet_SetCurSel(d, hpage, index) SendMessageA(d, PSM_SETCURSEL, (WPARAM)(index), (LPARAM)(hpage))
#define PropSheet_RemovePage(d, index, hpage) SendMessageA(d, PSM_REMOVEPAGE, (WPARAM)(index), (LPARAM)(hpage))
#define PropSheet_AddPage(d, hpage) SendMessageA(d, PSM_ADDPAGE, 0, (LPARAM)(hpage))
#define PropSheet_Changed(d, page) SendMessageA(d, PSM_CHANGED, (WPARAM)(page), 0)
#define PropSheet_UnChanged(d, page) SendMessageA(d, PSM_UNCHANGED, (WPARAM)(page), 0)
#define PropSheet_CancelToClose(d) SendMessageA(d, PSM_CANCELTOCLOSE, 0, 0)
#define PropSheet_QuerySiblings(d, w, l) SendMessageA(d, PSM_QUERYSIBLINGS, (WPARAM)(w), (LPARAM)(l))
#define PropSheet_Apply(d) SendMessageA(d, PSM_APPLY, 0, 0)
#define PropSheet_SetTitle(d, flags, text) SendMessageA(d, PSM_SETTITLEA, (WPARAM)(flags), (LPARAM)(text))
#define PropSheet_PressButton(d, button) SendMessageA(d, PSM_PRESSBUTTON, (WPARAM)(button), 0)
#define PropSheet_GetTabControl(d) (HWND) SendMessageA(d, PSM_GETTABCONTROL, 0, 0)
#define PropSheet_IsDialogMessage(d, msg) SendMessageA(d, PSM_ISDIALOGMESSAGE, 0, (LPARAM)(msg))
#define PropSheet_GetCurrentPageHwnd(d) (HWND) SendMessageA(d, PSM_GETCURRENTPAGEHWND, 0, 0)
#define PropSheet_HwndToIndex(d, page) SendMessageA(d, PSM_HWNDTOINDEX, (WPARAM)(page), 0)
#define PropSheet_IndexToHwnd(d, index) (HWND) SendMessageA(d, PSM_INDEXTOHWND, (WPARAM)(index), 0)
#define PropSheet_PageToIndex(d, hpage) SendMessageA(d, PSM_PAGETOINDEX, 0, (LPARAM)(hpage))
#define PropSheet_IndexToPage(d, index) (HPROPSHEETPAGE) SendMessageA(d, PSM_INDEXTOPAGE, (WPARAM)(index), 0)

#ifndef WINCOMMCTRLAPI
#define WINCOMMCTRLAPI WINBASEAPI
#endif

WINCOMMCTRLAPI HPROPSHEETPAGE WINAPI CreatePropertySheetPageA(LPCPROPSHEETPAGEA constPropSheetPagePointer);
WINCOMMCTRLAPI BOOL WINAPI DestroyPropertySheetPage(HPROPSHEETPAGE hPSPage);
WINCOMMCTRLAPI INT_PTR WINAPI PropertySheetA(LPCPROPSHEETHEADERA lppsph);

#define CreatePropertySheetPage CreatePropertySheetPageA
#define PropertySheet PropertySheetA
