// CDialog: dialogs from the module's templates, modal and modeless, their
// messages through the message map.
#include <afxwin.h>

#include <map>

namespace {

// Dialogs being made on this thread: WM_SETFONT and friends arrive before
// WM_INITDIALOG gives the object.
thread_local CDialog* creating = nullptr;

}  // namespace

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* dialog = dynamic_cast<CDialog*>(CWnd::FromHandle(hwnd));
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialog*>(lParam);
        dialog->Attach(hwnd);
        return dialog->OnInitDialog();
    }
    if (dialog == nullptr) return FALSE;
    if (message == WM_NCDESTROY) {
        dialog->Detach();
        dialog->PostNcDestroy();
        return FALSE;
    }
    LRESULT result = 0;
    if (!dialog->OnWndMsg(message, wParam, lParam, &result)) return FALSE;
    ::SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != BN_CLICKED && HIWORD(wParam) != 0) return FALSE;
    if (LOWORD(wParam) == IDOK) {
        OnOK();
        return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
        OnCancel();
        return TRUE;
    }
    return FALSE;
}

INT_PTR CDialog::DoModal() {
    HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (parent == nullptr && AfxGetApp() && AfxGetApp()->m_pMainWnd) parent = AfxGetApp()->m_pMainWnd->m_hWnd;
    creating = this;
    const INT_PTR result = ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDHelp), parent,
                                             &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    creating = nullptr;
    return result;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    m_nIDHelp = templateId;
    m_pParentWnd = parent;
    HWND hwnd = ::CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(templateId),
                                     parent ? parent->m_hWnd : nullptr, &CDialog::DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr;
}

void CDialog::EndDialog(int result) {
    if (m_hWnd) ::EndDialog(m_hWnd, result);
}
