#include "CalibrateApp.h"

#include "CaliPage.h"
#include "MessageTable.h"
#include "ModelTable.h"
#include "ProgressDialog.h"
#include "Scanner.h"

#include <SIPropertyIds.h>

#include <commctrl.h>

CCalibrateApp theApp;

namespace {

// While another program holds the scanner the open is tried again.
constexpr DWORD kOpenRetryMs = 12000;
constexpr DWORD kOpenRetryPauseMs = 500;

// The interface open for the run; closed and the library freed on every path.
class OpenScanner {
public:
    explicit OpenScanner(Scanner& scanner) : scanner_(scanner) {}
    ~OpenScanner() { scanner_.CloseInterface(); }
    OpenScanner(const OpenScanner&) = delete;
    OpenScanner& operator=(const OpenScanner&) = delete;

private:
    Scanner& scanner_;
};

}  // namespace

BOOL CCalibrateApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), 0xFF};
    InitCommonControlsEx(&controls);
    SetRegistryKey("Paperlyn");
    CCustomCommandLineInfo commandLine;
    ParseCommandLine(commandLine);
    if (commandLine.m_libraryFile.IsEmpty()) MessageBeep(0);
    else RunCalibration(commandLine);
    // No main window: the program ends here.
    return FALSE;
}

void CCalibrateApp::RunCalibration(const CCustomCommandLineInfo& commandLine) {
    CString model = commandLine.m_modelName;
    if (model.IsEmpty()) {
        const auto found = ModelForLibrary(commandLine.m_libraryFile.str());
        if (!found) return;
        model = found->c_str();
    }

    Scanner scanner;
    if (!scanner.Load(commandLine.m_libraryFile)) return;

    const DWORD firstTry = GetTickCount();
    SIResult opened = scanner.OpenInterface(model);
    while (opened != SI_OK) {
        if (opened != SI_ERR_NO_HARDWARE || GetTickCount() - firstTry >= kOpenRetryMs) {
            scanner.CloseInterface();
            return;
        }
        Sleep(kOpenRetryPauseMs);
        opened = scanner.OpenInterface(model);
    }
    OpenScanner open(scanner);

    int calibrated = 0;
    scanner.IsCalibrated(&calibrated);
    SIProperty duplex{};
    duplex.id = SI_PROP_DUPLEX;
    const bool duplexAvailable = scanner.GetProperty(&duplex) == SI_OK;

    const int language = RunLanguageCode();
    for (;;) {
        CaliPage page(m_pszAppName, duplexAvailable);
        if (page.DoModal() != IDC_CALIBRATE) break;

        int paper = SI_PAPER_PRESENT;
        scanner.GetPaperStatus(&paper);
        if (paper != SI_PAPER_PRESENT) {
            AfxMessageBox(InstructionText(duplexAvailable), MB_OK);
            continue;
        }

        CProgressDialog progress(&scanner, CProgressDialog::Calibrate);
        progress.DoModal();
        const int result = progress.m_result;
        if (result == SI_OK) {
            AfxMessageBox(Text(CalibratorText::Success, language), MB_ICONINFORMATION);
            break;
        }
        if (result == SI_ERR_CANCELLED) break;
        const bool whiteOnly = result == SI_CALIBRATED_WHITE_ONLY;
        CString question = whiteOnly ? Text(CalibratorText::WhiteOnly, language) : Text(CalibratorText::Failure, language);
        question += kCalibrateAgainQuestion;
        if (AfxMessageBox(question, MB_YESNO | (whiteOnly ? MB_ICONINFORMATION : MB_ICONERROR)) != IDYES) break;
    }
}
