// The calibration page: asks for the calibration sheet; Calibrate ends it
// with 1103, Cancel with IDCANCEL.
#pragma once

#include <afxwin.h>

enum {
    IDD_CALIPAGE = 131,
    IDC_FIRST_TEXT = 1100,
    IDC_INSTRUCTION = 1101,
    IDC_CALIBRATE = 1103,
};

class CaliPage : public CDialog {
public:
    CaliPage(const CString& title, bool duplexAvailable, CWnd* parent = nullptr);

    BOOL OnInitDialog() override;
    afx_msg void OnCalibrate();

    CString m_title;
    bool m_duplexAvailable;

    DECLARE_MESSAGE_MAP()
};

// The instruction of the page and of the no-paper box.
const char* InstructionText(bool duplexAvailable);
