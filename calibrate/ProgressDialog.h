// The progress dialog: runs the calibration inside its first timer message,
// showing the library's progress; its Cancel button asks the library to stop
// at its next progress call. The result is the library's.
#pragma once

#include "Scanner.h"

#include <afxwin.h>

enum {
    IDD_PROGRESS = 132,
    IDC_PROGRESS_BAR = 1150,
    IDC_PROGRESS_CANCEL = 1151,
    IDC_PROGRESS_TEXT = 1152,
};

class CProgressDialog : public CDialog {
public:
    enum Mode { Calibrate = 0 };

    CProgressDialog(Scanner* scanner, Mode mode, CWnd* parent = nullptr);

    BOOL OnInitDialog() override;
    void OnCancel() override;
    afx_msg void OnTimer(UINT_PTR id);
    afx_msg void OnCancelButton();

    Scanner* m_scanner;
    Mode m_mode;
    // Cancelled until the library answers: a dialog closed before the work
    // started ends the run without a box.
    int m_result = SI_ERR_CANCELLED;

    static int ProgressCallback(int percent);

private:
    bool m_cancel = false;
    bool m_working = false;

    DECLARE_MESSAGE_MAP()
};
