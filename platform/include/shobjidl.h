// Shell extension interfaces: initialisation from a data object, context
// menu handlers and property sheet handlers, in their documented slot order.
#pragma once

#include <objbase.h>
#include <objidl.h>
#include <winuser.h>

#include <prsht.h>
typedef LPFNADDPROPSHEETPAGE LPFNSVADDPROPSHEETPAGE;
typedef UINT EXPPS;

// Item identifier lists are opaque here.
typedef struct _ITEMIDLIST ITEMIDLIST;
typedef const ITEMIDLIST* PCIDLIST_ABSOLUTE;
typedef const ITEMIDLIST* LPCITEMIDLIST;

// QueryContextMenu flags.
#define CMF_NORMAL 0x00000000u
#define CMF_DEFAULTONLY 0x00000001u

// GetCommandString types.
#define GCS_VERBA 0x00000000u
#define GCS_HELPTEXTA 0x00000001u
#define GCS_VALIDATEA 0x00000002u
#define GCS_VERBW 0x00000004u
#define GCS_HELPTEXTW 0x00000005u
#define GCS_VALIDATEW 0x00000006u
#define GCS_UNICODE 0x00000004u

typedef struct _CMINVOKECOMMANDINFO {
    DWORD cbSize;
    DWORD fMask;
    HWND hwnd;
    LPCSTR lpVerb;  // a command offset in its low word when the high bits are 0
    LPCSTR lpParameters;
    LPCSTR lpDirectory;
    int nShow;
    DWORD dwHotKey;
    HANDLE hIcon;
} CMINVOKECOMMANDINFO, *LPCMINVOKECOMMANDINFO;

#ifdef __cplusplus
inline constexpr IID IID_IShellExtInit = {0x000214E8, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IContextMenu = {0x000214E4, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IShellPropSheetExt = {0x000214E9, 0x0000, 0x0000,
                                               {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IShellExtInit : IUnknown {
    STDMETHOD(Initialize)(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj, HKEY hkeyProgID) = 0;

protected:
    ~IShellExtInit() = default;
};

struct IContextMenu : IUnknown {
    STDMETHOD(QueryContextMenu)(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags) = 0;
    STDMETHOD(InvokeCommand)(CMINVOKECOMMANDINFO* pici) = 0;
    STDMETHOD(GetCommandString)(UINT_PTR idCmd, UINT uType, UINT* pReserved, CHAR* pszName, UINT cchMax) = 0;

protected:
    ~IContextMenu() = default;
};

struct IShellPropSheetExt : IUnknown {
    STDMETHOD(AddPages)(LPFNSVADDPROPSHEETPAGE pfnAddPage, LPARAM lParam) = 0;
    STDMETHOD(ReplacePage)(EXPPS uPageID, LPFNSVADDPROPSHEETPAGE pfnReplaceWith, LPARAM lParam) = 0;

protected:
    ~IShellPropSheetExt() = default;
};
#endif
