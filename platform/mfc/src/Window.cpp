// CWnd: the message map dispatch, wrappers of windows and the window helpers.
#include <afxwin.h>

#include <map>
#include <memory>

namespace {

std::map<HWND, CWnd*>& Permanent() {
    static auto* map = new std::map<HWND, CWnd*>;
    return *map;
}

std::map<HWND, std::unique_ptr<CWnd>>& Wrappers() {
    static auto* map = new std::map<HWND, std::unique_ptr<CWnd>>;
    return *map;
}

const AFX_MSGMAP_ENTRY* FindEntry(const AFX_MSGMAP* map, UINT message, UINT code, UINT id) {
    for (; map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry && entry->nSig != AfxSig_end; ++entry) {
            if (entry->nMessage != message) continue;
            if (message == WM_COMMAND && (entry->nCode != code || id < entry->nID || id > entry->nLastID)) continue;
            return entry;
        }
        if (map->pfnGetBaseMap == nullptr) break;
    }
    return nullptr;
}

}  // namespace

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, AfxSig_end, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

CWnd::~CWnd() {
    if (m_hWnd) Permanent().erase(m_hWnd);
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    if (hwnd == nullptr) return nullptr;
    if (auto it = Permanent().find(hwnd); it != Permanent().end()) return it->second;
    auto& wrapper = Wrappers()[hwnd];
    if (!wrapper || !::IsWindow(hwnd)) {
        wrapper = std::make_unique<CWnd>();
        wrapper->m_hWnd = hwnd;
    }
    return wrapper.get();
}

BOOL CWnd::Attach(HWND hwnd) {
    if (hwnd == nullptr) return FALSE;
    m_hWnd = hwnd;
    Permanent()[hwnd] = this;
    owned_ = true;
    return TRUE;
}

HWND CWnd::Detach() {
    HWND hwnd = m_hWnd;
    if (hwnd) Permanent().erase(hwnd);
    Wrappers().erase(hwnd);
    m_hWnd = nullptr;
    return hwnd;
}

CWnd* CWnd::GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }

CWnd* CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }

void CWnd::GetWindowText(CString& text) const {
    char buffer[1024];
    ::GetWindowTextA(m_hWnd, buffer, sizeof buffer);
    text = buffer;
}

CWnd* CWnd::SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }

int CWnd::MessageBox(LPCSTR text, LPCSTR caption, UINT type) {
    return ::MessageBoxA(m_hWnd, text, caption ? caption : AfxGetAppName(), type);
}

BOOL CWnd::DestroyWindow() { return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE; }

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::OnCommand(WPARAM, LPARAM) { return FALSE; }

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    *result = 0;
    const AFX_MSGMAP_ENTRY* entry =
        FindEntry(GetMessageMap(), message, message == WM_COMMAND ? HIWORD(wParam) : 0, LOWORD(wParam));
    if (entry) {
        switch (entry->nSig) {
        case AfxSig_vv: (this->*entry->pfn)(); return TRUE;
        case AfxSig_vw: (this->*AfxHandler<void (CWnd::*)(UINT_PTR)>(entry->pfn))(wParam); return TRUE;
        case AfxSig_lwl:
            *result = (this->*AfxHandler<LRESULT (CWnd::*)(WPARAM, LPARAM)>(entry->pfn))(wParam, lParam);
            return TRUE;
        case AfxSig_vwwW:
            (this->*AfxHandler<void (CWnd::*)(UINT, UINT, CScrollBar*)>(entry->pfn))(
                LOWORD(wParam), HIWORD(wParam), static_cast<CScrollBar*>(FromHandle(reinterpret_cast<HWND>(lParam))));
            return TRUE;
        default: break;
        }
    }
    if (message == WM_COMMAND) return OnCommand(wParam, lParam);
    return FALSE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
    return result;
}
