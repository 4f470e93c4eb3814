// Property sheets: a dialog with a tab control at the top, one page per tab
// (a child dialog made from the page's template when it is first shown) and
// the OK, Cancel and Apply buttons; the pages hear of activation, leaving,
// applying and cancelling through WM_NOTIFY and answer in DWLP_MSGRESULT.
// Modal sheets run their own loop; modeless ones return their window, which
// the application feeds with PSM_ISDIALOGMESSAGE and destroys once
// PSM_GETCURRENTPAGEHWND answers null (after OK or Cancel).
#include "user32/Display.h"
#include "user32/ScriptedUser.h"
#include "user32/WindowManager.h"

#include <commctrl.h>
#include <prsht.h>

#include <algorithm>
#include <cstring>
#include <set>

struct _PSP {
    std::vector<uint8_t> record;  // the caller's record as given, at least a whole PROPSHEETPAGEA
    HWND window = nullptr;        // the page's dialog once made
    HWND sheet = nullptr;         // the sheet that owns the page
    bool changed = false;
    PROPSHEETPAGEA* Record() { return reinterpret_cast<PROPSHEETPAGEA*>(record.data()); }
};

namespace platform::user {
namespace {

using Page = _PSP;

constexpr int kMargin = 7;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonGap = 6;
constexpr INT_PTR kRestartWindows = 1;  // ID_PSRESTARTWINDOWS
constexpr INT_PTR kRebootSystem = 2;    // ID_PSREBOOTSYSTEM

std::mutex& PagesLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

std::set<Page*>& LivePages() {
    static auto* pages = new std::set<Page*>;
    return *pages;
}

bool Live(Page* page) {
    std::lock_guard guard(PagesLock());
    return page && LivePages().count(page) != 0;
}

Page* MakePage(const PROPSHEETPAGEA* given) {
    if (given == nullptr || given->dwSize < PROPSHEETPAGEA_V1_SIZE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* page = new Page;
    // Fields past the caller's version of the record stay empty; bytes
    // after a whole record (the caller's own data) are kept.
    page->record.assign(std::max<size_t>(given->dwSize, sizeof(PROPSHEETPAGEA)), 0);
    std::memcpy(page->record.data(), given, given->dwSize);
    {
        std::lock_guard guard(PagesLock());
        LivePages().insert(page);
    }
    PROPSHEETPAGEA* record = page->Record();
    if ((record->dwFlags & PSP_USEREFPARENT) && record->pcRefParent) ++*record->pcRefParent;
    if ((record->dwFlags & PSP_USECALLBACK) && record->pfnCallback) record->pfnCallback(nullptr, PSPCB_ADDREF, record);
    return page;
}

void ReleasePage(Page* page) {
    {
        std::lock_guard guard(PagesLock());
        if (LivePages().erase(page) == 0) return;
    }
    if (page->window && IsWindow(page->window)) DestroyWindow(page->window);
    PROPSHEETPAGEA* record = page->Record();
    if ((record->dwFlags & PSP_USECALLBACK) && record->pfnCallback) record->pfnCallback(nullptr, PSPCB_RELEASE, record);
    if ((record->dwFlags & PSP_USEREFPARENT) && record->pcRefParent) --*record->pcRefParent;
    delete page;
}

std::string TextOrString(HINSTANCE instance, LPCSTR text) {
    if (text == nullptr) return {};
    if (!IS_INTRESOURCE(text)) return text;
    char buffer[512] = {};
    LoadStringA(instance, static_cast<UINT>(reinterpret_cast<uintptr_t>(text)), buffer, sizeof buffer);
    return buffer;
}

const void* PageTemplate(Page* page) {
    PROPSHEETPAGEA* record = page->Record();
    if (record->dwFlags & PSP_DLGINDIRECT) return record->pResource;
    HRSRC found = FindResourceA(record->hInstance, record->pszTemplate, RT_DIALOG);
    return found ? LockResource(LoadResource(record->hInstance, found)) : nullptr;
}

std::string PageTitle(Page* page) {
    PROPSHEETPAGEA* record = page->Record();
    if ((record->dwFlags & PSP_USETITLE) && record->pszTitle) return TextOrString(record->hInstance, record->pszTitle);
    return ReadTemplateFacts(PageTemplate(page)).caption;
}

struct Sheet {
    std::vector<Page*> pages;
    int current = -1;
    HWND tab = nullptr;
    HWND ok = nullptr;
    HWND cancel = nullptr;
    HWND apply = nullptr;
    HWND help = nullptr;
    HINSTANCE instance = nullptr;
    RECT display{};  // where the pages sit, in the sheet's client coordinates
    bool modeless = false;
    bool closed = false;
    bool applied = false;
    INT_PTR restart = 0;
};

std::shared_ptr<Sheet> SheetOf(HWND hwnd) {
    std::lock_guard guard(Lock());
    Window* window = Find(hwnd);
    if (window == nullptr || !window->dialog || !window->control) return nullptr;
    return std::static_pointer_cast<Sheet>(window->control);
}

int IndexOf(const Sheet& sheet, Page* page) {
    auto it = std::find(sheet.pages.begin(), sheet.pages.end(), page);
    return it == sheet.pages.end() ? -1 : static_cast<int>(it - sheet.pages.begin());
}

Page* PageAt(const Sheet& sheet, int index) {
    return index >= 0 && index < static_cast<int>(sheet.pages.size()) ? sheet.pages[static_cast<size_t>(index)] : nullptr;
}

LRESULT NotifyPage(HWND hwnd, Page* page, UINT code, LPARAM lParam = 0) {
    if (page == nullptr || page->window == nullptr || !IsWindow(page->window)) return 0;
    PSHNOTIFY notify{};
    notify.hdr.hwndFrom = hwnd;
    notify.hdr.idFrom = 0;
    notify.hdr.code = code;
    notify.lParam = lParam;
    return SendMessageA(page->window, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notify));
}

// Makes the page's dialog, a hidden child of the sheet over the display area.
bool MakePageWindow(HWND hwnd, Sheet& sheet, Page* page) {
    if (page->window && IsWindow(page->window)) return true;
    PROPSHEETPAGEA* record = page->Record();
    if ((record->dwFlags & PSP_USECALLBACK) && record->pfnCallback &&
        record->pfnCallback(nullptr, PSPCB_CREATE, record) == 0)
        return false;
    const void* templ = PageTemplate(page);
    if (templ == nullptr) return false;
    const TemplateFacts facts = ReadTemplateFacts(templ);
    const DWORD strip = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_VISIBLE | WS_DISABLED | WS_GROUP |
                        WS_TABSTOP | DS_MODALFRAME;
    const DWORD style = (facts.style & ~strip) | WS_CHILD | DS_CONTROL;
    const int resourceId = (record->dwFlags & PSP_DLGINDIRECT) || !IS_INTRESOURCE(record->pszTemplate)
                               ? 0
                               : static_cast<int>(reinterpret_cast<uintptr_t>(record->pszTemplate));
    const RECT area = sheet.display;
    HWND window = CreateDialogFromTemplate(record->hInstance, templ, hwnd, record->pfnDlgProc,
                                           reinterpret_cast<LPARAM>(record), resourceId, &style, WS_EX_CONTROLPARENT);
    if (window == nullptr) return false;
    if (!Live(page)) {
        DestroyWindow(window);
        return false;
    }
    page->window = window;
    MoveWindow(window, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
    return true;
}

// Shows page `index`: made when needed, asked with PSN_SETACTIVE (-1 refuses).
bool Activate(HWND hwnd, int index) {
    auto sheet = SheetOf(hwnd);
    if (!sheet) return false;
    Page* page = PageAt(*sheet, index);
    if (page == nullptr || !MakePageWindow(hwnd, *sheet, page)) return false;
    if (NotifyPage(hwnd, page, PSN_SETACTIVE) == -1) return false;
    if (!IsWindow(hwnd) || !Live(page)) return false;
    index = IndexOf(*sheet, page);
    Page* old = index == sheet->current ? nullptr : PageAt(*sheet, sheet->current);
    HWND focus = GetFocus();
    const bool focusLeaves = focus == nullptr || (old && old->window && IsChild(old->window, focus)) ||
                             (focus != hwnd && !IsChild(hwnd, focus));
    sheet->current = index;
    SendMessageA(sheet->tab, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    ShowWindow(page->window, SW_SHOW);
    if (old && old->window) ShowWindow(old->window, SW_HIDE);
    if (focusLeaves) {
        HWND first = GetNextDlgTabItem(page->window, nullptr, FALSE);
        SetFocus(first ? first : sheet->tab);
    }
    return true;
}

// The current page may be left: PSN_KILLACTIVE answered FALSE.
bool KillActive(HWND hwnd) {
    auto sheet = SheetOf(hwnd);
    if (!sheet) return false;
    return NotifyPage(hwnd, PageAt(*sheet, sheet->current), PSN_KILLACTIVE) == FALSE;
}

void UpdateApply(Sheet& sheet) {
    if (sheet.apply == nullptr) return;
    const bool any = std::any_of(sheet.pages.begin(), sheet.pages.end(), [](Page* p) { return p->changed; });
    EnableWindow(sheet.apply, any);
}

// OK or Apply: the current page is left, then every page made so far applies.
bool Apply(HWND hwnd, bool closing) {
    if (!KillActive(hwnd)) return false;
    auto sheet = SheetOf(hwnd);
    if (!sheet) return false;
    const std::vector<Page*> pages = sheet->pages;
    for (Page* page : pages) {
        if (!Live(page) || page->window == nullptr) continue;
        const LRESULT answer = NotifyPage(hwnd, page, PSN_APPLY, closing);
        if (answer == PSNRET_INVALID) {
            Activate(hwnd, IndexOf(*sheet, page));
            return false;
        }
        if (answer == PSNRET_INVALID_NOCHANGEPAGE) return false;
    }
    for (Page* page : sheet->pages) page->changed = false;
    sheet->applied = true;
    UpdateApply(*sheet);
    return true;
}

void Close(HWND hwnd, Sheet& sheet) {
    if (sheet.modeless) {
        sheet.closed = true;
        return;
    }
    EndDialog(hwnd, sheet.restart ? sheet.restart : (sheet.applied ? 1 : 0));
}

void Cancel(HWND hwnd, bool closeBox) {
    auto sheet = SheetOf(hwnd);
    if (!sheet) return;
    if (NotifyPage(hwnd, PageAt(*sheet, sheet->current), PSN_QUERYCANCEL)) return;
    const std::vector<Page*> pages = sheet->pages;
    for (Page* page : pages)
        if (Live(page)) NotifyPage(hwnd, page, PSN_RESET, closeBox);
    Close(hwnd, *sheet);
}

void SetCaption(HWND hwnd, const Sheet& sheet, DWORD flags, LPCSTR text) {
    std::string caption = TextOrString(sheet.instance, text);
    if (flags & PSH_PROPTITLE) caption = "Properties for " + caption;
    SetWindowTextA(hwnd, caption.c_str());
}

bool AddPage(HWND hwnd, Sheet& sheet, Page* page) {
    if (!Live(page) || page->sheet) return false;
    page->sheet = hwnd;
    sheet.pages.push_back(page);
    const std::string title = PageTitle(page);
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(title.c_str());
    SendMessageA(sheet.tab, TCM_INSERTITEMA, sheet.pages.size() - 1, reinterpret_cast<LPARAM>(&item));
    return true;
}

void RemovePage(HWND hwnd, int index) {
    auto sheet = SheetOf(hwnd);
    if (!sheet) return;
    Page* page = PageAt(*sheet, index);
    if (page == nullptr) return;
    if (index == sheet->current) {
        const int other = index > 0 ? index - 1 : 1;
        if (!Activate(hwnd, other)) sheet->current = -1;
    }
    index = IndexOf(*sheet, page);
    if (index < 0) return;
    sheet->pages.erase(sheet->pages.begin() + index);
    if (sheet->current > index) --sheet->current;
    SendMessageA(sheet->tab, TCM_DELETEITEM, static_cast<WPARAM>(index), 0);
    SendMessageA(sheet->tab, TCM_SETCURSEL, static_cast<WPARAM>(std::max(0, sheet->current)), 0);
    ReleasePage(page);
    UpdateApply(*sheet);
}

int PageIndexOf(const Sheet& sheet, WPARAM index, LPARAM handle) {
    if (handle) return IndexOf(sheet, reinterpret_cast<Page*>(handle));
    return static_cast<int>(index);
}

LRESULT CALLBACK SheetProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto sheet = SheetOf(hwnd);
    if (!sheet) return DefDlgProcA(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (Apply(hwnd, true)) Close(hwnd, *sheet);
            return 0;
        case IDCANCEL: Cancel(hwnd, false); return 0;
        case ID_APPLY_NOW:
            if (sheet->apply && IsWindowEnabled(sheet->apply)) Apply(hwnd, false);
            return 0;
        case IDHELP: NotifyPage(hwnd, PageAt(*sheet, sheet->current), PSN_HELP); return 0;
        default: return DefDlgProcA(hwnd, message, wParam, lParam);
        }
    case WM_CLOSE:
        if (sheet->cancel && IsWindowEnabled(sheet->cancel)) Cancel(hwnd, true);
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header == nullptr || header->hwndFrom != sheet->tab) return DefDlgProcA(hwnd, message, wParam, lParam);
        if (header->code == TCN_SELCHANGING) return KillActive(hwnd) ? FALSE : TRUE;
        if (header->code == TCN_SELCHANGE) {
            const int wanted = static_cast<int>(SendMessageA(sheet->tab, TCM_GETCURSEL, 0, 0));
            if (!Activate(hwnd, wanted)) SendMessageA(sheet->tab, TCM_SETCURSEL, std::max(0, sheet->current), 0);
        }
        return 0;
    }
    case PSM_SETCURSEL: {
        const int index = PageIndexOf(*sheet, wParam, lParam);
        if (PageAt(*sheet, index) == nullptr) return FALSE;
        if (index != sheet->current && !KillActive(hwnd)) return FALSE;
        return Activate(hwnd, index);
    }
    case PSM_ADDPAGE: return AddPage(hwnd, *sheet, reinterpret_cast<Page*>(lParam));
    case PSM_REMOVEPAGE: RemovePage(hwnd, PageIndexOf(*sheet, wParam, lParam)); return 0;
    case PSM_CHANGED:
    case PSM_UNCHANGED:
        for (Page* page : sheet->pages)
            if (page->window == reinterpret_cast<HWND>(wParam)) page->changed = message == PSM_CHANGED;
        UpdateApply(*sheet);
        return TRUE;
    case PSM_CANCELTOCLOSE:
        SetWindowTextA(sheet->ok, "Close");
        EnableWindow(sheet->cancel, FALSE);
        return 0;
    case PSM_QUERYSIBLINGS: {
        const std::vector<Page*> pages = sheet->pages;
        for (Page* page : pages) {
            if (!Live(page) || page->window == nullptr) continue;
            if (const LRESULT answer = SendMessageA(page->window, PSM_QUERYSIBLINGS, wParam, lParam)) return answer;
        }
        return 0;
    }
    case PSM_RESTARTWINDOWS: sheet->restart = std::max(sheet->restart, kRestartWindows); return 0;
    case PSM_REBOOTSYSTEM: sheet->restart = kRebootSystem; return 0;
    case PSM_APPLY: return Apply(hwnd, false);
    case PSM_SETTITLEA: SetCaption(hwnd, *sheet, static_cast<DWORD>(wParam), reinterpret_cast<LPCSTR>(lParam)); return 0;
    case PSM_PRESSBUTTON: {
        HWND button = nullptr;
        switch (wParam) {
        case PSBTN_OK: button = sheet->ok; break;
        case PSBTN_CANCEL: button = sheet->cancel; break;
        case PSBTN_APPLYNOW: button = sheet->apply; break;
        case PSBTN_HELP: button = sheet->help; break;
        default: break;
        }
        if (button) SendMessageA(button, BM_CLICK, 0, 0);
        return 0;
    }
    case PSM_GETTABCONTROL: return reinterpret_cast<LRESULT>(sheet->tab);
    case PSM_ISDIALOGMESSAGE: {
        auto* msg = reinterpret_cast<MSG*>(lParam);
        if (msg == nullptr) return FALSE;
        return IsDialogMessageA(hwnd, msg);
    }
    case PSM_GETCURRENTPAGEHWND: {
        if (sheet->closed) return 0;
        Page* page = PageAt(*sheet, sheet->current);
        return page ? reinterpret_cast<LRESULT>(page->window) : 0;
    }
    case PSM_HWNDTOINDEX:
        for (size_t i = 0; i < sheet->pages.size(); ++i)
            if (sheet->pages[i]->window == reinterpret_cast<HWND>(wParam)) return static_cast<LRESULT>(i);
        return -1;
    case PSM_INDEXTOHWND: {
        Page* page = PageAt(*sheet, static_cast<int>(wParam));
        return page ? reinterpret_cast<LRESULT>(page->window) : 0;
    }
    case PSM_PAGETOINDEX: return IndexOf(*sheet, reinterpret_cast<Page*>(lParam));
    case PSM_INDEXTOPAGE: return reinterpret_cast<LRESULT>(PageAt(*sheet, static_cast<int>(wParam)));
    case WM_NCDESTROY: {
        const std::vector<Page*> pages = sheet->pages;
        sheet->pages.clear();
        for (Page* page : pages) ReleasePage(page);
        return DefDlgProcA(hwnd, message, wParam, lParam);
    }
    default: return DefDlgProcA(hwnd, message, wParam, lParam);
    }
}

// The sheet's own template: a captioned dialog in the dialog font, no
// controls; PSCB_PRECREATE may change it.
std::vector<uint8_t> SheetTemplate() {
    std::vector<uint8_t> bytes(sizeof(DLGTEMPLATE), 0);
    DLGTEMPLATE header{};
    header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK | DS_SETFONT | DS_CONTEXTHELP;
    header.dwExtendedStyle = WS_EX_DLGMODALFRAME;
    header.cx = 200;
    header.cy = 100;
    std::memcpy(bytes.data(), &header, sizeof header);
    auto word = [&](uint16_t value) {
        bytes.push_back(static_cast<uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<uint8_t>(value >> 8));
    };
    word(0);  // menu
    word(0);  // class
    word(0);  // title
    word(8);  // font size, then its face
    for (const char* face = "MS Shell Dlg"; *face; ++face) word(static_cast<uint16_t>(*face));
    word(0);
    return bytes;
}

HWND MakeButton(HWND hwnd, const char* text, int id, DWORD style) {
    HWND button = CreateWindowExA(0, "Button", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, 0, kButtonWidth,
                                  kButtonHeight, hwnd, reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), nullptr,
                                  nullptr);
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
    return button;
}

// Sizes the sheet for its largest page and places the tab control, the
// pages' area and the buttons.
void Layout(HWND hwnd, Sheet& sheet) {
    SIZE largest{0, 0};
    for (Page* page : sheet.pages) {
        const TemplateFacts facts = ReadTemplateFacts(PageTemplate(page));
        largest.cx = std::max(largest.cx, facts.client.cx);
        largest.cy = std::max(largest.cy, facts.client.cy);
    }
    RECT tab{0, 0, largest.cx, largest.cy};
    SendMessageA(sheet.tab, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&tab));
    OffsetRect(&tab, kMargin - tab.left, kMargin - tab.top);
    std::vector<HWND> buttons;
    for (HWND button : {sheet.ok, sheet.cancel, sheet.apply, sheet.help})
        if (button) buttons.push_back(button);
    const int buttonsWidth = static_cast<int>(buttons.size()) * (kButtonWidth + kButtonGap) - kButtonGap;
    const int width = std::max<int>(tab.right + kMargin, buttonsWidth + 2 * kMargin);
    if (tab.right + kMargin < width) tab.right = width - kMargin;
    sheet.display = tab;
    SendMessageA(sheet.tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&sheet.display));
    const int buttonsTop = tab.bottom + kMargin;
    const int height = buttonsTop + kButtonHeight + kMargin;
    MoveWindow(sheet.tab, tab.left, tab.top, tab.right - tab.left, tab.bottom - tab.top, FALSE);
    int x = width - kMargin - buttonsWidth;
    for (HWND button : buttons) {
        MoveWindow(button, x, buttonsTop, kButtonWidth, kButtonHeight, FALSE);
        x += kButtonWidth + kButtonGap;
    }
    // The window around that client area, centred on its owner or the screen.
    RECT frame{}, client{};
    GetWindowRect(hwnd, &frame);
    GetClientRect(hwnd, &client);
    const int outerWidth = width + (frame.right - frame.left) - client.right;
    const int outerHeight = height + (frame.bottom - frame.top) - client.bottom;
    RECT area = ScreenArea();
    if (HWND owner = GetWindow(hwnd, GW_OWNER)) GetWindowRect(owner, &area);
    const int left = std::max<int>(0, area.left + (area.right - area.left - outerWidth) / 2);
    const int top = std::max<int>(0, area.top + (area.bottom - area.top - outerHeight) / 2);
    MoveWindow(hwnd, left, top, outerWidth, outerHeight, FALSE);
}

std::vector<Page*> PagesOf(const PROPSHEETHEADERA& header) {
    std::vector<Page*> pages;
    if (header.dwFlags & PSH_PROPSHEETPAGE) {
        // Records follow each other, each as long as its own dwSize says.
        const uint8_t* at = reinterpret_cast<const uint8_t*>(header.ppsp);
        for (UINT i = 0; at && i < header.nPages; ++i) {
            const auto* record = reinterpret_cast<const PROPSHEETPAGEA*>(at);
            if (record->dwSize < PROPSHEETPAGEA_V1_SIZE) break;
            if (Page* page = MakePage(record)) pages.push_back(page);
            at += record->dwSize;
        }
    } else if (header.phpage) {
        for (UINT i = 0; i < header.nPages; ++i) {
            Page* page = header.phpage[i];
            if (Live(page) && page->sheet == nullptr) pages.push_back(page);
        }
    }
    return pages;
}

}  // namespace
}  // namespace platform::user

using namespace platform::user;

WINBASEAPI HPROPSHEETPAGE WINAPI CreatePropertySheetPageA(LPCPROPSHEETPAGEA constPropSheetPagePointer) {
    return MakePage(constPropSheetPagePointer);
}

WINBASEAPI BOOL WINAPI DestroyPropertySheetPage(HPROPSHEETPAGE hPSPage) {
    if (!Live(hPSPage)) return FALSE;
    if (hPSPage->sheet && IsWindow(hPSPage->sheet)) return FALSE;  // its sheet destroys it
    ReleasePage(hPSPage);
    return TRUE;
}

WINBASEAPI INT_PTR WINAPI PropertySheetA(LPCPROPSHEETHEADERA lppsph) {
    if (lppsph == nullptr || lppsph->dwSize < PROPSHEETHEADERA_V1_SIZE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    PROPSHEETHEADERA header{};
    std::memcpy(&header, lppsph, std::min<size_t>(lppsph->dwSize, sizeof header));
    std::vector<Page*> pages = PagesOf(header);
    if (pages.empty()) return -1;

    std::vector<uint8_t> templ = SheetTemplate();
    const bool callback = (header.dwFlags & PSH_USECALLBACK) && header.pfnCallback;
    if (callback) header.pfnCallback(nullptr, PSCB_PRECREATE, reinterpret_cast<LPARAM>(templ.data()));
    HWND hwnd = CreateDialogFromTemplate(header.hInstance, templ.data(), header.hwndParent, nullptr, 0, 0);
    if (hwnd == nullptr) {
        for (Page* page : pages) ReleasePage(page);
        return -1;
    }
    auto sheet = std::make_shared<Sheet>();
    sheet->instance = header.hInstance;
    sheet->modeless = (header.dwFlags & PSH_MODELESS) != 0;
    {
        std::lock_guard guard(Lock());
        Find(hwnd)->control = sheet;
    }
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SheetProc));
    SetCaption(hwnd, *sheet, header.dwFlags, header.pszCaption);
    sheet->tab = CreateWindowExA(0, WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, 0, 0, 10,
                                 10, hwnd, reinterpret_cast<HMENU>(static_cast<uintptr_t>(IDC_PROPSHEET_TABCONTROL)),
                                 nullptr, nullptr);
    SendMessageA(sheet->tab, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
    sheet->ok = MakeButton(hwnd, "OK", IDOK, BS_DEFPUSHBUTTON | WS_GROUP);
    sheet->cancel = MakeButton(hwnd, "Cancel", IDCANCEL, BS_PUSHBUTTON);
    if (!(header.dwFlags & PSH_NOAPPLYNOW)) {
        sheet->apply = MakeButton(hwnd, "&Apply", ID_APPLY_NOW, BS_PUSHBUTTON);
        EnableWindow(sheet->apply, FALSE);
    }
    if (header.dwFlags & PSH_HASHELP) sheet->help = MakeButton(hwnd, "Help", IDHELP, BS_PUSHBUTTON);
    for (Page* page : pages) AddPage(hwnd, *sheet, page);
    Layout(hwnd, *sheet);
    if (callback) header.pfnCallback(hwnd, PSCB_INITIALIZED, 0);

    // The first page: the one asked for, else the first that agrees to show.
    int start = 0;
    if (header.dwFlags & PSH_USEPSTARTPAGE) {
        const std::string wanted = TextOrString(header.hInstance, header.pStartPage);
        for (size_t i = 0; i < sheet->pages.size(); ++i)
            if (PageTitle(sheet->pages[i]) == wanted) start = static_cast<int>(i);
    } else if (header.nStartPage < sheet->pages.size()) {
        start = static_cast<int>(header.nStartPage);
    }
    bool shown = Activate(hwnd, start);
    for (int i = 0; !shown && IsWindow(hwnd) && i < static_cast<int>(sheet->pages.size()); ++i)
        if (i != start) shown = Activate(hwnd, i);
    if (!shown) {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        return -1;
    }
    if (sheet->modeless) {
        ShowWindow(hwnd, SW_SHOW);
        ScriptDialogShown(hwnd);
        return reinterpret_cast<INT_PTR>(hwnd);
    }
    return RunModal(hwnd, GetWindow(hwnd, GW_OWNER), true);
}
