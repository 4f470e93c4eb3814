#include "ScannerCommands.h"

#include "ModuleState.h"
#include "Scanner.h"

#include <MessageTable.h>

#include <string>

namespace {

// Rows of the message table.
constexpr int kRowCalibrationSucceeded = 0;
constexpr int kRowCalibrationFailed = 3;
constexpr int kRowWhiteOnlySucceeded = 4;
constexpr int kRowNotConnected = 7;
constexpr int kRowCancel = 20;
constexpr int kRowInsertCalibrationSheet = 27;
constexpr int kRowInsertCleaningSheet = 28;
constexpr int kRowCalibrate = 29;
constexpr int kRowClean = 30;

struct Command {
    int captionRow;
    DLGPROC promptProc;
    bool calibrate;
};

// The wait cursor for the length of the object.
class WaitCursor {
public:
    WaitCursor() : previous_(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};

// Whether a calibration result counts as success: a calibration that found
// only the white reference is usable, and says so.
bool CalibrationUsable(SIResult result) { return result == SI_OK || result == SI_CALIBRATED_WHITE_ONLY; }

void ShowResult(HWND owner, SIResult result, const std::string& caption) {
    int row = kRowCalibrationFailed;
    if (result == SI_OK) row = kRowCalibrationSucceeded;
    else if (result == SI_CALIBRATED_WHITE_ONLY) row = kRowWhiteOnlySucceeded;
    MessageBoxA(owner, MessageText(row).c_str(), caption.c_str(), MB_OK);
}

HRESULT Run(HWND owner, const Command& command) {
    const std::string caption = MessageText(command.captionRow);
    Scanner scanner;
    if (!scanner.Open(kScannerLibrary)) {
        MessageBoxA(owner, MessageText(kRowNotConnected).c_str(), caption.c_str(), MB_OK);
        return E_FAIL;
    }
    if (scanner.OpenInterface(kInterfaceName) != SI_OK) {
        scanner.Close();
        MessageBoxA(owner, MessageText(kRowNotConnected).c_str(), caption.c_str(), MB_OK);
        return E_FAIL;
    }

    SIResult result = SI_OK;
    for (;;) {
        if (DialogBoxParamA(module_state::Instance(), MAKEINTRESOURCEA(kPromptDialog), owner, command.promptProc,
                            0) != IDOK)
            break;
        int present = SI_PAPER_ABSENT;
        result = scanner.GetPaperStatus(&present);
        if (result != SI_OK) break;
        if (present == SI_PAPER_ABSENT) continue;
        if (command.calibrate) {
            {
                WaitCursor wait;
                result = scanner.Calibrate(0, nullptr);
            }
            ShowResult(owner, result, caption);
            if (CalibrationUsable(result)) result = SI_OK;
        } else {
            WaitCursor wait;
            result = scanner.Clean(nullptr);
        }
        break;
    }

    scanner.CloseInterface();
    scanner.Close();
    return result == SI_OK ? S_OK : E_FAIL;
}

INT_PTR PromptProc(HWND dialog, UINT message, WPARAM wParam, int captionRow, int textRow) {
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(dialog, IDCANCEL, MessageText(kRowCancel).c_str());
        SetDlgItemTextA(dialog, IDOK, MessageText(captionRow).c_str());
        SetWindowTextA(dialog, MessageText(captionRow).c_str());
        SetDlgItemTextA(dialog, kPromptText, MessageText(textRow).c_str());
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

HRESULT RunCalibrate(HWND owner) { return Run(owner, {kRowCalibrate, CalibratePromptProc, true}); }

HRESULT RunClean(HWND owner) { return Run(owner, {kRowClean, CleanPromptProc, false}); }

INT_PTR CALLBACK CalibratePromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return PromptProc(dialog, message, wParam, kRowCalibrate, kRowInsertCalibrationSheet);
}

INT_PTR CALLBACK CleanPromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return PromptProc(dialog, message, wParam, kRowClean, kRowInsertCleaningSheet);
}
