#include "CaliPage.h"

#include "MessageTable.h"

BEGIN_MESSAGE_MAP(CaliPage, CDialog)
ON_BN_CLICKED(IDC_CALIBRATE, OnCalibrate)
END_MESSAGE_MAP()

const char* InstructionText(bool duplexAvailable) {
    // A scanner that reads both sides takes the sheet either way up.
    return Text(duplexAvailable ? CalibratorText::Instruction : CalibratorText::InstructionFaceDown,
                RunLanguageCode());
}

CaliPage::CaliPage(const CString& title, bool duplexAvailable, CWnd* parent)
    : CDialog(IDD_CALIPAGE, parent), m_title(title), m_duplexAvailable(duplexAvailable) {}

BOOL CaliPage::OnInitDialog() {
    CDialog::OnInitDialog();
    const int language = RunLanguageCode();
    SetDlgItemText(IDC_FIRST_TEXT, Text(CalibratorText::FirstText, language));
    SetDlgItemText(IDC_INSTRUCTION, InstructionText(m_duplexAvailable));
    SetDlgItemText(IDC_CALIBRATE, Text(CalibratorText::CalibrateButton, language));
    SetDlgItemText(IDCANCEL, Text(CalibratorText::CancelButton, language));
    SetWindowText(m_title);
    SetForegroundWindow();
    return TRUE;
}

void CaliPage::OnCalibrate() { EndDialog(IDC_CALIBRATE); }
