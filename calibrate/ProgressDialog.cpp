#include "ProgressDialog.h"

namespace {

// The dialog the library's progress calls report to.
CProgressDialog* progressTarget = nullptr;

constexpr UINT_PTR kStartTimer = 1;

}  // namespace

BEGIN_MESSAGE_MAP(CProgressDialog, CDialog)
ON_WM_TIMER()
ON_BN_CLICKED(IDC_PROGRESS_CANCEL, OnCancelButton)
END_MESSAGE_MAP()

CProgressDialog::CProgressDialog(Scanner* scanner, Mode mode, CWnd* parent)
    : CDialog(IDD_PROGRESS, parent), m_scanner(scanner), m_mode(mode) {}

BOOL CProgressDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    SetWindowText(AfxGetAppName());
    SetDlgItemText(IDC_PROGRESS_TEXT, "Calibrating...");
    SetTimer(kStartTimer, 100, nullptr);
    progressTarget = this;
    m_cancel = false;
    return TRUE;
}

void CProgressDialog::OnTimer(UINT_PTR id) {
    if (id != kStartTimer) return;
    KillTimer(kStartTimer);
    m_working = true;
    m_result = static_cast<int>(m_scanner->Calibrate(0, &CProgressDialog::ProgressCallback));
    m_working = false;
    progressTarget = nullptr;
    PostMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0);
}

void CProgressDialog::OnCancelButton() {
    m_cancel = true;
    SetDlgItemText(IDC_PROGRESS_TEXT, "Cancelling...");
}

void CProgressDialog::OnCancel() {
    // Escape or the close box while the library works stops it as the
    // Cancel button does; the dialog closes once the library has returned.
    if (m_working) {
        OnCancelButton();
        return;
    }
    CDialog::OnCancel();
}

int CProgressDialog::ProgressCallback(int percent) {
    CProgressDialog* dialog = progressTarget;
    if (dialog == nullptr) return 1;
    ::SendDlgItemMessageA(dialog->m_hWnd, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    // Keep the dialog answering while the library works on this thread.
    MSG msg;
    while (::PeekMessageA(&msg, dialog->m_hWnd, 0, 0, PM_REMOVE)) {
        if (!::IsDialogMessageA(dialog->m_hWnd, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    return dialog->m_cancel ? 0 : 1;
}
